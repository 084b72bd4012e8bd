// The window's side of the conversation with the printer: connecting, submitting
// commands to the one conversation, and carrying out its effects on the UI thread.
#include "MainWindow.h"

#include "QtHooks.h"
#include "StatusLine.h"
#include "Ui.h"
#include "UiSeams.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSlider>
#include <QThread>
#include <QTimer>

#include <future>
#include <stdexcept>

#include "image/Raster.h"
#include "printer/Messages.h"
#include "printer/Protocol.h"
#include "printer/SettingsFile.h"
#include "printer/Conversation.h"
#include "serial/SerialPort.h"
#include "text/Stream.h"

using namespace korvel;

namespace {
// Received bytes are shown as the 8-bit text they are.
QString fromBytes(const std::string& s) { return QString::fromLatin1(s.data(), qsizetype(s.size())); }
} // namespace

void TForm1::runOnUi(const std::function<void()>& call)
{
    callOnThreadOf(this, call);
}

void TForm1::postToUi(std::function<void()> call)
{
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void TForm1::writeSettingsFile()
{
    printer::writeSettingsFile(printer::kSettingsFileName, comboportselect->currentIndex());
}

korvel::printer::LineIo TForm1::lineIo()
{
    korvel::serial::TSerialPort* port = SerialPort1.get();
    return printer::LineIo{[port](const std::string& bytes) { return port->SendString(bytes); },
                           [port] { return port->Drain(); },
                           [port] { return int(port->LineRate()); }};
}

void TForm1::startConversation()
{
    printer::ConversationHooks hooks;
    hooks.effect = [this](const printer::Effect& e) { postToUi([this, e] { applyEffect(e); }); };
    hooks.ended = [this](const printer::CommandEnd& e) {
        const unsigned epoch = lineEpoch_;
        postToUi([this, e, epoch] { onCommandEnd(e, epoch); });
    };
    hooks.stateChanged = [this] {
        // The line moves faster than anyone reads: one refresh in flight, at most ten a
        // second, showing the newest; the UI thread's time is the writer's on two cores.
        if (!lineStatePosted_.exchange(true))
            postToUi([this] {
                const int wait = std::max(0, 100 - int(lineStateShown_.elapsed()));
                QTimer::singleShot(lineStateShown_.isValid() ? wait : 0, this, [this] {
                    lineStatePosted_ = false;
                    lineStateShown_.start();
                    showLineState();
                });
            });
    };
    conversation = std::make_unique<printer::Conversation>(lineIo(), std::move(hooks));
}

void TForm1::bl_connect(bool followed)
{
    writeSettingsFile();
    // Whatever the old line carried is cut short before the port closes under it.
    conversation->reset();
    connected = false;
    SerialPort1->Close();
    ++lineEpoch_; // what is still told of the old line is stale
    SerialPort1->setPort(serial::TCommPort(comboportselect->currentIndex() + 1));
    SerialPort1->Open();
    // Connected once the "!" has gone out, not before.
    auto written = std::make_shared<std::promise<printer::JobResult>>();
    std::future<printer::JobResult> done = written->get_future();
    printer::Command command;
    command.request = printer::connectJob();
    command.written = [written](const printer::JobResult& r) { written->set_value(r); };
    command.followed = followed;
    connectId_ = conversation->submit(std::move(command));
    const printer::JobResult result = done.get();
    if (!result.ok)
        throw std::runtime_error(result.error.empty() ? result.jobName + " was cancelled" : result.error);
    connected = true;
}

bool TForm1::ensureConnected()
{
    return connected || guarded([this] { bl_connect(true); }); // the caller's command comes next
}

bool TForm1::sendCommand(printer::Job job)
{
    if (!ensureConnected())
        return false;
    submitJob(std::move(job));
    return true;
}

void TForm1::submitJob(printer::Job job)
{
    printer::Command command;
    command.request = std::move(job);
    conversation->submit(std::move(command));
}

void TForm1::onCommandEnd(const printer::CommandEnd& end, unsigned epoch)
{
    if (closing_)
        return;
    switch (end.kind) {
    case printer::CommandEnd::LineError:
        if (end.id != connectId_) // the connection raises its own error
            reportWriteFailure(end.jobName, end.error, epoch);
        break;
    case printer::CommandEnd::Dropped:
    case printer::CommandEnd::NoReply:
        if (!end.message.empty())
            showMessage(fromUtf8(end.message));
        break;
    default:
        break; // the reply's own message has been shown
    }
}

bool TForm1::claimLineLoss(unsigned epoch)
{
    return epoch == lineEpoch_ && lostEpoch_.exchange(epoch) != epoch;
}

void TForm1::deviceLost(serial::TCommPort lost)
{
    if (closing_)
        return;
    const unsigned epoch = lineEpoch_;
    const QString name = QString::fromStdString(SerialPort1->CommPortToString(lost));
    postToUi([this, epoch, name] {
        if (closing_ || !claimLineLoss(epoch))
            return;
        connected = false;
        conversation->reset();
        showError(QStringLiteral(".ارتباط با چاپگر روی %1 قطع شد").arg(name));
    });
}

void TForm1::reportWriteFailure(const std::string& jobName, const std::string& error, unsigned epoch)
{
    // One failure of a line is told once, whichever write or poll meets it first.
    if (!claimLineLoss(epoch))
        return;
    // The line is no longer to be trusted; the next command must connect again.
    connected = false;
    showError(QStringLiteral(".فرمان «%1» به چاپگر نرسید\n%2").arg(fromUtf8(jobName), QString::fromLocal8Bit(error.c_str())));
}

void TForm1::showMessage(const QString& text, bool error)
{
    // One box at a time, in arrival order; the printer never waits for them.
    pendingMessages_.push_back({text, error});
    if (showingMessage_)
        return;
    showingMessage_ = true;
    while (!pendingMessages_.empty() && !closing_) {
        const auto [next, isError] = pendingMessages_.front();
        pendingMessages_.pop_front();
        if (isError)
            seams().error(this, next);
        else
            seams().message(this, next);
    }
    showingMessage_ = false;
}

void TForm1::showError(const QString& text) { showMessage(text, true); }

void TForm1::showLineState()
{
    const printer::ConversationState s = conversation->state();
    refreshStatusLine();
    emit lineStateChanged(fromUtf8(s.current), qint64(s.bytesDone), qint64(s.bytesTotal), s.queued,
                          QString::fromLatin1(s.lastReply.data(), qsizetype(s.lastReply.size())));
}

void TForm1::Image13Click()
{
    guarded([this] { bl_connect(); });
}

void TForm1::comboportselectChange()
{
    guarded([this] {
        writeSettingsFile();
        SerialPort1->setPort(serial::TCommPort(comboportselect->currentIndex() + 1));
    });
}

void TForm1::Timer3Timer()
{
    status_send->show();
    Timer3->stop();
}

void TForm1::SerialPort1Receive(const std::string& buffer)
{
    if (!closing_)
        conversation->received(buffer);
}

void TForm1::applyEffect(const printer::Effect& effect)
{
    using printer::EffectKind;
    switch (effect.kind) {
    case EffectKind::StopNoReplyTimer:
        break; // the conversation keeps the no-reply time-out and tells its message
    case EffectKind::SetEdit2:
        Edit2->setText(fromBytes(effect.text));
        break;
    case EffectKind::ApplyReport:
        for (const auto& update : printer::reportUpdates(effect.report)) {
            auto* bar = findChild<QSlider*>(QString::fromLatin1(update.trackBar.data(), qsizetype(update.trackBar.size())));
            auto* label = findChild<QLabel*>(QString::fromLatin1(update.label.data(), qsizetype(update.label.size())));
            if (bar)
                bar->setValue(update.field.position);
            if (label)
                label->setText(fromBytes(update.field.text)); // as received, even when the bar clamped it
        }
        break;
    case EffectKind::ReportInvalid:
    case EffectKind::Message:
        statusLine->setLastReply(fromUtf8(effect.text));
        if (effect.response == "e") {
            // Refused: the next command greets the printer again. The refusal is this line's
            // failure, told now; the line going away later is no news.
            connected = false;
            claimLineLoss(lineEpoch_);
        }
        showMessage(fromUtf8(effect.text));
        break;
    case EffectKind::ProgressPosition:
        status_send->setValue(effect.position);
        break;
    case EffectKind::ShowStatusSend:
        status_send->show();
        break;
    case EffectKind::HideLabelSend:
        label_send->hide();
        break;
    case EffectKind::ShowLabelSend:
        label_send->setText(fromUtf8(effect.text));
        label_send->show();
        break;
    case EffectKind::ProgressReset:
        status_send->setMaximum(effect.maximum);
        status_send->setValue(effect.position);
        break;
    case EffectKind::StartTimer3:
        Timer3->start();
        break;
    case EffectKind::ProgressAdvance:
        status_send->setValue(status_send->value() + std::max(1, effect.position));
        break;
    case EffectKind::HideStatusSend:
        status_send->hide();
        break;
    case EffectKind::ProgressMaximum:
        status_send->setMaximum(effect.maximum);
        break;
    case EffectKind::AppendLog:
        Memo2->appendPlainText(fromBytes(effect.text));
        break;
    case EffectKind::WriteRequestSettings:
    case EffectKind::StartTextUpload:
    case EffectKind::StartImageUpload:
        break; // written by the conversation itself
    }
}


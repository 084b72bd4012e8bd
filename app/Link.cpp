// The printer link in the window: connecting, handing commands to the one line
// writer, and carrying out what the dispatcher decides for each received chunk.
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

#include "image/Raster.h"
#include "printer/Messages.h"
#include "printer/Protocol.h"
#include "printer/SettingsFile.h"
#include "printer/Writer.h"
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

void TForm1::bl_connect()
{
    writeSettingsFile();
    SerialPort1->Close();
    ++lineEpoch_; // what is still told of the old line is stale
    SerialPort1->setPort(serial::TCommPort(comboportselect->currentIndex() + 1));
    SerialPort1->Open();
    connected = true;
    uploadRequestsPending_ = 0;
    settingsRequestDeferred_ = false;
    submitJob(printer::connectJob());
}

bool TForm1::ensureConnected()
{
    return connected || guarded([this] { bl_connect(); });
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
    const bool startsTimer = job.startsNoReplyTimer;
    const unsigned epoch = lineEpoch_;
    writer->submit(std::move(job), [this, startsTimer, epoch](const printer::JobResult& result) {
        postToUi([this, result, startsTimer, epoch] { onJobDone(result, startsTimer, epoch); });
    });
}

void TForm1::onJobDone(const printer::JobResult& result, bool startsNoReplyTimer, unsigned epoch)
{
    if (result.ok) {
        // A line already reported lost will not answer; the operator knows.
        if (startsNoReplyTimer && !Timer2->isActive() && lostEpoch_ != epoch)
            Timer2->start();
        return;
    }
    if (result.cancelled || closing_)
        return;
    reportWriteFailure(result.jobName, result.error, epoch);
}

bool TForm1::claimLineLoss(unsigned epoch)
{
    return epoch == lineEpoch_ && lostEpoch_.exchange(epoch) != epoch;
}

void TForm1::deviceLost()
{
    if (closing_)
        return;
    const unsigned epoch = lineEpoch_;
    postToUi([this, epoch] {
        if (closing_ || !claimLineLoss(epoch))
            return;
        connected = false;
        writer->cancelPending();
        Timer2->stop();
        seams().error(this, QStringLiteral(".ارتباط با چاپگر روی %1 قطع شد")
                                .arg(QString::fromStdString(SerialPort1->CommPortToString(SerialPort1->Port()))));
    });
}

void TForm1::reportWriteFailure(const std::string& jobName, const std::string& error, unsigned epoch)
{
    // One failure of a line is told once, whichever write or poll meets it first.
    if (!claimLineLoss(epoch))
        return;
    // The line is no longer to be trusted: what is queued behind would fail too,
    // and the next command must connect again.
    connected = false;
    writer->cancelPending();
    const QString text = QStringLiteral(".فرمان «%1» به چاپگر نرسید\n%2").arg(fromUtf8(jobName), QString::fromLocal8Bit(error.c_str()));
    if (QThread::currentThread() == thread())
        seams().error(this, text);
    else
        runOnUi([this, text] { seams().error(this, text); });
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

void TForm1::Timer2Timer()
{
    Timer2->stop();
    seams().message(this, fromUtf8(printer::kMsgNoReply));
}

void TForm1::Timer3Timer()
{
    status_send->show();
    Timer3->stop();
}

void TForm1::SerialPort1Receive(const std::string& buffer)
{
    if (closing_)
        return;
    std::vector<printer::Effect> effects;
    bool held = false;
    {
        std::lock_guard lock(dispatchMutex_);
        effects = printer::dispatchChunk(buffer, dispatchState_);
        held = !dispatchState_.heldBack.empty();
    }
    for (const printer::Effect& effect : effects) {
        if (closing_)
            return;
        switch (effect.kind) {
        case printer::EffectKind::WriteRequestSettings:
            if (uploadRequestsPending_ > 0) {
                settingsRequestDeferred_ = true;
                postToUi([this] { deferredRequestTimer_->start(); });
                break;
            }
            if (!writeSettingsRequest())
                return; // a failed write ends the handling of this chunk
            break;
        case printer::EffectKind::StartTextUpload:
        case printer::EffectKind::StartImageUpload: {
            if (uploadRequestsPending_ > 0)
                --uploadRequestsPending_;
            const bool ok = effect.kind == printer::EffectKind::StartTextUpload ? runTextUpload() : runImageUpload();
            if (!ok)
                return;
            if (uploadRequestsPending_ == 0 && settingsRequestDeferred_.exchange(false) && !writeSettingsRequest())
                return;
            break;
        }
        default:
            runOnUi([this, &effect] { applyEffect(effect); });
        }
    }
    if (held)
        postToUi([this] { heldBackTimer_->start(); });
}

printer::JobResult TForm1::runOnLine(printer::Job job, printer::ProgressFn progress)
{
    const unsigned epoch = lineEpoch_;
    printer::JobResult result = writer->run(std::move(job), std::move(progress));
    if (!result.ok && !result.cancelled)
        reportWriteFailure(result.jobName, result.error, epoch);
    return result;
}

bool TForm1::writeSettingsRequest()
{
    return runOnLine(printer::requestSettingsJob()).ok;
}

void TForm1::sendDeferredSettingsRequest()
{
    // The printer never asked for the stream it was told of: the request need wait no longer.
    if (!settingsRequestDeferred_.exchange(false))
        return;
    uploadRequestsPending_ = 0;
    submitJob(printer::requestSettingsJob());
}

void TForm1::expectUploadRequest()
{
    ++uploadRequestsPending_;
}

void TForm1::flushHeldBack()
{
    std::vector<printer::Effect> effects;
    {
        std::lock_guard lock(dispatchMutex_);
        effects = printer::flushHeldBack(dispatchState_);
    }
    for (const printer::Effect& effect : effects)
        applyEffect(effect);
}

void TForm1::applyEffect(const printer::Effect& effect)
{
    using printer::EffectKind;
    switch (effect.kind) {
    case EffectKind::StopNoReplyTimer:
        Timer2->stop();
        break;
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
        seams().message(this, fromUtf8(effect.text));
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
        break; // written by the receive thread itself
    }
}

bool TForm1::runTextUpload()
{
    QString message;
    text::TextDirection direction{};
    runOnUi([this, &message, &direction] {
        message = memoText();
        direction = textDirection;
    });
    const text::TextStream stream = text::encodeTextStream(toU16(message), direction);
    if (!stream.sendable()) {
        // The send button refuses such a text; it may have been edited since.
        runOnUi([this] { seams().message(this, QStringLiteral(".متن قابل چاپ نیست و ارسال نشد. لطفا آن را بررسی کنید و دوباره بفرستید")); });
        return false;
    }
    return runOnLine(printer::textUploadJob(stream.bytes)).ok;
}

bool TForm1::runImageUpload()
{
    std::vector<int> values;
    uploading_ = true;
    runOnUi([this, &values] {
        values.assign(columnBuffer.begin(), columnBuffer.begin() + image::kValues);
        label_send->setText(fromUtf8(printer::kCaptionUploadingImage));
        label_send->show();
        status_send->show();
        status_send->setMaximum(240);
        status_send->setValue(0);
    });
    const printer::JobResult result = runOnLine(printer::imageUploadJob(values), [this](std::size_t done, std::size_t) {
        // Step 0 is the header; then 22 values a column.
        if (done > 1 && (done - 2) % image::kPositions == 0) {
            // The line takes the stream faster than the bar can repaint: post only when
            // the last update has been shown, and show the newest column then.
            uploadColumn_ = int((done - 2) / image::kPositions);
            if (!uploadProgressPosted_.exchange(true))
                postToUi([this] {
                    uploadProgressPosted_ = false;
                    status_send->setValue(uploadColumn_);
                });
        }
    });
    uploading_ = false;
    if (!result.ok) {
        // The picture did not go out: nothing may go on saying it is on its way.
        if (!closing_)
            runOnUi([this] {
                label_send->hide();
                status_send->hide();
            });
        return false;
    }
    // The trace is written here, not on the UI thread.
    const QString traceError = writeTraceFile(values);
    runOnUi([this] {
        Edit2->setText(QStringLiteral("fyv"));
        label_send->hide();
        status_send->hide();
    });
    return traceError.isEmpty();
}

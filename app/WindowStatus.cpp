// The status line fed from the window: the port, the connected flag, the
// upload's progress, the replies (Link.cpp hands those over as they come).
#include "MainWindow.h"

#include "StatusLine.h"

#include <QEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTimer>

#include <functional>

#include "image/Raster.h"
#include "printer/Messages.h"
#include "printer/Writer.h"
#include "serial/PortMap.h"
#include "serial/SerialPort.h"

namespace {
// Calls back when a watched widget is shown or hidden.
class ShowHideWatcher : public QObject {
public:
    ShowHideWatcher(QObject* parent, std::function<void()> changed)
        : QObject(parent), changed_(std::move(changed)) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Show || event->type() == QEvent::Hide
            || event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent)
            changed_();
        return false;
    }

private:
    std::function<void()> changed_;
};

// The picture stream: "240", then three digits for each value.
constexpr qint64 kUploadBytes = 3 + qint64(korvel::image::kValues) * 3;
constexpr qint64 kColumnBytes = qint64(korvel::image::kPositions) * 3;
} // namespace

void TForm1::buildStatusLine()
{
    setFixedSize(kClientWidth, 609 + StatusLine::kHeight);
    statusLine = new StatusLine(this);
    statusLine->setGeometry(0, 609, kClientWidth, StatusLine::kHeight);
    statusLine->setLog(Memo2);
    auto* refresh = new QTimer(this);
    refresh->setObjectName(QStringLiteral("statusRefresh"));
    refresh->setInterval(200);
    connect(refresh, &QTimer::timeout, this, &TForm1::refreshStatusLine);
    refresh->start();
    connect(status_send, &QProgressBar::valueChanged, this, &TForm1::refreshStatusLine);
    auto* watcher = new ShowHideWatcher(this, [this] { refreshStatusLine(); });
    label_send->installEventFilter(watcher);
    status_send->installEventFilter(watcher);
    refreshStatusLine();
}

void TForm1::refreshStatusLine()
{
    if (closing_)
        return; // the window's parts are going
    QString port = QString::fromStdString(SerialPort1->CommPortToString(SerialPort1->Port()));
    // A network port is told by its address: the name alone hides where the printer is.
    if (const std::string device = SerialPort1->devicePath(); korvel::serial::isNetworkPort(device))
        port += QStringLiteral(" — ") + QString::fromStdString(device);
    statusLine->setPort(port, connected);
    const bool uploading = !label_send->isHidden() && !status_send->isHidden()
                           && label_send->text() == QString::fromUtf8(korvel::printer::kCaptionUploadingImage.data(),
                                                                      qsizetype(korvel::printer::kCaptionUploadingImage.size()));
    if (uploading)
        statusLine->setWork(label_send->text(), std::min(kUploadBytes, 3 + status_send->value() * kColumnBytes),
                            kUploadBytes, 0);
    else if (!label_send->isHidden() && !status_send->isHidden())
        statusLine->setWork(label_send->text(), 0, 0, 0);
    else if (writer->busy())
        statusLine->setWork(QStringLiteral("در حال ارسال فرمان به چاپگر"), 0, 0, 0);
    else
        statusLine->setWork(QString(), 0, 0, 0);
}

// The status line fed from the window: the port, the connected flag, the work
// of the conversation as it crosses the wire, and the replies (from Link.cpp).
#include "MainWindow.h"

#include "StatusLine.h"

#include <QEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTimer>

#include <functional>
#include <map>
#include <string>

#include "printer/Conversation.h"
#include "serial/PortMap.h"
#include "serial/SerialPort.h"

namespace {
// The operator's words for a job of the conversation; its own name otherwise.
QString jobWords(const std::string& name)
{
    static const std::map<std::string, const char*> words = {
        {"connect", "اتصال"},
        {"delay after printing", "تاخیر پس از چاپ"},
        {"image sequence", "چاپ پی در پی تصاویر"},
        {"image upload", "تصویر"},
        {"initial delay", "تاخیر اولیه"},
        {"ink amount", "مقدار جوهر"},
        {"print count", "تعداد چاپ"},
        {"print left to right", "جهت چاپ"},
        {"print right to left", "جهت چاپ"},
        {"print resolution", "وضوح چاپ"},
        {"request settings", "درخواست تنظیمات"},
        {"send picture", "درخواست ارسال تصویر"},
        {"send text", "درخواست ارسال متن"},
        {"set counter", "شمارنده"},
        {"set date", "تاریخ"},
        {"set time", "ساعت"},
        {"store picture", "ذخیره تصویر"},
        {"store text", "ذخیره متن"},
        {"text upload", "متن"},
    };
    const auto it = words.find(name);
    return it != words.end() ? QString::fromUtf8(it->second) : QString::fromStdString(name);
}
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
    // What the conversation has on the line: the bytes as they cross, or the reply awaited.
    if (!conversation)
        return;
    const korvel::printer::ConversationState line = conversation->state();
    if (line.current.empty())
        statusLine->setWork(QString(), 0, 0, line.queued);
    else if (line.waitingForPrinter)
        statusLine->setWork(QStringLiteral("در انتظار پاسخ چاپگر به «%1»").arg(jobWords(line.current)), 0, 0, line.queued);
    else
        statusLine->setWork(QStringLiteral("در حال ارسال «%1»").arg(jobWords(line.current)), qint64(line.bytesDone),
                            qint64(line.bytesTotal), line.queued);
}

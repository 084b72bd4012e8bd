#include "MainWindow.h"

#include "Choices.h"
#include "UiSeams.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLockFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include "image/Canvas.h"
#include "image/Keyboards.h"
#include "printer/Conversation.h"
#include "serial/SerialPort.h"

namespace {

// Persian letters are missing from the old design fonts; the fallbacks keep them joined.
QFont designFont(const QString& family, int pixelSize)
{
    QFont font;
    font.setFamilies({family, QStringLiteral("Noto Sans Arabic"), QStringLiteral("Noto Naskh Arabic"),
                      QStringLiteral("DejaVu Sans")});
    font.setPixelSize(pixelSize);
    return font;
}

} // namespace

TForm1::TForm1(UiSeams* seams, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    if (!seams) {
        ownSeams_ = std::make_unique<DesktopSeams>();
        seams = ownSeams_.get();
    }
    seams_ = seams;
    Q_INIT_RESOURCE(icons); // the icons live in this static library
    setObjectName(QStringLiteral("Form1"));
    fontDialogFont_.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Noto Sans Arabic"), QStringLiteral("DejaVu Sans")});
    fontDialogFont_.setPixelSize(11);
    buildFrame();
    buildTextPage();
    buildPixelPage();
    buildSettingsPage();
    buildStatusLine();
    showTextsRightToLeft(this, {Label3, textPreview}); // the overlay and the preview show what is printed
    FormCreate();
}

TForm1::~TForm1()
{
    closing_ = true;
    if (keepMessageTimer_ && keepMessageTimer_->isActive())
        keepMessageText();
    // Release a receive thread waiting for the writer, then end the receive thread
    // while the writer it may still call exists.
    // The receive thread only hands chunks on; end it, then the conversation.
    SerialPort1->Close();
    conversation.reset();
}

void TForm1::buildFrame()
{
    setWindowTitle(QStringLiteral("KORVEL"));
    setFixedSize(kClientWidth, kClientHeight);
    setFont(designFont(QStringLiteral("MS Sans Serif"), 11));
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    TabbedNotebook1 = new QTabWidget(this);
    TabbedNotebook1->setObjectName(QStringLiteral("TabbedNotebook1"));
    TabbedNotebook1->setGeometry(0, 0, 1058, 609);
    TabbedNotebook1->tabBar()->setFont(designFont(QStringLiteral("Tahoma"), 27));

    auto addPage = [this](QWidget*& page, const char* name, const QString& caption) {
        page = new QWidget;
        page->setObjectName(QLatin1String(name));
        TabbedNotebook1->addTab(page, caption);
    };
    addPage(pageText, "pageText", QStringLiteral("حالت متن"));
    addPage(pagePixel, "pagePixel", QStringLiteral("حالت پیکسل"));
    addPage(pageSettings, "pageSettings", QStringLiteral("تنظیمات"));
    TabbedNotebook1->setCurrentIndex(1);

    Edit2 = new QLineEdit(this);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->hide();

    Memo2 = new QPlainTextEdit(this);
    Memo2->setObjectName(QStringLiteral("Memo2"));
    Memo2->setReadOnly(true);
    Memo2->setGeometry(0, 0, 70, 70);
    Memo2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo2->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo2->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo2->viewport()->installEventFilter(this);

    auto makeTimer = [this](QTimer*& timer, const char* name, int interval, bool active) {
        timer = new QTimer(this);
        timer->setObjectName(QLatin1String(name));
        timer->setInterval(interval);
        if (active)
            timer->start();
    };
    makeTimer(Timer1, "Timer1", 100, true);
    makeTimer(Timer2, "Timer2", 3000, false); // the design's no-reply timer; the conversation keeps that time
    makeTimer(Timer3, "Timer3", 1, false);

    connect(Timer3, &QTimer::timeout, this, &TForm1::Timer3Timer);

    SerialPort1 = std::make_unique<korvel::serial::TSerialPort>();
    SerialPort1->setPort(korvel::serial::spCOM30);
    SerialPort1->setBaudRate(korvel::serial::br009600);
    SerialPort1->OnReceive = [this](korvel::serial::TSerialPort*, const std::string& buffer) { SerialPort1Receive(buffer); };
    SerialPort1->OnDeviceLost = [this](korvel::serial::TSerialPort*, korvel::serial::TCommPort lost) { deviceLost(lost); };
    startConversation();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Memo2->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        Memo2DblClick();
        return true;
    }
    const bool mouse = event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease ||
                       event->type() == QEvent::MouseMove || event->type() == QEvent::MouseButtonDblClick;
    if (mouse) {
        if (watched == image_logo) {
            logoMouse(event);
            return true;
        }
        if (watched == Label3) {
            overlayMouse(event);
            return true;
        }
        for (size_t i = 0; i < dateLabels.size(); ++i)
            if (watched == dateLabels[i]) {
                dateLabelMouse(int(i), event);
                return true;
            }
    }
    return QWidget::eventFilter(watched, event);
}

void TForm1::Memo2DblClick()
{
    Memo2->clear();
}

// Photographs the window's pages for the README: korvel-screenshot OUTDIR.
// The pixel page gets a stamped Persian word and a placed date field first;
// then the code tool, a made-up photograph in the black-and-white dialog, a message box,
// the status line during a picture upload to the printer simulator, and the port list.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPainterPath>
#include <QRadioButton>
#include <QRadialGradient>
#include <QSpinBox>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

#include "CodeTool.h"
#include "MainWindow.h"
#include "PictureDialog.h"
#include "PortList.h"
#include "QtHooks.h"
#include "StatusLine.h"
#include "UiSeams.h"

namespace {
class QuietSeams : public DesktopSeams {
public:
    void message(QWidget*, const QString&) override {}
    void error(QWidget*, const QString& text) override { qWarning("%s", qPrintable(text)); }
    bool askYesNo(QWidget*, const QString&) override { return false; }
};

void clickKey(QWidget* keyboard, const QString& caption)
{
    for (auto* key : keyboard->findChildren<QToolButton*>())
        if (key->property("keyCaption").toString() == caption) {
            key->click();
            return;
        }
    qWarning("no key %s", qPrintable(caption));
}

// A made-up photograph: sky, sun, hills and a shaded ball, all in soft greys.
QImage syntheticPhoto()
{
    QImage photo(480, 308, QImage::Format_RGB32);
    QPainter p(&photo);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 200);
    sky.setColorAt(0, QColor(70, 110, 190));
    sky.setColorAt(1, QColor(220, 230, 245));
    p.fillRect(photo.rect(), sky);
    QRadialGradient sun(370, 70, 60);
    sun.setColorAt(0, QColor(255, 250, 220));
    sun.setColorAt(1, QColor(255, 250, 220, 0));
    p.setBrush(sun);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(370, 70), 60, 60);
    QLinearGradient hill(0, 160, 0, 308);
    hill.setColorAt(0, QColor(110, 150, 90));
    hill.setColorAt(1, QColor(30, 60, 30));
    p.setBrush(hill);
    QPainterPath hills(QPointF(0, 308));
    hills.lineTo(0, 190);
    hills.cubicTo(120, 130, 220, 230, 320, 180);
    hills.cubicTo(400, 140, 450, 170, 480, 160);
    hills.lineTo(480, 308);
    p.drawPath(hills);
    QRadialGradient ball(140, 200, 70, 115, 175);
    ball.setColorAt(0, QColor(250, 240, 235));
    ball.setColorAt(0.6, QColor(190, 80, 60));
    ball.setColorAt(1, QColor(60, 20, 15));
    p.setBrush(ball);
    p.drawEllipse(QPointF(140, 200), 70, 70);
    return photo;
}

void waitFor(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

// The window with a popup of its own drawn where it shows.
QImage withPopup(QWidget& window, QWidget& popup)
{
    QImage shot = window.grab().toImage();
    QPainter painter(&shot);
    painter.drawPixmap(window.mapFromGlobal(popup.mapToGlobal(QPoint(0, 0))), popup.grab());
    return shot;
}
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    installSerialHooks();
    const QString out = QDir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".")).absolutePath();
    QDir().mkpath(out);
    // A private place: port map, working folder, settings file, the simulator's records.
    QTemporaryDir place;
    qputenv("KORVEL_PORT_MAP", (place.path() + QStringLiteral("/ports")).toUtf8());
    qputenv("KORVEL_WORKDIR", (place.path() + QStringLiteral("/korvel")).toUtf8());
    QDir::setCurrent(place.path());
    QFile settings(QStringLiteral("setting.dll"));
    if (settings.open(QIODevice::WriteOnly))
        settings.write("29\r\n0\r\n");
    settings.close();
    QProcess sim;
    sim.start(QStringLiteral(PRINTER_SIM_PATH), {QStringLiteral("--port"), QStringLiteral("COM30"), QStringLiteral("--line-rate"),
                                               QStringLiteral("9600"), QStringLiteral("--out"), place.path() + QStringLiteral("/sim-out"),
                                               QStringLiteral("--log"), place.path() + QStringLiteral("/sim.jsonl")});
    sim.waitForStarted();
    for (int i = 0; i < 100 && !sim.readAllStandardError().contains("ready"); ++i)
        sim.waitForReadyRead(100);

    QuietSeams seams;
    TForm1 form(&seams);
    form.show();
    QApplication::processEvents();

    form.SpeedButton6->click(); // the text overlay
    for (const QString& letter : {QStringLiteral("س"), QStringLiteral("ل"), QStringLiteral("ا"), QStringLiteral("م")})
        clickKey(form.panel_farsi, letter);
    form.Label3->move(60, 40);
    form.commitOverlay();
    form.placingButtons[0]->click(); // production year
    form.placingButtons[1]->click();
    form.placingButtons[2]->click();
    form.SpeedButton6->click();
    QApplication::processEvents();

    form.TabbedNotebook1->setCurrentIndex(1);
    QApplication::processEvents();
    form.grab().save(out + QStringLiteral("/pixel-page-persian-keyboard.png"));
    clickKey(form.panel_farsi, QStringLiteral("انگلیسی"));
    QApplication::processEvents();
    form.grab().save(out + QStringLiteral("/pixel-page-english-keyboard.png"));
    form.TabbedNotebook1->setCurrentIndex(0);
    form.Memo1->setPlainText(QStringLiteral("تاریخ تولید: ^d/^m/^y\nضمانت ۱۲ ماه (ایران)\nExp ^Y/^M"));
    QApplication::processEvents();
    form.grab().save(out + QStringLiteral("/text-page.png"));
    form.TabbedNotebook1->setCurrentIndex(2);
    QApplication::processEvents();
    form.grab().save(out + QStringLiteral("/settings-page.png"));

    // The code tool: a GS1 Data Matrix committed, a QR code still being placed.
    form.TabbedNotebook1->setCurrentIndex(1);
    form.codeTool->button->click();
    form.codeTool->symbology->setCurrentIndex(form.codeTool->symbology->findData(int(korvel::image::Symbology::Gs1DataMatrix)));
    form.codeTool->module->setValue(3);
    form.codeTool->data->setText(QStringLiteral("(01)09501101530003(17)260101(10)AB12"));
    form.codeTool->moveTo(QPoint(4, 90));
    form.codeTool->commit();
    form.codeTool->symbology->setCurrentIndex(form.codeTool->symbology->findData(int(korvel::image::Symbology::QrCode)));
    form.codeTool->module->setValue(2);
    form.codeTool->data->setText(QStringLiteral("KORVEL LOT 0042"));
    form.codeTool->moveTo(QPoint(176, 90));
    QApplication::processEvents();
    form.grab().save(out + QStringLiteral("/pixel-page-code-tool.png"));

    // A photograph: threshold beside Floyd-Steinberg, scaled down to the canvas.
    PictureDialog dialog(syntheticPhoto(), &form);
    dialog.ditherButton->setChecked(true);
    dialog.show();
    QApplication::processEvents();
    dialog.grab().save(out + QStringLiteral("/photo-threshold-and-dither.png"));
    auto box = makeMessageBox(&form, QStringLiteral(".اتصال با دستگاه بر قرار شد"), false);
    box->show();
    waitFor(300);
    box->grab().save(out + QStringLiteral("/message-box.png"));
    box->hide();

    // The port list as the operator opens it: the simulator's port first.
    form.comboportselect->showPopup();
    waitFor(300);
    if (auto* list = form.comboportselect->findChild<QListWidget*>(QStringLiteral("portPopupList")))
        withPopup(form, *list->window()).save(out + QStringLiteral("/port-list.png"));
    form.comboportselect->hidePopup();

    // A picture on its way at 9600 bit/s.
    form.TabbedNotebook1->setCurrentIndex(1);
    form.SpeedButton26->click();
    // Past the request: the picture's own bytes a third of the way across.
    const QString crossing = QStringLiteral("در حال ارسال «تصویر»");
    for (int i = 0; i < 3000 && !(form.statusLine->workText().startsWith(crossing) &&
                                  form.statusLine->progressPercent() >= 30); ++i)
        waitFor(10);
    form.grab().save(out + QStringLiteral("/status-line-upload.png"));
    sim.terminate();
    sim.waitForFinished(3000);
    return 0;
}

// Photographs the window's pages for the README: korvel-screenshot OUTDIR.
// The pixel page gets a stamped Persian word and a placed date field first;
// then a message box, the status line during a picture upload to the printer
// simulator, and the port list with the simulator's port.
#include <QApplication>
#include <QComboBox>
#include <QDir>
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

#include "MainWindow.h"
#include "PortList.h"
#include "QtHooks.h"
#include "StatusLine.h"
#include "UiSeams.h"

namespace {
class QuietSeams : public DesktopSeams {
public:
    void message(QWidget*, const QString&) override {}
    void error(QWidget*, const QString& text) override { qWarning("%s", qPrintable(text)); }
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
    form.Memo1->setPlainText(QStringLiteral("تاریخ ^d/^m/^y\nExp ^Y/^M"));
    QApplication::processEvents();
    form.grab().save(out + QStringLiteral("/text-page.png"));
    form.TabbedNotebook1->setCurrentIndex(2);
    QApplication::processEvents();
    form.grab().save(out + QStringLiteral("/settings-page.png"));

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
    for (int i = 0; i < 2000 && form.statusLine->progressPercent() < 30; ++i)
        waitFor(10);
    form.grab().save(out + QStringLiteral("/status-line-upload.png"));
    sim.terminate();
    sim.waitForFinished(3000);
    return 0;
}

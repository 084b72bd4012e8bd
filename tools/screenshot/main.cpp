// Photographs the window's pages for the README: korvel-screenshot OUTDIR.
// The pixel page gets a stamped Persian word and a placed date field first.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

#include "MainWindow.h"
#include "QtHooks.h"
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
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    installSerialHooks();
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(out);
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
    return 0;
}

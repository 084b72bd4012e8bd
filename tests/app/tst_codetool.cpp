// The code tool and the black-and-white choice on the pixel page of an
// offscreen window: what reaches the canvas, what is refused, what Undo gives back.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>

#include "CodeReader.h"
#include "CodeTool.h"
#include "PictureDialog.h"
#include "PixelPage.h"

using namespace pixel;
using korvel::image::BlackWhiteWay;
using korvel::image::PictureChoice;
using korvel::image::Symbology;

namespace {
QImage gradient(int w, int h)
{
    QImage p(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int g = x * 255 / (w - 1);
            p.setPixel(x, y, qRgb(g, g, g));
        }
    return p;
}
} // namespace

class CodeToolTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        env.reset(new TestEnvironment);
        openWindow(*env, form);
        tool = form->codeTool;
    }
    void cleanup() { closeWindow(env, form); }

    void draggedNudgedCommittedAndUndone()
    {
        paintBlack(*form, QRect(0, 0, 240, 154)); // the quiet zone must whiten what lies under it
        const QImage before = shown(*form);
        click(named(*form, "SpeedButtonCode"));
        QVERIFY(tool->panel->isVisible());
        choose(Symbology::QrCode, "K-42", 2);
        QVERIFY(tool->overlay->isVisible());
        QCOMPARE(tool->overlay->size(), QSize(58, 58)); // version 1 and its quiet zone, 29 x 29 modules
        // Dragged: the overlay centres on the pointer, as the text overlay does.
        press(tool->overlay, QPoint(5, 5));
        move(tool->overlay, QPoint(29 + 40, 29 + 20));
        release(tool->overlay, QPoint(29 + 40, 29 + 20));
        QCOMPARE(tool->overlay->pos() - form->imagesend->pos(), QPoint(40, 20));
        click(named(*form, "codeRight"));
        click(named(*form, "codeDown"));
        click(named(*form, "codeDown"));
        QCOMPARE(tool->overlay->pos() - form->imagesend->pos(), QPoint(41, 22));
        click(named(*form, "codeCommit"));
        QVERIFY2(env->seams.allMessages().isEmpty(), qPrintable(env->seams.allMessages().join('\n')));

        const QImage after = shown(*form);
        QCOMPARE(blackCount(after, QRect(41, 22, 8, 58)), 0);   // quiet zone, left
        QCOMPARE(blackCount(after, QRect(41, 22, 58, 8)), 0);   // and top
        QVERIFY(isBlack(after, 49, 30));                         // the finder pattern's corner
        QVERIFY(isBlack(after, 40, 22) && isBlack(after, 99, 22)); // outside untouched
        const auto read = readCode(after.copy(41, 22, 58, 58), false);
        QVERIFY(read);
        QCOMPARE(read->text, std::string("K-42"));
        // A canvas change like a figure: the checkpoint holds the picture before it.
        QCOMPARE(picture(workingBitmapPath(*env)), before);
        form->Undo();
        QCOMPARE(shown(*form), before);
    }

    void refusals_data()
    {
        QTest::addColumn<Symbology>("symbology");
        QTest::addColumn<QString>("data");
        QTest::addColumn<int>("module");
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<QString>("told"); // the end of the message
        QTest::newRow("wrong check digit") << Symbology::Ean13 << "5901234123458" << 1 << QPoint(0, 0) << "expecting '7'";
        QTest::newRow("GS1 syntax") << Symbology::Gs1DataMatrix << "01)09501101530003" << 1 << QPoint(0, 0) << "";
        QTest::newRow("too large") << Symbology::Ean13 << "5901234123457" << 4 << QPoint(0, 0) << "2";
        QTest::newRow("leaves the canvas") << Symbology::QrCode << "K" << 2 << QPoint(200, 0) << "";
        QTest::newRow("no data") << Symbology::QrCode << "" << 2 << QPoint(0, 0) << "";
    }
    void refusals()
    {
        QFETCH(Symbology, symbology);
        QFETCH(QString, data);
        QFETCH(int, module);
        QFETCH(QPoint, at);
        QFETCH(QString, told);
        click(named(*form, "SpeedButtonCode"));
        choose(symbology, data, module);
        tool->moveTo(at);
        const QByteArray checkpoint = fileBytes(workingBitmapPath(*env));
        click(named(*form, "codeCommit"));
        QCOMPARE(env->seams.allMessages().size(), 1);
        const QString message = env->seams.allMessages().first();
        QVERIFY(message.startsWith(QLatin1Char('.')));
        QVERIFY2(message.endsWith(told), qPrintable(message));
        QCOMPARE(blackCount(shown(*form)), 0);
        QCOMPARE(fileBytes(workingBitmapPath(*env)), checkpoint); // no checkpoint either
    }

    // The printer's date written over a code spoils it: told however the two come to meet.
    void dateOverACodeIsTold_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("told");
        QTest::newRow("date placed onto the code") << "place" << true;
        QTest::newRow("code committed onto the date") << "commit" << true;
        QTest::newRow("date dragged onto the code") << "drag onto" << true;
        QTest::newRow("date dragged beside the code") << "drag beside" << false;
    }
    void dateOverACodeIsTold()
    {
        QFETCH(QString, how);
        QFETCH(bool, told);
        QLabel* year = form->dateLabels[0]; // placed at the top left
        const bool dragged = how.startsWith(QLatin1String("drag"));
        const QRect code(dragged ? QPoint(120, 60) : QPoint(0, 0), QSize(58, 58));
        click(named(*form, "SpeedButtonCode"));
        choose(Symbology::QrCode, QStringLiteral("K"), 2);
        tool->moveTo(code.topLeft());
        if (how != QLatin1String("commit")) {
            QVERIFY(tool->commit());
            QVERIFY(env->seams.allMessages().isEmpty());
        }
        click(form->placingButtons[0]);
        if (how == QLatin1String("commit")) {
            QVERIFY(env->seams.allMessages().isEmpty());
            QVERIFY(tool->commit());
        }
        if (dragged) {
            QVERIFY(env->seams.allMessages().isEmpty());
            const QPoint target = how == QLatin1String("drag onto") ? code.topLeft() + QPoint(5, 5) : QPoint(0, 120);
            const QPoint grip(year->width() / 2, year->height() / 2);
            press(year, grip);
            move(year, target - year->pos() + grip);
            release(year, grip);
            QCOMPARE(year->geometry().intersects(code), told);
        }
        const QStringList said = env->seams.allMessages();
        QCOMPARE(said.size(), told ? 1 : 0);
        if (told)
            QVERIFY2(said.first().contains(QStringLiteral("روی کد")), qPrintable(said.first()));
    }

    void openAsksHowToMakeBlackAndWhite_data()
    {
        QTest::addColumn<QImage>("file");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<QSize>("canvas");
        QTest::newRow("grey photograph") << gradient(200, 100) << true << QSize(200, 100);
        QTest::newRow("larger than the canvas, scaled to fit") << gradient(480, 200) << true << QSize(240, 100);
        QImage bw(240, 154, QImage::Format_RGB32);
        bw.fill(Qt::white);
        bw.setPixel(3, 3, qRgb(0, 0, 0));
        QTest::newRow("black and white already") << bw << false << QSize(240, 154);
    }
    void openAsksHowToMakeBlackAndWhite()
    {
        QFETCH(QImage, file);
        QFETCH(bool, asked);
        QFETCH(QSize, canvas);
        int asks = 0;
        form->choosePictureConversion = [&asks](const QImage&) {
            ++asks;
            PictureChoice c;
            c.way = BlackWhiteWay::Dither;
            c.fit = true;
            return std::optional<PictureChoice>(c);
        };
        const QString path = env->cwd() + QStringLiteral("/photo.png");
        QVERIFY(file.save(path));
        env->seams.openAnswers.push_back(path);
        click(named(*form, "SpeedButton1"));
        QCOMPARE(asks, asked ? 1 : 0);
        QCOMPARE(form->canvas->image().size(), canvas);
        QCOMPARE(form->CurrentFile, path);
        if (asked) {
            // Dithered: the left end black, the right end white, greys in between mixed.
            const QImage c = shown(*form);
            QCOMPARE(blackCount(c, QRect(0, 0, 2, canvas.height())), 2 * canvas.height());
            QCOMPARE(blackCount(c, QRect(canvas.width() - 2, 0, 2, canvas.height())), 0);
            const int middle = blackCount(c, QRect(canvas.width() / 2 - 5, 0, 10, canvas.height()));
            QVERIFY2(middle > 2 * canvas.height() && middle < 8 * canvas.height(), qPrintable(QString::number(middle)));
        }
    }

    void cancellingTheChoiceOpensNothing()
    {
        form->choosePictureConversion = [](const QImage&) { return std::optional<PictureChoice>(); };
        const QString path = env->cwd() + QStringLiteral("/photo.png");
        QVERIFY(gradient(100, 50).save(path));
        env->seams.openAnswers.push_back(path);
        click(named(*form, "SpeedButton1"));
        QCOMPARE(form->canvas->image().size(), QSize(240, 154));
        QCOMPARE(blackCount(shown(*form)), 0);
        QVERIFY(form->CurrentFile.isEmpty());
    }

    void logoThresholdAtTheChosenLevel()
    {
        form->choosePictureConversion = [](const QImage&) {
            PictureChoice c;
            c.level = 200; // greys below 200 become ink
            return std::optional<PictureChoice>(c);
        };
        QImage logo(3, 1, QImage::Format_RGB32);
        logo.setPixel(0, 0, qRgb(150, 150, 150));
        logo.setPixel(1, 0, qRgb(199, 199, 199));
        logo.setPixel(2, 0, qRgb(200, 200, 200));
        const QString path = env->cwd() + QStringLiteral("/logo.png");
        QVERIFY(logo.save(path));
        env->seams.openAnswers.push_back(path);
        click(named(*form, "SpeedButton7"));
        QCOMPARE(form->logoMask_.pixel(0, 0), qRgb(255, 0, 0));
        QCOMPARE(form->logoMask_.pixel(1, 0), qRgb(255, 0, 0));
        QCOMPARE(form->logoMask_.pixel(2, 0), qRgb(255, 255, 255));
    }

    void dialogPreviewsBothAndReportsTheChoice()
    {
        PictureDialog dialog(gradient(480, 154));
        QVERIFY(dialog.fit->isEnabled() && dialog.fit->isChecked()); // larger: offered and proposed
        dialog.ditherButton->setChecked(true);
        dialog.level->setValue(90);
        dialog.fit->setChecked(false);
        const PictureChoice c = dialog.choice();
        QCOMPARE(c.way, BlackWhiteWay::Dither);
        QCOMPARE(c.level, 90);
        QVERIFY(!c.fit);
        const auto previews = dialog.findChildren<QLabel*>();
        int shownPictures = 0;
        for (QLabel* l : previews)
            shownPictures += !l->pixmap().isNull();
        QCOMPARE(shownPictures, 2);
        QVERIFY(!PictureDialog(gradient(100, 50)).fit->isEnabled());
    }

private:
    void choose(Symbology symbology, const QString& data, int module)
    {
        tool->symbology->setCurrentIndex(tool->symbology->findData(int(symbology)));
        tool->module->setValue(module);
        tool->data->setText(data);
    }

    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<TForm1> form;
    CodeTool* tool = nullptr;
};

QTEST_MAIN(CodeToolTest)
#include "tst_codetool.moc"

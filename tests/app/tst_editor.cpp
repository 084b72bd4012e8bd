// The canvas editor of the pixel page driven through the canvas control's
// mouse events and the toolbar buttons: figures, rubber band, Undo and its
// checkpoints, pen width, open, save and the logo.
#include <QFile>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "PixelPage.h"

using namespace pixel;

class EditorTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        env.reset(new TestEnvironment);
        openWindow(*env, form);
    }
    void cleanup()
    {
        closeWindow(env, form, expectErrors);
        expectErrors = false;
    }

    // The line's end pixel is not set, so a press and release without a move sets none.
    void line_data()
    {
        QTest::addColumn<QPoint>("from");
        QTest::addColumn<QPoint>("to");
        QTest::addColumn<QString>("width");
        QTest::addColumn<QRect>("ink");
        QTest::newRow("to the right") << QPoint(10, 10) << QPoint(60, 10) << "1" << QRect(10, 10, 50, 1);
        QTest::newRow("to the left") << QPoint(60, 10) << QPoint(10, 10) << "1" << QRect(11, 10, 50, 1);
        QTest::newRow("down") << QPoint(30, 5) << QPoint(30, 100) << "1" << QRect(30, 5, 1, 95);
        QTest::newRow("up") << QPoint(30, 100) << QPoint(30, 5) << "1" << QRect(30, 6, 1, 95);
        QTest::newRow("point") << QPoint(30, 30) << QPoint(30, 30) << "1" << QRect();
        QTest::newRow("wide pen") << QPoint(10, 50) << QPoint(60, 50) << "5" << QRect(10, 48, 50, 5);
    }
    void line()
    {
        QFETCH(QPoint, from);
        QFETCH(QPoint, to);
        QFETCH(QString, width);
        QFETCH(QRect, ink);
        form->PenSize->setText(width);
        drag(*form, from, {to}, to);
        const QImage image = shown(*form);
        QCOMPARE(blackCount(image), ink.width() * ink.height());
        if (!ink.isEmpty())
            QCOMPARE(blackCount(image, ink), ink.width() * ink.height());
    }

    // Interiors follow the brush; the outline is black; nothing outside changes.
    void figureBrush_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QString>("brush");
        QTest::addColumn<bool>("interiorBlack");
        for (const char* tool : {"RectangleButton", "EllipseButton", "RoundRectButton"}) {
            QTest::addRow("%s solid", tool) << tool << "SolidBrush" << false;
            QTest::addRow("%s clear", tool) << tool << "ClearBrush" << true;
        }
    }
    void figureBrush()
    {
        QFETCH(QString, tool);
        QFETCH(QString, brush);
        QFETCH(bool, interiorBlack);
        paintBlack(*form, QRect(60, 40, 60, 40)); // under the figure's middle
        click(named(*form, qPrintable(brush)));
        click(named(*form, qPrintable(tool)));
        drag(*form, QPoint(40, 20), {QPoint(140, 100)}, QPoint(140, 100));
        const QImage image = shown(*form);
        QCOMPARE(isBlack(image, 90, 60), interiorBlack);
        QCOMPARE(blackCount(image, QRect(80, 50, 20, 20)), interiorBlack ? 400 : 0);
        QVERIFY(isBlack(image, 90, 20));  // top edge
        QVERIFY(isBlack(image, 90, 100)); // bottom edge
        QCOMPARE(blackCount(image, QRect(150, 0, 90, 154)), 0);
        QCOMPARE(blackCount(image, QRect(0, 110, 240, 44)), 0);
    }

    // Moving twice leaves only the last outline; the release then gives the
    // same figure as a drag straight to that point, over black and white alike.
    void rubberBand_data()
    {
        QTest::addColumn<QString>("tool");
        for (const char* tool : {"LineButton", "RectangleButton", "EllipseButton", "RoundRectButton"})
            QTest::newRow(tool) << tool;
    }
    void rubberBand()
    {
        QFETCH(QString, tool);
        click(named(*form, qPrintable(tool)));
        for (int y = 0; y < 154; y += 4)
            paintBlack(*form, QRect(0, y, 240, 2));
        form->PenSize->setText(QStringLiteral("3"));
        const QImage before = shown(*form);

        press(form->imagesend, QPoint(30, 20));
        move(form->imagesend, QPoint(100, 60));
        move(form->imagesend, QPoint(200, 130));
        const QImage twoMoves = shown(*form);
        release(form->imagesend, QPoint(200, 130));
        const QImage twoMovesFinal = shown(*form);

        form->Undo();
        QCOMPARE(shown(*form), before);
        form->PenSize->setText(QStringLiteral("3")); // Undo gave the canvas a pen of width 1
        form->PenSizeChange();
        press(form->imagesend, QPoint(30, 20));
        move(form->imagesend, QPoint(200, 130));
        QCOMPARE(twoMoves, shown(*form));
        release(form->imagesend, QPoint(200, 130));
        QCOMPARE(twoMovesFinal, shown(*form));
        QVERIFY(twoMoves != before);
        QVERIFY(twoMovesFinal != twoMoves);
    }

    // Without a move at the release point, the last inverted outline stays.
    void releaseAwayFromTheLastMove()
    {
        click(form->RectangleButton);
        click(form->ClearBrush);
        drag(*form, QPoint(10, 10), {QPoint(200, 140)}, QPoint(100, 60));
        const QImage image = shown(*form);
        QVERIFY(isBlack(image, 200, 140)); // the band's corner
        QVERIFY(isBlack(image, 100, 60));  // the figure's corner
        QVERIFY(!form->Drawing);
        move(form->imagesend, QPoint(5, 5)); // nothing while idle
        QCOMPARE(shown(*form), image);
    }

    void undoAfterFigure()
    {
        paintBlack(*form, QRect(0, 0, 20, 20));
        form->PenSize->setText(QStringLiteral("5"));
        click(form->RectangleButton);
        const QImage before = shown(*form);
        drag(*form, QPoint(30, 30), {QPoint(90, 90)}, QPoint(90, 90));
        QVERIFY(shown(*form) != before);
        click(key(form->panel_farsi, QStringLiteral("Undo")));
        QCOMPARE(shown(*form), before);
        click(key(form->panel_english, QStringLiteral("Undo")));
        QCOMPARE(shown(*form), before);

        // The pen stays as the edit shows it: width 5.
        QCOMPARE(form->PenSize->text(), QStringLiteral("5"));
        click(form->LineButton);
        drag(*form, QPoint(10, 120), {QPoint(60, 120)}, QPoint(60, 120));
        QCOMPARE(blackCount(shown(*form), QRect(0, 100, 240, 54)), 5 * 50);
    }

    // New is a step of its own: Undo brings the drawing back, Redo clears it again.
    void undoAfterNew()
    {
        drag(*form, QPoint(10, 10), {QPoint(100, 100)}, QPoint(100, 100));
        const QImage drawing = shown(*form);
        click(form->SpeedButton3);
        QCOMPARE(blackCount(shown(*form)), 0);
        form->Undo();
        QCOMPARE(shown(*form), drawing);
        form->Redo();
        QCOMPARE(shown(*form).size(), QSize(240, 154));
        QCOMPARE(blackCount(shown(*form)), 0);
    }

    // Open writes no checkpoint: Undo brings back the canvas from before it,
    // at its old size. The picture opened is made black and white by luminance.
    void openThenUndo()
    {
        form->PenSize->setText(QStringLiteral("4"));
        drag(*form, QPoint(10, 10), {QPoint(100, 10)}, QPoint(100, 10));
        click(form->RectangleButton); // checkpoint with the line
        const QImage withLine = shown(*form);

        QImage grey(100, 50, QImage::Format_RGB32);
        grey.fill(qRgb(255, 255, 255));
        for (int y = 0; y < 50; ++y) {
            grey.setPixel(0, y, qRgb(60, 60, 60));    // dark grey: black
            grey.setPixel(1, y, qRgb(200, 200, 200)); // light grey: white
            grey.setPixel(2, y, qRgb(255, 0, 0));     // red is dark: black
            grey.setPixel(3, y, qRgb(255, 255, 0));   // yellow is light: white
        }
        const QString file = env->cwd() + QStringLiteral("/grey.png");
        QVERIFY(grey.save(file));
        env->seams.openAnswers.push_back(file);
        click(form->SpeedButton1);
        QCOMPARE(form->CurrentFile, file);
        QImage opened = shown(*form);
        QCOMPARE(opened.size(), QSize(100, 50));
        QCOMPARE(form->imagesend->size(), QSize(100, 50));
        QCOMPARE(blackCount(opened, QRect(0, 0, 1, 50)), 50);
        QCOMPARE(blackCount(opened, QRect(1, 0, 1, 50)), 0);
        QCOMPARE(blackCount(opened, QRect(2, 0, 1, 50)), 50);
        QCOMPARE(blackCount(opened), 100);
        QCOMPARE(form->canvas->penWidth(), 4); // kept across the open

        form->Undo();
        QCOMPARE(shown(*form), withLine);
        QCOMPARE(form->imagesend->size(), QSize(240, 154));
    }

    // Which events write the working bitmap: "before" the canvas as it was
    // just before the event, "after" as the event left it, "none" untouched.
    void checkpoints_data()
    {
        QTest::addColumn<QString>("event");
        QTest::addColumn<QString>("written");
        QTest::newRow("press on the canvas") << "press" << "before";
        QTest::newRow("tool button") << "tool" << "before";
        QTest::newRow("New") << "new" << "before";
        QTest::newRow("commit overlay text") << "commit" << "before";
        QTest::newRow("double-click overlay text") << "stamp" << "before";
        QTest::newRow("Open") << "open" << "before";
        QTest::newRow("stamp logo") << "logo" << "before";
        QTest::newRow("Undo") << "undo" << "none";
        QTest::newRow("Save as") << "save" << "none";
        QTest::newRow("pen and brush") << "styles" << "none";
    }
    void checkpoints()
    {
        QFETCH(QString, event);
        QFETCH(QString, written);
        const QString logo = env->cwd() + QStringLiteral("/logo.png");
        QImage logoPicture(8, 8, QImage::Format_RGB32);
        logoPicture.fill(qRgb(0, 0, 0));
        QVERIFY(logoPicture.save(logo));
        env->seams.openAnswers.push_back(logo);
        click(form->SpeedButton7);
        if (event == "commit" || event == "stamp") {
            click(form->SpeedButton6);
            form->Timer1->stop();
            click(key(form->panel_english, QStringLiteral("H")));
            press(form->imagesend, QPoint(120, 60)); // moves the overlay, no checkpoint
        }

        if (event == "undo") // a step to undo
            drag(*form, QPoint(150, 100), {QPoint(200, 140)}, QPoint(200, 140));
        // The canvas now differs from the working bitmap.
        paintBlack(*form, QRect(5, 5, 30, 20));
        const QByteArray bitmapBefore = fileBytes(workingBitmapPath(*env));
        const QImage canvasBefore = shown(*form);
        QVERIFY(picture(workingBitmapPath(*env)) != canvasBefore);

        if (event == "press") {
            press(form->imagesend, QPoint(50, 50));
        } else if (event == "tool") {
            click(form->EllipseButton);
        } else if (event == "new") {
            click(form->SpeedButton3);
        } else if (event == "commit") {
            click(named(*form, "SpeedButton18"));
        } else if (event == "stamp") {
            doubleClick(form->Label3, QPoint(2, 2));
        } else if (event == "open") {
            env->seams.openAnswers.push_back(logo);
            click(form->SpeedButton1);
        } else if (event == "logo") {
            press(form->image_logo, QPoint(4, 4));
            move(form->image_logo, QPoint(4 - 300 + 100, 4 + 100)); // onto the canvas at (100, 100)
            release(form->image_logo, QPoint(4, 4));
            doubleClick(form->image_logo, QPoint(1, 1));
        } else if (event == "undo") {
            form->Undo();
        } else if (event == "save") {
            env->seams.saveAnswers.push_back(env->cwd() + QStringLiteral("/saved.bmp"));
            click(form->SpeedButton5);
        } else if (event == "styles") {
            click(form->DashPen);
            click(form->ClearBrush);
            click(form->Button140);
        }
        const QImage canvasAfter = shown(*form);
        QVERIFY(canvasAfter != canvasBefore || event == "press" || event == "tool" || event == "save" ||
                event == "styles");

        if (written == "none")
            QCOMPARE(fileBytes(workingBitmapPath(*env)), bitmapBefore);
        else
            QCOMPARE(picture(workingBitmapPath(*env)), written == "before" ? canvasBefore : canvasAfter);
    }

    void penWidthButtons_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("shows");
        QTest::newRow("+ from 1") << "1" << "Button140" << "2";
        QTest::newRow("+ from 8") << "8" << "Button140" << "9";
        QTest::newRow("+ from 9") << "9" << "Button140" << "1";
        QTest::newRow("+ from typed 15") << "15" << "Button140" << "1";
        QTest::newRow("- from 9") << "9" << "Button142" << "8";
        QTest::newRow("- from 2") << "2" << "Button142" << "1";
        QTest::newRow("- from 1") << "1" << "Button142" << "9";
        QTest::newRow("- from typed 0") << "0" << "Button142" << "9";
    }
    void penWidthButtons()
    {
        QFETCH(QString, typed);
        QFETCH(QString, button);
        QFETCH(QString, shows);
        form->PenSize->setText(typed);
        QCOMPARE(form->canvas->penWidth(), typed.toInt()); // a typed width is used as typed
        click(named(*form, qPrintable(button)));
        QCOMPARE(form->PenSize->text(), shows);
        QCOMPARE(form->canvas->penWidth(), shows.toInt());
    }

    void penWidthNotANumber()
    {
        form->PenSize->setText(QStringLiteral("3"));
        env->seams.clear();
        form->PenSize->setText(QStringLiteral("x"));
        QCOMPARE(env->seams.allErrors().size(), 1);
        QCOMPARE(form->canvas->penWidth(), 3);
        click(form->Button140);
        QCOMPARE(env->seams.allErrors().size(), 2);
        QCOMPARE(form->PenSize->text(), QStringLiteral("x"));
        expectErrors = true;
    }

    // Only pure black logo pixels become ink; the mask goes back onto the preview.
    void logoStampsOnlyPureBlack()
    {
        QImage logo(30, 10, QImage::Format_RGB32);
        for (int x = 0; x < 30; ++x)
            for (int y = 0; y < 10; ++y)
                logo.setPixel(x, y, x < 10 ? qRgb(0, 0, 0) : x < 20 ? qRgb(20, 20, 20) : qRgb(0, 0, 128));
        const QString file = env->cwd() + QStringLiteral("/logo.png");
        QVERIFY(logo.save(file));
        env->seams.openAnswers.push_back(file);
        click(form->SpeedButton7);
        QCOMPARE(form->Image_load->size(), QSize(30, 10));
        QCOMPARE(form->image_logo->size(), QSize(30, 10));
        QCOMPARE(form->image_logo->pos(), form->Image_load->pos());
        QVERIFY(form->CurrentFile.isEmpty());

        // Drag the mask's centre to (55, 35): its top-left lands on (40, 30).
        const QPoint home = form->image_logo->pos();
        press(form->image_logo, QPoint(15, 5));
        move(form->image_logo, QPoint(55, 35) - home);
        release(form->image_logo, QPoint(15, 5));
        QCOMPARE(form->image_logo->pos(), QPoint(40, 30));
        move(form->image_logo, QPoint(0, 0)); // not dragging any more
        QCOMPARE(form->image_logo->pos(), QPoint(40, 30));

        doubleClick(form->image_logo, QPoint(3, 3));
        const QImage image = shown(*form);
        QCOMPARE(blackCount(image, QRect(40, 30, 10, 10)), 100);
        QCOMPARE(blackCount(image), 100);
        QCOMPARE(form->image_logo->pos(), home);

        // A cancelled dialog rebuilds the mask and puts it back on the preview.
        press(form->image_logo, QPoint(15, 5));
        move(form->image_logo, QPoint(-200, 50));
        release(form->image_logo, QPoint(15, 5));
        QVERIFY(form->image_logo->pos() != home);
        click(form->SpeedButton7);
        QCOMPARE(form->image_logo->pos(), home);
        QCOMPARE(form->image_logo->size(), QSize(30, 10));
    }

    // Save without a file asks for one and writes a 1-bit Windows bitmap;
    // the next Save writes to the same file without asking.
    void saveWritesOneBitBitmap()
    {
        click(form->SpeedButton4); // cancelled: nothing is written
        QVERIFY(form->CurrentFile.isEmpty());
        QCOMPARE(QDir(env->cwd()).entryList({QStringLiteral("*.bmp")}).size(), 0);

        drag(*form, QPoint(10, 10), {QPoint(100, 10)}, QPoint(100, 10));
        const QString file = env->cwd() + QStringLiteral("/picture.bmp");
        env->seams.saveAnswers.push_back(file);
        click(form->SpeedButton4);
        QCOMPARE(form->CurrentFile, file);
        QCOMPARE(env->seams.lastFilter.section(QStringLiteral(";;"), 0, 0), QStringLiteral("Bitmap files (*.bmp)"));
        QByteArray bytes = fileBytes(file);
        QVERIFY(bytes.startsWith("BM"));
        QCOMPARE(quint8(bytes[28]) | quint8(bytes[29]) << 8, 1); // bits per pixel
        QCOMPARE(picture(file), shown(*form));

        drag(*form, QPoint(10, 50), {QPoint(100, 50)}, QPoint(100, 50));
        click(form->SpeedButton4);
        QCOMPARE(picture(file), shown(*form));
    }

    void saveFailureNamesTheFile()
    {
        const QString file = env->cwd() + QStringLiteral("/missing-folder/picture.bmp");
        env->seams.saveAnswers.push_back(file);
        click(form->SpeedButton5);
        QCOMPARE(env->seams.allErrors().size(), 1);
        QVERIFY(env->seams.allErrors().first().contains(file));
        QVERIFY(!QFile::exists(file));
        expectErrors = true;
    }

    void openUnreadableKeepsTheCanvas_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: no file at all
        QTest::newRow("not a picture") << QByteArray("this is not a picture");
        QTest::newRow("empty file") << QByteArray("");
        QTest::newRow("truncated bitmap") << QByteArray("BM\x36\x00\x00\x00", 6);
        QTest::newRow("missing file") << QByteArray();
    }
    void openUnreadableKeepsTheCanvas()
    {
        QFETCH(QByteArray, content);
        const QString file = env->cwd() + QStringLiteral("/bad.bmp");
        if (!content.isNull()) {
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(content);
        }
        drag(*form, QPoint(10, 10), {QPoint(100, 100)}, QPoint(100, 100));
        const QImage before = shown(*form);
        env->seams.openAnswers.push_back(file);
        click(form->SpeedButton1);
        QCOMPARE(env->seams.allErrors().size(), 1);
        QVERIFY2(env->seams.allErrors().first().contains(file), qPrintable(env->seams.allErrors().first()));
        QCOMPARE(shown(*form), before);
        QVERIFY(form->CurrentFile.isEmpty());
        expectErrors = true;
    }

private:
    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<TForm1> form;
    bool expectErrors = false;
};

QTEST_MAIN(EditorTest)
#include "tst_editor.moc"

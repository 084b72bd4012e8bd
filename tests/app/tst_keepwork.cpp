// The operator's work is not lost: Save writes only over its own bitmaps, a
// question comes before unsaved work is thrown away, every canvas change can
// be undone and redone, the working bitmap belongs to one window and keeps
// what a lost session left, and the message and choices survive a restart.
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QSysInfo>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "Choices.h"
#include "PixelPage.h"
#include "text/Direction.h"

using namespace pixel;
using Choice = UiSeams::SaveChoice;

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// A picture with black ink on the left half, saved by Qt in the given format.
QString writePicture(const QString& path, const char* format, QImage::Format pixels, QSize size = {120, 80})
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width() / 2; x += 2)
            image.setPixel(x, y, qRgb(0, 0, 0));
    const QImage converted = pixels == QImage::Format_Mono
                                 ? image.convertToFormat(QImage::Format_Mono, QList<QRgb>{qRgb(0, 0, 0), qRgb(255, 255, 255)})
                                 : image.convertToFormat(pixels);
    return converted.save(path, format) ? path : QString();
}

QString text(const QString& s) { return s; }

} // namespace

class KeepWorkTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        env.reset(new TestEnvironment);
        open();
    }
    void cleanup()
    {
        closeWindow(env, form, expectErrors);
        expectErrors = false;
    }

    // --- Save writes only over a bitmap of its own kind ----------------------

    void saveAfterOpen_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<int>("pixels");
        QTest::addColumn<QString>("proposed"); // empty: Save writes without asking
        QTest::newRow("PNG") << "logo.png" << QByteArray("png") << int(QImage::Format_RGB32) << "logo.bmp";
        QTest::newRow("JPEG") << "photo.jpg" << QByteArray("jpg") << int(QImage::Format_RGB32) << "photo.bmp";
        QTest::newRow("24-bit bitmap") << "colour.bmp" << QByteArray("bmp") << int(QImage::Format_RGB888) << "colour.bmp";
        QTest::newRow("8-bit bitmap") << "grey.bmp" << QByteArray("bmp") << int(QImage::Format_Indexed8) << "grey.bmp";
        QTest::newRow("1-bit bitmap") << "mono.bmp" << QByteArray("bmp") << int(QImage::Format_Mono) << "";
    }
    void saveAfterOpen()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, format);
        QFETCH(int, pixels);
        QFETCH(QString, proposed);
        const QString file = writePicture(env->cwd() + "/" + name, format.constData(), QImage::Format(pixels));
        QVERIFY(!file.isEmpty());
        const QByteArray original = fileBytes(file);
        env->seams.openAnswers.push_back(file);
        click(form->SpeedButton1);
        drag(*form, QPoint(70, 10), {QPoint(110, 60)}, QPoint(110, 60));

        click(form->SpeedButton4); // the save dialog, if one comes, is cancelled
        if (proposed.isEmpty()) {
            QCOMPARE(picture(file), shown(*form));
            QVERIFY(!form->pictureModified());
            return;
        }
        QCOMPARE(fileBytes(file), original);
        QCOMPARE(env->seams.lastSaveProposal, env->cwd() + "/" + proposed);
        QVERIFY(form->pictureModified());

        // The proposed name taken: a 1-bit bitmap there, which the next Save writes without asking.
        const QString bitmap = env->cwd() + "/other.bmp";
        env->seams.saveAnswers.push_back(bitmap);
        click(form->SpeedButton4);
        QCOMPARE(fileBytes(file), original);
        QCOMPARE(form->CurrentFile, bitmap);
        QCOMPARE(picture(bitmap), shown(*form));
        drag(*form, QPoint(70, 70), {QPoint(110, 75)}, QPoint(110, 75));
        env->seams.lastSaveProposal = QStringLiteral("none");
        click(form->SpeedButton4);
        QCOMPARE(env->seams.lastSaveProposal, QStringLiteral("none"));
        QCOMPARE(picture(bitmap), shown(*form));
    }

    // --- A question before unsaved work is thrown away ----------------------

    void askBeforeDiscard_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("answer");
        for (const char* action : {"close", "new", "open"}) {
            QTest::addRow("%s, save", action) << action << int(Choice::Save);
            QTest::addRow("%s, discard", action) << action << int(Choice::Discard);
            QTest::addRow("%s, cancel", action) << action << int(Choice::Cancel);
        }
    }
    void askBeforeDiscard()
    {
        QFETCH(QString, action);
        QFETCH(int, answer);
        const Choice choice = Choice(answer);
        const QString other = writePicture(env->cwd() + "/other.png", "png", QImage::Format_RGB32);
        drag(*form, QPoint(10, 10), {QPoint(100, 100)}, QPoint(100, 100));
        const QImage work = shown(*form);
        const QString saved = env->cwd() + "/work.bmp";
        env->seams.saveChoices.push_back(choice);
        env->seams.saveAnswers.push_back(saved);
        env->seams.openAnswers.push_back(other);

        bool closed = false;
        if (action == "close")
            closed = form->close();
        else if (action == "new")
            click(form->SpeedButton3);
        else
            click(form->SpeedButton1);

        QCOMPARE(env->seams.allQuestions().size(), 1);
        QCOMPARE(QFile::exists(saved), choice == Choice::Save);
        if (choice == Choice::Save)
            QCOMPARE(picture(saved), work);
        if (choice == Choice::Cancel) {
            QVERIFY(form->isVisible());
            QCOMPARE(shown(*form), work);
            QCOMPARE(env->seams.openAnswers.size(), size_t(1)); // no open dialog either
            QVERIFY(form->pictureModified());
        } else if (action == "close") {
            QVERIFY(closed);
        } else {
            QVERIFY(shown(*form) != work);
            QVERIFY(!form->pictureModified());
        }
    }

    // Each kind of work counts as unsaved; nothing is asked without any.
    void unsavedWork_data()
    {
        QTest::addColumn<QString>("work");
        QTest::addColumn<bool>("asks");
        QTest::newRow("nothing") << "nothing" << false;
        QTest::newRow("a figure") << "figure" << true;
        QTest::newRow("stamped text") << "text" << true;
        QTest::newRow("a stamped logo") << "logo" << true;
        QTest::newRow("a date field placed") << "place" << true;
        QTest::newRow("a date field dragged") << "drag" << true;
        QTest::newRow("a size digit") << "size" << true;
        QTest::newRow("the message") << "message" << true;
        QTest::newRow("a figure, saved") << "saved" << false;
        QTest::newRow("pen and brush only") << "styles" << false;
    }
    void unsavedWork()
    {
        QFETCH(QString, work);
        QFETCH(bool, asks);
        if (work == "figure" || work == "saved") {
            drag(*form, QPoint(10, 10), {QPoint(50, 50)}, QPoint(50, 50));
        } else if (work == "text") {
            click(form->SpeedButton6);
            click(key(form->panel_english, QStringLiteral("H")));
            click(named(*form, "SpeedButton18"));
        } else if (work == "logo") {
            const QString logo = env->cwd() + "/logo.png";
            QImage black(8, 8, QImage::Format_RGB32);
            black.fill(Qt::black);
            QVERIFY(black.save(logo));
            env->seams.openAnswers.push_back(logo);
            click(form->SpeedButton7);
            press(form->image_logo, QPoint(4, 4));
            move(form->image_logo, QPoint(4 - 300 + 100, 4 + 100));
            release(form->image_logo, QPoint(4, 4));
            doubleClick(form->image_logo, QPoint(1, 1));
        } else if (work == "place") {
            click(form->placingButtons[0]);
        } else if (work == "drag") {
            click(form->placingButtons[0]);
            click(form->SpeedButton4); // saved with the field placed
            env->seams.saveAnswers.push_back(env->cwd() + "/placed.bmp");
            click(form->SpeedButton4);
            QVERIFY(!form->pictureModified());
            QLabel* label = form->dateLabels[0];
            press(label, QPoint(2, 2));
            move(label, QPoint(40, 30));
            release(label, QPoint(40, 30));
        } else if (work == "size") {
            click(form->SpeedButton33);
        } else if (work == "message") {
            QTest::keyClicks(form->Memo1, QStringLiteral("abc"));
        } else if (work == "styles") {
            click(form->DashPen);
            click(form->ClearBrush);
            click(form->Button140);
        }
        if (work == "saved") {
            env->seams.saveAnswers.push_back(env->cwd() + "/saved.bmp");
            click(form->SpeedButton4);
        }
        env->seams.clear();
        env->seams.saveChoices.push_back(Choice::Cancel);
        QCOMPARE(form->close(), !asks);
        QCOMPARE(env->seams.allQuestions().size(), asks ? 1 : 0);
    }

    // What the issue must show: closing with unsaved work asks, and Cancel keeps the window open.
    void closeAsksAndCancelKeepsTheWindow()
    {
        drag(*form, QPoint(10, 10), {QPoint(60, 60)}, QPoint(60, 60));
        env->seams.saveChoices = {Choice::Cancel, Choice::Discard};
        QVERIFY(!form->close());
        QVERIFY(form->isVisible());
        QCOMPARE(env->seams.allQuestions().size(), 1);
        QVERIFY(env->seams.allQuestions().first().contains(QStringLiteral("ذخیره")));
        QVERIFY(form->close());
        QVERIFY(!form->isVisible());
    }

    // The message is asked about apart from the picture, and saved as text.
    void closeAsksForTheMessage()
    {
        QTest::keyClicks(form->Memo1, QStringLiteral("salam"));
        drag(*form, QPoint(10, 10), {QPoint(60, 60)}, QPoint(60, 60));
        const QString message = env->cwd() + "/message.txt";
        env->seams.saveChoices = {Choice::Discard, Choice::Save};
        env->seams.saveAnswers.push_back(message);
        QVERIFY(form->close());
        QCOMPARE(env->seams.allQuestions().size(), 2);
        QCOMPARE(fileBytes(message), QByteArray("salam"));
    }

    // --- Undo and redo ------------------------------------------------------

    // Fifty changes of every kind, undone and redone one by one, pixel for pixel.
    void undoRedoFiftySteps()
    {
        const QString opened = writePicture(env->cwd() + "/opened.png", "png", QImage::Format_RGB32, {200, 100});
        const QString logo = env->cwd() + "/logo.png";
        QImage black(6, 6, QImage::Format_RGB32);
        black.fill(Qt::black);
        QVERIFY(black.save(logo));
        env->seams.openAnswers.push_back(logo);
        click(form->SpeedButton7);

        QRandomGenerator random(13);
        QList<QImage> states{shown(*form)};
        QToolButton* tools[] = {form->LineButton, form->RectangleButton, form->EllipseButton, form->RoundRectButton};
        for (int step = 1; step <= 50; ++step) {
            switch (step % 10) {
            case 3: // New
                click(form->SpeedButton3);
                break;
            case 5: // Open
                env->seams.openAnswers.push_back(opened);
                click(form->SpeedButton1);
                break;
            case 7: // stamped text
                click(form->SpeedButton6);
                click(key(form->panel_english, QString(QChar('A' + step % 26))));
                press(form->imagesend, QPoint(random.bounded(150), random.bounded(100)));
                click(named(*form, "SpeedButton18"));
                break;
            case 9: // a logo
                press(form->image_logo, QPoint(3, 3));
                move(form->image_logo, QPoint(3 - 300 + random.bounded(180), 3 + random.bounded(80)));
                release(form->image_logo, QPoint(3, 3));
                doubleClick(form->image_logo, QPoint(1, 1));
                break;
            default: { // a figure
                click(tools[step % 4]);
                const QPoint from(random.bounded(200), random.bounded(90));
                const QPoint to = from + QPoint(10 + random.bounded(30), 10 + random.bounded(50));
                drag(*form, from, {to}, to);
            }
            }
            QVERIFY2(shown(*form) != states.last(), qPrintable(QStringLiteral("step %1 changed nothing").arg(step)));
            states << shown(*form);
        }
        for (int i = 49; i >= 0; --i) {
            // The keys and the keyboards' Undo buttons do the same.
            if (i % 3 == 0)
                click(key(form->panel_farsi, QStringLiteral("Undo")));
            else
                QTest::keySequence(form.get(), QKeySequence(Qt::CTRL | Qt::Key_Z));
            QVERIFY2(shown(*form) == states[i], qPrintable(QStringLiteral("undo to %1").arg(i)));
        }
        form->Undo(); // nothing further back: unchanged
        QCOMPARE(shown(*form), states[0]);
        for (int i = 1; i <= 50; ++i) {
            QTest::keySequence(form.get(), QKeySequence(Qt::CTRL | Qt::Key_Y));
            QVERIFY2(shown(*form) == states[i], qPrintable(QStringLiteral("redo to %1").arg(i)));
        }
        // A new change after undoing drops what was undone.
        form->Undo();
        drag(*form, QPoint(1, 1), {QPoint(5, 5)}, QPoint(5, 5));
        const QImage now = shown(*form);
        form->Redo();
        QCOMPARE(shown(*form), now);
    }

    // The history keeps at least 50 steps with memory bounded.
    void historyIsBounded()
    {
        click(form->RectangleButton);
        for (int i = 0; i < 150; ++i)
            drag(*form, QPoint(i % 200, i % 100), {QPoint(i % 200 + 20, i % 100 + 20)}, QPoint(i % 200 + 20, i % 100 + 20));
        QVERIFY(form->history_.undoSteps() >= 50);
        QVERIFY(form->history_.undoSteps() < 150);
        QVERIFY2(form->history_.bytes() <= 150 * 4928 / 2, qPrintable(QString::number(form->history_.bytes())));
    }

    // Undo and redo keep the pen and brush the toolbar shows.
    void undoKeepsPenAndBrush()
    {
        using korvel::image::PenStyle;
        paintBlack(*form, QRect(0, 0, 240, 154));
        click(form->ClearBrush);
        click(form->DashPen);
        click(form->RectangleButton);
        form->PenSize->setText(QStringLiteral("3"));
        drag(*form, QPoint(20, 20), {QPoint(100, 100)}, QPoint(100, 100));
        form->Undo();
        QCOMPARE(int(form->canvas->penStyle()), int(PenStyle::psDash));
        form->Redo();
        QCOMPARE(int(form->canvas->penStyle()), int(PenStyle::psDash));
        form->Undo();
        // Over black, a clear brush leaves the interior black; the outline is 3 wide either way.
        drag(*form, QPoint(20, 20), {QPoint(100, 100)}, QPoint(100, 100));
        QCOMPARE(blackCount(shown(*form)), 240 * 154);
        QCOMPARE(form->canvas->penWidth(), 3);
        QCOMPARE(int(form->canvas->brushStyle()), int(korvel::image::BrushStyle::bsClear));
        QCOMPARE(int(form->canvas->penStyle()), int(PenStyle::psDash));
        QVERIFY(form->DashPen->isChecked());
    }

    // --- Smaller faults of the pixel page -------------------------------------

    void newAfterTheOverlayDraws()
    {
        click(form->SpeedButton6);
        QVERIFY(form->TextPlacing);
        click(form->SpeedButton3);
        QVERIFY(!form->TextPlacing);
        drag(*form, QPoint(10, 10), {QPoint(80, 10)}, QPoint(80, 10));
        QCOMPARE(blackCount(shown(*form)), 70);
    }

    void newGoesBackToTheCanvasSize_data()
    {
        QTest::addColumn<QSize>("opened");
        QTest::newRow("smaller") << QSize(50, 40);
        QTest::newRow("larger") << QSize(300, 200);
    }
    void newGoesBackToTheCanvasSize()
    {
        QFETCH(QSize, opened);
        env->seams.openAnswers.push_back(writePicture(env->cwd() + "/p.png", "png", QImage::Format_RGB32, opened));
        click(form->SpeedButton1);
        QCOMPARE(form->imagesend->size(), opened);
        click(form->SpeedButton3);
        QCOMPARE(shown(*form).size(), QSize(240, 154));
        QCOMPARE(form->imagesend->size(), QSize(240, 154));
        QCOMPARE(blackCount(shown(*form)), 0);
    }

    // A field placed after a parked one starts its date's line on the canvas.
    void placedAfterAParkedField_data()
    {
        QTest::addColumn<int>("label");
        QTest::addColumn<bool>("bottom");
        QTest::newRow("production month") << 1 << false;
        QTest::newRow("production day") << 2 << false;
        QTest::newRow("expiry month") << 4 << true;
        QTest::newRow("expiry day") << 5 << true;
    }
    void placedAfterAParkedField()
    {
        QFETCH(int, label);
        QFETCH(bool, bottom);
        click(form->placingButtons[size_t(label)]);
        QLabel* placed = form->dateLabels[size_t(label)];
        QCOMPARE(placed->pos(), QPoint(0, bottom ? 154 - placed->height() : 0));
        QVERIFY(placed->y() + placed->height() <= 154);
        QCOMPARE(form->yStores[size_t(label)]->text().toInt(), placed->y());
    }

    void fontDialog_data()
    {
        QTest::addColumn<bool>("confirmed");
        QTest::newRow("confirmed") << true;
        QTest::newRow("cancelled") << false;
    }
    void fontDialog()
    {
        QFETCH(bool, confirmed);
        const QFont before = form->Label3->font();
        QFont browsed(QStringLiteral("DejaVu Serif"), 31);
        // Either way the dialog was left showing the browsed font.
        (confirmed ? env->seams.fontAnswer : env->seams.fontBrowsed) = browsed;
        click(form->SpeedButton2);
        QCOMPARE(form->Label3->font().pointSize(), confirmed ? 31 : before.pointSize());
    }

    // Typed markup is shown as the characters that are stamped.
    void overlayShowsTypedMarkup()
    {
        click(form->SpeedButton6);
        form->Timer1->stop();
        for (const char* k : {"<", "B", ">"})
            click(key(form->panel_english, QString::fromLatin1(k)));
        QCOMPARE(form->Label3->text(), QStringLiteral("<b>"));
        const QImage shownLabel = form->Label3->grab().toImage().convertToFormat(QImage::Format_RGB32);
        int red = 0;
        for (int y = 0; y < shownLabel.height(); ++y)
            for (int x = 0; x < shownLabel.width(); ++x)
                red += qRed(shownLabel.pixel(x, y)) > 200 && qGreen(shownLabel.pixel(x, y)) < 80;
        QVERIFY2(red > 20, "the typed characters are not shown");
        QVERIFY(form->Label3->width() >= QFontMetrics(form->Label3->font()).horizontalAdvance(QStringLiteral("<b>")));
    }

    // --- The working bitmap of one window ---------------------------------------

    void secondWindowHasItsOwnWorkingBitmap()
    {
        TForm1 second(&env->seams);
        QCOMPARE(form->canvas->workingBitmap(), workingBitmapPath(*env));
        QVERIFY(second.canvas->workingBitmap() != workingBitmapPath(*env));
        const QByteArray first = fileBytes(workingBitmapPath(*env));
        drag(*form, QPoint(10, 10), {QPoint(60, 60)}, QPoint(60, 60));
        press(form->imagesend, QPoint(1, 1)); // a checkpoint holding the figure
        release(form->imagesend, QPoint(1, 1));
        const QByteArray withFigure = fileBytes(workingBitmapPath(*env));
        QVERIFY(withFigure != first);
        press(second.imagesend, QPoint(1, 1));
        release(second.imagesend, QPoint(1, 1));
        QCOMPARE(fileBytes(workingBitmapPath(*env)), withFigure);
        QCOMPARE(picture(second.canvas->workingBitmap()).size(), QSize(240, 154));
    }

    // A session that ended without saving or discarding leaves its picture, as
    // its last change left it, for the next start, which keeps it aside and offers it back.
    void unsavedPictureOfTheLastSession_data()
    {
        QTest::addColumn<QString>("last"); // the session's last step
        QTest::addColumn<bool>("restore");
        QTest::newRow("a figure, restored") << "figure" << true;
        QTest::newRow("a figure, declined") << "figure" << false;
        QTest::newRow("an undo, restored") << "undo" << true;
        QTest::newRow("a redo, restored") << "redo" << true;
    }
    void unsavedPictureOfTheLastSession()
    {
        QFETCH(QString, last);
        QFETCH(bool, restore);
        drag(*form, QPoint(10, 10), {QPoint(60, 60)}, QPoint(60, 60));
        const QImage first = shown(*form);
        click(form->RectangleButton); // the checkpoint now holds the first figure
        drag(*form, QPoint(100, 10), {QPoint(160, 60)}, QPoint(160, 60));
        const QImage both = shown(*form);
        if (last != "figure")
            form->Undo();
        if (last == "redo")
            form->Redo();
        const QImage lastPicture = last == "undo" ? first : both;
        QCOMPARE(shown(*form), lastPicture);
        // The working bitmap stays the checkpoint: the figure before the last.
        QCOMPARE(picture(workingBitmapPath(*env)), first);
        form.reset(); // no close, no save: the process is gone, leaving its lock behind
        writeFile(workingBitmapPath(*env) + ".lock", QByteArray("2147483000\n") + QCoreApplication::applicationName().toUtf8() +
                                                        "\n" + QSysInfo::machineHostName().toUtf8() + "\n");

        env->seams.yesNoAnswers.push_back(restore);
        open();
        QVERIFY(env->seams.yesNoAnswers.empty()); // asked
        const QString kept = env->workDir() + "/korvel-unsaved.bmp";
        QCOMPARE(picture(kept), lastPicture);
        QCOMPARE(blackCount(picture(workingBitmapPath(*env))), 0); // blanked as ever
        QCOMPARE(form->canvas->workingBitmap(), workingBitmapPath(*env)); // the dead program's lock does not count
        QCOMPARE(shown(*form), restore ? lastPicture : picture(workingBitmapPath(*env)));
        QCOMPARE(form->pictureModified(), restore);
        if (restore) { // an undoable step
            form->Undo();
            QCOMPARE(blackCount(shown(*form)), 0);
        }
        // Nothing is left over from the session before but what was set aside.
        QCOMPARE(QDir(env->workDir()).entryList({"korvel-current.bmp*"}, QDir::Files | QDir::Hidden).size(),
                 restore ? 1 : 0);
    }

    void cleanCloseOffersNothing()
    {
        drag(*form, QPoint(10, 10), {QPoint(60, 60)}, QPoint(60, 60));
        click(form->RectangleButton);
        QVERIFY(form->close()); // discarded when asked
        QVERIFY(!QFile::exists(env->workDir() + "/korvel-current.bmp"));
        form.reset();
        env->seams.yesNoAnswers.push_back(true);
        open();
        QCOMPARE(env->seams.yesNoAnswers.size(), size_t(1)); // not asked
        QVERIFY(!QFile::exists(env->workDir() + "/korvel-unsaved.bmp"));
    }

    // --- Choices and the message survive a restart ------------------------------

    void choicesSurviveARestart()
    {
        click(form->Rradio_p_m);
        click(form->Rradio_e_m);
        click(form->SpeedButton33); // production 4
        click(form->SpeedButton34); // expiry 2
        click(form->Button154);     // offset 31
        click(form->slotButtons[3]);
        env->seams.fontAnswer = QFont(QStringLiteral("DejaVu Sans"), 27);
        click(form->SpeedButton2);
        click(form->DotPen);
        click(form->Button140); // width 2
        click(form->findChild<QToolButton*>(QStringLiteral("textDirectionRtl")));
        QVERIFY(form->close());
        form.reset();
        QVERIFY(QFile::exists(env->configDir() + "/choices.txt"));

        open();
        QVERIFY(form->Rradio_p_m->isChecked());
        QVERIFY(form->Rradio_e_m->isChecked());
        QCOMPARE(form->label_date_font->text(), text("4"));
        QCOMPARE(form->label_edate_font->text(), text("2"));
        QCOMPARE(form->dateLabels[0]->font().pointSize(), 48);
        QCOMPARE(form->dateLabels[3]->font().pointSize(), 25);
        QCOMPARE(form->label_expire->text(), text("31"));
        QCOMPARE(form->slotDigit(), 4);
        QCOMPARE(form->Label3->font().pointSize(), 27);
        QVERIFY(form->DotPen->isChecked());
        QCOMPARE(int(form->canvas->penStyle()), int(korvel::image::PenStyle::psDot));
        QCOMPARE(form->PenSize->text(), text("2"));
        QCOMPARE(form->canvas->penWidth(), 2);
        QVERIFY(form->textDirection == korvel::text::TextDirection::Rtl);
        QVERIFY(form->findChild<QToolButton*>(QStringLiteral("textDirectionRtl"))->isChecked());
        QVERIFY(!form->pictureModified());
        // The port stays in setting.dll alone.
        QVERIFY(!fileBytes(env->configDir() + "/choices.txt").contains("port"));
    }

    void choicesFileRoundTrip_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("plain") << "Noto Sans,18,-1,5,400,0,0,0,0,0";
        QTest::newRow("line breaks and backslashes") << "a\\nb\r\nc\\";
        QTest::newRow("equals signs") << "x=y==z";
        QTest::newRow("Persian") << "تولید";
        QTest::newRow("empty") << "";
    }
    void choicesFileRoundTrip()
    {
        QFETCH(QString, value);
        const QString path = env->configDir() + "/round.txt";
        Choices c(path);
        QVERIFY(c.set(QStringLiteral("a=key"), value));
        QVERIFY(c.set(QStringLiteral("b"), QStringLiteral("second")));
        Choices back(path);
        QVERIFY(back.load());
        QCOMPARE(back.value(QStringLiteral("a=key"), QStringLiteral("missing")), value);
        QCOMPARE(back.value(QStringLiteral("b")), QStringLiteral("second"));
        QCOMPARE(QDir(env->configDir()).entryList(QDir::Files), QStringList{"round.txt"}); // no temporary left
    }

    // What the issue must show: a message typed, the program closed and started again: the message is there.
    void messageSurvivesARestart()
    {
        QTest::keyClicks(form->Memo1, QStringLiteral("line one"));
        QTest::keyClick(form->Memo1, Qt::Key_Return);
        form->insertTokenAtCaret(QStringLiteral("^y"));
        const QString typed = form->memoText();
        QCOMPARE(typed, QStringLiteral("line one\r\n^y"));
        env->seams.saveChoices.push_back(Choice::Discard); // not to a file: kept all the same
        QVERIFY(form->close());
        form.reset();
        open();
        QCOMPARE(form->memoText(), typed);
        QVERIFY(form->messageModified()); // still not in any file
    }

    // Kept a moment after typing, without a close: a lost session keeps it too.
    void messageKeptWithoutAClose()
    {
        QTest::keyClicks(form->Memo1, QStringLiteral("kept"));
        QTRY_COMPARE_WITH_TIMEOUT(fileBytes(env->configDir() + "/message.txt"), QByteArray("kept"), 5000);
    }

    // Messages are UTF-8 text with CR LF; a file's other line ends and its mark are read.
    void messageFiles()
    {
        form->setMemoText(QStringLiteral("سلام ^y\r\nline 2"));
        const QString file = env->cwd() + "/m.txt";
        env->seams.saveAnswers.push_back(file);
        click(form->messageSave);
        QCOMPARE(fileBytes(file), QStringLiteral("سلام ^y\r\nline 2").toUtf8());
        QVERIFY(!form->messageModified());

        const QString lf = env->cwd() + "/lf.txt";
        writeFile(lf, "\xEF\xBB\xBFone\ntwo\rthree");
        env->seams.openAnswers.push_back(lf);
        click(form->messageOpen);
        QCOMPARE(form->memoText(), QStringLiteral("one\r\ntwo\r\nthree"));
        QVERIFY(!form->messageModified());

        const QString bad = env->cwd() + "/latin1.txt";
        writeFile(bad, "caf\xE9");
        env->seams.openAnswers.push_back(bad);
        click(form->messageOpen);
        QCOMPARE(env->seams.allErrors().size(), 1);
        QCOMPARE(form->memoText(), QStringLiteral("one\r\ntwo\r\nthree"));
        expectErrors = true;
    }

    // The recent list: newest first, at most six, a vanished file dropped when chosen.
    void recentMessages()
    {
        QStringList files;
        for (int i = 0; i < 8; ++i) {
            files << env->cwd() + QStringLiteral("/m%1.txt").arg(i);
            writeFile(files.last(), QByteArray::number(i));
            env->seams.openAnswers.push_back(files.last());
            click(form->messageOpen);
        }
        QList<QAction*> actions = form->recentMenu->actions();
        QCOMPARE(actions.size(), 6);
        QCOMPARE(actions[0]->data().toString(), files[7]);
        QCOMPARE(actions[5]->data().toString(), files[2]);

        actions[3]->trigger(); // m4
        QCOMPARE(form->memoText(), QStringLiteral("4"));
        QCOMPARE(form->recentMenu->actions()[0]->data().toString(), files[4]);

        QVERIFY(QFile::remove(files[6]));
        form->recentMenu->actions()[2]->trigger(); // m6
        QCOMPARE(env->seams.allErrors().size(), 1);
        QCOMPARE(form->recentMenu->actions().size(), 5);
        expectErrors = true;

        // The list survives a restart.
        form.reset();
        open();
        QCOMPARE(form->recentMenu->actions().size(), 5);
        QCOMPARE(form->recentMenu->actions()[0]->data().toString(), files[4]);
    }

    // Opening another message asks first when the one shown is unsaved.
    void openMessageAsks()
    {
        const QString file = env->cwd() + "/other.txt";
        writeFile(file, "other");
        QTest::keyClicks(form->Memo1, QStringLiteral("mine"));
        env->seams.saveChoices.push_back(Choice::Cancel);
        env->seams.openAnswers.push_back(file);
        click(form->messageOpen);
        QCOMPARE(form->memoText(), QStringLiteral("mine"));
        QCOMPARE(env->seams.allQuestions().size(), 1);
        click(form->messageOpen); // discard by default
        QCOMPARE(form->memoText(), QStringLiteral("other"));
    }

private:
    void open()
    {
        form.reset(new TForm1(&env->seams));
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        env->seams.clear();
    }

    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<TForm1> form;
    bool expectErrors = false;
};

QTEST_MAIN(KeepWorkTest)
#include "tst_keepwork.moc"

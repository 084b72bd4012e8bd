// The text overlay and the two on-screen keyboards of the pixel page: keys
// by their captions, the caret, stamping into the canvas, moving the overlay.
#include <QFontMetrics>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <map>

#include "PixelPage.h"

using namespace pixel;

namespace {

const QString kEnglishSwitch = QStringLiteral("Farsi");
const QString kPersianSwitch = QStringLiteral("انگلیسی");

QString fromCodes(std::initializer_list<char16_t> codes)
{
    QString s;
    for (char16_t c : codes)
        s += QChar(c);
    return s;
}
const QString kPersianRow2 = fromCodes({0x0636, 0x0635, 0x062B, 0x0642, 0x0641, 0x063A, 0x0639, 0x0647, 0x062E, 0x062D,
                                        0x062C, 0x0686, 0x067E});
const QString kPersianRow3 = fromCodes({0x0634, 0x0633, 0x06CC, 0x0628, 0x0644, 0x0627, 0x062A, 0x0646, 0x0645, 0x06A9,
                                        0x06AF});
const QString kPersianRow4 = fromCodes({0x0638, 0x0637, 0x0632, 0x0631, 0x0630, 0x062F, 0x0626, 0x0648});
const QString kAlefMadda = fromCodes({0x0622}), kZhe = fromCodes({0x0698}), kZwnj = fromCodes({0x200C});
const QString kZwnjCaption = QStringLiteral("نیم") + kZwnj + QStringLiteral("فاصله");

QStringList chars(const QString& s)
{
    QStringList list;
    for (QChar c : s)
        list << QString(c);
    return list;
}

// The panel's keys row by row, left to right: the caption, or the design
// name of a picture key, or "space".
QList<QStringList> rowsOf(QWidget* panel)
{
    std::map<int, std::map<int, QString>> byRow;
    for (QAbstractButton* b : panel->findChildren<QAbstractButton*>()) {
        QString name = b->property("keyCaption").toString();
        if (name.isEmpty())
            name = b->objectName().isEmpty() ? QStringLiteral("space") : b->objectName();
        byRow[b->y()][b->x()] = name;
    }
    QList<QStringList> rows;
    for (const auto& [y, keys] : byRow) {
        QStringList row;
        for (const auto& [x, name] : keys)
            row << name;
        rows << row;
    }
    return rows;
}

} // namespace

class OverlayTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        env.reset(new TestEnvironment);
        openWindow(*env, form);
    }
    void cleanup() { closeWindow(env, form); }

    void keyRows_data()
    {
        QTest::addColumn<bool>("english");
        QTest::addColumn<int>("row");
        QTest::addColumn<QStringList>("keys");
        const QStringList digits = QStringList{"Undo", "÷"} + chars("1234567890-=") + QStringList{"Bkspc"};
        const QStringList symbols = chars("<>!@#$%^&*()_+?") + QStringList{"SHIFT"};
        QTest::newRow("english 1") << true << 0 << digits;
        QTest::newRow("english 2") << true << 1 << QStringList{kEnglishSwitch} + chars("QWERTYUIOP[]|") + QStringList{"Del"};
        QTest::newRow("english 3") << true << 2 << QStringList{"Caps"} + chars("ASDFGHJKL;'") + QStringList{"SpeedButton17", "SpeedButton18"};
        QTest::newRow("english 4") << true << 3 << QStringList{"space"} + chars("ZXCVBNM,./") + QStringList{"SpeedButton16", "SpeedButton15", "SpeedButton14"};
        QTest::newRow("english 5") << true << 4 << symbols;
        QTest::newRow("persian 1") << false << 0 << digits;
        QTest::newRow("persian 2") << false << 1 << QStringList{kPersianSwitch} + chars(kPersianRow2) + QStringList{"Del"};
        QTest::newRow("persian 3") << false << 2 << QStringList{"Caps"} + chars(kPersianRow3 + kAlefMadda) + QStringList{"SpeedButton23", "SpeedButton24"};
        QTest::newRow("persian 4") << false << 3 << QStringList{"space", kZwnjCaption} + chars(kPersianRow4 + kZhe + "./") + QStringList{"SpeedButton22", "SpeedButton21", "SpeedButton20"};
        QTest::newRow("persian 5") << false << 4 << symbols;
    }
    void keyRows()
    {
        QFETCH(bool, english);
        QFETCH(int, row);
        QFETCH(QStringList, keys);
        const QList<QStringList> rows = rowsOf(english ? form->panel_english : form->panel_farsi);
        QCOMPARE(rows.size(), 5);
        QCOMPARE(rows[row], keys);
    }

    // What each key appends with Caps off and on; "" for keys without action.
    void keyAppends_data()
    {
        QTest::addColumn<bool>("english");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("capsOff");
        QTest::addColumn<QString>("capsOn");
        for (char c = 'A'; c <= 'Z'; ++c) {
            const QString upper(QChar::fromLatin1(c));
            QTest::addRow("en %c", c) << true << upper << upper.toLower() << upper;
        }
        // Every other key types its caption, whatever Caps says; SHIFT has no action.
        const QStringList englishOthers = chars("÷1234567890-=[]|;',./<>!@#$%^&*()_+?");
        for (const QString& caption : englishOthers)
            QTest::addRow("en '%s'", qPrintable(caption)) << true << caption << caption << caption;
        QTest::newRow("en space") << true << "" << " " << " ";
        QTest::newRow("en SHIFT") << true << "SHIFT" << "" << "";
        for (const QString& caption : chars(kPersianRow2 + kPersianRow3 + kPersianRow4 + kAlefMadda + kZhe
                                            + "÷1234567890-=./<>!@#$%^&*()_+?"))
            QTest::addRow("fa U+%04X", caption.at(0).unicode()) << false << caption << caption << caption;
        QTest::newRow("fa space") << false << "" << " " << " ";
        QTest::newRow("fa non-joiner") << false << kZwnjCaption << kZwnj << kZwnj;
        QTest::newRow("fa Caps") << false << "Caps" << "" << "";
        QTest::newRow("fa SHIFT") << false << "SHIFT" << "" << "";
    }
    void keyAppends()
    {
        QFETCH(bool, english);
        QFETCH(QString, caption);
        QFETCH(QString, capsOff);
        QFETCH(QString, capsOn);
        QWidget* panel = english ? form->panel_english : form->panel_farsi;
        QAbstractButton* k = key(panel, caption);
        QVERIFY(k);
        click(k);
        QCOMPARE(form->Label3->text(), capsOff);
        click(key(form->panel_english, QStringLiteral("Caps")));
        QVERIFY(form->CapsOn);
        click(key(form->panel_farsi, QStringLiteral("Del")));
        click(k);
        QCOMPARE(form->Label3->text(), capsOn);
        QVERIFY(form->CapsOn); // no key but Caps turns it back
        click(key(form->panel_english, QStringLiteral("Caps")));
        QVERIFY(!form->CapsOn);
    }

    // Caps shows its state and the letters the case they type; keys without an action are disabled.
    void capsAndInertKeysShowTheirState()
    {
        QAbstractButton* caps = key(form->panel_english, QStringLiteral("Caps"));
        QAbstractButton* q = key(form->panel_english, QStringLiteral("Q"));
        QVERIFY(caps && q);
        QVERIFY(caps->isCheckable() && !caps->isChecked());
        QCOMPARE(q->text(), QStringLiteral("q"));
        click(caps);
        QVERIFY(caps->isChecked());
        QCOMPARE(q->text(), QStringLiteral("Q"));
        QCOMPARE(key(form->panel_english, QStringLiteral("7"))->text(), QStringLiteral("7"));
        click(caps);
        QVERIFY(!caps->isChecked());
        QCOMPARE(q->text(), QStringLiteral("q"));
        QVERIFY(!key(form->panel_english, QStringLiteral("SHIFT"))->isEnabled());
        QVERIFY(!key(form->panel_farsi, QStringLiteral("SHIFT"))->isEnabled());
        QVERIFY(!key(form->panel_farsi, QStringLiteral("Caps"))->isEnabled());
        QVERIFY(key(form->panel_farsi, QStringLiteral("?"))->isEnabled());
    }

    // The caret is state: Bkspc takes it away with the character before it
    // only when it shows, and a typed "|" is text.
    void backspace_data()
    {
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<bool>("caretShown");
        QTest::addColumn<QString>("left");
        QTest::newRow("ab, caret hidden") << QStringList{"A", "B"} << false << "a";
        QTest::newRow("ab, caret shown") << QStringList{"A", "B"} << true << "a";
        QTest::newRow("typed bar, caret hidden") << QStringList{"A", "B", "|"} << false << "ab";
        QTest::newRow("typed bar, caret shown") << QStringList{"A", "B", "|"} << true << "ab";
        QTest::newRow("one char, caret shown") << QStringList{"Q"} << true << "";
        QTest::newRow("empty, caret hidden") << QStringList{} << false << "";
        QTest::newRow("empty, caret shown") << QStringList{} << true << "";
    }
    void backspace()
    {
        QFETCH(QStringList, typed);
        QFETCH(bool, caretShown);
        QFETCH(QString, left);
        for (const QString& caption : typed)
            click(key(form->panel_english, caption));
        if (caretShown) {
            const QString before = form->Label3->text();
            form->Timer1Timer();
            QCOMPARE(form->Label3->text(), before + "|");
        }
        click(key(form->panel_english, QStringLiteral("Bkspc")));
        QCOMPARE(form->Label3->text(), left);
        form->Timer1Timer();
        form->Timer1Timer();
        QCOMPARE(form->Label3->text(), left); // the blink leaves the text alone
    }

    void typedBarSurvivesTheBlink()
    {
        click(key(form->panel_english, QStringLiteral("A")));
        click(key(form->panel_english, QStringLiteral("|")));
        for (int i = 0; i < 4; ++i) {
            form->Timer1Timer();
            QCOMPARE(form->Label3->text(), i % 2 == 0 ? QStringLiteral("a||") : QStringLiteral("a|"));
        }
    }

    void deleteEmptiesTheCaption()
    {
        for (const char* caption : {"A", "B", "C"})
            click(key(form->panel_english, QLatin1String(caption)));
        form->Timer1Timer();
        click(key(form->panel_english, QStringLiteral("Del")));
        QCOMPARE(form->Label3->text(), QString());
        click(key(form->panel_farsi, kPersianRow2.left(1)));
        click(key(form->panel_farsi, QStringLiteral("Del")));
        QCOMPARE(form->Label3->text(), QString());
    }

    void switchKeyboards()
    {
        QVERIFY(form->panel_english->isVisible());
        QVERIFY(form->panel_farsi->isVisible());
        const QObjectList& siblings = form->pagePixel->children();
        QVERIFY(siblings.indexOf(form->panel_farsi) > siblings.indexOf(form->panel_english)); // Persian on top
        click(key(form->panel_farsi, kPersianSwitch));
        QVERIFY(form->panel_english->isVisible());
        QVERIFY(!form->panel_farsi->isVisible());
        click(key(form->panel_english, kEnglishSwitch));
        QVERIFY(!form->panel_english->isVisible());
        QVERIFY(form->panel_farsi->isVisible());
    }

    // Shown empty at (0, 0) with the caret running; text typed before is dropped.
    void overlayOnOff()
    {
        click(key(form->panel_english, QStringLiteral("X")));
        QCOMPARE(form->Label3->text(), QStringLiteral("x")); // kept in the hidden overlay
        form->Label3->move(30, 40);
        click(form->SpeedButton6);
        QVERIFY(form->Label3->isVisible());
        QVERIFY(form->TextPlacing);
        QVERIFY(form->Timer1->isActive());
        QCOMPARE(form->Label3->pos(), QPoint(0, 0));
        QCOMPARE(form->Label3->text(), QString());
        form->Timer1->stop();

        const int emptyWidth = form->Label3->width();
        click(key(form->panel_english, QStringLiteral("W")));
        click(key(form->panel_english, QStringLiteral("W")));
        QCOMPARE(form->Label3->text(), QStringLiteral("ww"));
        QVERIFY(form->Label3->width() > emptyWidth); // fitted to its caption

        form->Timer1->start();
        click(form->SpeedButton6);
        QVERIFY(!form->Label3->isVisible());
        QVERIFY(!form->TextPlacing);
        QVERIFY(form->Timer1->isActive());
    }

    // While the overlay is shown a press moves it and draws nothing; a tool
    // button ends that and presses draw again.
    void pressMovesTheOverlay()
    {
        click(form->SpeedButton6);
        const QByteArray bitmap = fileBytes(workingBitmapPath(*env));
        drag(*form, QPoint(50, 60), {QPoint(120, 100)}, QPoint(120, 100));
        QCOMPARE(form->Label3->pos(), QPoint(50, 60));
        QCOMPARE(blackCount(shown(*form)), 0);
        QCOMPARE(fileBytes(workingBitmapPath(*env)), bitmap);

        click(form->RectangleButton);
        QVERIFY(!form->TextPlacing);
        QVERIFY(!form->Label3->isVisible());
        QVERIFY(!form->Timer1->isActive());
        drag(*form, QPoint(50, 60), {QPoint(120, 100)}, QPoint(120, 100));
        QVERIFY(blackCount(shown(*form)) > 0);
        QCOMPARE(form->Label3->pos(), QPoint(50, 60));
    }

    // Each commit stamps a line and moves the overlay one line down, until
    // the next line would pass the bottom.
    void commitMovesDownUntilTheBottom_data()
    {
        QTest::addColumn<QString>("commit");
        QTest::newRow("english") << "SpeedButton18";
        QTest::newRow("persian") << "SpeedButton24";
    }
    void commitMovesDownUntilTheBottom()
    {
        QFETCH(QString, commit);
        click(form->SpeedButton6);
        form->Timer1->stop();
        const int line = form->Label3->height();
        QVERIFY(line >= QFontMetrics(form->Label3->font()).height());
        int top = 0, stayed = 0;
        for (int i = 0; i < 10 && stayed < 2; ++i) {
            click(key(form->panel_english, QStringLiteral("H")));
            QCOMPARE(form->Label3->y(), top);
            const int before = blackCount(shown(*form), QRect(0, top, 240, line));
            click(named(*form, qPrintable(commit)));
            QVERIFY(blackCount(shown(*form), QRect(0, top, 240, line)) > before || stayed);
            QCOMPARE(form->Label3->text(), QString());
            QCOMPARE(form->Label3->height(), line);
            if (top + line < 154)
                top += line;
            else
                ++stayed;
            QCOMPARE(form->Label3->y(), top);
        }
        QCOMPARE(stayed, 2);
        QVERIFY(top + line >= 154);
        QCOMPARE(blackCount(shown(*form), QRect(100, 0, 140, 154)), 0); // one short word at the left
    }

    void commitAtTheBottomEdge_data()
    {
        QTest::addColumn<int>("aboveBottom"); // 154 - (top + line height)
        QTest::addColumn<bool>("moves");
        QTest::newRow("reaches 154") << 0 << false;
        QTest::newRow("one pixel short") << 1 << true;
        QTest::newRow("past the bottom") << -5 << false;
    }
    void commitAtTheBottomEdge()
    {
        QFETCH(int, aboveBottom);
        QFETCH(bool, moves);
        click(form->SpeedButton6);
        form->Timer1->stop();
        const int line = form->Label3->height();
        const int top = 154 - line - aboveBottom;
        press(form->imagesend, QPoint(10, top));
        click(key(form->panel_english, QStringLiteral("T")));
        click(named(*form, "SpeedButton18"));
        QCOMPARE(form->Label3->pos(), QPoint(10, moves ? top + line : top));
        QVERIFY(blackCount(shown(*form)) > 0);
    }

    // A double-click stamps where the overlay is, keeps it there with its
    // text, and writes a checkpoint first each time.
    void doubleClickStampsInPlace()
    {
        click(form->SpeedButton6);
        form->Timer1->stop();
        press(form->imagesend, QPoint(100, 50));
        release(form->imagesend, QPoint(100, 50));
        click(key(form->panel_english, QStringLiteral("O")));
        click(key(form->panel_english, QStringLiteral("K")));
        form->Timer1Timer(); // the caret is never stamped
        const QImage before = shown(*form);

        doubleClick(form->Label3, QPoint(3, 3));
        const QImage once = shown(*form);
        QCOMPARE(picture(workingBitmapPath(*env)), before);
        QCOMPARE(form->Label3->pos(), QPoint(100, 50));
        QCOMPARE(form->Label3->text(), QStringLiteral("ok"));
        const QRect cell(QPoint(100, 50), korvel::image::Canvas::textCellSize(QStringLiteral("ok"), form->Label3->font()));
        QVERIFY(blackCount(once, cell) > 0);
        QCOMPARE(blackCount(once), blackCount(once, cell));

        doubleClick(form->Label3, QPoint(3, 3));
        QCOMPARE(picture(workingBitmapPath(*env)), once);
        QCOMPARE(shown(*form), once);
    }

    void undoRemovesStampedText()
    {
        drag(*form, QPoint(0, 100), {QPoint(200, 100)}, QPoint(200, 100));
        const QImage withLine = shown(*form);
        click(form->SpeedButton6);
        form->Timer1->stop();
        for (const QString& letter : chars(kPersianRow3.left(3)))
            click(key(form->panel_farsi, letter));
        click(named(*form, "SpeedButton24"));
        QVERIFY(shown(*form) != withLine);
        click(key(form->panel_farsi, QStringLiteral("Undo")));
        QCOMPARE(shown(*form), withLine);
    }

    // A solid brush whitens the text's cell first; a clear one draws glyphs only.
    void stampedTextBackground_data()
    {
        QTest::addColumn<QString>("brush");
        QTest::addColumn<bool>("cellKept");
        QTest::newRow("solid") << "SolidBrush" << false;
        QTest::newRow("clear") << "ClearBrush" << true;
    }
    void stampedTextBackground()
    {
        QFETCH(QString, brush);
        QFETCH(bool, cellKept);
        click(named(*form, qPrintable(brush)));
        click(form->SpeedButton6);
        form->Timer1->stop();
        paintBlack(*form, QRect(0, 0, 240, 154));
        click(key(form->panel_english, QStringLiteral("M")));
        click(named(*form, "SpeedButton18"));
        const QRect cell(QPoint(0, 0), korvel::image::Canvas::textCellSize(QStringLiteral("m"), form->Label3->font()));
        const int black = blackCount(shown(*form), cell);
        QCOMPARE(black == cell.width() * cell.height(), cellKept);
        QVERIFY(black > 0);
        QCOMPARE(blackCount(shown(*form), QRect(cell.right() + 1, 0, 240, 154)), (240 - cell.right() - 1) * 154);
    }

    // One pixel on the press, ten more when the click completes.
    void nudge_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QPoint>("step");
        QTest::newRow("english right") << "SpeedButton14" << QPoint(1, 0);
        QTest::newRow("english down") << "SpeedButton15" << QPoint(0, 1);
        QTest::newRow("english left") << "SpeedButton16" << QPoint(-1, 0);
        QTest::newRow("english up") << "SpeedButton17" << QPoint(0, -1);
        QTest::newRow("persian right") << "SpeedButton20" << QPoint(1, 0);
        QTest::newRow("persian down") << "SpeedButton21" << QPoint(0, 1);
        QTest::newRow("persian left") << "SpeedButton22" << QPoint(-1, 0);
        QTest::newRow("persian up") << "SpeedButton23" << QPoint(0, -1);
    }
    void nudge()
    {
        QFETCH(QString, button);
        QFETCH(QPoint, step);
        auto* b = named<QToolButton>(*form, qPrintable(button));
        QVERIFY(b);
        click(form->SpeedButton6);
        press(form->imagesend, QPoint(50, 50));
        QTest::mousePress(b, Qt::LeftButton);
        QCOMPARE(form->Label3->pos(), QPoint(50, 50) + step);
        QTest::mouseRelease(b, Qt::LeftButton);
        QCOMPARE(form->Label3->pos(), QPoint(50, 50) + 11 * step);
        QTest::mousePress(b, Qt::LeftButton);
        QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(-30, -30)); // released off the button
        QCOMPARE(form->Label3->pos(), QPoint(50, 50) + 12 * step);
        for (int i = 0; i < 6; ++i) // no limit
            click(b);
        QCOMPARE(form->Label3->pos(), QPoint(50, 50) + 78 * step);
    }

private:
    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<TForm1> form;
};

QTEST_MAIN(OverlayTest)
#include "tst_overlay.moc"

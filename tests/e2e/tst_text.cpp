// A message typed with tokens travels through the simulator and comes back as the preview showed it.
#include <QAbstractTextDocumentLayout>
#include <QComboBox>
#include <QGlyphRun>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QToolButton>

#include <algorithm>

#include "MainWindow.h"
#include "QtHooks.h"
#include "SimProcess.h"
#include "TestSeams.h"
#include "printer/Conversation.h"
#include "printer/Messages.h"
#include "text/Stream.h"

namespace {
QString msg(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
QString U(const char16_t* s) { return QString::fromUtf16(s); }

// Lays out a block of an editor's or a preview's document.
const QTextLayout* laidOut(const QTextBlock& block)
{
    block.document()->documentLayout()->blockBoundingRect(block);
    return block.layout();
}

// The positions of a block's characters, left to right as its layout draws
// them: by the middle of each character's glyphs; characters sharing a glyph
// (a ligature) in their run's own direction. Format characters are left out.
QList<int> visualOrder(const QTextBlock& block)
{
    const QTextLayout* layout = laidOut(block);
    struct Cell { qreal x; int tie; int at; };
    QList<Cell> cells;
    for (int i = 0; i < block.length() - 1; ++i) {
        if (block.text().at(i).category() == QChar::Other_Format)
            continue;
        const QList<QGlyphRun> runs = layout->glyphRuns(i, 1);
        if (runs.isEmpty())
            continue;
        const QRectF r = runs.first().boundingRect();
        cells.append({r.center().x(), runs.first().isRightToLeft() ? -i : i, i});
    }
    std::sort(cells.begin(), cells.end(), [](const Cell& a, const Cell& b) {
        return std::abs(a.x - b.x) > 0.01 ? a.x < b.x : a.tie < b.tie;
    });
    QList<int> order;
    for (const Cell& c : cells)
        order << c.at;
    return order;
}
QList<int> editorVisualOrder(QPlainTextEdit* memo, int blockNumber)
{
    return visualOrder(memo->document()->findBlockByNumber(blockNumber));
}

// Whether a short line sits at the right of its document rather than starting at its left.
bool alignedRight(const QTextBlock& block)
{
    const QTextLine line = laidOut(block)->lineAt(0);
    qreal left = 1e9, right = -1e9;
    for (int i = 0; i <= block.length() - 1; ++i) {
        left = std::min(left, line.cursorToX(i));
        right = std::max(right, line.cursorToX(i));
    }
    return left > 40 && right > line.width() / 2;
}
bool alignedRight(QPlainTextEdit* memo, int blockNumber)
{
    return alignedRight(memo->document()->findBlockByNumber(blockNumber));
}

// The editor's text without the marks it keeps around tokens.
QString plain(const QPlainTextEdit* memo)
{
    return memo->toPlainText().remove(QChar(0x200E)).remove(QChar(0x200F));
}

// The preview's lines as plain text, without the override marks.
QString previewText(const QLabel* preview)
{
    QTextDocument doc;
    doc.setHtml(preview->text());
    return doc.toPlainText().remove(QChar(0x202D)).remove(QChar(0x202C));
}
}

class TextTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { installSerialHooks(); }
    void init()
    {
        env.reset(new TestEnvironment);
        sim.reset(new SimProcess);
        QVERIFY(sim->start(env->portMap(), env->cwd() + QStringLiteral("/../sim.jsonl")));
        form.reset(new TForm1(&env->seams));
        form->findChild<QComboBox*>(QStringLiteral("comboportselect"))->setCurrentIndex(29);
        memo = form->findChild<QPlainTextEdit*>(QStringLiteral("Memo1"));
        env->seams.clear();
    }
    void cleanup()
    {
        form.reset();
        sim.reset();
        env.reset();
    }

    void tokensAndWordsArriveInPrintedOrder_data()
    {
        QTest::addColumn<QString>("direction"); // the direction button pressed first
        QTest::addColumn<QStringList>("typing"); // "@ImageN" clicks a token picture, anything else is typed
        QTest::addColumn<QString>("hex");        // the codes after the length field
        QTest::addColumn<QString>("visual");     // the simulator's reading of the codes
        QTest::addColumn<QString>("preview");    // the letters the preview shows, lines apart
        QTest::newRow("word then token") << "textDirectionAuto" << QStringList{U(u"تاریخ "), QStringLiteral("@Image2")}
                                         << "5E 64 20 A0 CE A4 90 DA 20" << U(u"^d خیرات ") << U(u"^d خیرات");
        QTest::newRow("latin, tokens, digits") << "textDirectionAuto"
                                               << QStringList{QStringLiteral("Exp "), QStringLiteral("@Image1"),
                                                              QStringLiteral("/"), QStringLiteral("@Image3"), U(u" ۱۲")}
                                               << "45 78 70 20 5E 79 2F 5E 6D 20 31 32 20" << "Exp ^y/^m 12 "
                                               << "Exp ^y/^m 12";
        QTest::newRow("two lines") << "textDirectionAuto" << QStringList{U(u"سلام"), QStringLiteral("\n"), U(u"دنیا")}
                                   << "C4 90 C3 A8 0D 0A 90 CE C7 A2 20" << U(u"مالس\r\nایند ") << U(u"مالس\nایند");
        QTest::newRow("forced right to left") << "textDirectionRtl" << QStringList{U(u"abc سلام")}
                                              << "C4 90 C3 A8 20 61 62 63 20" << U(u"مالس abc ") << U(u"مالس abc");
        QTest::newRow("forced left to right") << "textDirectionLtr" << QStringList{U(u"abc سلام 123 دنیا")}
                                              << "61 62 63 20 90 CE C7 A2 20 31 32 33 20 C4 90 C3 A8 20"
                                              << U(u"abc ایند 123 مالس ") << U(u"abc ایند 123 مالس");
        QTest::newRow("every token") << "textDirectionAuto"
                                     << QStringList{QStringLiteral("@Image6"), QStringLiteral("@Image4"),
                                                    QStringLiteral("@Image5"), QStringLiteral("@Image8"),
                                                    QStringLiteral("@Image9"), QStringLiteral("@Image7")}
                                     << "5E 59 5E 4D 5E 4D 5E 38 5E 74 5E 63 20" << "^Y^M^M^8^t^c " << "^Y^M^M^8^t^c";
        // Every token, Persian words, Persian digits and a Shift+Enter break in one message.
        QTest::newRow("everything")
            << "textDirectionAuto"
            << QStringList{U(u"تاریخ "), QStringLiteral("@Image2"), QStringLiteral("/"), QStringLiteral("@Image3"),
                           QStringLiteral("/"), QStringLiteral("@Image1"), U(u" ۱۴۰۵"), QStringLiteral("\u2028"),
                           U(u"ساعت "), QStringLiteral("@Image9"), U(u" شمارنده "), QStringLiteral("@Image7"),
                           QStringLiteral("@Image6"), QStringLiteral("@Image4"), QStringLiteral("@Image5"),
                           QStringLiteral("@Image8")}
            << "31 34 30 35 20 5E 64 2F 5E 6D 2F 5E 79 20 A0 CE A4 90 DA 0D 0A "
               "5E 63 5E 59 5E 4D 5E 4D 20 C8 A2 C7 A4 90 C5 AA 20 5E 74 20 D9 B4 90 A8 5E 38 20"
            // The isolated heh after dal shares its code 0xC8 with waw; the simulator reads it as waw.
            << U(u"1405 ^d/^m/^y خیرات\r\n^c^Y^M^M ودنرامش ^t تعاس^8 ")
            << U(u"1405 ^d/^m/^y خیرات\n^c^Y^M^M هدنرامش ^t تعاس^8");
    }
    void tokensAndWordsArriveInPrintedOrder()
    {
        QFETCH(QString, direction);
        QFETCH(QStringList, typing);
        QFETCH(QString, hex);
        QFETCH(QString, visual);
        QFETCH(QString, preview);
        form->findChild<QToolButton*>(direction)->click();
        memo->setFocus();
        for (const QString& part : typing) {
            if (part.startsWith(QLatin1Char('@')))
                form->findChild<QToolButton*>(part.mid(1))->click();
            else if (part == QLatin1String("\n"))
                QTest::keyClick(memo, Qt::Key_Return);
            else if (part == QLatin1String("\u2028"))
                QTest::keyClick(memo, Qt::Key_Return, Qt::ShiftModifier);
            else
                memo->insertPlainText(part); // typed at the caret
        }
        const QString typed = memo->toPlainText();
        const QString shown = previewText(form->findChild<QLabel*>(QStringLiteral("textPreview")));
        QCOMPARE(shown.normalized(QString::NormalizationForm_KC), preview);
        form->findChild<QToolButton*>(QStringLiteral("SpeedButton30"))->click();
        QVERIFY(sim->waitFor(QStringLiteral("T")));
        QTRY_VERIFY_WITH_TIMEOUT(sim->last(QStringLiteral("T")).contains(QStringLiteral("hex")), 5000);
        const QJsonObject t = sim->last(QStringLiteral("T"));
        QVERIFY(t.value(QStringLiteral("ok")).toBool());
        QCOMPARE(t.value(QStringLiteral("hex")).toString(), hex);
        QCOMPARE(t.value(QStringLiteral("visual")).toString(), visual);
        QCOMPARE(t.value(QStringLiteral("codes")).toInt(), t.value(QStringLiteral("length")).toInt());
        QTRY_VERIFY_WITH_TIMEOUT(env->seams.allMessages().contains(msg(korvel::printer::kMsgTextReceived)), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(env->seams.allMessages().contains(msg(korvel::printer::kMsgTextReady)), 5000);
        QCOMPARE(memo->toPlainText(), typed); // the operator's text, untouched
        // The settings request of the connection waited for the stream.
        QVERIFY(sim->waitFor(QStringLiteral("u")));
        QVERIFY(sim->commands().indexOf(QStringLiteral("u")) > sim->commands().indexOf(QStringLiteral("T")));
    }

    // One view of each line, in each direction: the preview draws the codes in
    // the stream's order, aligned as the line reads; the editor's own layout
    // draws a line without tokens in that order too, and every token whole.
    void oneView_data()
    {
        QTest::addColumn<QString>("direction");
        QTest::addColumn<QString>("text"); // lines apart
        const QStringList texts{
            U(u"سلام"), U(u"ضمانت ۱۲ ماه"), U(u"قیمت 12000 ریال"), U(u"سلام، دنیا!"), U(u"چرا؟"),
            U(u"محصول (ایران)"), U(u"abc سلام"), U(u"abc سلام 123 دنیا"), U(u"Made in ایران (2025)"),
            U(u"[x] سلام"), U(u"سلام [x]"), U(u"a (b) c"), U(u"تاریخ تولید: ۱۴۰۴/۰۵/۱۲"), U(u"می\u200Cروم"),
            QStringLiteral("12:30 - 45%"), U(u"«نقل» – قول…"), U(u"قیمت: ۳٫۵ × ۲؛ ٤٥"),
            // Ordered as typed: "؟" and the Arabic-Indic number keep their own directions.
            U(u"؟ abc"), U(u"abc ١٬٢ سلام"), U(u"سلام، دنیا!\nabc (۱۲)"),
            // Tokens.
            U(u"تاریخ ^d"), U(u"تاریخ تولید: ^d/^m/^y"), U(u"سلام ^2دنیا"), U(u"^c شماره"),
            U(u"Exp ^y/^m سلام"), U(u"^d/^m/^y"), U(u"قیمت ^c ریال"), U(u"تاریخ ^d\nExp ^y"),
        };
        for (const char* d : {"auto", "rtl", "ltr"})
            for (const QString& t : texts)
                QTest::addRow("%s %s", d, qPrintable(QString(t).replace('\n', " | "))) << QString::fromLatin1(d) << t;
    }
    void oneView()
    {
        QFETCH(QString, direction);
        QFETCH(QString, text);
        const QString button = direction == QLatin1String("rtl")   ? QStringLiteral("textDirectionRtl")
                               : direction == QLatin1String("ltr") ? QStringLiteral("textDirectionLtr")
                                                                   : QStringLiteral("textDirectionAuto");
        showTextPage();
        form->findChild<QToolButton*>(button)->click();
        memo->setPlainText(text);
        const QString message = QString(text).replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
        QCOMPARE(form->memoText(), message);
        const auto d = korvel::text::directionNamed(direction.toStdString()).value();
        const auto stream = korvel::text::encodeTextStream(message.toStdU16String(), d);

        // The stream line by line: each code's character of the message, and
        // what it prints as (ASCII as itself, a letter as the letter typed).
        struct Printed { QList<int> source; QString chars; QString tokens; };
        QList<Printed> printed(1);
        for (std::size_t i = 0; i + 1 < stream.codes.size(); ++i) { // the added space left out
            const auto code = static_cast<unsigned char>(stream.codes[i]);
            if (code == '\r')
                continue;
            if (code == '\n') {
                printed.append(Printed{});
                continue;
            }
            const int at = stream.source[i];
            Printed& line = printed.last();
            if (line.source.isEmpty() || line.source.last() != at) // "…" goes out as three dots
                line.source << at;
            line.chars += code < 0x80 ? QChar(code) : message.at(at);
            if (code == '^' && message.at(at) == QLatin1Char('^'))
                line.tokens += message.at(at + 1);
        }
        const QStringList lines = message.split(QStringLiteral("\r\n"));
        QCOMPARE(printed.size(), lines.size());
        QCOMPARE(memo->document()->blockCount(), int(lines.size()));

        // The preview as the label shows it.
        auto* preview = form->findChild<QLabel*>(QStringLiteral("textPreview"));
        QTextDocument shown;
        shown.setDefaultFont(preview->font());
        shown.setHtml(preview->text());
        shown.setTextWidth(preview->contentsRect().width());
        QCOMPARE(shown.blockCount(), int(lines.size()));

        int lineStart = 0;
        for (int k = 0; k < lines.size(); ++k) {
            const QString where = QStringLiteral("line %1").arg(k + 1);
            const bool rtl = stream.lineRtl.at(std::size_t(k));
            const QTextBlock previewLine = shown.findBlockByNumber(k);
            QString drawn;
            for (int at : visualOrder(previewLine)) // presentation forms back to their letters, no-break spaces to spaces
                drawn += QString(previewLine.text().at(at)).normalized(QString::NormalizationForm_KC);
            QVERIFY2(drawn == printed[k].chars, qPrintable(where + QStringLiteral(": preview ") + drawn));
            QVERIFY2(alignedRight(previewLine) == rtl, qPrintable(where + QStringLiteral(": preview alignment")));

            QVERIFY2(alignedRight(memo, k) == rtl, qPrintable(where + QStringLiteral(": editor alignment")));
            const QList<int> order = editorVisualOrder(memo, k);
            const QString editorLine = memo->document()->findBlockByNumber(k).text();
            if (!lines[k].contains(QLatin1Char('^'))) {
                QList<int> expected;
                for (int at : printed[k].source)
                    expected << at - lineStart;
                QCOMPARE(order, expected);
            } else {
                // Each token whole, "^" left of its letter; the tokens in the order they print.
                QList<int> starts;
                for (int i = 0; i + 1 < editorLine.size(); ++i) {
                    if (editorLine.at(i) != QLatin1Char('^'))
                        continue;
                    const int at = int(order.indexOf(i));
                    QVERIFY2(at >= 0 && at + 1 < order.size() && order.at(at + 1) == i + 1,
                             qPrintable(where + QStringLiteral(": token at %1 split").arg(i)));
                    starts << i;
                }
                std::sort(starts.begin(), starts.end(), [&](int a, int b) { return order.indexOf(a) < order.indexOf(b); });
                QString tokens;
                for (int i : starts)
                    tokens += editorLine.at(i + 1);
                QVERIFY2(tokens == printed[k].tokens, qPrintable(where + QStringLiteral(": tokens ") + tokens));
            }
            lineStart += int(lines[k].size()) + 2;
        }
    }

    // A Shift+Enter break counts as the CR LF it is sent as, so the token lands at the caret.
    void tokenAfterShiftEnterLandsAtCaret()
    {
        memo->setFocus();
        memo->insertPlainText(QStringLiteral("ab"));
        QTest::keyClick(memo, Qt::Key_Return, Qt::ShiftModifier);
        memo->insertPlainText(QStringLiteral("cd"));
        QTextCursor c = memo->textCursor();
        c.setPosition(4); // between c and d
        memo->setTextCursor(c);
        form->findChild<QToolButton*>(QStringLiteral("Image2"))->click();
        QCOMPARE(plain(memo), QStringLiteral("ab\nc^dd"));
    }

    // The invisible marks around a token never swallow a key press.
    void backspaceAndDeleteReachTheToken()
    {
        memo->setFocus();
        memo->insertPlainText(QStringLiteral("ab"));
        form->findChild<QToolButton*>(QStringLiteral("Image2"))->click();
        memo->insertPlainText(QStringLiteral("c"));
        QCOMPARE(plain(memo), QStringLiteral("ab^dc"));
        QTest::keyClick(memo, Qt::Key_Backspace);
        QTest::keyClick(memo, Qt::Key_Backspace);
        QCOMPARE(plain(memo), QStringLiteral("ab^"));
        QCOMPARE(memo->toPlainText(), QStringLiteral("ab^")); // no token, no marks
        memo->setPlainText(QStringLiteral("x^my"));
        QTextCursor c = memo->textCursor();
        c.setPosition(1);
        memo->setTextCursor(c);
        QTest::keyClick(memo, Qt::Key_Delete);
        QCOMPARE(plain(memo), QStringLiteral("xmy"));
    }

    void directionButtonsAreExclusive()
    {
        auto* rtl = form->findChild<QToolButton*>(QStringLiteral("textDirectionRtl"));
        auto* autoButton = form->findChild<QToolButton*>(QStringLiteral("textDirectionAuto"));
        showTextPage();
        QVERIFY(autoButton->isChecked());
        QVERIFY(!rtl->toolTip().isEmpty());
        rtl->click();
        QVERIFY(rtl->isChecked() && !autoButton->isChecked());
        memo->setPlainText(QStringLiteral("abc"));
        QVERIFY(alignedRight(memo, 0));
        autoButton->click();
        QVERIFY(!alignedRight(memo, 0));
    }

    // A code the tables give to two letters is marked, and the hint names both.
    void previewMarksSharedCode()
    {
        auto* preview = form->findChild<QLabel*>(QStringLiteral("textPreview"));
        memo->setPlainText(U(u"سلام"));
        QVERIFY(!preview->toolTip().contains(QStringLiteral("0xc8")));
        memo->setPlainText(U(u"راه"));
        QVERIFY(preview->text().contains(QStringLiteral("underline")));
        QVERIFY2(preview->toolTip().contains(QStringLiteral("0xc8")) && preview->toolTip().contains(U(u"«و»")) &&
                     preview->toolTip().contains(U(u"«ه»")),
                 qPrintable(preview->toolTip()));
        QVERIFY(previewText(preview).contains(QChar(0xFEE9))); // the heh typed, not waw
    }

    void previewFillsTokens()
    {
        auto* preview = form->findChild<QLabel*>(QStringLiteral("textPreview"));
        memo->setPlainText(U(u"شماره ^c"));
        QCOMPARE(previewText(preview).normalized(QString::NormalizationForm_KC), U(u"^c هرامش"));
        form->findChild<QToolButton*>(QStringLiteral("textPreviewFilled"))->click();
        QCOMPARE(previewText(preview).normalized(QString::NormalizationForm_KC), U(u"0000 هرامش"));
    }

    // The stream is the text as it stood at the press: the editor changed at
    // once after it, before "}" can arrive, changes nothing on the wire and
    // leaves nothing waiting.
    void textTakenAtThePress_data()
    {
        QTest::addColumn<QString>("after");
        QTest::newRow("another text") << QStringLiteral("xyz 123");
        QTest::newRow("unprintable") << U(u"سلام 漢");
        QTest::newRow("emptied") << QString();
    }
    void textTakenAtThePress()
    {
        QFETCH(QString, after);
        memo->setFocus();
        QTest::keyClicks(memo, QStringLiteral("abc"));
        form->findChild<QToolButton*>(QStringLiteral("SpeedButton30"))->click();
        memo->setPlainText(after); // the event loop has not run since the press
        QVERIFY(sim->waitFor(QStringLiteral("T")));
        QTRY_VERIFY_WITH_TIMEOUT(sim->last(QStringLiteral("T")).contains(QStringLiteral("hex")), 5000);
        const QJsonObject t = sim->last(QStringLiteral("T"));
        QVERIFY(t.value(QStringLiteral("ok")).toBool());
        QCOMPARE(t.value(QStringLiteral("hex")).toString(), QStringLiteral("61 62 63 20"));
        QCOMPARE(t.value(QStringLiteral("length")).toInt(), 4);
        QTRY_VERIFY_WITH_TIMEOUT(env->seams.allMessages().contains(msg(korvel::printer::kMsgTextReady)), 5000);
        QVERIFY(env->seams.allMessages().contains(msg(korvel::printer::kMsgTextReceived)));
        QTRY_VERIFY_WITH_TIMEOUT(form->conversation->idle(), 5000);
        QVERIFY(!form->conversation->state().waitingForPrinter);
        QVERIFY(env->seams.allErrors().isEmpty());
        QCOMPARE(sim->commands().count(QStringLiteral("T")), 1);
        QCOMPARE(plain(memo), after);
        // The line is free for the next command.
        form->findChild<QToolButton*>(QStringLiteral("SpeedButton31"))->click();
        QVERIFY(sim->waitFor(QStringLiteral("s")));
        QTRY_VERIFY_WITH_TIMEOUT(env->seams.allMessages().contains(msg(korvel::printer::kMsgTextStored)), 5000);
    }

    void unprintableTextIsRefusedBeforeT()
    {
        memo->setPlainText(U(u"سلام 漢"));
        form->findChild<QToolButton*>(QStringLiteral("SpeedButton30"))->click();
        QCOMPARE(env->seams.allMessages().size(), 1);
        QVERIFY(env->seams.allMessages().first().contains(U(u"漢")));
        QTest::qWait(300);
        QVERIFY(!sim->commands().contains(QStringLiteral("T")));
        QVERIFY(!sim->commands().contains(QStringLiteral("!"))); // nothing at all was sent
    }

    void tooLongTextIsRefused()
    {
        memo->setPlainText(QString(5000, QLatin1Char('a')));
        form->findChild<QToolButton*>(QStringLiteral("SpeedButton30"))->click();
        QCOMPARE(env->seams.allMessages().size(), 1);
        QTest::qWait(300);
        QVERIFY(sim->commands().isEmpty());
    }

    void storeTextSendsS()
    {
        form->findChild<QToolButton*>(QStringLiteral("SpeedButton31"))->click();
        QVERIFY(sim->waitFor(QStringLiteral("s")));
        QTRY_VERIFY_WITH_TIMEOUT(env->seams.allMessages().contains(msg(korvel::printer::kMsgTextStored)), 5000);
    }

    void fontTokenFollowsTheTrackBar()
    {
        QCOMPARE(form->findChild<QLabel*>(QStringLiteral("label_font"))->text(), QStringLiteral("8"));
        form->findChild<QSlider*>(QStringLiteral("TrackBar2"))->setValue(3);
        QCOMPARE(form->findChild<QLabel*>(QStringLiteral("label_font"))->text(), QStringLiteral("3"));
        form->findChild<QToolButton*>(QStringLiteral("Image8"))->click();
        QCOMPARE(plain(memo), QStringLiteral("^3"));
    }

private:
    void showTextPage()
    {
        form->findChild<QTabWidget*>()->setCurrentIndex(0);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }

    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<TForm1> form;
    QPlainTextEdit* memo = nullptr;
};

QTEST_MAIN(TextTest)
#include "tst_text.moc"

// A message typed with tokens travels through the simulator and comes back as the preview showed it.
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include "MainWindow.h"
#include "QtHooks.h"
#include "SimProcess.h"
#include "TestSeams.h"
#include "printer/Messages.h"

namespace {
QString msg(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
QString U(const char16_t* s) { return QString::fromUtf16(s); }
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
        QTest::addColumn<QStringList>("typing"); // "@ImageN" clicks a token picture, anything else is typed
        QTest::addColumn<QString>("hex");        // the codes after the length field
        QTest::addColumn<QString>("visual");
        QTest::newRow("word then token") << QStringList{U(u"تاریخ "), QStringLiteral("@Image2")}
                                         << "A0 CE A4 90 DA 20 5E 64 20" << U(u"خیرات ^d ");
        QTest::newRow("latin, tokens, digits") << QStringList{QStringLiteral("Exp "), QStringLiteral("@Image1"),
                                                              QStringLiteral("/"), QStringLiteral("@Image3"), U(u" ۱۲")}
                                               << "45 78 70 20 5E 79 2F 5E 6D 20 31 32 20" << "Exp ^y/^m 12 ";
        QTest::newRow("two lines") << QStringList{U(u"سلام"), QStringLiteral("\n"), U(u"دنیا")}
                                   << "C4 90 C3 A8 0D 0A 90 CE C7 A2 20" << U(u"مالس\r\nاین‌د ").remove(QChar(0x200C));
        QTest::newRow("every token") << QStringList{QStringLiteral("@Image6"), QStringLiteral("@Image4"),
                                                    QStringLiteral("@Image5"), QStringLiteral("@Image8"),
                                                    QStringLiteral("@Image9"), QStringLiteral("@Image7")}
                                     << "5E 59 5E 4D 5E 4D 5E 38 5E 74 5E 63 20" << "^Y^M^M^8^t^c ";
        // Every token, Persian words, Persian digits and a line break in one message.
        QTest::newRow("everything") << QStringList{U(u"تاریخ "), QStringLiteral("@Image2"), QStringLiteral("/"),
                                                   QStringLiteral("@Image3"), QStringLiteral("/"), QStringLiteral("@Image1"),
                                                   U(u" ۱۴۰۵"), QStringLiteral("\n"), U(u"ساعت "), QStringLiteral("@Image9"),
                                                   U(u" شمارنده "), QStringLiteral("@Image7"), QStringLiteral("@Image6"),
                                                   QStringLiteral("@Image4"), QStringLiteral("@Image5"), QStringLiteral("@Image8")}
                                    // The isolated heh after dal shares its code 0xC8 with waw; the printer's font reads it as waw.
                                    << QString() << U(u"خیرات ^d/^m/^y 1405\r\nتعاس ^t ودنرامش ^c^Y^M^M^8 ");
    }
    void tokensAndWordsArriveInPrintedOrder()
    {
        QFETCH(QStringList, typing);
        QFETCH(QString, hex);
        QFETCH(QString, visual);
        memo->setFocus();
        for (const QString& part : typing) {
            if (part.startsWith(QLatin1Char('@')))
                form->findChild<QToolButton*>(part.mid(1))->click();
            else if (part == QLatin1String("\n"))
                QTest::keyClick(memo, Qt::Key_Return);
            else
                memo->insertPlainText(part); // typed at the caret
        }
        const QString typed = memo->toPlainText();
        const QString preview = form->findChild<QLabel*>(QStringLiteral("textPreview"))->text();
        form->findChild<QToolButton*>(QStringLiteral("SpeedButton30"))->click();
        QVERIFY(sim->waitFor(QStringLiteral("T")));
        QTRY_VERIFY_WITH_TIMEOUT(sim->last(QStringLiteral("T")).contains(QStringLiteral("hex")), 5000);
        const QJsonObject t = sim->last(QStringLiteral("T"));
        QVERIFY(t.value(QStringLiteral("ok")).toBool());
        if (!hex.isNull())
            QCOMPARE(t.value(QStringLiteral("hex")).toString(), hex);
        QCOMPARE(t.value(QStringLiteral("visual")).toString(), visual);
        QCOMPARE(t.value(QStringLiteral("codes")).toInt(), t.value(QStringLiteral("length")).toInt());
        {
            // The preview is decoded from the same codes: the same letters in the printed order.
            // (The forms an end-form code stands for are each decoder's own reading.)
            QString shown = preview;
            shown.remove(QChar(0x202D)).remove(QChar(0x202C)).replace(QStringLiteral(" \u21B5 "), QStringLiteral("\r\n"));
            QCOMPARE(shown.normalized(QString::NormalizationForm_KC),
                     t.value(QStringLiteral("presentation")).toString().normalized(QString::NormalizationForm_KC));
        }
        QTRY_VERIFY_WITH_TIMEOUT(env->seams.allMessages().contains(msg(korvel::printer::kMsgTextReceived)), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(env->seams.allMessages().contains(msg(korvel::printer::kMsgTextReady)), 5000);
        QCOMPARE(memo->toPlainText(), typed); // the operator's text, untouched
        // The settings request of the connection waited for the stream.
        QVERIFY(sim->waitFor(QStringLiteral("u")));
        QVERIFY(sim->commands().indexOf(QStringLiteral("u")) > sim->commands().indexOf(QStringLiteral("T")));
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
        QCOMPARE(memo->toPlainText(), QStringLiteral("^3"));
    }

private:
    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<TForm1> form;
    QPlainTextEdit* memo = nullptr;
};

QTEST_MAIN(TextTest)
#include "tst_text.moc"

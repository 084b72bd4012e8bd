// Connection, the settings report and every settings command, end to end.
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
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
}

class LinkTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { installSerialHooks(); }
    void init() { env.reset(new TestEnvironment); }
    void cleanup()
    {
        form.reset();
        sim.reset();
        env.reset();
    }

    void connectReadsTheReportAndWritesTheSettingsFile()
    {
        startSim({QStringLiteral("--settings"), QStringLiteral("12,34,56,78,200")});
        openWindow();
        click("Image13");
        QVERIFY(sim->waitFor(QStringLiteral("!")));
        QVERIFY(sim->waitFor(QStringLiteral("u")));
        QTRY_VERIFY_WITH_TIMEOUT(env->seams.allMessages().contains(msg(korvel::printer::kMsgConnected)), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(slider("TrackBar4")->value(), 12, 5000);
        QCOMPARE(label("Label8")->text(), QStringLiteral("12"));
        QCOMPARE(slider("TrackBar6")->value(), 34);
        QCOMPARE(slider("TrackBar7")->value(), 56);
        QCOMPARE(slider("TrackBar1")->value(), 78);
        QCOMPARE(slider("TrackBar5")->value(), 200);
        QCOMPARE(label("Label7")->text(), QStringLiteral("200"));
        QFile file(QStringLiteral("setting.dll"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("29\r\n0\r\n"));
        QVERIFY(env->seams.allErrors().isEmpty());
    }

    void commands_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("slider");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("cmd");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("message");
        using namespace korvel::printer;
        QTest::newRow("initial delay") << "B7" << "TrackBar1" << 200 << "l" << "value" << QVariant(200) << msg(kMsgInitialDelaySet);
        QTest::newRow("delay after") << "Image15" << "TrackBar7" << 17 << "R" << "value" << QVariant(17) << msg(kMsgDelayAfterSet);
        QTest::newRow("resolution") << "Image12" << "TrackBar5" << 255 << "B" << "value" << QVariant(255) << msg(kMsgResolutionSet);
        QTest::newRow("ink") << "b5" << "TrackBar4" << 1 << "q" << "value" << QVariant(1) << msg(kMsgInkSet);
        QTest::newRow("count") << "Image14" << "TrackBar6" << 99 << "r" << "value" << QVariant(99) << msg(kMsgCountSet);
        QTest::newRow("date") << "B2" << "" << 0 << "d" << "year" << QVariant(25) << msg(kMsgDateSet);
        QTest::newRow("time") << "B3" << "" << 0 << "t" << "minute" << QVariant(5) << msg(kMsgTimeSet);
        QTest::newRow("counter") << "B4" << "" << 0 << "c" << "counter" << QVariant("0007") << msg(kMsgCounterSet);
        QTest::newRow("right to left") << "Image10" << "" << 0 << "H" << "direction" << QVariant("rtl") << msg(kMsgRightToLeft);
        QTest::newRow("left to right") << "Image11" << "" << 0 << "h" << "direction" << QVariant("ltr") << msg(kMsgLeftToRight);
    }
    void commands()
    {
        QFETCH(QString, button);
        QFETCH(QString, slider);
        QFETCH(int, position);
        QFETCH(QString, cmd);
        QFETCH(QString, field);
        QFETCH(QVariant, value);
        QFETCH(QString, message);
        startSim();
        openWindow();
        env->seams.inputAnswers.push_back(QStringLiteral("7"));
        if (!slider.isEmpty())
            this->slider(slider)->setValue(position);
        // Not connected yet: the command connects first, then follows the "!" at once.
        click(button);
        QVERIFY(sim->waitFor(cmd));
        const QStringList cmds = sim->commands();
        QCOMPARE(cmds.first(), QStringLiteral("!"));
        QCOMPARE(sim->last(cmd).value(field).toVariant(), value);
        QTRY_VERIFY_WITH_TIMEOUT(env->seams.allMessages().contains(message), 5000);
        QVERIFY(env->seams.allErrors().isEmpty());
    }

    void dateAndTimeComeFromTheClock()
    {
        startSim();
        openWindow();
        env->seams.date = QDate(2005, 12, 31);
        env->seams.time = QTime(23, 59, 7);
        click("B2");
        click("B3");
        QVERIFY(sim->waitFor(QStringLiteral("t")));
        const QJsonObject d = sim->last(QStringLiteral("d"));
        QCOMPARE(d.value(QStringLiteral("year")).toInt(), 5);
        QCOMPARE(d.value(QStringLiteral("month")).toInt(), 12);
        QCOMPARE(d.value(QStringLiteral("day")).toInt(), 31);
        const QJsonObject t = sim->last(QStringLiteral("t"));
        QCOMPARE(t.value(QStringLiteral("hour")).toInt(), 23);
        QCOMPARE(t.value(QStringLiteral("second")).toInt(), 7);
    }

    void counterPromptRefusesWhatIsNoNumber()
    {
        startSim();
        openWindow();
        env->seams.inputAnswers.push_back(QStringLiteral("ab"));
        click("B4");
        QCOMPARE(env->seams.lastInputDefault, QStringLiteral("0000"));
        QVERIFY(env->seams.allMessages().contains(msg(korvel::printer::kMsgCounterInvalid)));
        env->seams.inputAnswers.push_back(QString()); // cancelled
        click("B4");
        QVERIFY(sim->waitFor(QStringLiteral("c")));
        QCOMPARE(sim->last(QStringLiteral("c")).value(QStringLiteral("counter")).toString(), QStringLiteral("0000"));
        QCOMPARE(sim->commands().count(QStringLiteral("c")), 1);
    }

    void silentPrinterGivesTheNoReplyMessageOnce()
    {
        startSim({QStringLiteral("--silent")});
        openWindow();
        click("B2");
        click("b5"); // a second command within the first's 3 s does not restart the timer
        QVERIFY(sim->waitFor(QStringLiteral("q")));
        QTRY_VERIFY_WITH_TIMEOUT(env->seams.allMessages().contains(msg(korvel::printer::kMsgNoReply)), 6000);
        QTest::qWait(3500);
        QCOMPARE(env->seams.allMessages().count(msg(korvel::printer::kMsgNoReply)), 1);
    }

    void errorReplyIsShown()
    {
        startSim({QStringLiteral("--reply-error")});
        openWindow();
        click("Image13");
        QTRY_VERIFY_WITH_TIMEOUT(env->seams.allMessages().contains(msg(korvel::printer::kMsgConnectError)), 5000);
    }

    void splitRepliesGiveTheSameResults()
    {
        startSim({QStringLiteral("--split-replies"), QStringLiteral("--settings"), QStringLiteral("9,8,7,6,5")});
        openWindow();
        click("Image13");
        QTRY_COMPARE_WITH_TIMEOUT(slider("TrackBar5")->value(), 5, 8000);
        QCOMPARE(slider("TrackBar4")->value(), 9);
        click("Image10");
        QTRY_VERIFY_WITH_TIMEOUT(env->seams.allMessages().contains(msg(korvel::printer::kMsgRightToLeft)), 5000);
        QCOMPARE(env->seams.allMessages().count(msg(korvel::printer::kMsgConnected)), 1);
    }

    void hangupIsReportedAndTheNextCommandReconnects()
    {
        startSim({QStringLiteral("--hangup-after"), QStringLiteral("2")}); // "!" and "u"
        openWindow();
        click("Image13");
        QVERIFY(sim->waitFor(QStringLiteral("!")));
        QTest::qWait(500); // the "u" after the acknowledgement unplugs it
        click("B2");
        QTRY_VERIFY_WITH_TIMEOUT(!env->seams.allErrors().isEmpty(), 8000);
        QVERIFY(!form->connected);
        sim.reset();
        startSim();
        env->seams.clear();
        click("Image10");
        QVERIFY(sim->waitFor(QStringLiteral("H")));
        QCOMPARE(sim->commands().first(), QStringLiteral("!"));
        QTRY_VERIFY_WITH_TIMEOUT(env->seams.allMessages().contains(msg(korvel::printer::kMsgRightToLeft)), 5000);
    }

    void settingsRequestWaitsForARequestedStreamButNotForever()
    {
        startSim({QStringLiteral("--no-upload-reply"), QStringLiteral("--settings"), QStringLiteral("4,4,4,4,4")});
        openWindow();
        form->findChild<QPlainTextEdit*>(QStringLiteral("Memo1"))->setPlainText(QStringLiteral("abc"));
        click("SpeedButton30"); // "!" and "T"; the printer acknowledges and never asks for the text
        QVERIFY(sim->waitFor(QStringLiteral("T")));
        QTest::qWait(500);
        // It might still ask: the request waits, unless it went out before the "T".
        const QStringList heard = sim->commands();
        QVERIFY2(!heard.contains(QStringLiteral("u")) ||
                     heard.indexOf(QStringLiteral("u")) < heard.indexOf(QStringLiteral("T")),
                 qPrintable(heard.join(' ')));
        QVERIFY(sim->waitFor(QStringLiteral("u"), 1, 6000));
        QTRY_COMPARE_WITH_TIMEOUT(slider("TrackBar4")->value(), 4, 5000);
    }

    void typedPortRunsTheChangeHandler()
    {
        openWindow();
        auto* combo = form->findChild<QComboBox*>(QStringLiteral("comboportselect"));
        combo->setEditText(QStringLiteral("COM7"));
        QCOMPARE(combo->currentIndex(), 6);
        QFile file(QStringLiteral("setting.dll"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("6\r\n0\r\n"));
    }

    // With no port chosen the counter is never asked for: one error, nothing stacked on it.
    void noPortGivesOneErrorAndNoPrompt()
    {
        openWindow();
        form->findChild<QComboBox*>(QStringLiteral("comboportselect"))->setCurrentIndex(-1);
        env->seams.clear();
        env->seams.lastInputPrompt.clear();
        click("B4");
        QTest::qWait(300);
        QCOMPARE(env->seams.allErrors().size(), 1);
        QVERIFY(env->seams.allErrors().first().endsWith(QStringLiteral(" is not open.")));
        QVERIFY(env->seams.lastInputPrompt.isEmpty());
        QVERIFY(!form->connected);
    }

    // Connecting again during a picture cuts it short at once; the printer is greeted again.
    void connectDuringAnUploadDoesNotStall()
    {
        startSim({QStringLiteral("--line-rate"), QStringLiteral("9600")});
        openWindow();
        click("Image13");
        QTRY_VERIFY_WITH_TIMEOUT(env->seams.allMessages().contains(msg(korvel::printer::kMsgConnected)), 5000);
        click("SpeedButton26");
        QTRY_VERIFY_WITH_TIMEOUT(form->Memo2->toPlainText().contains(QLatin1Char('(')), 5000);
        QTest::qWait(1000);
        QElapsedTimer clock;
        clock.start();
        click("Image13");
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY2(env->seams.allErrors().isEmpty(), qPrintable(env->seams.allErrors().join('|')));
        QVERIFY(form->connected);
        QTRY_VERIFY_WITH_TIMEOUT(form->status_send->isHidden(), 1000);
        // The printer took the "!" for picture data; once it has given the picture up it answers again.
        QTest::qWait(2500);
        click("Image13");
        QTRY_COMPARE_WITH_TIMEOUT(env->seams.allMessages().count(msg(korvel::printer::kMsgConnected)), 2, 8000);
    }

    // The refusal "e" leaves the window unconnected: the next command greets the printer again.
    void refusalLeavesTheWindowUnconnected()
    {
        startSim({QStringLiteral("--reply-error")});
        openWindow();
        click("Image13");
        QTRY_VERIFY_WITH_TIMEOUT(env->seams.allMessages().contains(msg(korvel::printer::kMsgConnectError)), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!form->connected, 2000);
    }

    // The line lost is named as it was connected, not as the port chosen since.
    void lostLineNamesTheLostPort()
    {
        startSim();
        openWindow();
        click("Image13");
        QTRY_VERIFY_WITH_TIMEOUT(env->seams.allMessages().contains(msg(korvel::printer::kMsgConnected)), 5000);
        QTest::qWait(300); // the settings report
        auto* combo = form->findChild<QComboBox*>(QStringLiteral("comboportselect"));
        combo->setCurrentIndex(6); // COM7: chosen, not connected
        QCOMPARE(combo->currentText(), QStringLiteral("COM7"));
        env->seams.clear();
        sim.reset(); // the printer goes away with its port
        QTRY_COMPARE_WITH_TIMEOUT(env->seams.allErrors().size(), 1, 5000);
        const QString error = env->seams.allErrors().first();
        QVERIFY2(error.contains(QStringLiteral("COM30")) && !error.contains(QStringLiteral("COM7")), qPrintable(error));
        QVERIFY(!form->connected);
        QTest::qWait(300);
        QCOMPARE(env->seams.allErrors().size(), 1);
    }

    void missingDeviceNamesThePort()
    {
        openWindow();
        click("Image13");
        QCOMPARE(env->seams.allErrors().size(), 1);
        QVERIFY2(env->seams.allErrors().first().startsWith(QStringLiteral("Cannot connect to COM30 . ")),
                 qPrintable(env->seams.allErrors().first()));
        QVERIFY(!form->connected);
    }

private:
    void startSim(const QStringList& extra = {})
    {
        sim.reset(new SimProcess);
        QVERIFY(sim->start(env->portMap(), env->cwd() + QStringLiteral("/../sim-%1.jsonl").arg(++simRuns), extra));
    }
    void openWindow()
    {
        form.reset(new TForm1(&env->seams));
        form->findChild<QComboBox*>(QStringLiteral("comboportselect"))->setCurrentIndex(29); // COM30
        env->seams.clear();
    }
    void click(const QString& name)
    {
        auto* button = form->findChild<QToolButton*>(name);
        QVERIFY2(button, qPrintable(name));
        button->click();
    }
    QSlider* slider(const QString& name) const { return form->findChild<QSlider*>(name); }
    QLabel* label(const QString& name) const { return form->findChild<QLabel*>(name); }

    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<TForm1> form;
    int simRuns = 0;
};

QTEST_MAIN(LinkTest)
#include "tst_link.moc"

// Every fault the printer can show against every kind of command: the operator
// is told what happened, the window keeps serving events, no thread outlives
// the window, and once the printer is healthy again the next command works.
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <functional>

#include "MainWindow.h"
#include "QtHooks.h"
#include "Shard.h"
#include "SimProcess.h"
#include "TestSeams.h"
#include "printer/Messages.h"

using namespace korvel::printer;

namespace {
QString msg(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

int threadCount() { return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size()); }

// The longest time the UI thread went without serving its timer.
class StallProbe {
public:
    StallProbe()
    {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = clock.elapsed();
            worst = std::max(worst, now - last);
            last = now;
        });
    }
    void restart()
    {
        clock.start();
        last = 0;
        worst = 0;
        timer.start();
    }
    qint64 worstGap() const { return std::max(worst, clock.elapsed() - last); }

private:
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 worst = 0;
};

// What each kind of command writes first after the connect, and the messages
// that acknowledge it on a healthy printer.
struct Command {
    const char* letter;
    QStringList acks;
};
const std::map<QString, Command>& commands()
{
    static const std::map<QString, Command> table{
        {"connect", {"!", {}}},
        {"setting", {"q", {msg(kMsgInkSet)}}},
        {"date", {"d", {msg(kMsgDateSet)}}},
        {"counter", {"c", {msg(kMsgCounterSet)}}},
        {"text", {"T", {msg(kMsgTextReceived), msg(kMsgTextReady)}}},
        {"picture", {"P", {msg(kMsgImageReady)}}},
        {"slot", {"s", {msg(kMsgSaving), msg(kMsgSaved)}}},
        {"layout", {"J", {msg(kMsgProductionDateSet)}}},
    };
    return table;
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}
} // namespace

class FaultsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        installSerialHooks();
        // Qt and the font machinery start their helper threads once; count from after that.
        env.reset(new TestEnvironment);
        startSim({});
        openWindow();
        click("Image13");
        QTRY_VERIFY_WITH_TIMEOUT(env->seams.allMessages().contains(msg(kMsgConnected)), 5000);
        form.reset();
        sim.reset();
        env.reset();
    }
    void init() { env.reset(new TestEnvironment); }
    void cleanup()
    {
        form.reset();
        sim.reset();
        env.reset();
    }

    void matrix_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("flags");
        QTest::addColumn<QStringList>("expected"); // each exactly once, nothing else ...
        QTest::addColumn<QStringList>("optional"); // ... but these, at most once each
        QTest::addColumn<int>("errors");
        QTest::addColumn<int>("settleMs");         // how long nothing more may come

        const QString connected = msg(kMsgConnected);
        for (const auto& [name, cmd] : commands()) {
            const bool timed = name == "setting" || name == "date" || name == "counter";
            const bool upload = name == "text" || name == "picture";
            const QStringList healthy = name == "connect" ? QStringList{connected} : QStringList{connected} + cmd.acks;
            auto row = [&](const char* mode) -> QTestData& { return QTest::newRow(qPrintable(QStringLiteral("%1 / %2").arg(QLatin1String(mode), name))); };

            // Only the commands with a no-reply timer tell the operator anything.
            row("silent") << name << QStringList{"--silent"} << (timed ? QStringList{msg(kMsgNoReply)} : QStringList{})
                          << QStringList{} << 0 << (timed ? 400 : 1000);
            row("reply-error") << name << QStringList{"--reply-error"} << QStringList{msg(kMsgConnectError)} + cmd.acks
                               << QStringList{} << 0 << 400;
            row("split-replies") << name << QStringList{"--split-replies"} << healthy << QStringList{} << 0 << 400;
            row("garbage") << name << QStringList{"--garbage", "--seed", "7"} << healthy << QStringList{} << 0 << 400;
            row("no-upload-reply") << name << QStringList{"--no-upload-reply"} << (upload ? QStringList{connected} : healthy)
                                   << QStringList{} << 0 << (upload ? 1000 : 400);
            // Gone at the first byte: nothing was acted on, one error says so.
            row("hangup at connect") << name << QStringList{"--hangup-after", "1"} << QStringList{} << QStringList{} << 1
                                     << (timed ? 3500 : 600);
        }
        // Gone half-way through a command, its parameters or its upload.
        auto hangup = [&](const char* rowName, const char* command, int n, const QStringList& optional) {
            QTest::newRow(rowName) << QString::fromLatin1(command) << QStringList{"--hangup-after", QString::number(n)}
                                   << QStringList{} << optional << 1 << 600;
        };
        // "!" and the report request "u".
        QTest::newRow("hangup at report / connect") << "connect" << QStringList{"--hangup-after", "2"}
                                                    << QStringList{connected} << QStringList{} << 1 << 600;
        // "!", "d", the first digit of the year.
        hangup("hangup mid command / date", "date", 3, {connected});
        // "!", "c" and two of the four digits.
        hangup("hangup mid command / counter", "counter", 4, {connected});
        // "!", "q", the value byte: acknowledged, then gone at "u".
        hangup("hangup after command / setting", "setting", 4, {connected, msg(kMsgInkSet)});
        // "!", "s", the slot digit.
        hangup("hangup mid command / slot", "slot", 3, {connected});
        // "!", "J" and the first layout digits.
        hangup("hangup mid command / layout", "layout", 5, {connected});
        // "!", "T", the length field and two codes.
        hangup("hangup mid upload / text", "text", 2 + 4 + 2, {connected});
        // "!", "P" and half the picture stream.
        hangup("hangup mid upload / picture", "picture", 2 + 8000, {connected});
    }
    void matrix()
    {
        KORVEL_SHARD_CASE();
        QFETCH(QString, command);
        QFETCH(QStringList, flags);
        QFETCH(QStringList, expected);
        QFETCH(QStringList, optional);
        QFETCH(int, errors);
        QFETCH(int, settleMs);

        const int threadsBefore = threadCount();
        startSim(flags);
        openWindow();
        StallProbe probe;
        probe.restart();

        fire(command);
        // A picture takes its 16.5 s on the 9600 bit/s wire whatever the simulator's pace.
        if (!expected.isEmpty()) {
            QTRY_VERIFY2_WITH_TIMEOUT(containsAll(env->seams.allMessages(), expected), qPrintable(report()), 25000);
        } else if (errors == 0) {
            QVERIFY(sim->waitFor(QString::fromLatin1(commands().at(command).letter)));
        }
        if (errors > 0)
            QTRY_VERIFY2_WITH_TIMEOUT(env->seams.allErrors().size() >= errors, qPrintable(report()), 25000);
        QTest::qWait(settleMs);

        QStringList messages = env->seams.allMessages();
        for (const QString& extra : optional)
            if (!expected.contains(extra) && messages.count(extra) <= 1)
                messages.removeOne(extra);
        QVERIFY2(sorted(messages) == sorted(expected), qPrintable(report()));
        QVERIFY2(env->seams.allErrors().size() == errors, qPrintable(report()));
        if (errors > 0)
            QVERIFY(!form->connected);
        // No caption or bar is left claiming an upload or a save is under way.
        const bool busyCaption = form->label_send->text() == msg(kCaptionUploadingImage) ||
                                 form->label_send->text() == msg(kCaptionSaving);
        QVERIFY2(form->label_send->isHidden() || !busyCaption, qPrintable(form->label_send->text()));
        QVERIFY(form->status_send->isHidden());
        QVERIFY2(probe.worstGap() < 500, qPrintable(QStringLiteral("UI stalled %1 ms").arg(probe.worstGap())));

        // The printer comes back healthy on the same port; a lost line is noticed once, and
        // a line already told as failed (a refusal, a hang-up) is not told again.
        const bool wasConnected = form->connected;
        env->seams.clear();
        sim.reset();
        if (wasConnected)
            QTRY_VERIFY_WITH_TIMEOUT(!form->connected, 3000);
        QTest::qWait(300);
        QVERIFY2(env->seams.allErrors().size() == (wasConnected ? 1 : 0),
                 qPrintable(env->seams.allErrors().join(QLatin1Char('|'))));
        env->seams.clear();
        startSim({});
        fire(QStringLiteral("setting"));
        QTRY_VERIFY2_WITH_TIMEOUT(env->seams.allMessages().contains(msg(kMsgInkSet)),
                                  qPrintable(env->seams.allErrors().join(QLatin1Char('|'))), 8000);
        QVERIFY2(env->seams.allErrors().isEmpty(), qPrintable(env->seams.allErrors().join(QLatin1Char('|'))));
        QVERIFY2(probe.worstGap() < 500, qPrintable(QStringLiteral("UI stalled %1 ms").arg(probe.worstGap())));

        form.reset();
        sim.reset();
        QTRY_COMPARE_WITH_TIMEOUT(threadCount(), threadsBefore, 3000);
    }

    // The operator gives each kind of command while a picture or a text is on the 9600 bit/s
    // wire, or between its request and the printer's "(" or "}" (which the printer gives
    // after a delay): it waits its turn, the upload arrives whole, and every parameter
    // keeps the silence the printer needs.
    void commandDuringAnUpload_data()
    {
        QTest::addColumn<QString>("upload");
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("afterMs"); // into the stream; < 0: before the printer asks for it
        for (const QString& upload : {QStringLiteral("picture"), QStringLiteral("text")})
            for (const auto& [name, cmd] : commands()) {
                if (name == "connect")
                    continue; // a new connection cuts the upload short by design
                // The long text takes 3.1 s to cross, the picture 16.5 s.
                QTest::newRow(qPrintable(QStringLiteral("%1 during a %2").arg(name, upload)))
                    << upload << name << (upload == "picture" ? 3000 : 1000);
                QTest::newRow(qPrintable(QStringLiteral("%1 before a %2's stream").arg(name, upload)))
                    << upload << name << -1;
            }
    }
    void commandDuringAnUpload()
    {
        KORVEL_SHARD_CASE();
        QFETCH(QString, upload);
        QFETCH(QString, command);
        QFETCH(int, afterMs);
        const bool beforeStream = afterMs < 0;
        QStringList flags{QStringLiteral("--line-rate"), QStringLiteral("9600"), QStringLiteral("--strict-silence"),
                          QStringLiteral("80")};
        if (beforeStream)
            flags << QStringLiteral("--upload-reply-delay") << QStringLiteral("1500");
        startSim(flags);
        openWindow();
        click("Image13");
        QTRY_VERIFY_WITH_TIMEOUT(env->seams.allMessages().contains(msg(kMsgConnected)), 5000);
        StallProbe probe;
        probe.restart();
        const QString request = QString::fromLatin1(commands().at(upload).letter);
        if (upload == "text") {
            form->findChild<QPlainTextEdit*>(QStringLiteral("Memo1"))->setPlainText(QString(2999, QLatin1Char('K')));
            click("SpeedButton30");
        } else {
            fire(upload);
        }
        if (beforeStream) {
            // The printer has heard the request and not yet asked for the stream.
            const auto heardRequest = [this] {
                const QList<QJsonObject> events = sim->events();
                return std::any_of(events.begin(), events.end(), [](const QJsonObject& e) {
                    return e.value(QStringLiteral("event")).toString() == QStringLiteral("upload-reply-delay");
                });
            };
            QTRY_VERIFY2_WITH_TIMEOUT(heardRequest(), qPrintable(report()), 5000);
            fire(command);
            const QChar asks = upload == "text" ? QLatin1Char('}') : QLatin1Char('(');
            QVERIFY2(!form->Memo2->toPlainText().contains(asks), "the command was given after the printer asked");
        } else {
            QTest::qWait(afterMs);
            fire(command);
        }
        QStringList want = commands().at(upload).acks + commands().at(command).acks;
        QTRY_VERIFY2_WITH_TIMEOUT(containsAll(env->seams.allMessages(), want), qPrintable(report()), 45000);
        const int pictures = int(upload == "picture") + int(command == "picture");
        const int texts = int(upload == "text") + int(command == "text");
        QTRY_VERIFY2_WITH_TIMEOUT(env->seams.allMessages().count(msg(kMsgImageReady)) == pictures &&
                                      env->seams.allMessages().count(msg(kMsgTextReady)) == texts,
                                  qPrintable(report()), 45000);
        QTest::qWait(300);
        QVERIFY2(env->seams.allErrors().isEmpty(), qPrintable(report()));

        // What the printer heard after the connection, in order: the request (and the delay
        // before its "(" or "}"), its stream whole, then the command.
        const QString letter = QString::fromLatin1(commands().at(command).letter);
        const bool commandUploads = command == "picture" || command == "text";
        QStringList heard;
        for (const QJsonObject& e : sim->events()) {
            const QString cmd = e.value(QStringLiteral("cmd")).toString();
            const QString event = e.value(QStringLiteral("event")).toString();
            QVERIFY2(event != QStringLiteral("strict-silence"), qPrintable(report()));
            if (event == QStringLiteral("upload-reply-delay"))
                heard << QStringLiteral("delay ") + e.value(QStringLiteral("request")).toString();
            else if (cmd == "P" || cmd == "T")
                heard << cmd + (e.value(QStringLiteral("ok")).toBool() ? QStringLiteral(" whole") : QStringLiteral(" cut"));
            else if (!cmd.isEmpty() && cmd != "!" && cmd != "u")
                heard << cmd;
        }
        QStringList order;
        if (beforeStream)
            order << QStringLiteral("delay ") + request;
        order << request + QStringLiteral(" whole");
        if (beforeStream && commandUploads)
            order << QStringLiteral("delay ") + letter;
        order << (commandUploads ? letter + QStringLiteral(" whole") : letter);
        QVERIFY2(heard == order, qPrintable(heard.join(QStringLiteral(", ")) + QStringLiteral("\n") + report()));
        QVERIFY2(probe.worstGap() < 500, qPrintable(QStringLiteral("UI stalled %1 ms").arg(probe.worstGap())));
    }

    // A picture, the date 3 s into it, then a second picture: both arrive whole, the
    // date's fields each after their silence, and the bar follows the wire to 240.
    void pictureDateAndPictureFollowTheWire()
    {
        KORVEL_SHARD_CASE();
        startSim({QStringLiteral("--line-rate"), QStringLiteral("9600"), QStringLiteral("--strict-silence"),
                  QStringLiteral("80")});
        openWindow();
        click("Image13");
        QTRY_VERIFY_WITH_TIMEOUT(env->seams.allMessages().contains(msg(kMsgConnected)), 5000);
        // Every box stays open a while: the printer's "(" for the second picture
        // comes while the first one's box is open, and is answered at once.
        env->seams.holdMs = 1500;
        QList<int> positions;
        connect(form->status_send, &QProgressBar::valueChanged, [&](int v) { positions << v; });
        QElapsedTimer clock;
        clock.start();
        fire(QStringLiteral("picture"));
        QTest::qWait(3000);
        fire(QStringLiteral("date"));
        fire(QStringLiteral("picture"));
        // Half-way, the bar shows what has crossed, not what the driver took.
        QTest::qWait(5000);
        QVERIFY2(!form->status_send->isHidden(), "no progress shown mid-upload");
        const int mid = form->status_send->value();
        QVERIFY2(mid > 60 && mid < 180, qPrintable(QString::number(mid)));
        QTRY_VERIFY2_WITH_TIMEOUT(env->seams.allMessages().count(msg(kMsgImageReady)) == 2, qPrintable(report()), 50000);
        const qint64 both = clock.elapsed();
        QTRY_VERIFY2_WITH_TIMEOUT(env->seams.allMessages().contains(msg(kMsgDateSet)), qPrintable(report()), 5000);
        // Two pictures of 16.5 s each on the wire, the date's 0.3 s between them.
        QVERIFY2(both > 33000, qPrintable(QString::number(both)));
        QStringList order;
        for (const QJsonObject& e : sim->events()) {
            QVERIFY2(e.value(QStringLiteral("event")).toString() != QStringLiteral("strict-silence"), qPrintable(report()));
            const QString cmd = e.value(QStringLiteral("cmd")).toString();
            if (cmd == "P" || cmd == "d")
                order << cmd + (e.value(QStringLiteral("ok")).toBool() ? QStringLiteral("+") : QString());
        }
        QCOMPARE(order, (QStringList{"P+", "d", "P+"}));
        QCOMPARE(sim->last(QStringLiteral("d")).value(QStringLiteral("month")).toInt(),
                 env->seams.today().month());
        // Each picture's bar climbs from 0 to 240 and never moves back while it crosses,
        // whatever the second press does meanwhile.
        QStringList shown;
        for (int v : positions)
            shown << QString::number(v);
        const QString trail = shown.join(QLatin1Char(' '));
        qsizetype from = 0;
        for (int picture = 1; picture <= 2; ++picture) {
            const qsizetype start = positions.indexOf(0, from);
            const qsizetype top = positions.indexOf(240, start);
            QVERIFY2(start >= from && top > start, qPrintable(trail));
            QVERIFY2(std::is_sorted(positions.begin() + start, positions.begin() + top + 1), qPrintable(trail));
            from = top + 1;
        }
        QVERIFY(env->seams.allErrors().isEmpty());
    }

    // Closing the window while an upload is on its way ends every thread.
    void closingDuringAnUploadLeavesNoThread()
    {
        KORVEL_SHARD_CASE();
        const int threadsBefore = threadCount();
        startSim({QStringLiteral("--line-rate"), QStringLiteral("9600")});
        openWindow();
        fire(QStringLiteral("picture"));
        // At line pace the stream takes 16.5 s to cross; once the printer has asked for
        // it ("(" in the receive log) the upload is on its way.
        QTRY_VERIFY_WITH_TIMEOUT(form->Memo2->toPlainText().contains(QLatin1Char('(')), 5000);
        QTest::qWait(300);
        form.reset();
        sim.reset();
        QTRY_COMPARE_WITH_TIMEOUT(threadCount(), threadsBefore, 3000);
        QVERIFY(env->seams.allErrors().isEmpty());
    }

private:
    // What the operator saw and what the printer heard, for a failure's text.
    QString report() const
    {
        QStringList heard;
        for (const QJsonObject& e : sim->events())
            heard << QString::fromUtf8(QJsonDocument(e).toJson(QJsonDocument::Compact));
        return QStringLiteral("messages: %1\nerrors: %2\nprinter: %3")
            .arg(env->seams.allMessages().join(QLatin1Char('|')), env->seams.allErrors().join(QLatin1Char('|')),
                 heard.join(QLatin1Char('\n')));
    }
    static bool containsAll(const QStringList& have, const QStringList& want)
    {
        return std::all_of(want.begin(), want.end(), [&](const QString& m) { return have.contains(m); });
    }
    void fire(const QString& command)
    {
        if (command == "connect") {
            click("Image13");
        } else if (command == "setting") {
            click("b5");
        } else if (command == "date") {
            click("B2");
        } else if (command == "counter") {
            env->seams.inputAnswers.push_back(QStringLiteral("42"));
            click("B4");
        } else if (command == "text") {
            form->findChild<QPlainTextEdit*>(QStringLiteral("Memo1"))->setPlainText(QStringLiteral("KORVEL 1404"));
            click("SpeedButton30");
        } else if (command == "picture") {
            click("SpeedButton26");
        } else if (command == "slot") {
            click("SpeedButton27");
        } else if (command == "layout") {
            click("SpeedButton37");
        } else {
            QFAIL(qPrintable(command));
        }
    }
    void startSim(const QStringList& extra)
    {
        sim.reset(new SimProcess);
        QVERIFY(sim->start(env->portMap(), env->cwd() + QStringLiteral("/../sim-%1.jsonl").arg(++simRuns), extra));
    }
    void openWindow()
    {
        form.reset(new TForm1(&env->seams));
        form->findChild<QComboBox*>(QStringLiteral("comboportselect"))->setCurrentIndex(29); // COM30
        form->findChild<QRadioButton*>(QStringLiteral("RadioButton2"))->setChecked(true);
        env->seams.clear();
    }
    void click(const char* name)
    {
        auto* button = form->findChild<QToolButton*>(QLatin1String(name));
        QVERIFY2(button, name);
        button->click();
    }

    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<TForm1> form;
    int simRuns = 0;
};

QTEST_MAIN(FaultsTest)
#include "tst_faults.moc"

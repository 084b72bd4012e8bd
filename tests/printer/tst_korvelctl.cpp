// korvelctl against the printer simulator over its pseudo-terminal: what each
// command prints, its exit code, and what the printer received.
#include "printer/Messages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace korvel::printer;

namespace {

QString persian(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// The simulator on COM30 in a port map of its own; stopped when it goes out of scope.
class Simulator {
public:
    explicit Simulator(const QStringList& flags)
    {
        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert("KORVEL_PORT_MAP", dir_.filePath("ports"));
        process_.setProcessEnvironment(env_);
        process_.setReadChannel(QProcess::StandardError);
        process_.start(PRINTER_SIM_PATH,
                       QStringList{"--port", "COM30", "--gap", "30", "--log", logPath()} + flags);
        ready_ = process_.waitForStarted();
        while (ready_ && !stderr_.contains("ready COM30")) {
            ready_ = process_.waitForReadyRead(5000);
            stderr_ += process_.readAllStandardError();
        }
    }
    ~Simulator()
    {
        process_.terminate();
        if (!process_.waitForFinished(5000))
            process_.kill();
        process_.waitForFinished();
    }
    bool ready() const { return ready_; }
    const QProcessEnvironment& env() const { return env_; }
    QString logPath() const { return dir_.filePath("sim.log"); }
    // "cmd params..." of every command the printer took, in order.
    QStringList received() const
    {
        QFile f(logPath());
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QStringList out;
        for (const QByteArray& line : f.readAll().split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            if (!o.contains("cmd"))
                continue;
            QStringList parts{o.value("cmd").toString()};
            for (const QJsonValue& p : o.value("params").toArray())
                parts << p.toString();
            out << parts.join(' ');
        }
        return out;
    }

private:
    QTemporaryDir dir_;
    QProcessEnvironment env_;
    QProcess process_;
    QByteArray stderr_;
    bool ready_ = false;
};

struct Run {
    int code = -1;
    QString out;
    QString err;
};

Run korvelctl(const QProcessEnvironment& env, const QStringList& args)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(KORVELCTL_PATH, args);
    if (!p.waitForFinished(30000))
        p.kill();
    return Run{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
               QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

} // namespace

class TestKorvelctl : public QObject {
    Q_OBJECT
private slots:
    void commands_data();
    void commands();
    void mapAndList();
};

void TestKorvelctl::commands_data()
{
    QTest::addColumn<QStringList>("simFlags");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("errHas");
    QTest::addColumn<QStringList>("received"); // by the printer, after the "!"

    const QStringList none;
    const QString report = "ink 12\ncount 34\ndelay-after 56\ninitial-delay 78\nresolution 90\n";
    auto line = [](std::string_view msg) { return persian(msg) + "\n"; };

    QTest::newRow("connect") << none << QStringList{"connect"} << 0 << line(kMsgConnected) << "" << none;
    QTest::newRow("settings")
        << QStringList{"--settings", "12,34,56,78,90"} << QStringList{"settings"} << 0 << report << ""
        << QStringList{"u"};
    QTest::newRow("settings, replies a byte at a time")
        << QStringList{"--settings", "12,34,56,78,90", "--split-replies"} << QStringList{"settings"} << 0 << report
        << "" << QStringList{"u"};
    QTest::newRow("initial delay")
        << none << QStringList{"set", "initial-delay", "65"} << 0 << line(kMsgInitialDelaySet) << ""
        << QStringList{"l A"};
    QTest::newRow("delay after")
        << none << QStringList{"set", "delay-after", "66"} << 0 << line(kMsgDelayAfterSet) << ""
        << QStringList{"R B"};
    QTest::newRow("resolution 200")
        << none << QStringList{"set", "resolution", "200"} << 0 << line(kMsgResolutionSet) << ""
        << QStringList{"B \\xC8"};
    QTest::newRow("ink") << none << QStringList{"set", "ink", "67"} << 0 << line(kMsgInkSet) << ""
                         << QStringList{"q C"};
    QTest::newRow("count") << none << QStringList{"set", "count", "255"} << 0 << line(kMsgCountSet) << ""
                           << QStringList{"r \\xFF"};
    QTest::newRow("date") << none << QStringList{"set-date", "2025-03-07"} << 0 << line(kMsgDateSet) << ""
                          << QStringList{"d 25 03 07"};
    QTest::newRow("date, replies a byte at a time")
        << QStringList{"--split-replies"} << QStringList{"set-date", "2005-12-31"} << 0 << line(kMsgDateSet) << ""
        << QStringList{"d 5 12 31"};
    QTest::newRow("time") << none << QStringList{"set-time", "09:05:03"} << 0 << line(kMsgTimeSet) << ""
                          << QStringList{"t 09 05 03"};
    QTest::newRow("counter padded") << none << QStringList{"set-counter", "7"} << 0 << line(kMsgCounterSet) << ""
                                    << QStringList{"c 0007"};
    QTest::newRow("counter in Persian digits")
        << none << QStringList{"set-counter", QString::fromUtf8("۱۲۳۴")} << 0 << line(kMsgCounterSet) << ""
        << QStringList{"c 1234"};
    QTest::newRow("right to left") << none << QStringList{"direction", "rtl"} << 0 << line(kMsgRightToLeft) << ""
                                   << QStringList{"H"};
    QTest::newRow("left to right") << none << QStringList{"direction", "ltr"} << 0 << line(kMsgLeftToRight) << ""
                                   << QStringList{"h"};

    QTest::newRow("silent printer") << QStringList{"--silent"} << QStringList{"--timeout", "400", "connect"} << 2
                                    << line(kMsgNoReply) << "no reply" << none;
    QTest::newRow("connection refused by the printer")
        << QStringList{"--reply-error"} << QStringList{"set-date", "2025-03-07"} << 3 << line(kMsgConnectError)
        << "answered \"e\"" << none;
    QTest::newRow("printer unplugged mid-command")
        << QStringList{"--hangup-after", "2"} << QStringList{"set-time", "09:05:03"} << 3 << ""
        << "\"set time\" did not reach the printer" << none;
    QTest::newRow("no such port") << none << QStringList{"--port", "COM29", "connect"} << 3 << ""
                                  << "Cannot connect to COM29" << none;
    QTest::newRow("counter refused, nothing sent")
        << none << QStringList{"set-counter", "12a"} << 1 << line(kMsgCounterInvalid) << "four digits" << none;
    QTest::newRow("value out of range, nothing sent")
        << none << QStringList{"set", "ink", "0"} << 1 << "" << "1 to 255" << none;
    QTest::newRow("bad date, nothing sent")
        << none << QStringList{"set-date", "2025-13-01"} << 1 << "" << "month" << none;
}

void TestKorvelctl::commands()
{
    QFETCH(QStringList, simFlags);
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, out);
    QFETCH(QString, errHas);
    QFETCH(QStringList, received);

    Simulator sim(simFlags);
    QVERIFY(sim.ready());
    const bool ownPort = args.contains("--port");
    const Run r = korvelctl(sim.env(), (ownPort ? QStringList{} : QStringList{"--port", "COM30"}) + args);
    QVERIFY2(r.code == code, qPrintable(QString("exit %1, stderr: %2").arg(r.code).arg(r.err)));
    QCOMPARE(r.out, out);
    if (errHas.isEmpty())
        QCOMPARE(r.err, QString());
    else
        QVERIFY2(r.err.contains(errHas), qPrintable(r.err));

    QStringList got = sim.received();
    if (!got.isEmpty() && got.front() == "!")
        got.removeFirst();
    if (code == 1 || ownPort)
        QVERIFY2(sim.received().isEmpty(), qPrintable(sim.received().join(" | ")));
    else if (!simFlags.contains("--hangup-after"))
        QCOMPARE(got, received);
}

void TestKorvelctl::mapAndList()
{
    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KORVEL_PORT_MAP", dir.filePath("ports"));
    QCOMPARE(korvelctl(env, {"map", "COM7", "/dev/null"}).code, 0);
    Run list = korvelctl(env, {"ports"});
    QCOMPARE(list.code, 0);
    QVERIFY2(list.out.startsWith("COM7 -> /dev/null\n"), qPrintable(list.out));
    QCOMPARE(korvelctl(env, {"unmap", "COM7"}).code, 0);
    list = korvelctl(env, {"ports"});
    QVERIFY2(!list.out.contains("COM7 ->"), qPrintable(list.out));
    QCOMPARE(korvelctl(env, {"frobnicate"}).code, 1);
    QCOMPARE(korvelctl(env, {"connect"}).code, 1); // no --port
}

QTEST_GUILESS_MAIN(TestKorvelctl)
#include "tst_korvelctl.moc"

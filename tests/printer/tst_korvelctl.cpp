// korvelctl against the printer simulator over its pseudo-terminal: what each
// command prints, its exit code, and what the printer received.
#include "printer/Messages.h"

#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
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
    // What the simulator told on stderr so far.
    QByteArray errors()
    {
        while (process_.waitForReadyRead(100))
            stderr_ += process_.readAllStandardError();
        return stderr_ += process_.readAllStandardError();
    }
    const QProcessEnvironment& env() const { return env_; }
    QString logPath() const { return dir_.filePath("sim.log"); }
    // The log's command events, in order.
    QList<QJsonObject> commandEvents() const
    {
        QFile f(logPath());
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QList<QJsonObject> out;
        for (const QByteArray& line : f.readAll().split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            if (o.contains("cmd"))
                out << o;
        }
        return out;
    }
    // The last event of command cmd, or an empty object.
    QJsonObject last(const QString& cmd) const
    {
        const QList<QJsonObject> all = commandEvents();
        for (auto it = all.rbegin(); it != all.rend(); ++it)
            if (it->value("cmd").toString() == cmd)
                return *it;
        return {};
    }
    // "cmd params..." of every command the printer took, in order.
    QStringList received() const
    {
        QStringList out;
        for (const QJsonObject& o : commandEvents()) {
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

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    QFile f(dir.filePath(name));
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return {};
    return f.fileName();
}

Run korvelctl(const QProcessEnvironment& env, const QStringList& args, int timeoutMs = 30000)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(KORVELCTL_PATH, args);
    if (!p.waitForFinished(timeoutMs))
        p.kill();
    return Run{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
               QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

// The count of each redraw of the "[###   ] N/total" bars on stderr, in order.
QList<int> barCounts(const QString& err, int total)
{
    QList<int> out;
    const QRegularExpression bar(QStringLiteral("\\] (\\d+)/%1").arg(total));
    for (auto it = bar.globalMatch(err); it.hasNext();)
        out << it.next().captured(1).toInt();
    return out;
}

// 0, 1, ... n: a bar that moves one step at a time.
QList<int> steps(int n)
{
    QList<int> out;
    for (int i = 0; i <= n; ++i)
        out << i;
    return out;
}

// Commands that need no printer.
Run korvelctl(const QStringList& args)
{
    return korvelctl(QProcessEnvironment::systemEnvironment(), args);
}

} // namespace

class TestKorvelctl : public QObject {
    Q_OBJECT
private slots:
    void commands_data();
    void commands();
    void mapAndList();
    void encodeText_data();
    void encodeText();
    void sendText_data();
    void sendText();
    void fontChart();
    void raster();
    void sendImage_data();
    void sendImage();
    void storeImageBar_data();
    void storeImageBar();
    void runScript();
    void runPrintsEachEndAsItComes();
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
    QTest::newRow("impossible date, nothing sent")
        << none << QStringList{"set-date", "2025-02-30"} << 1 << "" << "no such day" << none;
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
    QTest::newRow("store text") << none << QStringList{"store-text"} << 0 << line(kMsgTextStored) << ""
                                << QStringList{"s"};
    QTest::newRow("store picture in slot 3")
        << none << QStringList{"store-image", "3"} << 0 << line(kMsgSaving) + line(kMsgSaved) << "] 100/100"
        << QStringList{"s 3"};
    QTest::newRow("image sequence") << none << QStringList{"sequence", "2"} << 0 << line(kMsgSequenceSet) << ""
                                    << QStringList{"S 2"};
    QTest::newRow("production layout")
        << none
        << QStringList{"layout", "production", "--calendar", "gregorian", "--slot", "4", "--size", "2",
                       "--year", "0,0", "--month", "61,0", "--day", "118,5"}
        << 0 << line(kMsgProductionDateSet) << "" << QStringList{"J 142000000061000118005"};
    QTest::newRow("expiry layout, fields unplaced, canvas corners")
        << none
        << QStringList{"layout", "expiry", "--calendar", "solar", "--slot", "1", "--size", "8", "--month",
                       "239,153"}
        << 0 << line(kMsgExpiryDateSet) << "" << QStringList{"V 018251251239153251251"};
    QTest::newRow("expiry days") << none << QStringList{"expiry-days", "7"} << 0 << line(kMsgExpiryDateSet) << ""
                                 << QStringList{"n 007"};
    QTest::newRow("expiry days, the largest")
        << none << QStringList{"expiry-days", "999"} << 0 << line(kMsgExpiryDateSet) << "" << QStringList{"n 999"};

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
    const QStringList layout{"layout", "production", "--calendar", "solar", "--slot", "1", "--size", "3"};
    QTest::newRow("layout right of the canvas, nothing sent")
        << none << layout + QStringList{"--day", "240,0"} << 1 << "" << "outside the 240 x 154 canvas" << none;
    QTest::newRow("layout below the canvas, nothing sent")
        << none << layout + QStringList{"--year", "0,154"} << 1 << "" << "outside the 240 x 154 canvas" << none;
    QTest::newRow("layout position not a number, nothing sent")
        << none << layout + QStringList{"--month", "-5,0"} << 1 << "" << "month position" << none;
    QTest::newRow("layout slot 6, nothing sent")
        << none << QStringList{"layout", "expiry", "--calendar", "solar", "--slot", "6", "--size", "3"} << 1 << ""
        << "slot" << none;
    QTest::newRow("layout size 9, nothing sent")
        << none << QStringList{"layout", "expiry", "--calendar", "solar", "--slot", "1", "--size", "9"} << 1
        << "" << "size" << none;
    QTest::newRow("layout without a calendar, nothing sent")
        << none << QStringList{"layout", "expiry", "--slot", "1", "--size", "3"} << 1 << "" << "--calendar"
        << none;
    QTest::newRow("expiry days over 999, nothing sent")
        << none << QStringList{"expiry-days", "1000"} << 1 << "" << "0 to 999" << none;
    QTest::newRow("slot 0, nothing sent") << none << QStringList{"store-image", "0"} << 1 << "" << "slot" << none;
    QTest::newRow("unprintable text, nothing sent")
        << none << QStringList{"send-text", QString::fromUtf8("abc \u0416")} << 1 << "" << "U+0416" << none;
    QTest::newRow("unreadable picture, nothing sent")
        << none << QStringList{"send-image", "/nonexistent/picture.bmp"} << 1 << "" << "/nonexistent/picture.bmp"
        << none;
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

    // The simulator logs a command after its reply: korvelctl may have ended first.
    auto got = [&sim] {
        QStringList list = sim.received();
        if (!list.isEmpty() && list.front() == "!")
            list.removeFirst();
        return list;
    };
    if (code == 1 || ownPort)
        QVERIFY2(sim.received().isEmpty(), qPrintable(sim.received().join(" | ")));
    else if (!simFlags.contains("--hangup-after"))
        QTRY_COMPARE_WITH_TIMEOUT(got(), received, 3000);
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

void TestKorvelctl::encodeText_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("file"); // given with --file when not empty
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("errHas");

    const QByteArray none;
    QTest::newRow("empty") << QStringList{""} << none << 0 << "30 30 30 31 20\n" << "";
    QTest::newRow("tokens, no Persian")
        << QStringList{"Exp ^y/^m"} << none << 0 << "30 30 31 30 45 78 70 20 5E 79 2F 5E 6D 20\n" << "";
    QTest::newRow("salam") << QStringList{QString::fromUtf8("سلام")} << none << 0
                           << "30 30 30 35 C4 90 C3 A8 20\n" << "";
    QTest::newRow("rah") << QStringList{QString::fromUtf8("راه")} << none << 0 << "30 30 30 34 C8 90 A4 20\n"
                         << "";
    QTest::newRow("omar") << QStringList{QString::fromUtf8("عمر")} << none << 0 << "30 30 30 34 A4 C5 B4 20\n"
                          << "";
    QTest::newRow("omar and a line break from a file, LF")
        << QStringList{} << QByteArray("عمر\n") << 0 << "30 30 30 36 A4 C5 B4 0D 0A 20\n" << "";
    QTest::newRow("omar and a line break from a file, CR LF")
        << QStringList{} << QByteArray("عمر\r\n") << 0 << "30 30 30 36 A4 C5 B4 0D 0A 20\n" << "";
    QTest::newRow("two lines from a file")
        << QStringList{} << QByteArray("سلام\nدنیا") << 0
        << "30 30 31 31 C4 90 C3 A8 0D 0A 90 CE C7 A2 20\n" << "";

    // The acceptance rows, as the operator reads them and as the printer must receive them.
    const char* rows[][3] = {
        {"auto", "سلام", "30 30 30 35 C4 90 C3 A8 20"},
        {"auto", "قیمت 123", "30 30 30 39 31 32 33 20 D9 C5 CE BC 20"},
        {"auto", "تاریخ ^d", "30 30 30 39 5E 64 20 A0 CE A4 90 DA 20"},
        {"auto", "abc سلام", "30 30 30 39 61 62 63 20 C4 90 C3 A8 20"},
        {"auto", "سلام (دنیا)", "30 30 31 32 28 90 CE C7 A2 29 20 C4 90 C3 A8 20"},
        {"auto", "ضمانت ۱۲ ماه", "30 30 31 33 C8 90 C5 20 31 32 20 D9 C7 90 C5 AE 20"},
        {"auto", "چرا؟", "30 30 30 35 3F 90 A4 9D 20"},
        {"auto", "Exp ^y/^m", "30 30 31 30 45 78 70 20 5E 79 2F 5E 6D 20"},
        {"auto", "زغال", "30 30 30 35 C1 90 B8 A5 20"},
        {"auto", "لاله", "30 30 30 35 C9 C3 90 C3 20"},
        {"auto", "می\u200Cروم", "30 30 30 36 C4 C8 A4 CC C5 20"},
        {"auto", "تاریخ تولید: ^d/^m/^y",
         "30 30 32 32 5E 64 2F 5E 6D 2F 5E 79 20 3A A2 CE C3 C8 DA 20 A0 CE A4 90 DA 20"},
        {"rtl", "abc سلام", "30 30 30 39 C4 90 C3 A8 20 61 62 63 20"},
        {"ltr", "abc سلام 123 دنیا", "30 30 31 38 61 62 63 20 90 CE C7 A2 20 31 32 33 20 C4 90 C3 A8 20"},
        {"ltr", "تاریخ ^d", "30 30 30 39 5E 64 20 A0 CE A4 90 DA 20"},
    };
    for (const auto& row : rows) {
        QStringList args{QString::fromUtf8(row[1])};
        if (QByteArray(row[0]) != "auto") // auto is the default
            args = QStringList{"--direction", row[0]} + args;
        QTest::addRow("%s %s", row[0], row[1]) << args << none << 0 << QString(row[2]) + "\n" << "";
    }
    QTest::newRow("direction with a file") << QStringList{"--direction", "rtl"} << QByteArray("ab\nسلام")
                                           << 0 << "30 30 30 39 61 62 0D 0A C4 90 C3 A8 20\n" << "";
    QTest::newRow("bad direction") << QStringList{"--direction", "up", "x"} << none << 1 << "" << "auto, ltr or rtl";

    QTest::newRow("unprintable, named")
        << QStringList{QString::fromUtf8("ab\u0416c\u20AC\u0416")} << none << 1 << ""
        << QString::fromUtf8("«\u0416» (U+0416), «\u20AC» (U+20AC);");
    QTest::newRow("too long") << QStringList{QString(5000, u'a')} << none << 1 << "" << "5001 codes";
    QTest::newRow("5000 codes are not too long")
        << QStringList{QString(4999, u'a')} << none << 0 << "5000 " + QString("61 ").repeated(4999) + "20\n"
        << "";
    QTest::newRow("not UTF-8") << QStringList{} << QByteArray("abc\xff") << 1 << "" << "not UTF-8";
    QTest::newRow("missing file") << QStringList{"--file", "/nonexistent/text.txt"} << none << 1 << ""
                                  << "/nonexistent/text.txt";
}

void TestKorvelctl::encodeText()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, file);
    QFETCH(int, code);
    QFETCH(QString, out);
    QFETCH(QString, errHas);

    QTemporaryDir dir;
    if (!file.isEmpty())
        args += QStringList{"--file", writeFile(dir, "text.txt", file)};
    const Run r = korvelctl(QStringList{"encode-text"} + args);
    QVERIFY2(r.code == code, qPrintable(QString("exit %1, stderr: %2").arg(r.code).arg(r.err)));
    if (out.startsWith("5000 ")) // the length field of a long text, in hex
        out.replace(0, 4, "35 30 30 30");
    QCOMPARE(r.out, out);
    if (errHas.isEmpty())
        QCOMPARE(r.err, QString());
    else
        QVERIFY2(r.err.contains(errHas), qPrintable(r.err));
}

void TestKorvelctl::sendText_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("simFlags");
    QTest::addColumn<QString>("length");
    QTest::addColumn<QString>("hex"); // the codes the printer took
    QTest::addColumn<QStringList>("options");

    QTest::newRow("salam") << QStringList{QString::fromUtf8("سلام")} << QByteArray() << QStringList{} << "0005"
                           << "C4 90 C3 A8 20" << QStringList{};
    QTest::newRow("two lines from a file, replies a byte at a time")
        << QStringList{} << QByteArray("سلام\nدنیا") << QStringList{"--split-replies"} << "0011"
        << "C4 90 C3 A8 0D 0A 90 CE C7 A2 20" << QStringList{};
    QTest::newRow("forced right to left") << QStringList{"--direction", "rtl", "ab 12 سلام"} << QByteArray()
                                          << QStringList{} << "0011" << "C4 90 C3 A8 20 61 62 20 31 32 20"
                                          << QStringList{};
    // The terminal takes the 2,000 bytes at once; the line needs 2 s for them.
    QTest::newRow("at line pace, the wait starts when the line is through")
        << QStringList{QString(1999, u'a')} << QByteArray() << QStringList{"--line-rate", "9600"} << "2000"
        << QString("61 ").repeated(1999) + "20" << QStringList{"--timeout", "500"};
}

void TestKorvelctl::sendText()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, file);
    QFETCH(QStringList, simFlags);
    QFETCH(QString, length);
    QFETCH(QString, hex);
    QFETCH(QStringList, options);

    QTemporaryDir dir;
    if (!file.isEmpty())
        args += QStringList{"--file", writeFile(dir, "text.txt", file)};
    Simulator sim(simFlags);
    QVERIFY(sim.ready());
    const Run r = korvelctl(sim.env(), options + QStringList{"--port", "COM30", "send-text"} + args);
    QVERIFY2(r.code == 0, qPrintable(QString("exit %1, stderr: %2").arg(r.code).arg(r.err)));
    // Both replies, "r" first, as the printer sends them.
    QCOMPARE(r.out, persian(kMsgTextReceived) + "\n" + persian(kMsgTextReady) + "\n");
    QCOMPARE(r.err, QString());
    // The simulator logs the text after its replies.
    QTRY_VERIFY_WITH_TIMEOUT(!sim.last("T").isEmpty(), 3000);
    const QJsonObject t = sim.last("T");
    QVERIFY(t.value("ok").toBool());
    QCOMPARE(t.value("params").toArray().at(0).toString(), length);
    QCOMPARE(t.value("hex").toString(), hex);
}

void TestKorvelctl::raster()
{
    QTemporaryDir dir;
    QImage picture(240, 154, QImage::Format_RGB32);
    picture.fill(Qt::white);
    picture.setPixel(0, 21, qRgb(0, 0, 0));      // band 0, last row: value 22
    picture.setPixel(0, 22, qRgb(90, 90, 90));   // dark: black, band 1, value 1
    picture.setPixel(1, 153, qRgb(0, 0, 0));     // band 6: value 44
    picture.setPixel(2, 0, qRgb(170, 170, 170)); // light: white
    const QString path = dir.filePath("p.png");
    QVERIFY(picture.save(path));

    const Run r = korvelctl({"raster", path});
    QCOMPARE(r.code, 0);
    QVERIFY(r.out.endsWith(",\n"));
    const QStringList fields = r.out.chopped(2).split(',');
    QCOMPARE(fields.size(), 1 + 5280);
    QCOMPARE(fields[0], "240");
    QStringList expected(5280, "255");
    expected[0] = "251";
    expected[21] = "247";
    expected[22 + 21] = "239";
    QCOMPARE(fields.mid(1), expected);
}

// Every code 0x80..0xFF right after its hex value, eight to a line, through the text upload.
void TestKorvelctl::fontChart()
{
    QStringList lines;
    for (int row = 0x80; row <= 0xF8; row += 8) {
        QStringList entries;
        for (int code = row; code < row + 8; ++code) {
            const QString hex = QString::number(code, 16).toUpper();
            entries << QStringLiteral("%1 %2 3D %3").arg(QString::number(hex.at(0).unicode(), 16).toUpper(),
                                                          QString::number(hex.at(1).unicode(), 16).toUpper(), hex);
        }
        lines << entries.join(" 20 ");
    }
    Simulator sim(QStringList{});
    QVERIFY(sim.ready());
    const Run r = korvelctl(sim.env(), QStringList{"--port", "COM30", "font-chart"});
    QVERIFY2(r.code == 0, qPrintable(QString("exit %1, stderr: %2").arg(r.code).arg(r.err)));
    QTRY_VERIFY_WITH_TIMEOUT(!sim.last("T").isEmpty(), 3000);
    const QJsonObject t = sim.last("T");
    QVERIFY(t.value("ok").toBool());
    QCOMPARE(t.value("params").toArray().at(0).toString(), QString("0655")); // 128 * 4 + 16 * 7 + 15 * 2 + the space
    QCOMPARE(t.value("hex").toString(), lines.join(" 0D 0A ") + " 20");
}

void TestKorvelctl::sendImage_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("size");
    QTest::newRow("bmp, the canvas's size") << QByteArray("bmp") << QSize(240, 154);
    // Narrower and shorter pictures leave the rest white; wider ones are cut.
    QTest::newRow("png, small") << QByteArray("png") << QSize(100, 60);
    QTest::newRow("png, too wide") << QByteArray("png") << QSize(300, 160);
}

void TestKorvelctl::sendImage()
{
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);

    QTemporaryDir dir;
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(Qt::white);
    {
        QPainter p(&picture);
        p.fillRect(QRect(30, 20, 40, 30), Qt::black);
        p.fillRect(QRect(80, 50, 5, 120), QColor(60, 60, 60)); // dark enough to print
        p.fillRect(QRect(10, 40, 5, 5), QColor(200, 200, 200)); // too light to print
    }
    picture.setPixel(0, 0, qRgb(0, 0, 0));
    picture.setPixel(size.width() - 1, size.height() - 1, qRgb(0, 0, 0));
    const QString path = dir.filePath("picture." + QString::fromLatin1(format));
    QVERIFY(picture.save(path, format.constData()));

    Simulator sim({"--out", dir.path()});
    QVERIFY(sim.ready());
    const Run r = korvelctl(sim.env(), {"--port", "COM30", "send-image", path});
    QVERIFY2(r.code == 0, qPrintable(QString("exit %1, stderr: %2").arg(r.code).arg(r.err)));
    QCOMPARE(r.out, persian(kMsgImageReady) + "\n");
    QVERIFY2(r.err.endsWith("] 240/240\n"), qPrintable(r.err.right(80)));
    QCOMPARE(barCounts(r.err, 240), steps(240)); // column by column as they cross

    QTRY_VERIFY_WITH_TIMEOUT(!sim.last("P").isEmpty(), 3000);
    const QJsonObject p = sim.last("P");
    QVERIFY2(p.value("ok").toBool(), qPrintable(p.value("error").toString()));
    const QImage printed(p.value("png").toString());
    QCOMPARE(printed.size(), QSize(240, 154));
    for (int y = 0; y < 154; ++y)
        for (int x = 0; x < 240; ++x) {
            const bool black = picture.valid(x, y) && qGray(picture.pixel(x, y)) < 128;
            if ((qGray(printed.pixel(x, y)) < 128) != black)
                QFAIL(qPrintable(QString("pixel (%1, %2) differs").arg(x).arg(y)));
        }
}

// The saving's bar moves one step for each "%", however the replies are chunked.
void TestKorvelctl::storeImageBar_data()
{
    QTest::addColumn<QStringList>("simFlags");
    QTest::newRow("the \"w\" and every \"%\" at once") << QStringList{"--save-step", "0"};
    QTest::newRow("a few \"%\" to a chunk") << QStringList{"--save-step", "5"};
}

void TestKorvelctl::storeImageBar()
{
    QFETCH(QStringList, simFlags);
    Simulator sim(simFlags);
    QVERIFY(sim.ready());
    const Run r = korvelctl(sim.env(), {"--port", "COM30", "store-image", "1"});
    QVERIFY2(r.code == 0, qPrintable(QString("exit %1, stderr: %2").arg(r.code).arg(r.err)));
    QCOMPARE(r.out, persian(kMsgSaving) + "\n" + persian(kMsgSaved) + "\n");
    QCOMPARE(barCounts(r.err, 100), steps(100));
    QVERIFY2(r.err.endsWith("] 100/100\n"), qPrintable(r.err.right(80)));
}

// A script as a production line writes it: a picture, the date 3 s into it and a
// second picture, against a printer at line pace that reports any cut silence.
void TestKorvelctl::runScript()
{
    QTemporaryDir dir;
    QImage picture(240, 154, QImage::Format_RGB32);
    picture.fill(Qt::white);
    for (int x = 0; x < 240; x += 2)
        picture.setPixel(x, x % 154, qRgb(0, 0, 0));
    const QString png = dir.filePath("p.png");
    QVERIFY(picture.save(png));
    const QString script = writeFile(dir, "line.txt",
                                     "# two pictures and the date between them\n"
                                     "send-image " + png.toUtf8() + "\n"
                                     "wait 3   # the date is given mid-picture\n"
                                     "set-date 2025-03-07\n"
                                     "send-image " + png.toUtf8() + "\n");
    Simulator sim({"--line-rate", "9600", "--strict-silence", "80"});
    QVERIFY(sim.ready());
    const Run r = korvelctl(sim.env(), {"--port", "COM30", "--timeout", "3000", "run", script}, 60000);
    QVERIFY2(r.code == 0, qPrintable(r.err));
    auto line = [](std::string_view msg) { return persian(msg) + "\n"; };
    QCOMPARE(r.out, line(kMsgImageReady) + line(kMsgDateSet) + line(kMsgImageReady));
    QCOMPARE(barCounts(r.err, 240), steps(240) + steps(240)); // each picture's bar, as for send-image
    QTRY_COMPARE_WITH_TIMEOUT(sim.commandEvents().size(), 4, 3000);
    QStringList order;
    for (const QJsonObject& o : sim.commandEvents())
        order << o.value("cmd").toString() + (o.value("ok").toBool() ? "+" : "");
    QCOMPARE(order, (QStringList{"!", "P+", "d", "P+"}));
    QCOMPARE(sim.last("d").value("params").toArray(), (QJsonArray{"25", "03", "07"}));
    const QByteArray told = sim.errors();
    QVERIFY2(!told.contains("strict silence"), told.constData());
    QFile log(sim.logPath());
    QVERIFY(log.open(QIODevice::ReadOnly));
    QVERIFY(!log.readAll().contains("strict-silence"));
}

// A script's replies print as each command ends, while the script still waits;
// the saving's "w" at once and its bar as for store-image.
void TestKorvelctl::runPrintsEachEndAsItComes()
{
    QTemporaryDir dir;
    const QString script = writeFile(dir, "line.txt",
                                     "direction rtl\n"
                                     "send-text \"سلام\"\n"
                                     "store-image 2\n"
                                     "wait 6\n"
                                     "direction ltr\n");
    Simulator sim({});
    QVERIFY(sim.ready());
    QProcess p;
    p.setProcessEnvironment(sim.env());
    p.start(KORVELCTL_PATH, {"--port", "COM30", "run", script});
    QVERIFY(p.waitForStarted());
    auto line = [](std::string_view msg) { return persian(msg) + "\n"; };
    const QString before = line(kMsgRightToLeft) + line(kMsgTextReceived) + line(kMsgTextReady) +
                           line(kMsgSaving) + line(kMsgSaved);
    QString out;
    QTRY_VERIFY_WITH_TIMEOUT((out += QString::fromUtf8(p.readAllStandardOutput())) == before, 5000);
    QCOMPARE(p.state(), QProcess::Running); // in its wait
    QVERIFY(!sim.received().contains("h"));
    QVERIFY(p.waitForFinished(15000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(out + QString::fromUtf8(p.readAllStandardOutput()), before + line(kMsgLeftToRight));
    QCOMPARE(barCounts(QString::fromUtf8(p.readAllStandardError()), 100), steps(100));
}

QTEST_GUILESS_MAIN(TestKorvelctl)
#include "tst_korvelctl.moc"

// The printer simulator driven over its pseudo-terminal with plain writes, as a
// controller would drive the real printer.
#include <QtTest>

#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using Parts = QList<QByteArray>;
using Changes = QList<QPair<int, int>>; // value number (1-based), value
using Pixels = QList<QPoint>;
Q_DECLARE_METATYPE(Changes)
Q_DECLARE_METATYPE(Pixels)

namespace {

constexpr int kPauseMs = 100; // the sender's long pause between writes, well above the --gap below
const QByteArray kResponses = "u.spload@ekw%vS{qtljhHagGBnrc}(";

QByteArray hexBytes(const char* hex) { return QByteArray::fromHex(hex); }
QString U(const char16_t* s) { return QString::fromUtf16(s); }

// A picture stream: "240", then 5280 values, all white except `changes`.
QByteArray makePicture(const Changes& changes, int fill = 255, const QByteArray& header = "240")
{
    QList<int> values(5280, fill);
    for (const auto& [n, v] : changes)
        values[n - 1] = v;
    QByteArray s = header;
    for (int v : values)
        s += QByteArray::number(v).rightJustified(3, '0');
    return s;
}

// One running simulator with its own port map, recordings and log.
class Sim {
public:
    explicit Sim(QStringList extra = {})
    {
        dir.setAutoRemove(true);
        logPath = dir.filePath("events.jsonl");
        outDir = dir.filePath("out");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KORVEL_PORT_MAP", dir.filePath("ports"));
        proc.setProcessEnvironment(env);
        QStringList args{"--log", logPath, "--out", outDir, "--gap", "20", "--param-timeout", "500",
                         "--slot-window", "250", "--upload-timeout", "400", "--save-step", "1"};
        proc.start(PRINTER_SIM_PATH, args + extra);
    }
    ~Sim()
    {
        if (fd >= 0)
            ::close(fd);
        if (proc.state() != QProcess::NotRunning) {
            proc.terminate();
            if (!proc.waitForFinished(3000))
                proc.kill();
            proc.waitForFinished(1000);
        }
    }

    // Waits for "ready COMn /dev/pts/N" and opens the port the way a controller would.
    bool open(const QString& port = "COM30")
    {
        QElapsedTimer t;
        t.start();
        while (!stderrText.contains("ready") && t.elapsed() < 5000) {
            proc.waitForReadyRead(100);
            stderrText += proc.readAllStandardError();
        }
        const int nl = stderrText.indexOf('\n', stderrText.indexOf("ready"));
        if (nl < 0)
            return false;
        readyLine = stderrText.mid(stderrText.indexOf("ready"), nl - stderrText.indexOf("ready"));
        linkPath = dir.filePath("ports/" + port);
        return reopen();
    }
    bool reopen()
    {
        if (fd >= 0)
            ::close(fd);
        fd = ::open(QFile::encodeName(linkPath).constData(), O_RDWR | O_NOCTTY);
        if (fd < 0)
            return false;
        termios tio;
        ::tcgetattr(fd, &tio);
        ::cfmakeraw(&tio);
        return ::tcsetattr(fd, TCSANOW, &tio) == 0;
    }

    void write(const Parts& parts, int pauseMs = kPauseMs)
    {
        for (int i = 0; i < parts.size(); ++i) {
            if (i > 0)
                QThread::msleep(static_cast<unsigned long>(pauseMs));
            const QByteArray& p = parts[i];
            for (qsizetype done = 0; done < p.size();) {
                const ssize_t n = ::write(fd, p.constData() + done, static_cast<size_t>(p.size() - done));
                if (n <= 0)
                    return;
                done += n;
            }
        }
    }

    // Reads until `want` bytes came or nothing more comes for `idleMs` (after `firstMs` for the first byte).
    QByteArray read(qsizetype want, int idleMs = 150, int firstMs = 3000, int* chunks = nullptr)
    {
        QByteArray got;
        int wait = firstMs;
        while (want < 0 || got.size() < want) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, wait) <= 0 || !(p.revents & POLLIN))
                break;
            char buf[4096];
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0)
                break;
            got.append(buf, n);
            if (chunks)
                ++*chunks;
            wait = idleMs;
        }
        // Nothing may follow the expected reply.
        if (want >= 0 && got.size() >= want) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, idleMs) > 0 && (p.revents & POLLIN)) {
                char buf[4096];
                const ssize_t n = ::read(fd, buf, sizeof buf);
                if (n > 0)
                    got.append(buf, n);
            }
        }
        return got;
    }

    QList<QJsonObject> events() const
    {
        QList<QJsonObject> list;
        QFile f(logPath);
        if (!f.open(QIODevice::ReadOnly))
            return list;
        for (const QByteArray& line : f.readAll().split('\n'))
            if (!line.isEmpty())
                list << QJsonDocument::fromJson(line).object();
        return list;
    }
    // The newest event for `cmd` (or of kind `event`), waiting for it to be logged.
    QJsonObject event(const QString& cmd, const QString& key = "cmd", int timeoutMs = 3000) const
    {
        QElapsedTimer t;
        t.start();
        do {
            const auto list = events();
            for (auto it = list.rbegin(); it != list.rend(); ++it)
                if (it->value(key).toString() == cmd)
                    return *it;
            QThread::msleep(20);
        } while (t.elapsed() < timeoutMs);
        return {};
    }

    QTemporaryDir dir;
    QProcess proc;
    QString logPath, outDir, linkPath;
    QByteArray stderrText, readyLine;
    int fd = -1;
};

QStringList toStrings(const QJsonValue& v)
{
    QStringList out;
    for (const QJsonValue& x : v.toArray())
        out << x.toString();
    return out;
}

} // namespace

class TestPrinterSim : public QObject {
    Q_OBJECT

private slots:
    void commands_data();
    void commands();
    void layoutIsParsed();
    void settingsReport_data();
    void settingsReport();
    void settingChangesLaterReport_data();
    void settingChangesLaterReport();
    void textStream_data();
    void textStream();
    void pictureStream_data();
    void pictureStream();
    void malformedPicture_data();
    void malformedPicture();
    void silentAnswersNothing();
    void replyError();
    void splitReplies();
    void hangupAfter_data();
    void hangupAfter();
    void garbageBetweenReplies_data();
    void garbageBetweenReplies();
    void noUploadReply();
    void uploadReplyDelay_data();
    void uploadReplyDelay();
    void lineRatePacesTheStream();
    void portStaysAcrossReopenAndLinkGoesAtExit();
};

void TestPrinterSim::commands_data()
{
    QTest::addColumn<Parts>("parts"); // written with a pause between them
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("params"); // as logged

    const QByteArray saving = "w" + QByteArray(100, '%') + "v";
    QTest::newRow("connect") << Parts{"!"} << QByteArray("s") << QStringList{};
    QTest::newRow("request settings") << Parts{"u"} << QByteArray("u,5,2,7,9,3.") << QStringList{};
    QTest::newRow("initial delay, value at once") << Parts{"l\x09"} << QByteArray("l") << QStringList{"\\x09"};
    QTest::newRow("ink amount, two writes") << Parts{"q", "\xC8"} << QByteArray("q") << QStringList{"\\xC8"};
    QTest::newRow("delay after printing") << Parts{"R", "\x07"} << QByteArray("G") << QStringList{"\\x07"};
    QTest::newRow("resolution") << Parts{"B", "\xC8"} << QByteArray("B") << QStringList{"\\xC8"};
    QTest::newRow("print count, value is a letter") << Parts{"r", "u"} << QByteArray("g") << QStringList{"u"};
    QTest::newRow("right to left") << Parts{"H"} << QByteArray("H") << QStringList{};
    QTest::newRow("left to right") << Parts{"h"} << QByteArray("h") << QStringList{};
    QTest::newRow("date, two-digit year") << Parts{"d", "25", "03", "07"} << QByteArray("d") << QStringList{"25", "03", "07"};
    QTest::newRow("date, one-digit year") << Parts{"d", "5", "03", "07"} << QByteArray("d") << QStringList{"5", "03", "07"};
    QTest::newRow("date, three-digit year") << Parts{"d", "125", "12", "31"} << QByteArray("d") << QStringList{"125", "12", "31"};
    QTest::newRow("time") << Parts{"t", "09", "05", "03"} << QByteArray("t") << QStringList{"09", "05", "03"};
    QTest::newRow("counter") << Parts{"c0007"} << QByteArray("c") << QStringList{"0007"};
    QTest::newRow("counter, not digits") << Parts{"c00ab"} << QByteArray("c") << QStringList{"00ab"};
    QTest::newRow("store text") << Parts{"s"} << QByteArray("{") << QStringList{};
    QTest::newRow("store picture") << Parts{"s", "3"} << saving << QStringList{"3"};
    QTest::newRow("image sequence") << Parts{"S", "2"} << QByteArray("S") << QStringList{"2"};
    QTest::newRow("expiry days") << Parts{"n", "030"} << QByteArray("n") << QStringList{"030"};
    QTest::newRow("expiry days, negative") << Parts{"n", "0-1"} << QByteArray("n") << QStringList{"0-1"};
    QTest::newRow("production layout") << Parts{"J", "013251251251251251251"} << QByteArray("j")
                                       << QStringList{"013251251251251251251"};
    QTest::newRow("expiry layout") << Parts{"V", "142000000061000118005"} << QByteArray("a")
                                   << QStringList{"142000000061000118005"};
    // Not understood: logged, answered with nothing.
    QTest::newRow("unknown letter") << Parts{"Z"} << QByteArray() << QStringList{""};
    QTest::newRow("slot out of range") << Parts{"S", "9"} << QByteArray() << QStringList{"9"};
    QTest::newRow("four-digit year") << Parts{"d", "2025", "03", "07"} << QByteArray() << QStringList{"2025", "03", "07"};
    QTest::newRow("short layout") << Parts{"J", "0132512"} << QByteArray() << QStringList{"0132512"};
}

void TestPrinterSim::commands()
{
    QFETCH(Parts, parts);
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, params);

    Sim sim;
    QVERIFY(sim.open());
    sim.write(parts);
    QCOMPARE(sim.read(reply.isEmpty() ? -1 : reply.size(), 150, reply.isEmpty() ? 700 : 3000), reply);

    const QJsonObject e = sim.event(QString::fromLatin1(parts[0].left(1)));
    QVERIFY2(!e.isEmpty(), "no event logged");
    QCOMPARE(toStrings(e["params"]), params);
    QCOMPARE(e["reply"].toString(), QString::fromLatin1(reply));
    QCOMPARE(e["ok"].toBool(true), !reply.isEmpty());
}

void TestPrinterSim::layoutIsParsed()
{
    Sim sim;
    QVERIFY(sim.open());
    sim.write({"J", "142000000061000118005"});
    QCOMPARE(sim.read(1), QByteArray("j"));
    const QJsonObject e = sim.event("J");
    QCOMPARE(e["calendar"].toString(), QString("gregorian"));
    QCOMPARE(e["slot"].toInt(), 4);
    QCOMPARE(e["size"].toInt(), 2);
    QCOMPARE(e["year"].toArray(), (QJsonArray{0, 0}));
    QCOMPARE(e["month"].toArray(), (QJsonArray{61, 0}));
    QCOMPARE(e["day"].toArray(), (QJsonArray{118, 5}));
}

void TestPrinterSim::settingsReport_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("report");
    QTest::newRow("default") << QStringList{} << QByteArray("u,5,2,7,9,3.");
    QTest::newRow("several digits") << QStringList{"--settings", "12,34,56,78,90"} << QByteArray("u,12,34,56,78,90.");
    QTest::newRow("range ends") << QStringList{"--settings", "255,1,100,9,3"} << QByteArray("u,255,1,100,9,3.");
}

void TestPrinterSim::settingsReport()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, report);
    Sim sim(args);
    QVERIFY(sim.open());
    sim.write({"!"});
    QCOMPARE(sim.read(1), QByteArray("s"));
    sim.write({"u"});
    QCOMPARE(sim.read(report.size()), report);
}

void TestPrinterSim::settingChangesLaterReport_data()
{
    QTest::addColumn<Parts>("parts");
    QTest::addColumn<QByteArray>("report");
    QTest::newRow("ink amount") << Parts{"q\xC8"} << QByteArray("u,200,2,7,9,3.");
    QTest::newRow("print count") << Parts{"r", "\x0C"} << QByteArray("u,5,12,7,9,3.");
    QTest::newRow("delay after printing") << Parts{"R", "\xFF"} << QByteArray("u,5,2,255,9,3.");
    QTest::newRow("initial delay") << Parts{"l\x01"} << QByteArray("u,5,2,7,1,3.");
    QTest::newRow("resolution") << Parts{"B", "\x2A"} << QByteArray("u,5,2,7,9,42.");
}

void TestPrinterSim::settingChangesLaterReport()
{
    QFETCH(Parts, parts);
    QFETCH(QByteArray, report);
    Sim sim;
    QVERIFY(sim.open());
    sim.write(parts);
    QCOMPARE(sim.read(1).size(), 1);
    sim.write({"u"});
    QCOMPARE(sim.read(report.size()), report);
}

void TestPrinterSim::textStream_data()
{
    QTest::addColumn<QByteArray>("stream"); // after "}": length field and codes
    QTest::addColumn<QString>("visual");
    QTest::addColumn<QStringList>("forms"); // empty: not checked
    QTest::addColumn<QList<int>>("ambiguous");
    QTest::addColumn<int>("length");

    QTest::newRow("end form of meem") << hexBytes("30303035C490C3A820") << U(u"\u0645\u0627\u0644\u0633 ")
        << QStringList{U(u"\u0645:end"), U(u"\u0627:single"), U(u"\u0644:join"), U(u"\u0633:join"), "ascii"}
        << QList<int>{} << 5;
    QTest::newRow("joining form of meem") << hexBytes("30303035C590C3A820") << U(u"\u0645\u0627\u0644\u0633 ")
        << QStringList{U(u"\u0645:join"), U(u"\u0627:single"), U(u"\u0644:join"), U(u"\u0633:join"), "ascii"}
        << QList<int>{} << 5;
    QTest::newRow("latin and tokens") << hexBytes("3030313045787020 5E792F5E6D20") << QString("Exp ^y/^m ")
        << QStringList{} << QList<int>{} << 10;
    QTest::newRow("line break in place") << hexBytes("30303131C590C3A80D0A90CEC7A220")
        << U(u"\u0645\u0627\u0644\u0633\r\n\u0627\u06CC\u0646\u062F ") << QStringList{} << QList<int>{} << 11;
    QTest::newRow("four-form letter") << hexBytes("30303034A4C5B420") << U(u"\u0631\u0645\u0639 ")
        << QStringList{U(u"\u0631:single"), U(u"\u0645:join"), U(u"\u0639:initial"), "ascii"} << QList<int>{} << 4;
    QTest::newRow("heh forms") << hexBytes("30303035CA90A4C920") << U(u"\u0647\u0627\u0631\u0647 ")
        << QStringList{U(u"\u0647:medial"), U(u"\u0627:single"), U(u"\u0631:single"), U(u"\u0647:final"), "ascii"}
        << QList<int>{} << 5;
    QTest::newRow("waw or isolated heh") << hexBytes("30303033C8C820") << U(u"\u0648\u0648 ")
        << QStringList{} << QList<int>{0, 1} << 3;
    QTest::newRow("digits after a filled field") << hexBytes("3030303431323320") << QString("123 ")
        << QStringList{} << QList<int>{} << 4;
    QTest::newRow("four digits, then a digit code")
        << QByteArray("1000" "5" + QByteArray(998, 'a') + " ") << QString("5" + QString(998, 'a') + " ")
        << QStringList{} << QList<int>{} << 1000;
    QTest::newRow("five-digit length, 5000 codes")
        << QByteArray("10000" + QByteArray(4999, 'b') + " ") << QString(QString(4999, 'b') + " ")
        << QStringList{} << QList<int>{} << 10000;
}

void TestPrinterSim::textStream()
{
    QFETCH(QByteArray, stream);
    QFETCH(QString, visual);
    QFETCH(QStringList, forms);
    QFETCH(QList<int>, ambiguous);
    QFETCH(int, length);

    Sim sim;
    QVERIFY(sim.open());
    sim.write({"T"});
    QCOMPARE(sim.read(1, 50), QByteArray("}"));
    sim.write({stream});
    QCOMPARE(sim.read(2, 150, 3000), QByteArray("r@"));

    const QJsonObject e = sim.event("T");
    QVERIFY(e["ok"].toBool());
    QCOMPARE(e["visual"].toString(), visual);
    QCOMPARE(e["length"].toInt(), length);
    if (!forms.isEmpty())
        QCOMPARE(toStrings(e["forms"]), forms);
    QList<int> amb;
    for (const QJsonValue& v : e["ambiguous"].toArray())
        amb << v.toInt();
    QCOMPARE(amb, ambiguous);

    QFile txt(sim.outDir + "/text-0001.txt"), raw(sim.outDir + "/text-0001.raw");
    QVERIFY(txt.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(txt.readAll()), visual);
    QVERIFY(raw.open(QIODevice::ReadOnly));
    QCOMPARE(raw.readAll(), stream);
}

void TestPrinterSim::pictureStream_data()
{
    QTest::addColumn<Changes>("changes");
    QTest::addColumn<int>("fill");
    QTest::addColumn<Pixels>("black"); // every other pixel white; fill 128 means all black

    QTest::newRow("all white") << Changes{} << 255 << Pixels{};
    QTest::newRow("band 0, top") << Changes{{1, 247}} << 255 << Pixels{{0, 0}};
    QTest::newRow("band 0, last row") << Changes{{22, 247}} << 255 << Pixels{{0, 21}};
    QTest::newRow("band 1") << Changes{{1, 251}} << 255 << Pixels{{0, 22}};
    QTest::newRow("band 2, last column") << Changes{{5280, 254}} << 255 << Pixels{{239, 65}};
    QTest::newRow("band 3") << Changes{{2641, 253}} << 255 << Pixels{{120, 66}};
    QTest::newRow("band 4") << Changes{{100, 223}} << 255 << Pixels{{4, 99}};
    QTest::newRow("band 5") << Changes{{3000, 191}} << 255 << Pixels{{136, 117}};
    QTest::newRow("band 6, bottom row") << Changes{{44, 239}} << 255 << Pixels{{1, 153}};
    QTest::newRow("one value, every band")
        << Changes{{1, 128}} << 255 << Pixels{{0, 0}, {0, 22}, {0, 44}, {0, 66}, {0, 88}, {0, 110}, {0, 132}};
    QTest::newRow("all black") << Changes{} << 128 << Pixels{};
}

void TestPrinterSim::pictureStream()
{
    QFETCH(Changes, changes);
    QFETCH(int, fill);
    QFETCH(Pixels, black);

    Sim sim;
    QVERIFY(sim.open());
    sim.write({"P"});
    QCOMPARE(sim.read(1, 50), QByteArray("("));
    const QByteArray stream = makePicture(changes, fill);
    QCOMPARE(stream.size(), 15843);
    sim.write({stream});
    QCOMPARE(sim.read(5, 150, 5000), QByteArray("pload"));

    const QJsonObject e = sim.event("P");
    QVERIFY(e["ok"].toBool());
    QImage img(e["png"].toString());
    QCOMPARE(img.size(), QSize(240, 154));
    int wrong = 0;
    for (int y = 0; y < 154; ++y)
        for (int x = 0; x < 240; ++x) {
            const bool want = fill == 128 || black.contains(QPoint(x, y));
            const QRgb px = img.pixel(x, y);
            const bool isBlack = qRed(px) == 0 && qGreen(px) == 0 && qBlue(px) == 0;
            const bool isWhite = qRed(px) == 255 && qGreen(px) == 255 && qBlue(px) == 255;
            if (isBlack != want || isWhite == want) {
                if (++wrong <= 5)
                    qWarning("pixel (%d, %d) is wrong", x, y);
            }
        }
    QCOMPARE(wrong, 0);
    QFile raw(e["raw"].toString());
    QVERIFY(raw.open(QIODevice::ReadOnly));
    QCOMPARE(raw.readAll(), stream);
}

void TestPrinterSim::malformedPicture_data()
{
    QTest::addColumn<QByteArray>("stream");
    QByteArray nonDigit = makePicture({});
    nonDigit[3 + 9 * 3 + 2] = 'a';
    QTest::newRow("wrong header") << makePicture({}, 255, "241");
    QTest::newRow("value 127") << makePicture({{10, 127}});
    QTest::newRow("value 256") << makePicture({{5280, 256}});
    QTest::newRow("non-digit") << nonDigit;
    QTest::newRow("stops short") << makePicture({}).left(3 + 100 * 3);
}

void TestPrinterSim::malformedPicture()
{
    QFETCH(QByteArray, stream);
    Sim sim;
    QVERIFY(sim.open());
    sim.write({"P"});
    QCOMPARE(sim.read(1, 50), QByteArray("("));
    sim.write({stream});
    QCOMPARE(sim.read(1, 300, 5000), QByteArray("p"));
    const QJsonObject e = sim.event("P");
    QVERIFY(!e["ok"].toBool(true));
    QVERIFY(!e["error"].toString().isEmpty());
    QVERIFY(!e.contains("png"));

    // The printer takes commands again afterwards.
    sim.write({"!"});
    QCOMPARE(sim.read(1), QByteArray("s"));
}

void TestPrinterSim::silentAnswersNothing()
{
    Sim sim({"--silent"});
    QVERIFY(sim.open());
    sim.write({"!"});
    sim.write({"u"});
    sim.write({"q\x05"});
    sim.write({"P"});
    QCOMPARE(sim.read(-1, 150, 500), QByteArray());
    QCOMPARE(sim.event("q")["value"].toInt(), 5); // still heard
    QVERIFY(sim.event("P")["ignored"].toBool());
}

void TestPrinterSim::replyError()
{
    Sim sim({"--reply-error"});
    QVERIFY(sim.open());
    sim.write({"!"});
    QCOMPARE(sim.read(1), QByteArray("e"));
    sim.write({"u"});
    QCOMPARE(sim.read(12), QByteArray("u,5,2,7,9,3."));
}

void TestPrinterSim::splitReplies()
{
    Sim sim({"--split-replies", "--split-gap", "40"});
    QVERIFY(sim.open());
    sim.write({"u"});
    int chunks = 0;
    QCOMPARE(sim.read(12, 300, 3000, &chunks), QByteArray("u,5,2,7,9,3."));
    QVERIFY2(chunks >= 4, qPrintable(QString("the report came in %1 reads").arg(chunks)));
}

void TestPrinterSim::hangupAfter_data()
{
    QTest::addColumn<int>("after");
    QTest::addColumn<Parts>("parts");
    QTest::newRow("on the first byte") << 1 << Parts{"!"};
    QTest::newRow("mid command") << 3 << Parts{"d", "25", "03", "07"};
    QTest::newRow("after a whole command") << 1 << Parts{"H"};
}

void TestPrinterSim::hangupAfter()
{
    QFETCH(int, after);
    QFETCH(Parts, parts);
    Sim sim({"--hangup-after", QString::number(after)});
    QVERIFY(sim.open());
    ::signal(SIGPIPE, SIG_IGN);
    sim.write(parts);
    QVERIFY(sim.proc.waitForFinished(3000));
    QCOMPARE(sim.proc.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.proc.exitCode(), 0);
    QVERIFY(!QFileInfo::exists(sim.linkPath) && !QFileInfo(sim.linkPath).isSymLink());

    // The port is dead, as with a pulled adapter: no reply, a hang-up.
    pollfd p{sim.fd, POLLIN, 0};
    QCOMPARE(::poll(&p, 1, 200), 1);
    QVERIFY(p.revents & (POLLHUP | POLLERR));
    char c;
    QVERIFY(::read(sim.fd, &c, 1) <= 0);
    QCOMPARE(sim.event("hangup", "event")["received"].toInt(), after);
}

void TestPrinterSim::garbageBetweenReplies_data()
{
    QTest::addColumn<Parts>("parts");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("connect") << Parts{"!"} << QByteArray("s");
    QTest::newRow("report") << Parts{"u"} << QByteArray("u,5,2,7,9,3.");
    QTest::newRow("store picture") << Parts{"s", "1"} << QByteArray("w" + QByteArray(100, '%') + "v");
}

void TestPrinterSim::garbageBetweenReplies()
{
    QFETCH(Parts, parts);
    QFETCH(QByteArray, reply);
    Sim sim({"--garbage", "--seed", "7"});
    QVERIFY(sim.open());
    sim.write(parts);
    const QByteArray got = sim.read(-1, 200, 3000);

    // The reply, in order, with only bytes that are no response (nor 0, nor ",") in between.
    qsizetype j = 0, noise = 0;
    for (char c : got) {
        if (j < reply.size() && c == reply[j]) {
            ++j;
            continue;
        }
        QVERIFY2(c != 0 && c != ',' && !kResponses.contains(c), qPrintable(QString("garbage byte 0x%1").arg(uchar(c), 2, 16)));
        ++noise;
    }
    QCOMPARE(j, reply.size());
    QVERIFY(noise > 0);
}

void TestPrinterSim::noUploadReply()
{
    Sim sim({"--no-upload-reply"});
    QVERIFY(sim.open());
    sim.write({"P"});
    sim.write({"T"});
    QCOMPARE(sim.read(-1, 150, 500), QByteArray());
    QVERIFY(sim.event("T")["ignored"].toBool());
    sim.write({"!"});
    QCOMPARE(sim.read(1), QByteArray("s"));
}

void TestPrinterSim::uploadReplyDelay_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("asks");
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QByteArray>("done");
    QTest::newRow("text") << QByteArray("T") << QByteArray("}") << QByteArray("0002ab") << QByteArray("r@");
    QTest::newRow("picture") << QByteArray("P") << QByteArray("(") << makePicture({}) << QByteArray("pload");
}

// The printer asks for the stream only after the delay; the log tells when the request was heard.
void TestPrinterSim::uploadReplyDelay()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, asks);
    QFETCH(QByteArray, stream);
    QFETCH(QByteArray, done);
    Sim sim({"--upload-reply-delay", "600"});
    QVERIFY(sim.open());
    QElapsedTimer t;
    t.start();
    sim.write({request});
    QCOMPARE(sim.read(1, 50, 3000), asks);
    QVERIFY2(t.elapsed() >= 550, qPrintable(QString("asked after %1 ms").arg(t.elapsed())));
    sim.write({stream});
    QCOMPARE(sim.read(done.size()), done);
    const QJsonObject upload = sim.event(QString::fromLatin1(request));
    QVERIFY(upload["ok"].toBool());

    QStringList order;
    for (const QJsonObject& e : sim.events()) {
        if (e["event"].toString() == "upload-reply-delay") {
            QCOMPARE(e["ms"].toInt(), 600);
            order << "delay " + e["request"].toString();
        } else if (e.contains("cmd")) {
            order << e["cmd"].toString();
        }
    }
    QCOMPARE(order, (QStringList{"delay " + QString::fromLatin1(request), QString::fromLatin1(request)}));
}

void TestPrinterSim::lineRatePacesTheStream()
{
    // 304 bytes at 960 bytes/s cannot be taken in less than about 316 ms.
    Sim sim({"--line-rate", "9600"});
    QVERIFY(sim.open());
    sim.write({"T"});
    QCOMPARE(sim.read(1, 50), QByteArray("}"));
    QElapsedTimer t;
    t.start();
    sim.write({"0300" + QByteArray(299, 'x') + " "});
    QCOMPARE(sim.read(2, 150, 3000), QByteArray("r@"));
    QVERIFY2(t.elapsed() >= 290, qPrintable(QString("took %1 ms").arg(t.elapsed())));
    QCOMPARE(sim.event("T")["codes"].toInt(), 300);
}

void TestPrinterSim::portStaysAcrossReopenAndLinkGoesAtExit()
{
    Sim sim({"--port", "COM7"});
    QVERIFY(sim.open("COM7"));
    const QFileInfo link(sim.linkPath);
    QVERIFY(link.isSymLink());
    QCOMPARE(sim.readyLine, QByteArray("ready COM7 ") + QFile::encodeName(link.symLinkTarget()));

    // The controller closes and opens the port between connections.
    for (int round = 0; round < 3; ++round) {
        QVERIFY(sim.reopen());
        sim.write({"!"});
        QCOMPARE(sim.read(1), QByteArray("s"));
    }
    sim.proc.terminate();
    QVERIFY(sim.proc.waitForFinished(3000));
    QCOMPARE(sim.proc.exitCode(), 0);
    QVERIFY(!QFileInfo(sim.linkPath).isSymLink());
}

QTEST_GUILESS_MAIN(TestPrinterSim)
#include "tst_printersim.moc"

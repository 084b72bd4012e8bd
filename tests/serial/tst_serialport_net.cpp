// The component through Debian's ser2net, bridging a TCP port on 127.0.0.1 to a
// pseudo-terminal: raw and RFC 2217, every byte value both ways, the line
// settings reaching the terminal, a dropped server and a refused connection.
#include "PtyPair.h"
#include "Ser2net.h"

#include "serial/PortMap.h"
#include "serial/SerialPort.h"

#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

using namespace korvel::serial;

namespace {

template <class Pred> bool waitUntil(Pred pred, int ms = 10000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::string everyByte()
{
    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<char>(i));
    return all + all;  // 0xFF next to 0x00 and 0xFF twice in a row
}

struct Received {
    std::mutex m;
    std::string bytes;
    std::atomic<int> lost{0};
    void attach(TSerialPort& sp)
    {
        sp.OnReceive = [this](TSerialPort*, const std::string& b) {
            std::lock_guard l(m);
            bytes += b;
        };
        sp.OnDeviceLost = [this](TSerialPort*, TCommPort) { ++lost; };
    }
    std::string get()
    {
        std::lock_guard l(m);
        return bytes;
    }
};

std::string openFailure(TSerialPort& sp)
{
    try {
        sp.Open();
    } catch (const SerialError& e) {
        return e.what();
    }
    return "(no exception)";
}

} // namespace

class TestSerialNet : public QObject {
    Q_OBJECT

    QTemporaryDir mapDir_;

private slots:
    void initTestCase()
    {
        QVERIFY(mapDir_.isValid());
        qputenv("KORVEL_PORT_MAP", mapDir_.path().toUtf8());
    }
    void cleanup() { unmapPort("COM40"); }

    void bytesBothWays_data()
    {
        QTest::addColumn<bool>("rfc2217");
        QTest::newRow("raw") << false;
        QTest::newRow("rfc2217") << true;
    }
    void bytesBothWays()
    {
        QFETCH(bool, rfc2217);
        PtyPair pty;
        QVERIFY(pty.ok());
        Ser2net server;
        QVERIFY(server.start(QString::fromStdString(pty.slavePath()), rfc2217));
        mapPort("COM40", server.url().toStdString());

        Received r;
        TSerialPort sp;
        r.attach(sp);
        sp.setBaudRate(br009600);
        sp.setPort(spCOM(40));
        sp.Open();
        QCOMPARE(sp.IsConnected(), spCOM(40));
        // The rate the line has at the far end, for whoever paces writes by it.
        QCOMPARE(sp.BaudRateToInt(sp.BaudRate()), 9600);

        const std::string all = everyByte();
        QCOMPARE(sp.SendData(all.data(), static_cast<std::uint32_t>(all.size())), std::uint32_t(all.size()));
        QCOMPARE(pty.receive(all.size()), all);
        QVERIFY(pty.send(all));
        QVERIFY(waitUntil([&] { return r.get().size() >= all.size(); }));
        QCOMPARE(r.get(), all);
        // ser2net answers nothing on the line by itself.
        QCOMPARE(pty.drain(100), std::string());
        sp.Close();
        QCOMPARE(sp.IsConnected(), spNone);
        QCOMPARE(r.lost.load(), 0);
    }

    void settingsTravelWithRfc2217()
    {
        PtyPair pty;
        QVERIFY(pty.ok());
        Ser2net server;
        QVERIFY(server.start(QString::fromStdString(pty.slavePath()), true));
        mapPort("COM40", server.url().toStdString());
        TSerialPort sp;
        sp.setBaudRate(br019200);
        sp.setPort(spCOM(40));
        sp.Open();
        QVERIFY(waitUntil([&] { return deviceSpeed(pty.slaveFd()) == 19200; }));
        sp.setBaudRate(br009600);  // on the open line
        QVERIFY(waitUntil([&] { return deviceSpeed(pty.slaveFd()) == 9600; }));
        const termios t = pty.settings();
        QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS8));
        QVERIFY(!(t.c_cflag & (PARENB | CSTOPB | CRTSCTS)));
        QVERIFY(!(t.c_iflag & (IXON | IXOFF)));
        QCOMPARE(sp.SendString("ok"), 2u);
        QCOMPARE(pty.receive(2), std::string("ok"));
        sp.Close();
    }

    void rawPortLeavesTheLineToTheServer()
    {
        PtyPair pty;
        QVERIFY(pty.ok());
        Ser2net server;
        QVERIFY(server.start(QString::fromStdString(pty.slavePath()), false));
        mapPort("COM40", server.url().toStdString());
        TSerialPort sp;
        sp.setBaudRate(br019200);
        sp.setPort(spCOM(40));
        sp.Open();
        QCOMPARE(sp.SendString("x"), 1u);
        QCOMPARE(pty.receive(1), std::string("x"));
        QCOMPARE(deviceSpeed(pty.slaveFd()), 9600);  // the server's configuration
        QVERIFY(!sp.SetBreak(true));                 // nothing to carry it
        sp.Close();
    }

    void droppedServerIsReportedOnceAndReconnects_data() { bytesBothWays_data(); }
    void droppedServerIsReportedOnceAndReconnects()
    {
        QFETCH(bool, rfc2217);
        PtyPair pty;
        QVERIFY(pty.ok());
        Ser2net server;
        QVERIFY(server.start(QString::fromStdString(pty.slavePath()), rfc2217));
        mapPort("COM40", server.url().toStdString());
        Received r;
        TSerialPort sp;
        r.attach(sp);
        sp.setPort(spCOM(40));
        sp.Open();
        const int port = server.port();
        server.stop();
        QVERIFY(waitUntil([&] { return r.lost.load() > 0; }));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // more polls of the dead connection
        QCOMPARE(r.lost.load(), 1);
        QCOMPARE(sp.IsConnected(), spCOM(40));  // open until Close, as with an unplugged adapter
        std::uint32_t sent = 1;
        for (int i = 0; i < 20 && sent != 0; ++i)  // the first write may still reach the kernel
            sent = sp.SendString("x");
        QCOMPARE(sent, 0u);
        sp.Close();

        QVERIFY(server.start(QString::fromStdString(pty.slavePath()), rfc2217, port));
        sp.Open();
        QCOMPARE(sp.SendString("again"), 5u);
        QCOMPARE(pty.receive(5), std::string("again"));
        sp.Close();
    }

    void refusedAndMalformed_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message");
        const QString closed = QStringLiteral("tcp://127.0.0.1:%1").arg(Ser2net::freePort());
        QTest::newRow("nobody listens") << closed << "Cannot connect to " + closed + " . Connection refused";
        QTest::newRow("malformed") << "rfc2217://127.0.0.1" << "Cannot connect to rfc2217://127.0.0.1 . Invalid argument";
        QTest::newRow("unknown host") << "tcp://no-such-host.invalid:2001"
                                      << "Cannot connect to tcp://no-such-host.invalid:2001 . ";
    }
    void refusedAndMalformed()
    {
        QFETCH(QString, name);
        QFETCH(QString, message);
        TSerialPort sp;
        sp.setCustomPortName(name.toStdString());
        sp.setPort(spCustom);
        const QString text = QString::fromStdString(openFailure(sp));
        QVERIFY2(text.startsWith(message), qPrintable(text));
        QVERIFY(text.size() > message.size() || message.endsWith("refused") || message.endsWith("argument"));
        QCOMPARE(sp.IsConnected(), spNone);
    }
};

QTEST_GUILESS_MAIN(TestSerialNet)
#include "tst_serialport_net.moc"

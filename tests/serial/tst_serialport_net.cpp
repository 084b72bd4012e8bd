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

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

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

// An RFC 2217 server on 127.0.0.1 that answers SET-BAUDRATE (IAC SB 44 1 rate
// IAC SE) with a rate of its own, as a server whose line cannot take the one asked
// for does (IAC SB 44 101 rate IAC SE); 0: it answers nothing.
class ConfirmingServer {
public:
    explicit ConfirmingServer(std::uint32_t rate) : rate_(rate)
    {
        listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(listen_, 1) == 0 &&
            ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~ConfirmingServer()
    {
        stop_ = true;
        thread_.join();
        ::close(listen_);
    }
    std::string url() const { return "rfc2217://127.0.0.1:" + std::to_string(port_); }
    bool asked() const { return asked_.load(); }

private:
    bool readable(int fd)
    {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, 20) > 0;
    }
    void serve()
    {
        int c = -1;
        while (!stop_ && c < 0)
            if (readable(listen_))
                c = ::accept(listen_, nullptr, nullptr);
        std::string in;
        const std::string setBaud("\xFF\xFA\x2C\x01", 4);
        while (!stop_ && c >= 0) {
            if (!readable(c))
                continue;
            char buf[512];
            const ssize_t n = ::recv(c, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            in.append(buf, std::size_t(n));
            for (auto at = in.find(setBaud); at != std::string::npos && in.size() >= at + 8; at = in.find(setBaud)) {
                in.erase(0, at + 8);
                asked_ = true;
                if (rate_ == 0)
                    continue;
                const std::string reply{'\xFF', '\xFA', '\x2C', char(101), char(rate_ >> 24), char(rate_ >> 16),
                                        char(rate_ >> 8), char(rate_), '\xFF', '\xF0'};
                if (::send(c, reply.data(), reply.size(), MSG_NOSIGNAL) != ssize_t(reply.size()))
                    break;
            }
        }
        if (c >= 0)
            ::close(c);
    }

    const std::uint32_t rate_;
    int listen_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> asked_{false};
    std::thread thread_;
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

    // Writes are paced at the rate the server's line runs at, which it tells.
    void lineRateIsTheOneTheServerConfirms_data()
    {
        QTest::addColumn<quint32>("confirms");
        QTest::addColumn<int>("rate");
        QTest::newRow("a slower line than asked for") << quint32(2400) << 2400;
        QTest::newRow("the rate asked for") << quint32(9600) << 9600;
        QTest::newRow("no confirmation") << quint32(0) << 9600;
    }
    void lineRateIsTheOneTheServerConfirms()
    {
        QFETCH(quint32, confirms);
        QFETCH(int, rate);
        ConfirmingServer server(confirms);
        TSerialPort sp;
        sp.setBaudRate(br009600);
        sp.setCustomPortName(server.url());
        sp.setPort(spCustom);
        QCOMPARE(sp.LineRate(), 9600); // closed: the rate set
        sp.Open();
        QVERIFY(waitUntil([&] { return server.asked(); }));
        QVERIFY(waitUntil([&] { return sp.LineRate() == rate; }, 2000));
        std::this_thread::sleep_for(std::chrono::milliseconds(200)); // more polls change nothing
        QCOMPARE(sp.LineRate(), rate);
        QCOMPARE(sp.BaudRateToInt(sp.BaudRate()), 9600); // what was asked for stays
        sp.Close();
        QCOMPARE(sp.LineRate(), 9600);
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

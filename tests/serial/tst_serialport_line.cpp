// The component on real pseudo-terminals: opening and closing, exclusive use,
// writes, delivery of received bytes through the receive thread, the
// synchronising hooks, line settings and the write time-out.
#include "PtyPair.h"

#include "serial/PortMap.h"
#include "serial/SerialPort.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>

#include <dirent.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <fcntl.h>

using namespace korvel::serial;

Q_DECLARE_METATYPE(TCommPort)
Q_DECLARE_METATYPE(std::string)

namespace {

std::string S(const char* bytes, std::size_t n) { return std::string(bytes, n); }

// Everything the handlers saw, from whichever thread they ran on.
class Recorder {
public:
    void attach(TSerialPort& sp)
    {
        sp.OnConnect = [this](TSerialPort*, TCommPort p) { add("connect " + std::to_string(int(p))); };
        sp.OnDisconnect = [this](TSerialPort*, TCommPort p) { add("disconnect " + std::to_string(int(p))); };
        sp.OnDeviceLost = [this](TSerialPort*, TCommPort p) { add("lost " + std::to_string(int(p))); };
        sp.OnReceive = [this](TSerialPort*, const std::string& bytes) { addChunk(bytes); };
    }
    void add(const std::string& e)
    {
        std::lock_guard l(m_);
        events_.push_back(e);
        threads_.push_back(std::this_thread::get_id());
    }
    void addChunk(const std::string& bytes)
    {
        std::lock_guard l(m_);
        chunks_.push_back(bytes);
        receiveThreads_.push_back(std::this_thread::get_id());
    }
    std::vector<std::string> events() const { std::lock_guard l(m_); return events_; }
    std::vector<std::thread::id> eventThreads() const { std::lock_guard l(m_); return threads_; }
    std::vector<std::string> chunks() const { std::lock_guard l(m_); return chunks_; }
    std::vector<std::thread::id> receiveThreads() const { std::lock_guard l(m_); return receiveThreads_; }
    std::string received() const
    {
        std::lock_guard l(m_);
        std::string all;
        for (const auto& c : chunks_)
            all += c;
        return all;
    }

private:
    mutable std::mutex m_;
    std::vector<std::string> events_;
    std::vector<std::thread::id> threads_;
    std::vector<std::string> chunks_;
    std::vector<std::thread::id> receiveThreads_;
};

// Waits on this thread without serving Qt's event loop (nothing here needs
// it), checking every few milliseconds; the bound only catches a hang.
template <class Pred> bool waitUntil(Pred pred, int ms = 10000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

#define WAIT_VERIFY(cond) QVERIFY(waitUntil([&] { return bool(cond); }))
#define WAIT_COMPARE(actual, expected)                                \
    do {                                                              \
        waitUntil([&] { return (actual) == (expected); });            \
        QCOMPARE(actual, expected);                                   \
    } while (0)

using Events = std::vector<std::string>;

std::string openFailure(TSerialPort& sp)
{
    try {
        sp.Open();
    } catch (const SerialError& e) {
        return e.what();
    }
    return "(no exception)";
}

// A latch the test opens for a handler waiting on another thread.
class Gate {
public:
    void open()
    {
        std::lock_guard l(m_);
        open_ = true;
        cv_.notify_all();
    }
    bool wait(int ms = 10000)
    {
        std::unique_lock l(m_);
        return cv_.wait_for(l, std::chrono::milliseconds(ms), [&] { return open_; });
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool open_ = false;
};

// The kernel's thread ids of this process.
std::vector<pid_t> threadIds()
{
    std::vector<pid_t> ids;
    if (DIR* d = ::opendir("/proc/self/task")) {
        while (const dirent* e = ::readdir(d))
            if (e->d_name[0] != '.')
                ids.push_back(static_cast<pid_t>(std::atoi(e->d_name)));
        ::closedir(d);
    }
    return ids;
}

// Whether nobody holds the device: our own exclusive lock on it succeeds.
bool deviceIsFree(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

} // namespace

class TestSerialLine : public QObject {
    Q_OBJECT

    QTemporaryDir mapDir_;
    std::unique_ptr<PtyPair> pty_;
    const std::thread::id mainThread_ = std::this_thread::get_id();

private slots:
    void initTestCase()
    {
        QVERIFY(mapDir_.isValid());
        qputenv("KORVEL_PORT_MAP", mapDir_.path().toUtf8());
    }

    void init()
    {
        pty_ = std::make_unique<PtyPair>();
        QVERIFY(pty_->ok());
        mapPort("COM30", pty_->slavePath());
    }

    void cleanup()
    {
        setMainThreadHooks({});
        unmapPort("COM30");
        unmapPort("COM31");
        pty_.reset();
    }

    // ---- opening and closing ----------------------------------------------

    void openCloseReopen()
    {
        Recorder r;
        std::string sendFromConnect;
        TSerialPort sp;
        r.attach(sp);
        sp.OnConnect = [&](TSerialPort* s, TCommPort p) {
            r.add("connect " + std::to_string(int(p)));
            try {
                s->SendString("x");  // the thread is not registered yet
            } catch (const SerialError& e) {
                sendFromConnect = e.what();
            }
        };
        sp.setPort(spCOM30);
        sp.Open();
        QCOMPARE(sp.IsConnected(), spCOM30);
        QCOMPARE(r.events(), (Events{"connect 30"}));
        QCOMPARE(r.eventThreads().at(0), mainThread_);
        QCOMPARE(sendFromConnect, std::string("COM30 is not open."));

        QVERIFY(pty_->send("ping"));
        WAIT_COMPARE(r.received(), std::string("ping"));

        sp.Open();  // same port: nothing happens
        QCOMPARE(r.events(), (Events{"connect 30"}));
        QVERIFY(pty_->send("more"));
        WAIT_COMPARE(r.received(), std::string("pingmore"));
        QCOMPARE(sp.SendString("ok"), 2u);
        QCOMPARE(pty_->receive(2), std::string("ok"));

        sp.Close();  // the disconnect has fired when Close returns
        QCOMPARE(sp.IsConnected(), spNone);
        QCOMPARE(r.events(), (Events{"connect 30", "disconnect 30"}));
        QVERIFY(r.eventThreads().at(1) != mainThread_);
        sp.Close();
        QCOMPARE(r.events().size(), 2u);
        QVERIFY_THROWS_EXCEPTION(SerialError, sp.SendString("late"));

        sp.Open();
        QCOMPARE(sp.IsConnected(), spCOM30);
        QVERIFY(pty_->send("again"));
        WAIT_COMPARE(r.received(), std::string("pingmoreagain"));
        QCOMPARE(sp.SendString("back"), 4u);
        QCOMPARE(pty_->receive(4), std::string("back"));
        sp.Close();
        QCOMPARE(r.events(), (Events{"connect 30", "disconnect 30", "connect 30", "disconnect 30"}));
    }

    void openCustomDevicePath()
    {
        Recorder r;
        TSerialPort sp;
        r.attach(sp);
        sp.setCustomPortName(pty_->slavePath());
        sp.setPort(spCustom);
        sp.Open();
        QCOMPARE(sp.IsConnected(), spCustom);
        QCOMPARE(sp.SendString("c"), 1u);
        QCOMPARE(pty_->receive(1), std::string("c"));

        // Any custom name counts as the port already open: no reconnect.
        sp.setCustomPortName("/nonexistent/korvel-tty");
        sp.Open();
        QCOMPARE(sp.IsConnected(), spCustom);
        QCOMPARE(r.events(), (Events{"connect 255"}));
        QCOMPARE(sp.SendString("d"), 1u);
        QCOMPARE(pty_->receive(1), std::string("d"));
    }

    void secondHandleIsRefused()
    {
        TSerialPort first;
        first.setPort(spCOM30);
        first.Open();

        Recorder r;
        TSerialPort second;
        r.attach(second);
        second.setCustomPortName(pty_->slavePath());
        second.setPort(spCustom);
        QCOMPARE(openFailure(second),
                 "Cannot connect to " + pty_->slavePath() + " . Device or resource busy");
        QCOMPARE(second.IsConnected(), spNone);
        QCOMPARE(r.events(), Events{});

        // The first connection is untouched.
        QCOMPARE(first.IsConnected(), spCOM30);
        QCOMPARE(first.SendString("1"), 1u);
        QCOMPARE(pty_->receive(1), std::string("1"));

        first.Close();
        second.Open();
        QCOMPARE(second.IsConnected(), spCustom);
    }

    void failedOpen_data()
    {
        QTest::addColumn<std::string>("port");  // @FILE@: a plain file
        QTest::addColumn<std::string>("reason");
        QTest::newRow("unmapped COM") << std::string("COM254") << std::string("No such file or directory");
        QTest::newRow("dangling link") << std::string("COM29") << std::string("No such file or directory");
        QTest::newRow("missing path") << std::string("/nonexistent/korvel-tty")
                                      << std::string("No such file or directory");
        QTest::newRow("not a terminal") << std::string("@FILE@") << std::string("Inappropriate ioctl for device");
    }
    void failedOpen()
    {
        QFETCH(std::string, port);
        QFETCH(std::string, reason);
        if (port == "@FILE@") {
            port = mapDir_.path().toStdString() + "/plain-file";
            std::ofstream(port) << "x";
        }
        mapPort("COM29", "/nonexistent/korvel-device");

        Recorder r;
        TSerialPort sp;
        r.attach(sp);
        sp.setCustomPortName(port);  // "COMn" names read as those ports
        sp.setPort(sp.StringToCommPort(port) == spCustom ? spCustom : sp.StringToCommPort(port));
        const std::string expected = "Cannot connect to " + port + " . " + reason;
        QCOMPARE(openFailure(sp), expected);
        QCOMPARE(sp.IsConnected(), spNone);
        QCOMPARE(openFailure(sp), expected);  // tried again, failed again
        QCOMPARE(r.events(), Events{});
        QVERIFY_THROWS_EXCEPTION(SerialError, sp.SendString("x"));
        unmapPort("COM29");
    }

    void failedOpenClosesTheOpenPort_data()
    {
        QTest::addColumn<TCommPort>("next");
        QTest::addColumn<std::string>("message");
        QTest::newRow("empty port") << spNone << std::string("Cannot connect to  . No such file or directory");
        QTest::newRow("missing port") << spCOM254
                                      << std::string("Cannot connect to COM254 . No such file or directory");
    }
    void failedOpenClosesTheOpenPort()
    {
        QFETCH(TCommPort, next);
        QFETCH(std::string, message);
        Recorder r;
        TSerialPort sp;
        r.attach(sp);
        sp.setPort(spCOM30);
        sp.Open();
        sp.setPort(next);
        QCOMPARE(openFailure(sp), message);
        QCOMPARE(sp.IsConnected(), spNone);
        QCOMPARE(r.events(), (Events{"connect 30", "disconnect 30"}));
    }

    void openAnotherPortClosesFirst()
    {
        PtyPair other;
        QVERIFY(other.ok());
        mapPort("COM31", other.slavePath());
        Recorder r;
        TSerialPort sp;
        r.attach(sp);
        sp.setPort(spCOM30);
        sp.Open();

        sp.setPort(spCOM(31));  // the open connection stays where it is
        QCOMPARE(sp.IsConnected(), spCOM30);
        QCOMPARE(sp.SendString("a"), 1u);
        QCOMPARE(pty_->receive(1), std::string("a"));

        sp.Open();
        QCOMPARE(sp.IsConnected(), spCOM(31));
        QCOMPARE(r.events(), (Events{"connect 30", "disconnect 30", "connect 31"}));
        QCOMPARE(sp.SendString("b"), 1u);
        QCOMPARE(other.receive(1), std::string("b"));
        QCOMPARE(pty_->drain(100), std::string());
        QVERIFY(other.send("B"));
        WAIT_COMPARE(r.received(), std::string("B"));
        sp.Close();
    }

    // ---- writing ------------------------------------------------------------

    void sendString_data()
    {
        QTest::addColumn<std::string>("text");
        QTest::addColumn<std::string>("wire");
        QTest::newRow("command") << std::string("!") << std::string("!");
        QTest::newRow("line") << std::string("HELLO\r\n") << std::string("HELLO\r\n");
        QTest::newRow("8-bit bytes") << std::string("\x80\xfe\xff") << std::string("\x80\xfe\xff");
        QTest::newRow("zero in the middle") << S("AB\0CD", 5) << std::string("AB");
        QTest::newRow("zero first") << S("\0AB", 3) << std::string();
        QTest::newRow("empty") << std::string() << std::string();
    }
    void sendString()
    {
        QFETCH(std::string, text);
        QFETCH(std::string, wire);
        std::vector<std::string> sent;
        TSerialPort sp;
        sp.OnSend = [&](TSerialPort*, const std::string& b) { sent.push_back(b); };
        sp.setPort(spCOM30);
        sp.Open();
        QCOMPARE(sp.SendString(text), std::uint32_t(wire.size()));
        QCOMPARE(pty_->drain(), wire);
        QCOMPARE(sent, wire.empty() ? std::vector<std::string>{} : std::vector<std::string>{wire});
        QVERIFY(!sp.IsSending());
        sp.Close();
    }

    void sendDataCarriesEveryByte()
    {
        std::vector<std::string> sent;
        TSerialPort sp;
        sp.OnSend = [&](TSerialPort*, const std::string& b) { sent.push_back(b); };
        sp.setPort(spCOM30);
        sp.Open();
        std::string all;
        for (int i = 0; i < 256; ++i)
            all.push_back(static_cast<char>(i));
        QCOMPARE(sp.SendData(all.data(), 256), 256u);
        QCOMPARE(pty_->receive(256), all);
        QCOMPARE(sent, std::vector<std::string>{std::string()});

        try {
            sp.SendData(all.data(), 0);
            QFAIL("a send of no bytes must raise");
        } catch (const SerialError& e) {
            QCOMPARE(std::string(e.what()), std::string("COM30 is not open."));
        }
        QCOMPARE(sp.IsConnected(), spCOM30);
        sp.Close();
    }

    // Two threads each send their own string, longer than the terminal's buffer so that
    // every write is taken in parts: the wire carries each string whole, never two mixed.
    void concurrentStringsStayWhole()
    {
        TSerialPort sp;
        sp.setPort(spCOM30);
        sp.Open();
        constexpr int kRounds = 12;
        const std::string a = "<" + std::string(100000, 'a') + ">";
        const std::string b = "[" + std::string(100000, 'b') + "]";
        std::atomic<int> short_{0};
        const auto sender = [&](const std::string* s) {
            for (int i = 0; i < kRounds; ++i)
                if (sp.SendString(*s) != s->size())
                    ++short_;
        };
        std::thread first(sender, &a), second(sender, &b);
        const std::string wire = pty_->receive(2 * kRounds * a.size());
        first.join();
        second.join();
        sp.Close();
        QCOMPARE(short_.load(), 0);
        QCOMPARE(wire.size(), 2 * kRounds * a.size());
        int as = 0, bs = 0;
        for (std::size_t at = 0; at < wire.size();) {
            if (wire.compare(at, a.size(), a) == 0) {
                ++as;
                at += a.size();
            } else if (wire.compare(at, b.size(), b) == 0) {
                ++bs;
                at += b.size();
            } else {
                QFAIL(qPrintable(QStringLiteral("two strings mixed at byte %1").arg(at)));
            }
        }
        QCOMPARE(as, kRounds);
        QCOMPARE(bs, kRounds);
    }

    void failingOnSendBecomesNotOpen()
    {
        TSerialPort sp;
        sp.OnSend = [](TSerialPort*, const std::string&) { throw std::runtime_error("handler failed"); };
        sp.setPort(spCOM30);
        sp.Open();
        try {
            sp.SendString("q");
            QFAIL("the handler's exception must come out");
        } catch (const SerialError& e) {
            QCOMPARE(std::string(e.what()), std::string("COM30 is not open."));
        }
        QVERIFY(!sp.IsSending());
        QCOMPARE(pty_->receive(1), std::string("q"));  // the byte went all the same
        QCOMPARE(sp.IsConnected(), spCOM30);
        sp.Close();
    }

    void writeTimeoutGivesShortCount()
    {
        // Nobody reads the master side: the terminal's buffer fills and the
        // write must give up after its time-out with what was accepted.
        std::string sent;
        TSerialPort sp;
        sp.OnSend = [&](TSerialPort*, const std::string& b) { sent = b; };
        sp.setWriteTotalTimeoutConstant(300);
        sp.setWriteTotalTimeoutMultiplier(0);
        sp.setPort(spCOM30);
        sp.Open();
        std::string big(4 << 20, '\0');
        for (std::size_t i = 0; i < big.size(); ++i)
            big[i] = static_cast<char>('A' + i % 26);

        const auto start = std::chrono::steady_clock::now();
        const std::uint32_t written = sp.SendString(big);
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        QVERIFY(written > 0);
        QVERIFY(written < big.size());
        QVERIFY2(ms.count() < 10000, "the write did not give up");  // a hang, not a speed check
        QCOMPARE(sent.size(), std::size_t(written));
        QVERIFY(!sp.IsSending());

        const std::string arrived = pty_->receive(written);
        QCOMPARE(arrived.size(), std::size_t(written));
        QVERIFY(arrived == big.substr(0, written));
        sp.Close();
    }

    void xoffHoldsOutput()
    {
        TSerialPort sp;
        sp.setWriteTotalTimeoutConstant(100);
        sp.setWriteTotalTimeoutMultiplier(0);
        sp.setPort(spCOM30);
        sp.Open();
        QVERIFY(sp.SetXonXoff(false));  // as if XOFF had come
        QCOMPARE(sp.SendString("held"), 0u);
        QVERIFY(sp.SetXonXoff(true));
        QCOMPARE(sp.SendString("go"), 2u);
        QCOMPARE(pty_->receive(2), std::string("go"));
        QVERIFY(sp.ClearInputBuffer());
        QVERIFY(sp.ClearOutputBuffer());
        QVERIFY(!sp.GetCTS());  // a terminal has no modem lines
        QVERIFY(!sp.GetRING());
        sp.Close();
    }

    void deviceThatGoesAway()
    {
        // Reported once by the receive thread; the port stays open, writes
        // return 0, Close still works.
        Recorder r;
        TSerialPort sp;
        r.attach(sp);
        sp.setPort(spCOM30);
        sp.Open();
        pty_->hangUp();
        WAIT_VERIFY(r.events().size() == 2);
        QCOMPARE(sp.SendString("lost"), 0u);
        QCOMPARE(sp.IsConnected(), spCOM30);
        QVERIFY(!sp.GetCD());
        std::this_thread::sleep_for(std::chrono::milliseconds(200)); // a few more polls of the dead device
        sp.Close();
        QCOMPARE(sp.IsConnected(), spNone);
        QCOMPARE(r.events(), (Events{"connect 30", "lost 30", "disconnect 30"}));
        QCOMPARE(r.chunks(), std::vector<std::string>{});
    }

    // ---- receiving ----------------------------------------------------------

    void receivedBytesArriveInOrder()
    {
        Recorder r;
        TSerialPort sp;
        r.attach(sp);
        sp.setPort(spCOM30);
        sp.setDelay(0);  // polls without pausing
        sp.Open();
        std::string expected;
        for (int i = 0; i < 40; ++i) {
            const std::string part = S("\0", 1) + std::to_string(i) + S("\xff\0,", 3);
            expected += part;
            QVERIFY(pty_->send(part));
            if (i % 8 == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(15));
        }
        WAIT_COMPARE(r.received().size(), expected.size());
        QVERIFY(r.received() == expected);
        for (const auto& c : r.chunks())
            QVERIFY(!c.empty());
        for (const auto& id : r.receiveThreads())
            QVERIFY(id != mainThread_);
        sp.Close();
    }

    void oneCallPerPoll()
    {
        // The first call holds the thread; what arrives meanwhile comes whole
        // in the next call.
        Recorder r;
        Gate release;
        std::atomic<bool> entered{false};
        TSerialPort sp;
        sp.OnReceive = [&](TSerialPort*, const std::string& b) {
            r.addChunk(b);
            if (!entered.exchange(true))
                release.wait();
        };
        sp.setPort(spCOM30);
        sp.setDelay(100);
        sp.Open();
        QVERIFY(pty_->send("A"));
        WAIT_VERIFY(entered.load());
        QVERIFY(sp.IsReceiving());
        QVERIFY(pty_->send(S("BC\0DE", 5)));
        QVERIFY(pty_->send("FGH"));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        release.open();
        WAIT_COMPARE(r.chunks().size(), std::size_t(2));
        QCOMPARE(r.chunks(), (std::vector<std::string>{"A", S("BC\0DEFGH", 8)}));
        WAIT_VERIFY(!sp.IsReceiving());
        sp.Close();
    }

    void handlerAnswersThroughThePort()
    {
        TSerialPort sp;
        sp.OnReceive = [](TSerialPort* s, const std::string& b) {
            if (b.find('!') != std::string::npos)
                s->SendString("s");
        };
        sp.setPort(spCOM30);
        sp.Open();
        QVERIFY(pty_->send("!"));
        QCOMPARE(pty_->receive(1, 5000), std::string("s"));
        sp.Close();
    }

    void handlerExceptionIsSwallowed()
    {
        Recorder r;
        TSerialPort sp;
        sp.OnReceive = [&](TSerialPort*, const std::string& b) {
            r.addChunk(b);
            throw std::runtime_error("dispatcher failed");
        };
        sp.setPort(spCOM30);
        sp.Open();
        QVERIFY(pty_->send("1"));
        WAIT_COMPARE(r.received(), std::string("1"));
        QVERIFY(pty_->send("2"));
        WAIT_COMPARE(r.received(), std::string("12"));
        WAIT_VERIFY(!sp.IsReceiving());
        sp.Close();
        QCOMPARE(sp.IsConnected(), spNone);
    }

    void closeWhileHandlerRuns()
    {
        // Close serves the main thread while it waits; the pump lets the
        // running handler finish, then the thread ends without another poll.
        Recorder r;
        Gate release;
        std::atomic<bool> entered{false};
        std::atomic<int> pumped{0};
        TSerialPort sp;
        r.attach(sp);
        sp.OnReceive = [&](TSerialPort*, const std::string& b) {
            r.add("begin " + b);
            entered.store(true);
            release.wait();
            r.add("end " + b);
        };
        setMainThreadHooks({nullptr, [&] {
                                ++pumped;
                                release.open();
                            }});
        sp.setPort(spCOM30);
        sp.setDelay(20);
        sp.Open();
        QVERIFY(pty_->send("x"));
        WAIT_VERIFY(entered.load());
        QVERIFY(pty_->send("y"));  // must not be delivered: the thread is told to stop first
        sp.Close();
        QVERIFY(pumped.load() > 0);
        QCOMPARE(sp.IsConnected(), spNone);
        QVERIFY(!sp.IsReceiving());
        QCOMPARE(r.events(), (Events{"connect 30", "begin x", "end x", "disconnect 30"}));
    }

    void bytesAreReadWithoutHandler()
    {
        TSerialPort sp;
        sp.setPort(spCOM30);
        sp.Open();
        QVERIFY(pty_->send("lost"));
        // Several polls later the terminal's input queue, seen through the
        // test's own descriptor, is empty: the component took the bytes.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const auto queued = [&] {
            int n = 0;
            return ::ioctl(pty_->slaveFd(), FIONREAD, &n) == 0 ? n : -errno;
        };
        WAIT_COMPARE(queued(), 0);
        char buf[8];
        QVERIFY(::read(pty_->slaveFd(), buf, sizeof buf) <= 0);
        sp.Close();
    }

    void lateEndOfForgottenThread()
    {
        // Close gives up on a thread stuck in its handler; when that thread
        // finally ends it must leave the newer connection alone.
        PtyPair other;
        QVERIFY(other.ok());
        mapPort("COM31", other.slavePath());
        Recorder r;
        Gate release;
        std::atomic<bool> entered{false};
        TSerialPort sp;
        r.attach(sp);
        sp.OnReceive = [&](TSerialPort*, const std::string& b) {
            r.addChunk(b);
            if (!entered.exchange(true)) {
                r.add("begin");
                release.wait(60000);
                r.add("end");
            }
        };
        sp.setDelay(0);
        sp.setPort(spCOM30);
        sp.Open();
        QVERIFY(pty_->send("stuck"));
        WAIT_VERIFY(entered.load());
        sp.Close();  // gives up after its 500 pauses
        QCOMPARE(sp.IsConnected(), spNone);

        sp.setPort(spCOM(31));
        sp.Open();
        QCOMPARE(sp.IsConnected(), spCOM(31));
        release.open();

        // The old thread has ended once its device can be opened again.
        TSerialPort probe;
        probe.setPort(spCOM30);
        WAIT_VERIFY(
            [&] {
                try {
                    probe.Open();
                } catch (const SerialError&) {
                }
                return probe.IsConnected() == spCOM30;
            }());
        probe.Close();

        QCOMPARE(sp.IsConnected(), spCOM(31));
        QCOMPARE(r.events(), (Events{"connect 30", "begin", "connect 31", "end"}));
        QVERIFY(other.send("fresh"));
        WAIT_COMPARE(r.received(), std::string("stuckfresh"));
        QCOMPARE(sp.SendString("ok"), 2u);
        QCOMPARE(other.receive(2), std::string("ok"));
        sp.Close();
        QCOMPARE(r.events().back(), std::string("disconnect 31"));
    }

    void synchronisedHandlersRunOnMainThread()
    {
        std::atomic<int> viaSync{0};
        QObject* app = QCoreApplication::instance();
        // A queued call and a wait the thread sanitizer can follow (Qt's own
        // blocking connection waits inside the uninstrumented library).
        setMainThreadHooks({[&](const std::function<void()>& call) {
                                if (QThread::currentThread() == app->thread()) {
                                    call();
                                    return;
                                }
                                ++viaSync;
                                struct Done {
                                    std::mutex m;
                                    std::condition_variable cv;
                                    bool done = false;
                                };
                                auto done = std::make_shared<Done>();
                                QMetaObject::invokeMethod(app, [call, done] {
                                    call();
                                    std::lock_guard l(done->m);
                                    done->done = true;
                                    done->cv.notify_all();
                                }, Qt::QueuedConnection);
                                std::unique_lock l(done->m);
                                done->cv.wait(l, [&] { return done->done; });
                            },
                            [] { QCoreApplication::processEvents(); }});
        Recorder r;
        TSerialPort sp;
        r.attach(sp);
        sp.setNeedSynchronization(true);
        sp.setPort(spCOM30);
        sp.Open();
        QVERIFY(pty_->send(S("a\0b", 3)));
        QTRY_COMPARE_WITH_TIMEOUT(r.received(), S("a\0b", 3), 5000);
        QCOMPARE(r.receiveThreads().at(0), mainThread_);
        sp.Close();  // the disconnect needs the main thread that Close is waiting on
        QCOMPARE(r.events(), (Events{"connect 30", "disconnect 30"}));
        for (const auto& id : r.eventThreads())
            QCOMPARE(id, mainThread_);
        QVERIFY(viaSync.load() >= 2);
    }

    void destroyWhileOpen()
    {
        Recorder r;
        {
            TSerialPort sp;
            r.attach(sp);
            sp.setPort(spCOM30);
            sp.Open();
            QVERIFY(pty_->send("z"));
            WAIT_COMPARE(r.received(), std::string("z"));
        }
        QCOMPARE(r.events(), (Events{"connect 30", "disconnect 30"}));
        // The device has been released.
        TSerialPort again;
        again.setPort(spCOM30);
        again.Open();
        QCOMPARE(again.IsConnected(), spCOM30);
    }

    // ---- line settings ------------------------------------------------------

    void lineSettingsReachTheDevice_data()
    {
        QTest::addColumn<int>("change");
        QTest::addColumn<bool>("applied");  // else refused by a pseudo-terminal
        QTest::addColumn<unsigned>("cflag");
        QTest::addColumn<unsigned>("iflag");
        QTest::addColumn<int>("speed");
        QTest::newRow("9600 8N1") << 0 << true << unsigned(CS8) << 0u << 9600;
        QTest::newRow("8 bits 2 stops") << 1 << true << unsigned(CS8 | CSTOPB) << 0u << 9600;
        QTest::newRow("rts/cts") << 2 << true << unsigned(CS8 | CRTSCTS) << 0u << 9600;
        QTest::newRow("xon/xoff") << 3 << true << unsigned(CS8) << unsigned(IXON | IXOFF) << 9600;
        QTest::newRow("115200") << 4 << true << unsigned(CS8) << 0u << 115200;
        QTest::newRow("14400") << 5 << true << unsigned(CS8) << 0u << 14400;
        QTest::newRow("custom 31250") << 6 << true << unsigned(CS8) << 0u << 31250;
        // A pseudo-terminal always carries 8 bits without parity.
        QTest::newRow("odd") << 7 << false << 0u << 0u << 0;
        QTest::newRow("even") << 8 << false << 0u << 0u << 0;
        QTest::newRow("mark") << 9 << false << 0u << 0u << 0;
        QTest::newRow("space") << 10 << false << 0u << 0u << 0;
        QTest::newRow("7 bits") << 11 << false << 0u << 0u << 0;
    }
    void lineSettingsReachTheDevice()
    {
        QFETCH(int, change);
        QFETCH(bool, applied);
        QFETCH(unsigned, cflag);
        QFETCH(unsigned, iflag);
        QFETCH(int, speed);
        Recorder r;
        TSerialPort sp;
        r.attach(sp);
        sp.setBaudRate(br009600);
        sp.setPort(spCOM30);
        sp.Open();
        // Changed on the open line: applied at once.
        switch (change) {
        case 1: sp.setStopBits(sb2Bits); break;
        case 2: sp.setHwFlowControl(hfRTSCTS); break;
        case 3: sp.setSwFlowControl(sfXONXOFF); break;
        case 4: sp.setBaudRate(br115200); break;
        case 5: sp.setBaudRate(br014400); break;
        case 6: sp.setCustomBaudRate(31250); sp.setBaudRate(brCustom); break;
        case 7: sp.setParity(pbOdd); break;
        case 8: sp.setParity(pbEven); break;
        case 9: sp.setParity(pbMark); break;
        case 10: sp.setParity(pbSpace); break;
        case 11: sp.setDataWidth(dw7Bits); break;
        default: break;
        }
        if (!applied) {
            // Refused on the open line: closed, without an exception.
            QCOMPARE(sp.IsConnected(), spNone);
            QCOMPARE(r.events(), (Events{"connect 30", "disconnect 30"}));
            return;
        }
        QCOMPARE(sp.IsConnected(), spCOM30);
        const termios t = pty_->settings();
        const unsigned format = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
        QCOMPARE(unsigned(t.c_cflag) & format, cflag);
        QCOMPARE(unsigned(t.c_iflag) & unsigned(IXON | IXOFF), iflag);
        QVERIFY((t.c_lflag & (ICANON | ECHO | ISIG)) == 0);  // raw
        QVERIFY((t.c_oflag & OPOST) == 0);
        QCOMPARE(deviceSpeed(pty_->slaveFd()), speed);

        // Raw: every byte value passes unchanged.
        const std::string bytes = S("\r\n\x03\x7f\0\xff", 6);
        QCOMPARE(sp.SendData(bytes.data(), 6), 6u);
        QCOMPARE(pty_->receive(6), bytes);
        sp.Close();
    }

    void settingsBeforeOpenApplyAtOpen()
    {
        TSerialPort sp;
        sp.setBaudRate(br019200);
        sp.setStopBits(sb2Bits);
        sp.setSwFlowControl(sfXONXOFF);
        sp.setParity(pbEven);  // refused by the terminal: ignored while opening
        sp.setPort(spCOM30);
        sp.Open();
        QCOMPARE(sp.IsConnected(), spCOM30);
        const termios t = pty_->settings();
        QVERIFY((t.c_cflag & CSTOPB) != 0);
        QVERIFY((t.c_iflag & (IXON | IXOFF)) == (IXON | IXOFF));
        QCOMPARE(deviceSpeed(pty_->slaveFd()), 19200);
        QCOMPARE(sp.SendString("u"), 1u);
        QCOMPARE(pty_->receive(1), std::string("u"));
        sp.Close();
    }

    void refusedSettingClosesTheLine()
    {
        Recorder r;
        TSerialPort sp;
        r.attach(sp);
        // Refused during opening: ignored, the port is open.
        sp.setBaudRate(brCustom);  // CustomBaudRate 0: no speed at all
        sp.setPort(spCOM30);
        sp.Open();
        QCOMPARE(sp.IsConnected(), spCOM30);
        sp.setBaudRate(br009600);
        QCOMPARE(sp.IsConnected(), spCOM30);

        // Refused on the open line: the connection ends without an exception.
        sp.setBaudRate(brCustom);
        QCOMPARE(sp.IsConnected(), spNone);
        QCOMPARE(r.events(), (Events{"connect 30", "disconnect 30"}));
        QVERIFY_THROWS_EXCEPTION(SerialError, sp.SendString("x"));
    }

    // ---- faults found in review ----------------------------------------------

    void reentrantOpenDuringCloseLeavesOneThread()
    {
        // Open on COM31 closes COM30; a handler served by that Close's wait
        // opens COM31 itself. Only one connection may remain, and Close must
        // end it: before the mend the outer Open started a second thread over
        // the first one, which kept COM31 open for good.
        PtyPair other;
        QVERIFY(other.ok());
        mapPort("COM31", other.slavePath());
        TSerialPort sp;
        sp.setPort(spCOM30);
        sp.Open();
        sp.setPort(spCOM(31));
        int reentered = 0;
        setMainThreadHooks({{}, [&] {
                                if (reentered++ == 0)
                                    sp.Open();
                            }});
        sp.Open();
        setMainThreadHooks({});
        QVERIFY(reentered > 0);
        QCOMPARE(sp.IsConnected(), spCOM(31));
        QCOMPARE(sp.SendString("x"), 1u);
        QCOMPARE(other.receive(1), std::string("x"));
        sp.Close();
        QCOMPARE(sp.IsConnected(), spNone);
        QVERIFY(deviceIsFree(pty_->slavePath()));
        QVERIFY2(deviceIsFree(other.slavePath()), "a receive thread still holds COM31");
    }

    void closeAbortsAWriteUnderWay()
    {
        // Nobody reads the master: a long write blocks in the driver. Close
        // must end it rather than wait out its time-out (here 30 s).
        TSerialPort sp;
        sp.setWriteTotalTimeoutConstant(30000);
        sp.setWriteTotalTimeoutMultiplier(0);
        sp.setPort(spCOM30);
        sp.Open();
        std::atomic<std::uint32_t> written{~0u};
        std::thread writer([&] {
            try {
                written = sp.SendData(std::string(1 << 20, 'w').data(), 1 << 20);
            } catch (const SerialError&) {
                written = 0;
            }
        });
        WAIT_VERIFY(sp.IsSending());
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const auto start = std::chrono::steady_clock::now();
        sp.Close();
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        writer.join();
        QVERIFY2(ms.count() < 3000, "Close waited for the write");  // a hang, not a speed check: unmended ~5 s
        QVERIFY(written.load() < (1u << 20));
        QCOMPARE(sp.IsConnected(), spNone);
    }

    void priorityReturnsToNormal()
    {
        const auto before = threadIds();
        TSerialPort sp;
        sp.setPort(spCOM30);
        sp.Open();
        std::vector<pid_t> started;
        for (pid_t id : threadIds())
            if (std::find(before.begin(), before.end(), id) == before.end())
                started.push_back(id);
        QCOMPARE(started.size(), std::size_t(1));
        const pid_t tid = started.front();

        sp.setPriority(tpIdle);
        QCOMPARE(sp.Priority(), tpIdle);
        // The thread may take its level as it starts.
        WAIT_VERIFY(::sched_getscheduler(tid) != SCHED_OTHER || ::getpriority(PRIO_PROCESS, id_t(tid)) > 0);
        sp.setPriority(tpLower);
        sp.setPriority(tpNormal);
        QCOMPARE(sp.Priority(), tpNormal);
        QCOMPARE(::sched_getscheduler(tid), SCHED_OTHER);
        QCOMPARE(::getpriority(PRIO_PROCESS, id_t(tid)), 0);

        // Above normal needs privileges: granted, or refused aloud with the property unchanged.
        try {
            sp.setPriority(tpHighest);
            QCOMPARE(sp.Priority(), tpHighest);
            QCOMPARE(::getpriority(PRIO_PROCESS, id_t(tid)), -10);
        } catch (const SerialError& e) {
            QVERIFY(std::string(e.what()).rfind("Cannot set the priority of COM30 . ", 0) == 0);
            QCOMPARE(sp.Priority(), tpNormal);
        }
        sp.Close();
    }

    void lineFlagsAreSetNotInherited()
    {
        // Left over from an earlier user of the terminal: no hang-up on close,
        // breaks read as zero bytes.
        termios t = pty_->settings();
        t.c_cflag &= ~tcflag_t(HUPCL);
        t.c_iflag &= ~tcflag_t(IGNBRK);
        t.c_iflag |= BRKINT;
        QCOMPARE(::tcsetattr(pty_->slaveFd(), TCSANOW, &t), 0);
        TSerialPort sp;
        sp.setBaudRate(br009600);
        sp.setPort(spCOM30);
        sp.Open();
        const termios now = pty_->settings();
        QVERIFY2(now.c_cflag & HUPCL, "DTR must drop when the port is released");
        QVERIFY2(now.c_iflag & IGNBRK, "a break must not arrive as a zero byte");
        QVERIFY(!(now.c_iflag & (BRKINT | PARMRK)));
        sp.Close();
    }

    void settingsWrittenWhileTheThreadCloses()
    {
        // A handler that Close's wait serves writes a line setting while the
        // receive thread releases the device: applied under the device lock or
        // not at all, never on a released descriptor (the sanitizer build sees it).
        TSerialPort sp;
        sp.setPort(spCOM30);
        sp.Open();
        int served = 0;
        setMainThreadHooks({{}, [&] {
                                ++served;
                                sp.setBaudRate(served % 2 ? br019200 : br009600);
                                sp.setInputBuffer(4096 + static_cast<std::uint32_t>(served));
                            }});
        sp.Close();
        setMainThreadHooks({});
        QVERIFY(served > 0);
        QCOMPARE(sp.IsConnected(), spNone);
        QVERIFY(deviceIsFree(pty_->slavePath()));
    }
};

QTEST_GUILESS_MAIN(TestSerialLine)
#include "tst_serialport_line.moc"

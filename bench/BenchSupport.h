// What every benchmark shares: the window offscreen with answering dialogs,
// the simulator, waits that keep the event loop running, a stall probe and
// the one-line figures.
#pragma once

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMutex>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "MainWindow.h"
#include "QtHooks.h"
#include "SimProcess.h"
#include "TestSeams.h"
#include "printer/Messages.h"

namespace bench {

// 8N1: a start bit, eight data bits, a stop bit.
inline double lineSeconds(double bytes, double bitsPerSecond = 9600.0) { return bytes * 10.0 / bitsPerSecond; }

inline QElapsedTimer& monotonic()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer c;
        c.start();
        return c;
    }();
    return clock;
}
inline double nowMs() { return double(monotonic().nsecsElapsed()) / 1e6; }

inline QString msg(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// Before QApplication: the window is drawn offscreen unless told otherwise.
inline void prepareProcess()
{
    monotonic();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
}

// One figure a line: "name: value unit (limit)".
inline void figure(const char* name, double value, const char* unit, const char* limit = nullptr, int decimals = 3)
{
    if (limit && *limit)
        std::printf("%s: %.*f %s (%s)\n", name, decimals, value, unit, limit);
    else
        std::printf("%s: %.*f %s\n", name, decimals, value, unit);
}

[[noreturn]] inline void fail(const char* bench, const QString& why)
{
    std::fprintf(stderr, "%s: %s\n", bench, qPrintable(why));
    std::exit(1);
}

// Operator messages with the moment each was shown.
class BenchSeams : public TestSeams {
public:
    void message(QWidget* parent, const QString& text) override
    {
        {
            QMutexLocker lock(&timesMutex_);
            shown_.push_back({text, nowMs()});
        }
        ++open_;
        TestSeams::message(parent, text);
        --open_;
    }
    // A message box is open (held for holdMs); the UI thread runs its loop meanwhile.
    bool boxOpen() const { return open_ > 0; }
    int count(const QString& text) const
    {
        QMutexLocker lock(&timesMutex_);
        return int(std::count_if(shown_.begin(), shown_.end(), [&](const Shown& s) { return s.text == text; }));
    }
    // When text was shown for the n-th time (1-based); negative when not yet.
    double timeOf(const QString& text, int n = 1) const
    {
        QMutexLocker lock(&timesMutex_);
        for (const Shown& s : shown_)
            if (s.text == text && --n == 0)
                return s.ms;
        return -1.0;
    }

private:
    struct Shown {
        QString text;
        double ms;
    };
    mutable QMutex timesMutex_;
    std::vector<Shown> shown_;
    int open_ = 0; // UI thread only
};

// Runs the event loop (without QTest's 10 ms sleeps, which the stall probe
// would count) until done() holds or the time is up.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs, int checkMs = 2)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    check.setInterval(checkMs);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    check.start();
    deadline.start(timeoutMs);
    loop.exec();
    return done();
}
inline void spin(int ms)
{
    waitUntil([] { return false; }, ms, ms);
}

// The longest gap between two ticks of a 1 ms UI timer: how long the UI
// thread's event loop was kept from running.
class StallProbe : public QObject {
public:
    StallProbe()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
    }
    void start()
    {
        worst_ = 0;
        since_.start();
        last_ = 0;
        timer_.start();
    }
    // The longest gap in ms since start.
    double stop()
    {
        tick();
        timer_.stop();
        return double(worst_) / 1e6;
    }

private:
    void tick()
    {
        const qint64 now = since_.nsecsElapsed();
        worst_ = std::max(worst_, now - last_);
        last_ = now;
    }
    QTimer timer_;
    QElapsedTimer since_;
    qint64 last_ = 0;
    qint64 worst_ = 0;
};

// A private working place, the simulator on COM30 and the window.
class Bench {
public:
    explicit Bench(const char* name) : name_(name) {}
    ~Bench()
    {
        form.reset();
        sim.reset();
    }

    void startSim(const QStringList& extra = {})
    {
        form.reset(); // a window left on a dead terminal is no use to the next run
        sim.reset(new SimProcess);
        const QString log = env.cwd() + QStringLiteral("/../sim-%1.jsonl").arg(++simRuns_);
        if (!sim->start(env.portMap(), log, extra))
            fail(name_, QStringLiteral("the simulator did not start (") + QStringLiteral(PRINTER_SIM_PATH) + QLatin1Char(')'));
    }
    void openWindow()
    {
        form.reset(new TForm1(&seams));
        form->show();
        form->findChild<QComboBox*>(QStringLiteral("comboportselect"))->setCurrentIndex(29); // COM30
        if (!waitUntil([&] { return form->windowHandle() && form->windowHandle()->isExposed(); }, 5000))
            fail(name_, QStringLiteral("the window was never exposed"));
    }
    void click(const char* button)
    {
        auto* b = form->findChild<QToolButton*>(QString::fromLatin1(button));
        if (!b)
            fail(name_, QStringLiteral("no button ") + QString::fromLatin1(button));
        b->click();
    }
    // Waits for the n-th showing of a message.
    void expect(std::string_view message, int n, int timeoutMs)
    {
        const QString text = msg(message);
        if (!waitUntil([&] { return seams.count(text) >= n; }, timeoutMs))
            fail(name_, QStringLiteral("no message \"%1\" (%2) within %3 ms; errors: %4; messages: %5")
                            .arg(text).arg(n).arg(timeoutMs).arg(seams.allErrors().join(QStringLiteral(" | ")),
                                 seams.allMessages().join(QStringLiteral(" | "))));
    }
    // Connects with Image13 and lets the settings report arrive.
    void connectPrinter()
    {
        const int before = seams.count(msg(korvel::printer::kMsgConnected));
        click("Image13");
        expect(korvel::printer::kMsgConnected, before + 1, 5000);
        spin(300);
    }

    TestEnvironment env;
    BenchSeams seams;
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<TForm1> form;

private:
    const char* name_;
    int simRuns_ = 0;
};

inline double median(std::vector<double> v)
{
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}
// Nearest-rank percentile, p in (0, 100].
inline double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    const std::size_t rank = std::size_t(std::ceil(p / 100.0 * double(v.size())));
    return v[std::clamp<std::size_t>(rank, 1, v.size()) - 1];
}

// Resident memory of this process in KiB, from /proc/self/status.
inline long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

} // namespace bench

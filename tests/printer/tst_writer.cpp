// The line writer over a recording send function: whole jobs in order,
// pauses before their writes, failures ending a job, shutdown with work left.
#include "printer/Writer.h"

#include <QTest>

#include <atomic>
#include <future>
#include <stdexcept>
#include <thread>

using namespace korvel::printer;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

struct Write {
    std::string bytes;
    Clock::time_point at;
};

// Stands in for SendString: records every write; "!throw" throws, "!short" writes one byte less.
class Recorder {
public:
    SendFn fn()
    {
        return [this](const std::string& bytes) -> std::uint32_t {
            if (bytes == "!throw")
                throw std::runtime_error("COM30 is not open.");
            std::lock_guard lock(mutex_);
            writes_.push_back({bytes, Clock::now()});
            return static_cast<std::uint32_t>(bytes == "!short" ? bytes.size() - 1 : bytes.size());
        };
    }
    std::vector<Write> writes() const
    {
        std::lock_guard lock(mutex_);
        return writes_;
    }
    QStringList bytes() const
    {
        QStringList out;
        for (const Write& w : writes())
            out << QString::fromStdString(w.bytes);
        return out;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Write> writes_;
};

Job makeJob(const std::string& name, std::vector<std::string> writes, std::chrono::microseconds pause = 0us)
{
    Job job;
    job.name = name;
    for (std::string& w : writes)
        job.steps.push_back(Step{std::move(w), pause});
    return job;
}

// A tiny pause gives the other thread a chance to slip its bytes in, were it allowed to.
std::chrono::microseconds s_pause() { return 50us; }

} // namespace

class TestWriter : public QObject {
    Q_OBJECT
private slots:
    void jobsFromTwoThreadsNeverInterleave();
    void pausesComeBeforeTheirWrite();
    void keepsToTheWire();
    void pauseIsSilenceOnTheWire();
    void jobsAreKeptApartBySilence();
    void failingWriteEndsItsJob_data();
    void failingWriteEndsItsJob();
    void runWaitsAndReportsProgress();
    void runInsideACallbackDoesNotDeadlock();
    void cancelPendingDropsOnlyWaitingJobs();
    void destructionCutsPauseAndCancelsPending();
    void shutdownStopsAnUploadBetweenWrites();
};

void TestWriter::jobsFromTwoThreadsNeverInterleave()
{
    Recorder rec;
    std::atomic<int> done{0};
    {
        LineWriter writer(rec.fn());
        auto producer = [&](char id) {
            for (int j = 0; j < 20; ++j) {
                std::vector<std::string> writes;
                for (int s = 0; s < 10; ++s)
                    writes.push_back(std::string{id} + std::to_string(j) + ":" + std::to_string(s));
                writer.submit(makeJob(std::string{id}, writes, s_pause()), [&](const JobResult& r) {
                    if (r.ok)
                        ++done;
                });
            }
        };
        std::thread a(producer, 'A');
        std::thread b(producer, 'B');
        a.join();
        b.join();
        QTRY_COMPARE_WITH_TIMEOUT(done.load(), 40, 30000);
    }
    // Each job's ten writes are consecutive and in order; each thread's jobs keep their order.
    const QStringList got = rec.bytes();
    QCOMPARE(got.size(), 400);
    int nextJob[2] = {0, 0};
    for (int i = 0; i < got.size(); i += 10) {
        const QString head = got[i].section(':', 0, 0);
        const int who = head.startsWith('A') ? 0 : 1;
        QCOMPARE(head.mid(1).toInt(), nextJob[who]++);
        for (int s = 0; s < 10; ++s)
            QCOMPARE(got[i + s], head + ":" + QString::number(s));
    }
}

void TestWriter::pausesComeBeforeTheirWrite()
{
    Recorder rec;
    LineWriter writer(rec.fn());
    Job job;
    job.name = "set date";
    job.steps = {{"d", 0us}, {"25", 30000us}, {"03", 0us}, {"07", 30000us}};
    QVERIFY(writer.run(job).ok);
    const auto w = rec.writes();
    QCOMPARE(rec.bytes(), (QStringList{"d", "25", "03", "07"}));
    QVERIFY(w[1].at - w[0].at >= 30ms);
    QVERIFY(w[3].at - w[2].at >= 30ms);
}

// At 9600 bit/s a byte takes 1.0417 ms on the wire (8N1, ten bits). The writer may
// run a few bytes ahead of it, never more, and a job ends when its last byte has crossed.
void TestWriter::keepsToTheWire()
{
    Recorder rec;
    LineWriter writer(LineIo{rec.fn(), {}, [] { return 9600; }});
    std::vector<std::string> values(100, "255");
    const auto start = Clock::now();
    QVERIFY(writer.run(makeJob("image upload", values)).ok);
    const auto took = Clock::now() - start;
    QVERIFY2(took >= 312ms, qPrintable(QString::number(std::chrono::duration<double, std::milli>(took).count())));
    const auto w = rec.writes();
    constexpr auto byte = std::chrono::nanoseconds(1041667);
    for (std::size_t i = 0; i < w.size(); ++i) {
        // Bytes written before this one, less what may be ahead, must have had time to cross.
        const auto crossed = byte * std::int64_t(3 * i > kBytesAhead + 3 ? 3 * i - kBytesAhead - 3 : 0);
        QVERIFY2(w[i].at - w.front().at >= crossed, qPrintable(QString("write %1 ahead of the wire").arg(i)));
    }
}

// A pause counts from when the bytes before it have left, not from when the driver took them.
void TestWriter::pauseIsSilenceOnTheWire()
{
    Recorder rec;
    std::atomic<int> drains{0};
    LineWriter writer(LineIo{rec.fn(), [&] { ++drains; return false; }, [] { return 9600; }});
    Job job;
    job.name = "set date";
    job.steps = {{std::string(96, '7'), 0us}, {"25", 50000us}}; // 96 bytes: 100 ms on the wire
    QVERIFY(writer.run(job).ok);
    const auto w = rec.writes();
    QVERIFY2(w[1].at - w[0].at >= 148ms,
             qPrintable(QString::number(std::chrono::duration<double, std::milli>(w[1].at - w[0].at).count())));
    QVERIFY(drains >= 1);
}

void TestWriter::jobsAreKeptApartBySilence()
{
    // A layout's digits end by silence: the "u" queued behind must not run on into them.
    Recorder rec;
    LineWriter writer(rec.fn(), 400ms);
    writer.submit(makeJob("production date layout", {"J", "023251251251251251251"}));
    QVERIFY(writer.run(makeJob("request settings", {"u"})).ok);
    QVERIFY(writer.run(makeJob("ink amount", {"q", "\x05"})).ok);
    const auto w = rec.writes();
    QCOMPARE(rec.bytes(), (QStringList{"J", "023251251251251251251", "u", "q", "\x05"}));
    QVERIFY(w[2].at - w[1].at >= 400ms);
    // A lone letter ends itself: what follows it need not wait (the "u" after "!"),
    // which a wide gap makes plain even on a busy machine.
    QVERIFY(w[3].at - w[2].at < 400ms);
    QVERIFY(writer.run(makeJob("connect", {"!"})).ok);
    QVERIFY(writer.run(makeJob("request settings", {"u"})).ok);
    const auto after = rec.writes();
    QVERIFY(after[5].at - after[4].at >= 400ms); // after the value byte of "q"
    QVERIFY(after[6].at - after[5].at < 400ms);
}

void TestWriter::failingWriteEndsItsJob_data()
{
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QString>("errorHas");
    QTest::newRow("exception") << "!throw" << "COM30 is not open.";
    QTest::newRow("short write") << "!short" << "\"set time\" did not reach the printer";
}

void TestWriter::failingWriteEndsItsJob()
{
    QFETCH(QString, failing);
    QFETCH(QString, errorHas);
    Recorder rec;
    LineWriter writer(rec.fn());
    const JobResult r = writer.run(makeJob("set time", {"t", failing.toStdString(), "05", "03"}));
    QVERIFY(!r.ok);
    QVERIFY(!r.cancelled);
    QCOMPARE(r.jobName, std::string("set time"));
    QCOMPARE(r.stepsDone, std::size_t{1});
    QVERIFY2(QString::fromStdString(r.error).contains(errorHas), r.error.c_str());
    // The rest of the job is dropped; the next job still gets the line.
    QVERIFY(writer.run(makeJob("connect", {"!"})).ok);
    QStringList want{"t"};
    if (failing == "!short")
        want << failing;
    want << "!";
    QCOMPARE(rec.bytes(), want);
}

void TestWriter::runWaitsAndReportsProgress()
{
    Recorder rec;
    LineWriter writer(rec.fn());
    std::vector<std::pair<std::size_t, std::size_t>> progress;
    const JobResult r = writer.run(makeJob("image upload", {"240", "255", "128"}),
                                   [&](std::size_t done, std::size_t total) { progress.emplace_back(done, total); });
    QVERIFY(r.ok);
    QCOMPARE(r.stepsDone, std::size_t{3});
    QCOMPARE(rec.bytes(), (QStringList{"240", "255", "128"}));
    QCOMPARE(progress, (std::vector<std::pair<std::size_t, std::size_t>>{{1, 3}, {2, 3}, {3, 3}}));
    QVERIFY(!writer.busy());
}

void TestWriter::runInsideACallbackDoesNotDeadlock()
{
    // The dispatcher's "u" may be written from a callback of the writer's own thread.
    Recorder rec;
    LineWriter writer(rec.fn());
    std::promise<bool> inner;
    writer.submit(makeJob("connect", {"!"}), [&](const JobResult&) {
        inner.set_value(writer.run(makeJob("request settings", {"u"})).ok);
    });
    auto f = inner.get_future();
    QVERIFY(f.wait_for(10s) == std::future_status::ready);
    QVERIFY(f.get());
    QCOMPARE(rec.bytes(), (QStringList{"!", "u"}));
}

void TestWriter::cancelPendingDropsOnlyWaitingJobs()
{
    Recorder rec;
    LineWriter writer(rec.fn());
    std::promise<void> release;
    std::shared_future<void> gate = release.get_future().share();
    std::atomic<bool> started{false};
    // The first job holds the worker (in its progress callback) until released.
    writer.submit(makeJob("first", {"1"}), {}, [&](std::size_t, std::size_t) {
        started = true;
        gate.wait();
    });
    std::vector<JobResult> dropped;
    std::mutex m;
    for (const char* name : {"second", "third"})
        writer.submit(makeJob(name, {name}), [&](const JobResult& r) {
            std::lock_guard lock(m);
            dropped.push_back(r);
        });
    QTRY_VERIFY(started.load());
    QVERIFY(writer.busy());
    writer.cancelPending();
    release.set_value();
    QTRY_VERIFY(!writer.busy());
    QCOMPARE(rec.bytes(), QStringList{"1"});
    std::lock_guard lock(m);
    QCOMPARE(dropped.size(), std::size_t{2});
    for (const JobResult& r : dropped) {
        QVERIFY(r.cancelled);
        QVERIFY(!r.ok);
    }
}

void TestWriter::destructionCutsPauseAndCancelsPending()
{
    Recorder rec;
    std::vector<JobResult> results;
    std::mutex m;
    auto keep = [&](const JobResult& r) {
        std::lock_guard lock(m);
        results.push_back(r);
    };
    {
        LineWriter writer(rec.fn());
        // Ten minutes of pause: only an interrupted wait lets this test end.
        Job slow;
        slow.name = "slow";
        slow.steps = {{"a", 0us}, {"b", std::chrono::duration_cast<std::chrono::microseconds>(10min)}};
        writer.submit(slow, keep);
        writer.submit(makeJob("pending", {"never"}), keep);
        QTRY_COMPARE(rec.bytes(), QStringList{"a"});
    }
    QCOMPARE(rec.bytes(), QStringList{"a"});
    std::lock_guard lock(m);
    QCOMPARE(results.size(), std::size_t{2});
    QCOMPARE(results[0].jobName, std::string("slow"));
    QVERIFY(results[0].cancelled);
    QCOMPARE(results[0].stepsDone, std::size_t{1});
    QCOMPARE(results[1].jobName, std::string("pending"));
    QVERIFY(results[1].cancelled);
}

void TestWriter::shutdownStopsAnUploadBetweenWrites()
{
    // A slow line: each write takes a millisecond, as at 9600 bit/s.
    std::atomic<int> sent{0};
    LineWriter writer([&](const std::string& bytes) -> std::uint32_t {
        std::this_thread::sleep_for(1ms);
        ++sent;
        return std::uint32_t(bytes.size());
    });
    std::vector<std::string> values(5281, "255");
    std::promise<JobResult> done;
    writer.submit(makeJob("image upload", values), [&](const JobResult& r) { done.set_value(r); });
    QTRY_VERIFY(sent > 10);
    writer.shutdown();
    const JobResult r = done.get_future().get();
    QVERIFY(r.cancelled);
    QVERIFY(!r.ok);
    QVERIFY(r.stepsDone < values.size());
    // Once shut down, later jobs never reach the line.
    QVERIFY(writer.run(makeJob("late", {"x"})).cancelled);
}

QTEST_GUILESS_MAIN(TestWriter)
#include "tst_writer.moc"

#include "Writer.h"

#include <algorithm>
#include <exception>
#include <future>

namespace korvel::printer {

LineWriter::LineWriter(SendFn send, std::chrono::microseconds jobGap)
    : send_(std::move(send)), jobGap_(jobGap), worker_([this] { work(); })
{
}

LineWriter::~LineWriter()
{
    shutdown();
    worker_.join();
}

void LineWriter::shutdown()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        stopRequested_ = true;
    }
    wake_.notify_all();
    pause_.notify_all(); // the worker reports what is left as cancelled, in order
}

void LineWriter::submit(Job job, DoneFn done, ProgressFn progress)
{
    {
        std::lock_guard lock(mutex_);
        if (!stopping_) {
            queue_.push_back(Entry{std::move(job), std::move(done), std::move(progress)});
            wake_.notify_one();
            return;
        }
    }
    if (done)
        done(cancelledResult(job));
}

JobResult LineWriter::run(Job job, ProgressFn progress)
{
    if (std::this_thread::get_id() == worker_.get_id())
        return execute(job, progress);
    auto promise = std::make_shared<std::promise<JobResult>>();
    auto result = promise->get_future();
    submit(std::move(job), [promise](const JobResult& r) { promise->set_value(r); }, std::move(progress));
    return result.get();
}

bool LineWriter::busy() const
{
    std::lock_guard lock(mutex_);
    return running_ || !queue_.empty();
}

void LineWriter::cancelPending()
{
    std::deque<Entry> dropped;
    {
        std::lock_guard lock(mutex_);
        dropped.swap(queue_);
    }
    for (Entry& e : dropped)
        if (e.done)
            e.done(cancelledResult(e.job));
}

JobResult LineWriter::cancelledResult(const Job& job)
{
    JobResult r;
    r.cancelled = true;
    r.jobName = job.name;
    r.error = "\"" + job.name + "\" was cancelled before it reached the printer";
    return r;
}

void LineWriter::work()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty())
            return; // stopping, nothing left
        Entry entry = std::move(queue_.front());
        queue_.pop_front();
        running_ = true;
        const bool stop = stopping_;
        lock.unlock();
        const JobResult result = stop ? cancelledResult(entry.job) : execute(entry.job, entry.progress);
        lock.lock();
        // Not busy any more by the time the caller hears of the end.
        running_ = false;
        if (entry.done) {
            lock.unlock();
            entry.done(result);
            lock.lock();
        }
    }
}

JobResult LineWriter::execute(const Job& job, const ProgressFn& progress)
{
    JobResult result;
    result.jobName = job.name;
    const std::size_t total = job.steps.size();
    bool first = true;
    for (const Step& step : job.steps) {
        if (stopRequested_) { // an upload has thousands of writes: do not finish it for nobody
            JobResult r = cancelledResult(job);
            r.stepsDone = result.stepsDone;
            return r;
        }
        auto pause = std::chrono::duration_cast<std::chrono::steady_clock::duration>(step.pauseBefore);
        if (first && lastWasParameter_) {
            const auto quiet = std::chrono::steady_clock::now() - lastWrite_;
            pause = std::max(pause, std::chrono::duration_cast<std::chrono::steady_clock::duration>(jobGap_) - quiet);
        }
        first = false;
        if (pause.count() > 0) {
            std::unique_lock lock(mutex_);
            if (pause_.wait_for(lock, pause, [this] { return stopping_; })) {
                JobResult r = cancelledResult(job);
                r.stepsDone = result.stepsDone;
                return r;
            }
        }
        std::uint32_t written = 0;
        try {
            written = send_(step.bytes);
            lastWrite_ = std::chrono::steady_clock::now();
            lastWasParameter_ = result.stepsDone > 0;
        } catch (const std::exception& e) {
            result.error = e.what();
            return result;
        } catch (...) {
            result.error = "\"" + job.name + "\" failed with an unknown error";
            return result;
        }
        if (written < step.bytes.size()) {
            result.error = "\"" + job.name + "\" did not reach the printer: " + std::to_string(written) +
                           " of " + std::to_string(step.bytes.size()) + " bytes of write " +
                           std::to_string(result.stepsDone + 1) + " of " + std::to_string(total) +
                           " were written";
            return result;
        }
        ++result.stepsDone;
        if (progress)
            progress(result.stepsDone, total);
    }
    result.ok = true;
    return result;
}

} // namespace korvel::printer

// From a command's write to its reply's effect on the UI thread: how long a reply
// waits for the receive thread's poll, the dispatcher, the conversation and the
// UI thread. First on an idle line, then while a message box is held open and
// pictures cross the wire.
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>

#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "BenchSupport.h"
#include "serial/SerialPort.h"

using namespace bench;
using namespace korvel::printer;

namespace {
constexpr const char* kName = "bench_reply_latency";
constexpr const char* kGoal = "goal <= 55 ms: the 50 ms poll + 5";
constexpr int kIdleCommands = 200;
constexpr int kBusyRounds = 20;
constexpr int kRoundMs = 700;   // a picture crosses 921,600 bit/s in 0.17 s
constexpr int kHoldMs = 1500;   // each box stays open this long

struct Write {
    double ms;
    std::string bytes;
};
struct Shown {
    double ms;
    std::string text;
    bool boxOpen;
};

// The port's writes (the conversation's writer thread) and the hidden log's
// lines (the UI thread: the first place a reply shows), each with its time.
class Trace {
public:
    void attach(TForm1& form, const BenchSeams& seams)
    {
        form.SerialPort1->OnSend = [this](korvel::serial::TSerialPort*, const std::string& bytes) {
            const double t = nowMs();
            std::lock_guard lock(mutex_);
            writes_.push_back({t, bytes});
        };
        QPlainTextEdit* log = form.Memo2;
        QObject::connect(log, &QPlainTextEdit::textChanged, log, [this, log, &seams] {
            const int blocks = log->blockCount();
            const QString text = log->document()->lastBlock().text();
            if (blocks == blocks_ && text == lastText_)
                return;
            blocks_ = blocks;
            lastText_ = text;
            shown_.push_back({nowMs(), text.toStdString(), seams.boxOpen()});
        });
    }
    std::vector<Write> writes() const
    {
        std::lock_guard lock(mutex_);
        return writes_;
    }
    const std::vector<Shown>& shown() const { return shown_; }
    int shownCount(const std::string& text) const
    {
        return int(std::count_if(shown_.begin(), shown_.end(), [&](const Shown& s) { return s.text == text; }));
    }

private:
    mutable std::mutex mutex_;
    std::vector<Write> writes_;
    std::vector<Shown> shown_;
    int blocks_ = 0;
    QString lastText_;
};

bool threeDigits(const std::string& s)
{
    return s.size() == 3 && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The write a reply answers: "H" and "h" their letters, "(" the "P", "pload"
// the picture's last value.
bool answers(const std::string& reply, const std::string& write)
{
    if (reply == "H" || reply == "h")
        return write == reply;
    if (reply == "(")
        return write == "P";
    if (reply == "pload")
        return threeDigits(write);
    return false;
}

// Each measured reply against the latest write before it that it answers; a
// write answered twice means the pairing is lost, and the run is broken.
std::vector<double> latencies(const Trace& trace, std::size_t fromShown, bool boxOpen)
{
    const std::vector<Write> writes = trace.writes();
    std::set<std::size_t> used;
    std::vector<double> out;
    const std::vector<Shown>& shown = trace.shown();
    for (std::size_t i = fromShown; i < shown.size(); ++i) {
        const Shown& s = shown[i];
        const bool measured = s.text == "H" || s.text == "h" || s.text == "(" || s.text == "pload";
        if (s.boxOpen != boxOpen || !measured)
            continue;
        std::optional<std::size_t> asked;
        for (std::size_t w = 0; w < writes.size() && writes[w].ms <= s.ms; ++w)
            if (answers(s.text, writes[w].bytes))
                asked = w;
        if (!asked || !used.insert(*asked).second)
            fail(kName, QStringLiteral("the reply \"%1\" shown at %2 ms answers no write of its own")
                            .arg(QString::fromStdString(s.text)).arg(s.ms));
        out.push_back(s.ms - writes[*asked].ms);
    }
    return out;
}

void report(const char* prefix, const std::vector<double>& v)
{
    const std::string p(prefix);
    figure((p + "_median").c_str(), median(v), "ms", kGoal, 1);
    figure((p + "_p99").c_str(), percentile(v, 99), "ms", kGoal, 1);
    figure((p + "_max").c_str(), v.empty() ? 0.0 : *std::max_element(v.begin(), v.end()), "ms", nullptr, 1);
    figure((p + "_replies").c_str(), double(v.size()), "replies", nullptr, 0);
}
} // namespace

int main(int argc, char** argv)
{
    prepareProcess();
    QApplication app(argc, argv);
    installSerialHooks();

    Bench b(kName);
    b.startSim();
    b.openWindow();
    // The writer keeps to the port's speed: at 921,600 bit/s a picture crosses in 0.17 s.
    b.form->SerialPort1->setBaudRate(korvel::serial::br921600);
    Trace trace;
    trace.attach(*b.form, b.seams);
    b.connectPrinter();

    // Idle: the print direction, one letter each way, pressed anywhere in the receive
    // thread's 50 ms poll.
    const std::size_t idleFrom = trace.shown().size();
    for (int i = 0; i < kIdleCommands; ++i) {
        spin(3 + (i * 17) % 50);
        const bool left = i % 2;
        const std::string_view answer = left ? kMsgLeftToRight : kMsgRightToLeft;
        const int before = b.seams.count(msg(answer));
        b.click(left ? "Image11" : "Image10");
        b.expect(answer, before + 1, 5000);
    }
    const std::vector<double> idle = latencies(trace, idleFrom, false);
    if (int(idle.size()) != kIdleCommands)
        fail(kName, QStringLiteral("%1 idle replies measured, not %2").arg(idle.size()).arg(kIdleCommands));
    report("reply_latency", idle);

    // A box open all along: each round presses a picture and a direction letter queued
    // behind it; the printer's "(", "pload" and the letter's reply come while a box
    // (the last round's) is open. The presses run from a timer, which the box's own
    // event loop serves as the operator's clicks would be.
    spin(300);
    b.seams.holdMs = kHoldMs;
    const std::size_t busyFrom = trace.shown().size();
    const int letters = trace.shownCount("H") + trace.shownCount("h");
    int pressed = 0;
    QTimer rounds;
    rounds.setInterval(kRoundMs);
    QObject::connect(&rounds, &QTimer::timeout, [&] {
        if (pressed == kBusyRounds) {
            // The last reply is in: the boxes still queued close at once.
            if (trace.shownCount("H") + trace.shownCount("h") >= letters + kBusyRounds) {
                b.seams.holdMs = 0;
                rounds.stop();
            }
            return;
        }
        b.click("SpeedButton26");
        b.click(pressed % 2 ? "Image11" : "Image10");
        ++pressed;
    });
    rounds.start();
    const int pictures = b.seams.count(msg(kMsgImageReady));
    if (!waitUntil([&] { return !rounds.isActive() && b.seams.count(msg(kMsgImageReady)) >= pictures + kBusyRounds; },
                   180000, 5))
        fail(kName, QStringLiteral("the rounds with a box open did not end: %1 pressed, %2 pictures ready")
                        .arg(pressed).arg(b.seams.count(msg(kMsgImageReady)) - pictures));
    const std::vector<double> busy = latencies(trace, busyFrom, true);
    // Most rounds' three replies come with a box open; the first "(" comes before any.
    if (int(busy.size()) < 2 * kBusyRounds)
        fail(kName, QStringLiteral("only %1 replies measured with a box open").arg(busy.size()));
    report("reply_latency_box_open_uploading", busy);

    if (!b.seams.allErrors().isEmpty())
        fail(kName, b.seams.allErrors().join(QStringLiteral(" | ")));
    return 0;
}

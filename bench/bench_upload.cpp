// The picture upload against the line's limit. "240" and 5,280 three-digit
// values are 15,843 bytes: 16.5 s at 9600 bit/s 8N1, from the press to "pload";
// a command pressed mid-upload after it; the writer's own cost per write.
#include <QLineEdit>

#include "BenchSupport.h"
#include "printer/Writer.h"

using namespace bench;
using namespace korvel::printer;

namespace {
constexpr const char* kName = "bench_upload";
constexpr int kStreamBytes = 3 + 240 * 22 * 3;
constexpr int kWrites = 1 + 240 * 22; // the header, then one write per value
constexpr int kFastRuns = 5;

void drawSomething(TForm1& form)
{
    form.findChild<QToolButton*>(QStringLiteral("EllipseButton"))->click();
    form.FormMouseDown(20, 10);
    form.FormMouseMove(220, 140);
    form.FormMouseUp(220, 140);
}
} // namespace

int main(int argc, char** argv)
{
    prepareProcess();
    QApplication app(argc, argv);
    installSerialHooks();

    Bench b(kName);
    const double limit = lineSeconds(kStreamBytes);
    char limitText[64];

    // At the line's pace, from the press to "pload".
    b.startSim({QStringLiteral("--line-rate"), QStringLiteral("9600")});
    b.openWindow();
    drawSomething(*b.form);
    b.connectPrinter();
    const QString ready = msg(kMsgImageReady);
    int before = b.seams.count(ready);
    const double pressed = nowMs();
    b.click("SpeedButton26");
    b.expect(kMsgImageReady, before + 1, 40000);
    const double lineTime = (b.seams.timeOf(ready, before + 1) - pressed) / 1000.0;
    std::snprintf(limitText, sizeof limitText, "line limit %.3f s", limit);
    figure("upload_9600_press_to_pload", lineTime, "s", limitText);
    figure("upload_9600_ratio", lineTime / limit, "x line limit", "goal <= 1.02");

    // The date pressed 3 s into a picture: it waits its turn and goes out after it.
    spin(500);
    before = b.seams.count(ready);
    const QString dateSet = msg(kMsgDateSet);
    const int datesBefore = b.seams.count(dateSet);
    b.click("SpeedButton26");
    spin(3000);
    b.click("B2");
    b.expect(kMsgImageReady, before + 1, 40000);
    b.expect(kMsgDateSet, datesBefore + 1, 10000);
    const double afterUpload = b.seams.timeOf(dateSet, datesBefore + 1) - b.seams.timeOf(ready, before + 1);
    // "d", three long pauses, 7 bytes, the silence after the picture, one poll for the reply.
    figure("mid_upload_date_after_pload", afterUpload, "ms", "goal: its line time and pauses, 0.41 s + one poll");

    // The writer's own cost per write, without a port, a line rate or the trace file.
    {
        std::vector<std::int32_t> values(std::size_t(kWrites - 1), 255);
        std::size_t sent = 0;
        LineWriter writer([&sent](const std::string& bytes) {
            sent += bytes.size();
            return std::uint32_t(bytes.size());
        });
        std::vector<double> totals;
        for (int i = 0; i < kFastRuns; ++i) {
            const Job job = imageUploadJob(values);
            const double start = nowMs();
            writer.run(job);
            totals.push_back(nowMs() - start);
        }
        if (sent != std::size_t(kStreamBytes) * kFastRuns)
            fail(kName, QStringLiteral("the writer did not write every byte"));
        figure("upload_writer_per_write", median(totals) * 1000.0 / kWrites, "us", "median of 5; no port, no trace");
    }
    if (!b.seams.allErrors().isEmpty())
        fail(kName, b.seams.allErrors().join(QStringLiteral(" | ")));
    return 0;
}

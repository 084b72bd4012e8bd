// The picture upload against the line's limit. "240" and 5,280 three-digit
// values are 15,843 bytes: 16.5 s at 9600 bit/s 8N1. At the simulator's line
// rate the upload can only approach that; without a line rate what is left is
// the software's own cost per write.
#include <QLineEdit>

#include "BenchSupport.h"

using namespace bench;
using namespace korvel::printer;

namespace {
constexpr const char* kName = "bench_upload";
constexpr int kStreamBytes = 3 + 240 * 22 * 3;
constexpr int kWrites = 1 + 240 * 22; // the header, then one write per value
constexpr int kFastRuns = 5;

struct Upload {
    double requested = -1; // the app handed "(" to the dispatcher
    double written = -1;   // the last value went out (the trace written, "fyv" shown)
    double answered = -1;  // "pload" shown
};

// Times one SpeedButton26 from the app's side.
Upload upload(Bench& b, int timeoutMs)
{
    Upload u;
    QLineEdit* edit2 = b.form->Edit2;
    const QMetaObject::Connection watch = QObject::connect(edit2, &QLineEdit::textChanged, edit2, [&](const QString& text) {
        if (u.requested < 0 && text.contains(QLatin1Char('(')))
            u.requested = nowMs();
        else if (u.requested >= 0 && u.written < 0 && text == QLatin1String("fyv"))
            u.written = nowMs();
    });
    const QString ready = msg(kMsgImageReady);
    const int before = b.seams.count(ready);
    b.click("SpeedButton26");
    b.expect(kMsgImageReady, before + 1, timeoutMs);
    u.answered = b.seams.timeOf(ready, before + 1);
    QObject::disconnect(watch);
    if (u.requested < 0 || u.written < 0)
        fail(kName, QStringLiteral("the upload's start or end was not seen"));
    const QJsonObject p = b.sim->last(QStringLiteral("P"));
    if (!p.value(QStringLiteral("ok")).toBool() || p.value(QStringLiteral("bytes")).toInt() != kStreamBytes)
        fail(kName, QStringLiteral("the simulator did not take a whole picture: ") +
                        QString::fromUtf8(QJsonDocument(p).toJson(QJsonDocument::Compact)));
    return u;
}

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

    // At the line's pace.
    b.startSim({QStringLiteral("--line-rate"), QStringLiteral("9600")});
    b.openWindow();
    drawSomething(*b.form);
    b.connectPrinter();
    const Upload slow = upload(b, 40000);
    const double lineTime = (slow.answered - slow.requested) / 1000.0;
    std::snprintf(limitText, sizeof limitText, "line limit %.3f s", limit);
    figure("upload_9600_time", lineTime, "s", limitText);
    figure("upload_9600_ratio", lineTime / limit, "x line limit", "goal <= 1.02");
    // The kernel's terminal buffer takes the stream long before the line has carried it.
    figure("upload_9600_writes_returned", (slow.written - slow.requested) / 1000.0, "s", "\"(\" to the last write returning");

    // As fast as the pseudo-terminal takes it.
    b.startSim();
    b.openWindow();
    drawSomething(*b.form);
    b.connectPrinter();
    std::vector<double> totals, answers;
    for (int i = 0; i < kFastRuns; ++i) {
        const Upload fast = upload(b, 20000);
        totals.push_back(fast.written - fast.requested);
        answers.push_back(fast.answered - fast.requested);
        spin(200);
    }
    const double total = median(totals);
    figure("upload_fast_total", total, "ms", "median of 5; \"(\" to the last write");
    figure("upload_fast_per_write", total * 1000.0 / kWrites, "us", "5,281 writes");
    figure("upload_fast_to_pload", median(answers), "ms", "median of 5; \"(\" to \"pload\" shown");
    if (!b.seams.allErrors().isEmpty())
        fail(kName, b.seams.allErrors().join(QStringLiteral(" | ")));
    return 0;
}

// The printer behind Debian's ser2net on 127.0.0.1: COM30 remapped to the
// server's URL, the server bridging to the simulator's pseudo-terminal. Reply
// latency as bench_reply_latency takes it, and a picture upload at 9600 bit/s.
#include <QLineEdit>
#include <QToolButton>

#include "BenchSupport.h"
#include "Ser2net.h"
#include "serial/PortMap.h"

using namespace bench;
using namespace korvel::printer;

namespace {
constexpr const char* kName = "bench_ser2net";
constexpr int kConnections = 100;
constexpr int kStreamBytes = 3 + 240 * 22 * 3;

// The simulator's terminal behind COM30 goes behind ser2net, and COM30 to it.
void bridge(Bench& b, Ser2net& server, bool rfc2217)
{
    const QString pts = QFile::symLinkTarget(b.env.portMap() + QStringLiteral("/COM30"));
    if (!server.start(pts, rfc2217))
        fail(kName, QStringLiteral("ser2net did not start on ") + pts);
    korvel::serial::mapPort("COM30", server.url().toStdString());
}

std::vector<double> latencies(Bench& b)
{
    for (int i = 1; i <= kConnections; ++i) {
        b.click("Image13");
        b.expect(kMsgConnected, i, 5000);
        if (!waitUntil([&] { return b.sim->commands().count(QStringLiteral("u")) >= i; }, 5000, 5))
            fail(kName, QStringLiteral("connection %1: no \"u\" reached the simulator").arg(i));
        spin(80);
    }
    std::vector<double> out;
    double connectAt = -1.0;
    for (const QJsonObject& e : b.sim->events()) {
        const QString cmd = e.value(QStringLiteral("cmd")).toString();
        const double t = e.value(QStringLiteral("t")).toDouble() * 1000.0;
        if (cmd == QLatin1String("!")) {
            connectAt = t;
        } else if (cmd == QLatin1String("u") && connectAt >= 0) {
            out.push_back(t - connectAt);
            connectAt = -1.0;
        }
    }
    if (int(out.size()) != kConnections)
        fail(kName, QStringLiteral("%1 pairs of \"!\" and \"u\", not %2").arg(out.size()).arg(kConnections));
    return out;
}

// "(" handed to the dispatcher to "pload" shown, in seconds.
double upload(Bench& b)
{
    b.form->findChild<QToolButton*>(QStringLiteral("EllipseButton"))->click();
    b.form->FormMouseDown(20, 10);
    b.form->FormMouseMove(220, 140);
    b.form->FormMouseUp(220, 140);
    b.connectPrinter();
    double requested = -1;
    QLineEdit* edit2 = b.form->Edit2;
    const auto watch = QObject::connect(edit2, &QLineEdit::textChanged, edit2, [&](const QString& text) {
        if (requested < 0 && text.contains(QLatin1Char('(')))
            requested = nowMs();
    });
    const QString ready = msg(kMsgImageReady);
    const int before = b.seams.count(ready);
    b.click("SpeedButton26");
    b.expect(kMsgImageReady, before + 1, 40000);
    QObject::disconnect(watch);
    // The simulator logs the picture after its reply: wait for the line.
    QJsonObject p;
    waitUntil([&] {
        p = b.sim->last(QStringLiteral("P"));
        return !p.isEmpty();
    }, 3000);
    if (requested < 0 || !p.value(QStringLiteral("ok")).toBool() || p.value(QStringLiteral("bytes")).toInt() != kStreamBytes)
        fail(kName, QStringLiteral("the simulator did not take a whole picture"));
    return (b.seams.timeOf(ready, before + 1) - requested) / 1000.0;
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
    std::snprintf(limitText, sizeof limitText, "goal <= 1.02 (line limit %.3f s)", limit);
    for (const bool rfc2217 : {false, true}) {
        const char* mode = rfc2217 ? "rfc2217" : "raw";
        {
            Ser2net server;
            b.startSim();
            bridge(b, server, rfc2217);
            b.openWindow();
            const std::vector<double> l = latencies(b);
            figure(QStringLiteral("ser2net_%1_reply_latency_median").arg(mode).toUtf8().constData(), median(l), "ms",
                   "goal <= 60 ms: the 50 ms poll + 10", 1);
            figure(QStringLiteral("ser2net_%1_reply_latency_p99").arg(mode).toUtf8().constData(), percentile(l, 99), "ms",
                   "goal <= 60 ms", 1);
            b.form.reset();
        }
        {
            Ser2net server;
            b.startSim({QStringLiteral("--line-rate"), QStringLiteral("9600")});
            bridge(b, server, rfc2217);
            b.openWindow();
            const double seconds = upload(b);
            figure(QStringLiteral("ser2net_%1_upload_9600_ratio").arg(mode).toUtf8().constData(), seconds / limit,
                   "x line limit", limitText, 3);
            b.form.reset();
        }
    }
    if (!b.seams.allErrors().isEmpty())
        fail(kName, b.seams.allErrors().join(QStringLiteral(" | ")));
    return 0;
}

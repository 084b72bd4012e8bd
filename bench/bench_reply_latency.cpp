// From the printer's "s" to the controller's "u": how long a reply waits for
// the receive thread and the dispatcher, over many connections. Both ends are
// taken from the simulator's own log, so the figure needs nothing in the app.
#include "BenchSupport.h"

using namespace bench;

namespace {
constexpr const char* kName = "bench_reply_latency";
constexpr int kConnections = 200;
} // namespace

int main(int argc, char** argv)
{
    prepareProcess();
    QApplication app(argc, argv);
    installSerialHooks();

    Bench b(kName);
    b.startSim();
    b.openWindow();

    for (int i = 1; i <= kConnections; ++i) {
        b.click("Image13");
        b.expect(korvel::printer::kMsgConnected, i, 5000);
        if (!waitUntil([&] { return b.sim->commands().count(QStringLiteral("u")) >= i; }, 5000, 5))
            fail(kName, QStringLiteral("connection %1: no \"u\" reached the simulator").arg(i));
        spin(80); // the report comes back before the next connection closes the port
    }
    if (!b.seams.allErrors().isEmpty())
        fail(kName, b.seams.allErrors().join(QStringLiteral(" | ")));

    // Each "!" event is logged right after its "s" was written; the next "u"
    // event as soon as the "u" arrived.
    std::vector<double> latencies;
    double connectAt = -1.0;
    for (const QJsonObject& e : b.sim->events()) {
        const QString cmd = e.value(QStringLiteral("cmd")).toString();
        const double t = e.value(QStringLiteral("t")).toDouble() * 1000.0;
        if (cmd == QLatin1String("!")) {
            connectAt = t;
        } else if (cmd == QLatin1String("u") && connectAt >= 0) {
            latencies.push_back(t - connectAt);
            connectAt = -1.0;
        }
    }
    if (int(latencies.size()) != kConnections)
        fail(kName, QStringLiteral("%1 pairs of \"!\" and \"u\" in the log, not %2").arg(latencies.size()).arg(kConnections));

    figure("reply_latency_median", median(latencies), "ms", "goal <= 55 ms: the 50 ms poll + 5", 1);
    figure("reply_latency_p99", percentile(latencies, 99), "ms", "goal <= 55 ms: the 50 ms poll + 5", 1);
    figure("reply_latency_max", *std::max_element(latencies.begin(), latencies.end()), "ms", nullptr, 1);
    figure("reply_latency_connections", double(latencies.size()), "connections", nullptr, 0);
    return 0;
}

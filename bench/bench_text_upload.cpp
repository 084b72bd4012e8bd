// The longest text upload against the line's limit: 4,999 characters are
// 5,000 codes with the added space, 5,004 bytes with the length field, 5.2 s
// at 9600 bit/s 8N1.
#include <QLineEdit>
#include <QPlainTextEdit>

#include "BenchSupport.h"
#include "printer/Writer.h"
#include "text/Stream.h"

using namespace bench;
using namespace korvel::printer;

namespace {
constexpr const char* kName = "bench_text_upload";
constexpr int kCharacters = 4999;
constexpr int kCodes = kCharacters + 1;
constexpr int kStreamBytes = 4 + kCodes;
constexpr int kFastRuns = 5;

// Printable in one code per character, tokens and digits included.
QString longText()
{
    const QString piece = QStringLiteral("KORVEL ^y/^m/^d 1404 batch ^c ");
    QString text;
    while (text.size() < kCharacters)
        text += piece;
    text.truncate(kCharacters);
    return text;
}

struct Upload {
    double requested = -1; // the app handed "}" to the dispatcher
    double answered = -1;  // "@" shown
};

Upload upload(Bench& b, int timeoutMs)
{
    Upload u;
    QLineEdit* edit2 = b.form->Edit2;
    const QMetaObject::Connection watch = QObject::connect(edit2, &QLineEdit::textChanged, edit2, [&](const QString& text) {
        if (u.requested < 0 && text.contains(QLatin1Char('}')))
            u.requested = nowMs();
    });
    const QString ready = msg(kMsgTextReady);
    const int before = b.seams.count(ready);
    b.click("SpeedButton30");
    b.expect(kMsgTextReady, before + 1, timeoutMs);
    u.answered = b.seams.timeOf(ready, before + 1);
    QObject::disconnect(watch);
    if (u.requested < 0)
        fail(kName, QStringLiteral("the request for the stream was not seen"));
    // The simulator logs the text after its replies: wait for the line.
    QJsonObject t;
    waitUntil([&] {
        t = b.sim->last(QStringLiteral("T"));
        return t.value(QStringLiteral("codes")).toInt() == kCodes;
    }, 3000);
    if (!t.value(QStringLiteral("ok")).toBool() || t.value(QStringLiteral("codes")).toInt() != kCodes ||
        t.value(QStringLiteral("length")).toInt() != kCodes)
        fail(kName, QStringLiteral("the simulator did not take the whole text: codes %1, length %2")
                        .arg(t.value(QStringLiteral("codes")).toInt())
                        .arg(t.value(QStringLiteral("length")).toInt()));
    return u;
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
    const QString text = longText();

    b.startSim({QStringLiteral("--line-rate"), QStringLiteral("9600")});
    b.openWindow();
    b.form->Memo1->setPlainText(text);
    b.connectPrinter();
    const Upload slow = upload(b, 30000);
    const double lineTime = (slow.answered - slow.requested) / 1000.0;
    std::snprintf(limitText, sizeof limitText, "line limit %.3f s", limit);
    figure("text_upload_9600_time", lineTime, "s", limitText);
    figure("text_upload_9600_ratio", lineTime / limit, "x line limit", "goal <= 1.02");

    // The cost per code without the line, the poll or the window: the stream built from
    // the editor's text and written through the line writer to nowhere.
    std::vector<double> times;
    std::size_t sent = 0;
    LineWriter writer([&sent](const std::string& bytes) {
        sent += bytes.size();
        return std::uint32_t(bytes.size());
    });
    for (int i = 0; i < kFastRuns; ++i) {
        const double start = nowMs();
        const auto stream = korvel::text::encodeTextStream(text.toStdU16String());
        writer.run(textUploadJob(stream.bytes));
        times.push_back(nowMs() - start);
    }
    if (sent != std::size_t(kStreamBytes) * kFastRuns)
        fail(kName, QStringLiteral("the writer did not write every code"));
    figure("text_upload_per_code", median(times) * 1000.0 / kCodes, "us",
           "median of 5; encoding and writing, no port, no poll");
    if (!b.seams.allErrors().isEmpty())
        fail(kName, b.seams.allErrors().join(QStringLiteral(" | ")));
    return 0;
}

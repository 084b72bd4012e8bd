// Start-up to the first painted window (offscreen), and the resident memory
// after start-up and after 20 picture uploads.
#include <QEvent>

#include <QTimer>

#include "BenchSupport.h"
#include "serial/SerialPort.h"

using namespace bench;
using namespace korvel::printer;

namespace {
constexpr const char* kName = "bench_startup";
constexpr int kUploads = 20;

// Notes when the window is painted: its first paint event starts a repaint pass
// that paints every child and flushes the window in the same turn of the event
// loop; a zero timer started then runs after that pass.
class FirstPaint : public QObject {
public:
    double at = -1.0;
    QWidget* window = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!seen && event->type() == QEvent::Paint && window && watched == window) {
            seen = true;
            QTimer::singleShot(0, this, [this] { at = nowMs(); });
        }
        return false;
    }

private:
    bool seen = false;
};
} // namespace

int main(int argc, char** argv)
{
    prepareProcess(); // the process's clock starts here
    const double entered = nowMs();
    QApplication app(argc, argv);
    installSerialHooks();
    const double appReady = nowMs();

    Bench b(kName);
    const double simStarting = nowMs();
    b.startSim(); // before the window, and not counted
    const double simTook = nowMs() - simStarting;

    FirstPaint paint;
    app.installEventFilter(&paint);
    const double constructing = nowMs();
    b.form.reset(new TForm1(&b.seams));
    paint.window = b.form.get();
    const double constructed = nowMs();
    b.form->show();
    if (!waitUntil([&] { return paint.at >= 0; }, 10000, 1))
        fail(kName, QStringLiteral("the window was never painted"));
    app.removeEventFilter(&paint);

    figure("startup_qapplication", appReady - entered, "ms", nullptr, 1);
    figure("startup_construct_TForm1", constructed - constructing, "ms", "start-up sequence included", 1);
    figure("startup_to_first_paint", paint.at - constructing, "ms", "construct, show, the window painted", 1);
    figure("startup_process_to_first_paint", paint.at - entered - simTook, "ms", "from main(), simulator start excluded", 1);
    spin(200);
    const long afterStart = residentKiB();
    figure("rss_after_startup", double(afterStart) / 1024.0, "MiB", nullptr, 1);

    b.form->findChild<QComboBox*>(QStringLiteral("comboportselect"))->setCurrentIndex(29);
    // The writer keeps to the port's speed; at 921,600 bit/s a picture crosses in 0.17 s.
    b.form->SerialPort1->setBaudRate(korvel::serial::br921600);
    b.connectPrinter();
    long afterFirst = -1;
    for (int i = 1; i <= kUploads; ++i) {
        b.click("SpeedButton26");
        b.expect(kMsgImageReady, i, 20000);
        spin(100);
        if (i == 1) {
            afterFirst = residentKiB();
            figure("rss_after_1_upload", double(afterFirst) / 1024.0, "MiB", nullptr, 1);
        }
    }
    spin(200);
    const long afterUploads = residentKiB();
    figure("rss_after_20_uploads", double(afterUploads) / 1024.0, "MiB", nullptr, 1);
    figure("rss_growth_uploads_2_to_20", double(afterUploads - afterFirst) / 1024.0, "MiB", "flat when nothing leaks", 1);
    if (!b.seams.allErrors().isEmpty())
        fail(kName, b.seams.allErrors().join(QStringLiteral(" | ")));
    return 0;
}

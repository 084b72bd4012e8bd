// How long the UI thread's event loop is held up while each kind of command
// runs, from the click to the printer's answer, against a simulator at the
// real line rate. A 1 ms probe timer measures the longest gap between ticks.
#include <QPlainTextEdit>
#include <QRadioButton>

#include "BenchSupport.h"

using namespace bench;
using namespace korvel::printer;

namespace {
constexpr const char* kName = "bench_ui_stall";
constexpr const char* kGoal = "goal < 20 ms";
// After the answer: the settings request, a held-back tail, the hidden bar.
constexpr int kTailMs = 150;
constexpr int kHoldMs = 2000; // how long the operator reads each box
} // namespace

int main(int argc, char** argv)
{
    prepareProcess();
    QApplication app(argc, argv);
    installSerialHooks();

    Bench b(kName);
    b.startSim({QStringLiteral("--line-rate"), QStringLiteral("9600")});
    b.openWindow();
    b.form->findChild<QRadioButton*>(QStringLiteral("RadioButton3"))->setChecked(true);
    b.form->Memo1->setPlainText(QStringLiteral("KORVEL ^y/^m/^d ^c"));
    // Something to rasterise: a rectangle across most of the canvas.
    b.form->findChild<QToolButton*>(QStringLiteral("RectangleButton"))->click();
    b.form->FormMouseDown(10, 10);
    b.form->FormMouseMove(200, 120);
    b.form->FormMouseUp(200, 120);

    StallProbe probe;
    struct Step {
        const char* figure;
        const char* button;
        std::string_view answer; // the message that ends the command
        int timeoutMs;
    };
    const Step steps[] = {
        {"ui_stall_connect_Image13", "Image13", kMsgConnected, 5000},
        {"ui_stall_date_B2", "B2", kMsgDateSet, 5000},
        {"ui_stall_time_B3", "B3", kMsgTimeSet, 5000},
        {"ui_stall_setting_Image15", "Image15", kMsgDelayAfterSet, 5000},
        {"ui_stall_counter_B4", "B4", kMsgCounterSet, 5000},
        {"ui_stall_text_upload_SpeedButton30", "SpeedButton30", kMsgTextReady, 10000},
        {"ui_stall_picture_upload_SpeedButton26", "SpeedButton26", kMsgImageReady, 30000},
        {"ui_stall_store_slot_SpeedButton27", "SpeedButton27", kMsgSaved, 10000},
        {"ui_stall_layout_J_SpeedButton37", "SpeedButton37", kMsgProductionDateSet, 5000},
    };
    double worst = 0.0;
    for (const Step& step : steps) {
        if (std::string_view(step.button) == "B4")
            b.seams.inputAnswers.push_back(QStringLiteral("1234"));
        const int before = b.seams.count(msg(step.answer));
        probe.start();
        b.click(step.button);
        b.expect(step.answer, before + 1, step.timeoutMs);
        spin(kTailMs);
        const double stall = probe.stop();
        worst = std::max(worst, stall);
        figure(step.figure, stall, "ms", kGoal, 1);
        spin(300); // the next command starts on a quiet line
    }

    // Boxes held open while pictures cross: a picture, then 3 s into it the date, then a
    // second picture; the first "pload" box is open when the printer asks for the second
    // stream. The later presses run from a timer, which a box's own event loop serves.
    {
        b.seams.holdMs = kHoldMs;
        const int before = b.seams.count(msg(kMsgImageReady));
        const int dates = b.seams.count(msg(kMsgDateSet));
        probe.start();
        b.click("SpeedButton26");
        // Two presses, two events, as an operator's hand makes them.
        QTimer::singleShot(3000, b.form.get(), [&] { b.click("B2"); });
        QTimer::singleShot(3300, b.form.get(), [&] { b.click("SpeedButton26"); });
        b.expect(kMsgImageReady, before + 2, 60000);
        b.expect(kMsgDateSet, dates + 1, 10000);
        spin(kTailMs);
        const double stall = probe.stop();
        b.seams.holdMs = 0;
        worst = std::max(worst, stall);
        figure("ui_stall_boxes_open_two_pictures_and_date", stall, "ms", kGoal, 1);
    }
    if (!b.seams.allErrors().isEmpty())
        fail(kName, b.seams.allErrors().join(QStringLiteral(" | ")));
    figure("ui_stall_worst", worst, "ms", kGoal, 1);
    return 0;
}

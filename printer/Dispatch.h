// The response dispatcher's decisions: from one received chunk and the
// dispatcher's state to the ordered list of things the window must do.
// Carrying them out (on the UI thread, a modal box waiting for the operator)
// is the caller's business.
#pragma once

#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvel::printer {

struct ReportField {
    int position = 1;   // for the track bar, clamped to 1 ... 255
    std::string text;   // for the label, as received
    bool operator==(const ReportField&) const = default;
};

// The printer's settings report, fields in the order it sends them.
struct Report {
    ReportField ink;           // TrackBar4 / Label8
    ReportField count;         // TrackBar6 / Label9
    ReportField delayAfter;    // TrackBar7 / Label10
    ReportField initialDelay;  // TrackBar1 / Label6
    ReportField resolution;    // TrackBar5 / Label7
    bool operator==(const Report&) const = default;
};

// text: everything collected since the "u". The five fields are the
// comma-separated decimal integers after the first comma, up to the first
// full stop after it; nullopt unless all five are there and valid.
std::optional<Report> parseSettingsReport(std::string_view text);

// One track bar and its label, in the order a report is applied.
struct TrackBarUpdate {
    std::string_view trackBar;
    std::string_view label;
    ReportField field;
};
std::array<TrackBarUpdate, 5> reportUpdates(const Report& report);

enum class EffectKind {
    StopNoReplyTimer,     // Timer2
    SetEdit2,             // text
    ApplyReport,          // report
    ReportInvalid,        // text: the Persian message to show
    Message,              // text: the Persian message; response: what caused it
    WriteRequestSettings, // write "u" through the line writer and wait for it
    HideLabelSend,
    ShowLabelSend,        // text: the caption
    ProgressReset,        // status_send: position, maximum
    StartTimer3,
    ProgressAdvance,      // status_send on by position steps (one per "%")
    HideStatusSend,
    ProgressMaximum,      // status_send: maximum
    AppendLog,            // text: a new line of Memo2
    StartTextUpload,
    StartImageUpload,
    ProgressPosition,     // status_send: position (the column on the wire)
    ShowStatusSend,
};

struct Effect {
    EffectKind kind;
    std::string text;
    int position = 0;
    int maximum = 0;
    Report report{};
    std::string response;
    bool operator==(const Effect&) const = default;
};

struct DispatchState {
    bool collecting = false;   // between "u" and "."
    std::string accumulator;   // the report so far
    // The tail of the last chunk when it might be the start of "pload"
    // ("p", "pl", "plo", "ploa"): decided by the next chunk or by flushHeldBack.
    std::string heldBack;
};

// How long the caller lets a held-back tail wait for the rest of its word
// before it calls flushHeldBack. Well above the gap between two polls.
inline constexpr std::chrono::milliseconds kHeldBackFlush{300};

std::vector<Effect> dispatchChunk(std::string_view chunk, DispatchState& state);

// The responses of a held-back tail that no chunk completed (normally the
// image error "p"). Empty when nothing is held.
std::vector<Effect> flushHeldBack(DispatchState& state);

} // namespace korvel::printer

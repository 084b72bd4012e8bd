#include "Dispatch.h"

#include <algorithm>

#include "Messages.h"
#include "Responses.h"

namespace korvel::printer {

namespace {

constexpr std::string_view kWord = "pload";
// A report never gets this long; past it the "." was lost and collecting stops.
constexpr std::size_t kMaxReport = 4096;

bool contains(std::string_view text, char c) { return text.find(c) != std::string_view::npos; }

std::optional<ReportField> parseField(std::string_view text)
{
    if (text.empty())
        return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > 255)
            value = 256; // saturate: any longer number clamps to 255 alike
    }
    const int position = value < 1 ? 1 : value > 255 ? 255 : value;
    return ReportField{position, std::string(text)};
}

Effect simple(EffectKind kind) { return Effect{kind, {}, 0, 0, {}, {}}; }

Effect withText(EffectKind kind, std::string_view text)
{
    Effect e = simple(kind);
    e.text = std::string(text);
    return e;
}

Effect message(const Response& r)
{
    Effect e = withText(EffectKind::Message, r.message);
    e.response = std::string(r.text);
    return e;
}

// The responses of orders 3 ... 27 present in `text`, in table order. Letters
// that belong to a "pload" in the text are that word's, not their own.
void scanResponses(std::string_view text, std::vector<Effect>& out)
{
    std::string letters(text);
    bool hasWord = false;
    for (std::size_t at = letters.find(kWord); at != std::string::npos; at = letters.find(kWord, at)) {
        hasWord = true;
        letters.replace(at, kWord.size(), kWord.size(), '\0');
    }
    for (const Response& r : responses()) {
        if (r.order < 3 || r.order > 27)
            continue;
        const bool present = r.text.size() > 1 ? (r.text == kWord && hasWord)
                                               : contains(letters, r.text.front());
        if (!present)
            continue;
        switch (r.action) {
        case ResponseAction::Connected:
            out.push_back(message(r));
            out.push_back(simple(EffectKind::WriteRequestSettings));
            out.push_back(simple(EffectKind::HideLabelSend));
            break;
        case ResponseAction::Message:
            out.push_back(message(r));
            break;
        case ResponseAction::ProgressAdvance: {
            // Each "%" is one step of the printer's saving; several can share a chunk.
            Effect e = simple(EffectKind::ProgressAdvance);
            e.position = int(std::count(letters.begin(), letters.end(), r.text.front()));
            out.push_back(e);
            break;
        }
        case ResponseAction::Saving: {
            out.push_back(message(r));
            out.push_back(withText(EffectKind::ShowLabelSend, kCaptionSaving));
            Effect reset = simple(EffectKind::ProgressReset);
            // The reset comes after the "%" test: steps that followed the "w" in this chunk still count.
            const auto w = letters.find(r.text.front());
            reset.position = int(std::count(letters.begin() + std::ptrdiff_t(w), letters.end(), '%'));
            reset.maximum = 100;
            out.push_back(reset);
            out.push_back(simple(EffectKind::StartTimer3));
            break;
        }
        case ResponseAction::Saved: {
            out.push_back(simple(EffectKind::HideLabelSend));
            out.push_back(message(r));
            out.push_back(simple(EffectKind::HideStatusSend));
            Effect maximum = simple(EffectKind::ProgressMaximum);
            maximum.maximum = 240;
            out.push_back(maximum);
            break;
        }
        default:
            break;
        }
    }
}

// Length of the longest tail of `text` that is a proper prefix of the word.
// The word has no border, so such a tail never overlaps a whole word.
std::size_t wordPrefixTail(std::string_view text)
{
    for (std::size_t n = kWord.size() - 1; n > 0; --n)
        if (text.size() >= n && text.substr(text.size() - n) == kWord.substr(0, n))
            return n;
    return 0;
}

} // namespace

std::optional<Report> parseSettingsReport(std::string_view text)
{
    const std::size_t comma = text.find(',');
    if (comma == std::string_view::npos)
        return std::nullopt;
    std::string_view rest = text.substr(comma + 1);
    const std::size_t stop = rest.find('.');
    if (stop == std::string_view::npos)
        return std::nullopt;
    rest = rest.substr(0, stop);

    std::array<ReportField, 5> fields;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::size_t next = rest.find(',');
        const bool last = i + 1 == fields.size();
        if (last != (next == std::string_view::npos))
            return std::nullopt; // too few or too many fields
        auto field = parseField(rest.substr(0, next));
        if (!field)
            return std::nullopt;
        fields[i] = std::move(*field);
        if (!last)
            rest = rest.substr(next + 1);
    }
    return Report{fields[0], fields[1], fields[2], fields[3], fields[4]};
}

std::array<TrackBarUpdate, 5> reportUpdates(const Report& report)
{
    return {{
        {"TrackBar1", "Label6", report.initialDelay},
        {"TrackBar5", "Label7", report.resolution},
        {"TrackBar4", "Label8", report.ink},
        {"TrackBar6", "Label9", report.count},
        {"TrackBar7", "Label10", report.delayAfter},
    }};
}

std::vector<Effect> dispatchChunk(std::string_view chunk, DispatchState& state)
{
    std::vector<Effect> out;
    out.push_back(simple(EffectKind::StopNoReplyTimer));
    out.push_back(withText(EffectKind::SetEdit2, chunk));

    if (contains(chunk, 'u'))
        state.collecting = true;
    if (state.collecting)
        state.accumulator.append(chunk);
    const bool ends = contains(chunk, '.');
    if (state.collecting && (ends || state.accumulator.size() > kMaxReport)) {
        std::optional<Report> report = ends ? parseSettingsReport(state.accumulator) : std::nullopt;
        state.collecting = false;
        state.accumulator.clear();
        if (report) {
            Effect e = simple(EffectKind::ApplyReport);
            e.report = std::move(*report);
            out.push_back(std::move(e));
        } else {
            out.push_back(withText(EffectKind::ReportInvalid, kMsgReportInvalid));
        }
    }

    std::string text = std::move(state.heldBack);
    state.heldBack.clear();
    text.append(chunk);
    const std::size_t tail = wordPrefixTail(text);
    state.heldBack = text.substr(text.size() - tail);
    scanResponses(std::string_view(text).substr(0, text.size() - tail), out);

    out.push_back(withText(EffectKind::AppendLog, chunk));
    if (contains(chunk, '}'))
        out.push_back(simple(EffectKind::StartTextUpload));
    else if (contains(chunk, '('))
        out.push_back(simple(EffectKind::StartImageUpload));
    return out;
}

std::vector<Effect> flushHeldBack(DispatchState& state)
{
    std::vector<Effect> out;
    const std::string text = std::move(state.heldBack);
    state.heldBack.clear();
    scanResponses(text, out);
    return out;
}

} // namespace korvel::printer

// The response dispatcher against any bytes, cut into chunks anywhere.
// Input: byte 0 & 15 = how many chunk-length bytes follow; the rest is the
// line. Chunk lengths are used in turn; a length of 0 stands for the
// held-back tail timing out (flushHeldBack) instead of a chunk.
#include "FuzzCheck.h"
#include "printer/Dispatch.h"
#include "printer/Messages.h"
#include "printer/Responses.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

using namespace korvel::printer;

namespace {

constexpr std::string_view kWord = "pload";
constexpr std::size_t kMaxReport = 4096;

bool has(std::string_view s, char c) { return s.find(c) != std::string_view::npos; }

bool isDigits(std::string_view s)
{
    if (s.empty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

void checkField(const ReportField& f)
{
    FUZZ_CHECK(f.position >= 1 && f.position <= 255);
    FUZZ_CHECK(isDigits(f.text));
}

// What the operator is told, independent of how often.
void noteResponses(const std::vector<Effect>& effects, std::set<std::string>& seen)
{
    for (const Effect& e : effects) {
        if (e.kind == EffectKind::Message)
            seen.insert(e.response);
        else if (e.kind == EffectKind::ProgressAdvance)
            seen.insert("%");
    }
}

void checkMessage(const Effect& e)
{
    const Response* r = findResponse(e.response);
    FUZZ_CHECK(r != nullptr);
    FUZZ_CHECK(r->order >= 3 && r->order <= 27);
    FUZZ_CHECK(!e.text.empty() && e.text == r->message);
}

void checkState(const DispatchState& s)
{
    FUZZ_CHECK(s.accumulator.size() <= kMaxReport);
    FUZZ_CHECK(s.collecting || s.accumulator.empty());
    FUZZ_CHECK(s.heldBack.size() < kWord.size());
    FUZZ_CHECK(kWord.substr(0, s.heldBack.size()) == s.heldBack);
}

// before: the state as the chunk found it.
void checkChunk(std::string_view chunk, const DispatchState& before, const std::vector<Effect>& out)
{
    FUZZ_CHECK(out.size() >= 3);
    FUZZ_CHECK(out[0].kind == EffectKind::StopNoReplyTimer);
    FUZZ_CHECK(out[1].kind == EffectKind::SetEdit2 && out[1].text == chunk);

    std::size_t log = out.size();
    int reports = 0;
    bool invalid = false;
    std::set<std::string> messages;
    for (std::size_t i = 2; i < out.size(); ++i) {
        const Effect& e = out[i];
        switch (e.kind) {
        case EffectKind::StopNoReplyTimer:
        case EffectKind::SetEdit2:
            FUZZ_CHECK(false);
            break;
        case EffectKind::ApplyReport:
            ++reports;
            checkField(e.report.ink);
            checkField(e.report.count);
            checkField(e.report.delayAfter);
            checkField(e.report.initialDelay);
            checkField(e.report.resolution);
            break;
        case EffectKind::ReportInvalid:
            ++reports;
            invalid = true;
            FUZZ_CHECK(e.text == kMsgReportInvalid);
            break;
        case EffectKind::Message:
            checkMessage(e);
            // One box per response and chunk.
            FUZZ_CHECK(messages.insert(e.response).second);
            if (e.response == "s") {
                FUZZ_CHECK(i + 2 < out.size());
                FUZZ_CHECK(out[i + 1].kind == EffectKind::WriteRequestSettings);
            }
            break;
        case EffectKind::WriteRequestSettings:
            FUZZ_CHECK(out[i - 1].kind == EffectKind::Message && out[i - 1].response == "s");
            break;
        case EffectKind::ProgressReset:
            // Starts at the steps that followed the "w" in the same chunk.
            FUZZ_CHECK(e.position >= 0 && e.maximum == 100);
            FUZZ_CHECK(e.position <= std::count(chunk.begin(), chunk.end(), '%'));
            break;
        case EffectKind::ProgressMaximum:
            FUZZ_CHECK(e.maximum == 240);
            break;
        case EffectKind::AppendLog:
            FUZZ_CHECK(log == out.size());
            FUZZ_CHECK(e.text == chunk);
            log = i;
            break;
        case EffectKind::StartTextUpload:
        case EffectKind::StartImageUpload:
            FUZZ_CHECK(i == out.size() - 1 && log == i - 1);
            break;
        default:
            break;
        }
    }
    FUZZ_CHECK(log != out.size());
    FUZZ_CHECK(reports <= 1);
    // A report is decided by its full stop, or given up when far too long.
    const bool collecting = before.collecting || has(chunk, 'u');
    if (!collecting)
        FUZZ_CHECK(reports == 0);
    else if (has(chunk, '.'))
        FUZZ_CHECK(reports == 1);
    else
        FUZZ_CHECK(reports == (before.accumulator.size() + chunk.size() > kMaxReport ? 1 : 0) && (reports == 0 || invalid));
    const EffectKind last = out.back().kind;
    if (has(chunk, '}'))
        FUZZ_CHECK(last == EffectKind::StartTextUpload);
    else if (has(chunk, '('))
        FUZZ_CHECK(last == EffectKind::StartImageUpload);
    else
        FUZZ_CHECK(last == EffectKind::AppendLog);
}

void checkFlush(std::string_view held, const std::vector<Effect>& out)
{
    for (const Effect& e : out) {
        FUZZ_CHECK(e.kind == EffectKind::Message);
        checkMessage(e);
        FUZZ_CHECK(e.response.size() == 1 && has(held, e.response.front()));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    std::size_t count = data[0] & 0x0F;
    if (size < 1 + count)
        return 0;
    const std::vector<std::uint8_t> lengths(data + 1, data + 1 + count);
    const std::string_view line(reinterpret_cast<const char*>(data + 1 + count), size - 1 - count);
    if (std::all_of(lengths.begin(), lengths.end(), [](std::uint8_t n) { return n == 0; }))
        count = 0; // no chunk at all would be no line: take it whole

    DispatchState state;
    std::set<std::string> told;
    bool flushedMidway = false;
    std::size_t at = 0;
    for (std::size_t turn = 0; at < line.size(); ++turn) {
        const std::size_t n = count == 0 ? line.size() : lengths[turn % count];
        if (n == 0) {
            const std::string held = state.heldBack;
            const auto out = flushHeldBack(state);
            checkFlush(held, out);
            FUZZ_CHECK(state.heldBack.empty());
            checkState(state);
            noteResponses(out, told);
            flushedMidway = flushedMidway || !held.empty();
            continue;
        }
        const std::string_view chunk = line.substr(at, n);
        at += chunk.size();
        const DispatchState before = state;
        const auto out = dispatchChunk(chunk, state);
        checkChunk(chunk, before, out);
        checkState(state);
        noteResponses(out, told);
    }
    const std::string held = state.heldBack;
    const auto tail = flushHeldBack(state);
    checkFlush(held, tail);
    noteResponses(tail, told);

    // However the line was cut, the operator hears of the same replies, as
    // long as no partial "pload" timed out between its pieces.
    if (!flushedMidway && !line.empty()) {
        DispatchState whole;
        std::set<std::string> once;
        noteResponses(dispatchChunk(line, whole), once);
        noteResponses(flushHeldBack(whole), once);
        FUZZ_CHECK(told == once);
    }
    return 0;
}

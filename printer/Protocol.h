// The commands the printer understands, each built from plain values as the
// ordered writes (and the pauses between them) that must reach the line.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvel::printer {

// The printer splits a command into letter and parameters by the silence
// between writes; 100 ms is comfortably above what it needs.
inline constexpr std::chrono::milliseconds kLongPause{100};
// Between the single-code writes of an upload. The write itself is gap enough.
inline constexpr std::chrono::microseconds kShortPause{0};

struct Step {
    std::string bytes;                       // one SendString; never holds a zero byte
    std::chrono::microseconds pauseBefore{0};
};

struct Job {
    std::string name;                        // plain English, for error texts ("set date")
    std::vector<Step> steps;
    bool startsNoReplyTimer = false;
    std::vector<std::string> acknowledgedBy; // response texts that report its outcome
    // Every reply in acknowledgedBy comes: the job ends on the last of them and
    // reports them all. Otherwise the first to come ends it.
    bool allReplies = false;
};

// Response texts that report a failure whatever the command was.
inline const std::vector<std::string>& errorReplies()
{
    static const std::vector<std::string> replies{"e", "p"};
    return replies;
}

enum class Direction { RightToLeft, LeftToRight };

// The five rows of the settings page.
enum class ValueSetting { InitialDelay, DelayAfter, Resolution, Ink, Count };

Job connectJob();
Job requestSettingsJob();
Job directionJob(Direction direction);

// position is the track bar's, 1 ... 255, written as one byte; anything else
// throws std::invalid_argument.
Job valueSettingJob(ValueSetting setting, int position);

// Calendar values as read from the clock; out-of-range values throw
// std::invalid_argument.
Job setDateJob(int year, int month, int day);
Job setTimeJob(int hour, int minute, int second);
// text4: exactly four characters without a zero byte (see counterFromAnswer).
Job setCounterJob(std::string_view text4);

Job sendTextJob();
Job storeTextJob();
Job sendPictureJob();
// slot 1 ... 5.
Job storePictureJob(int slot);
Job imageSequenceJob(int slot);
// The offset text as the operator sees it, padded to three characters.
Job expiryDaysJob(std::string_view offsetText);
// The layout parameters (normally 21 digits) after "J" or "V".
Job productionLayoutJob(std::string_view parameters);
Job expiryLayoutJob(std::string_view parameters);

// stream: the length field (four digits) followed by one code per character,
// free of zero bytes.
Job textUploadJob(std::string_view stream);
// values: the column buffer as rasterised, each 0 ... 999 (128 ... 255 in practice).
Job imageUploadJob(std::span<const std::int32_t> values);

// "00" before one character, "0" before two, longer texts unchanged.
std::string padThree(std::string_view text);

// The answer to the counter prompt turned into the four characters to send.
struct CounterResult {
    bool ok = false;
    std::string text4;  // when ok
    std::string error;  // Persian, when refused
};
// answer is UTF-8. Digits only (ASCII, Persian or Arabic-Indic, sent as ASCII),
// at most four, surrounding blanks ignored; empty or cancelled gives "0000".
CounterResult counterFromAnswer(std::string_view answer, bool cancelled);

} // namespace korvel::printer

// The simulator's command-line settings.
#pragma once

#include <array>
#include <string>

namespace sim {

struct Options {
    std::string port = "COM30";
    std::string outDir;        // empty: record nothing on disk
    std::string logFile;       // empty: events go to stdout
    int lineRate = 0;          // bit/s; 0 = as fast as the pseudo-terminal
    int gapMs = 30;            // idle time that ends one write of the sender
    int paramTimeoutMs = 1000; // longest wait for the next parameter write
    int slotWindowMs = 300;    // wait after "s" for a possible slot digit
    int uploadTimeoutMs = 2000;
    int uploadReplyDelayMs = 0; // before "(" and "}": the printer is slow to ask for the stream
    int saveStepMs = 5;        // between two "%" of the saving progress
    int splitGapMs = 60;       // between two bytes with --split-replies
    int strictSilenceMs = 0;   // > 0: tell of a letter or parameter with less silence before it
    std::array<int, 5> settings{5, 2, 7, 9, 3}; // ink, count, delay after, initial delay, resolution
    bool silent = false;
    bool replyError = false;
    bool splitReplies = false;
    bool garbage = false;
    bool noUploadReply = false;
    long hangupAfter = -1;     // < 0: never
    unsigned seed = 0;
};

} // namespace sim

// The printer's side of the protocol: reads commands off the line, keeps the
// printer's state, answers, and records what it received.
#pragma once

#include <array>
#include <optional>
#include <random>
#include <string>

#include "EventLog.h"
#include "Line.h"
#include "Options.h"

namespace sim {

class Printer {
public:
    Printer(const Options& opt, Line& line, EventLog& log);
    // Serves commands until Stopped or HungUp is thrown.
    void run();

private:
    void handle(uint8_t c);

    std::optional<uint8_t> byteWithin(int ms);
    // paused: the sender keeps a silence before this parameter.
    std::string readWrite(int firstMs, size_t cap = 64, bool paused = false);
    std::string readExact(size_t n, int firstMs, bool paused = false);
    void strict(const char* what);
    bool endedWithParameter_ = false;
    std::string readStream(size_t n, int idleMs);

    void reply(const std::string& bytes);
    void finish(Event& e, const std::string& summary);
    void notUnderstood(const std::string& cmd, const std::vector<std::string>& params, const std::string& why);

    void connect();
    void report();
    void valueSetting(char cmd);
    void setDate();
    void setTime();
    void setCounter();
    void store();
    void imageSequence();
    void expiryDays();
    void layout(char cmd);
    void textUpload();
    void pictureUpload();
    void delayUploadReply(char request);
    void unknown(uint8_t first);

    std::string outPath(const char* stem, int n, const char* ext) const;

    const Options& opt_;
    Line& line_;
    EventLog& log_;
    std::mt19937 rng_;
    std::string sent_;    // replies of the current command
    std::string garbage_; // noise added before them

    std::array<int, 5> settings_; // ink, count, delay after, initial delay, resolution
    std::string date_, time_, counter_ = "0000", direction_ = "rtl";
    int pictures_ = 0, texts_ = 0;
    int lastPicture_ = 0, lastText_ = 0, storedText_ = 0;
    std::array<int, 5> slots_{};
    int sequence_ = 0;
    std::string productionLayout_, expiryLayout_, expiryDays_;
};

} // namespace sim

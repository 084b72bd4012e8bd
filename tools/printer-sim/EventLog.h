// One JSON line per command (for tests and tools) and a short line for people on stderr.
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "Line.h"

namespace sim {

// Bytes as a readable string: printable ASCII stays, everything else (and "\") becomes \xHH.
std::string escapeBytes(const std::string& bytes);
// A JSON string literal of UTF-8 text.
std::string jsonString(const std::string& utf8);

class Event {
public:
    explicit Event(const std::string& cmd) { str("cmd", escapeBytes(cmd)); }
    static Event named(const std::string& event)
    {
        Event e;
        e.str("event", event);
        return e;
    }
    Event& str(const std::string& key, const std::string& utf8) { return raw(key, jsonString(utf8)); }
    Event& num(const std::string& key, long long v) { return raw(key, std::to_string(v)); }
    Event& flag(const std::string& key, bool v) { return raw(key, v ? "true" : "false"); }
    Event& strings(const std::string& key, const std::vector<std::string>& items);
    Event& numbers(const std::string& key, const std::vector<int>& items);
    Event& raw(const std::string& key, const std::string& json);
    std::string json(double t, const std::string& time) const;

private:
    Event() = default;
    std::vector<std::pair<std::string, std::string>> fields_;
};

class EventLog {
public:
    explicit EventLog(const std::string& path); // empty: stdout
    ~EventLog();
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    void write(const Event& e, const std::string& summary);

private:
    FILE* out_;
    bool own_;
    TimePoint start_;
};

} // namespace sim

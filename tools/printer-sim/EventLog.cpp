#include "EventLog.h"

#include <chrono>
#include <ctime>
#include <stdexcept>

namespace sim {

std::string escapeBytes(const std::string& bytes)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string jsonString(const std::string& utf8)
{
    static const char hex[] = "0123456789abcdef";
    std::string out = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 15];
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

Event& Event::raw(const std::string& key, const std::string& json)
{
    fields_.emplace_back(key, json);
    return *this;
}

Event& Event::strings(const std::string& key, const std::vector<std::string>& items)
{
    std::string j = "[";
    for (size_t i = 0; i < items.size(); ++i)
        j += (i ? "," : "") + jsonString(items[i]);
    return raw(key, j + "]");
}

Event& Event::numbers(const std::string& key, const std::vector<int>& items)
{
    std::string j = "[";
    for (size_t i = 0; i < items.size(); ++i)
        j += (i ? "," : "") + std::to_string(items[i]);
    return raw(key, j + "]");
}

std::string Event::json(double t, const std::string& time) const
{
    char tbuf[32];
    std::snprintf(tbuf, sizeof tbuf, "%.3f", t);
    std::string j = "{\"time\":" + jsonString(time) + ",\"t\":" + tbuf;
    for (const auto& [k, v] : fields_)
        j += "," + jsonString(k) + ":" + v;
    return j + "}";
}

EventLog::EventLog(const std::string& path) : out_(stdout), own_(false), start_(Clock::now())
{
    if (!path.empty()) {
        out_ = std::fopen(path.c_str(), "a");
        if (!out_)
            throw std::runtime_error("cannot open log " + path);
        own_ = true;
    }
}

EventLog::~EventLog()
{
    if (own_)
        std::fclose(out_);
}

void EventLog::write(const Event& e, const std::string& summary)
{
    const auto wall = std::chrono::system_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(wall.time_since_epoch()).count();
    const std::time_t secs = static_cast<std::time_t>(ms / 1000);
    std::tm tm {};
    ::gmtime_r(&secs, &tm);
    char iso[40];
    std::strftime(iso, sizeof iso, "%Y-%m-%dT%H:%M:%S", &tm);
    char full[48];
    std::snprintf(full, sizeof full, "%s.%03dZ", iso, static_cast<int>(ms % 1000));
    const double t = std::chrono::duration<double>(Clock::now() - start_).count();

    std::fprintf(out_, "%s\n", e.json(t, full).c_str());
    std::fflush(out_);
    if (!summary.empty())
        std::fprintf(stderr, "printer-sim: %s\n", summary.c_str());
}

} // namespace sim

#include "Printer.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "Decode.h"

namespace sim {

namespace {

constexpr size_t kMaxTextCodes = 5000;

bool allDigits(const std::string& s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool digitsOrMinus(const std::string& s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return (c >= '0' && c <= '9') || c == '-'; });
}

// "0-5" is how the controller pads -5.
long parseSigned(const std::string& s)
{
    const size_t minus = s.find('-');
    if (minus == std::string::npos)
        return std::stol(s);
    const std::string rest = s.substr(minus + 1);
    return rest.empty() ? 0 : -std::stol(rest);
}

std::string hex(const std::string& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if (!out.empty())
            out += ' ';
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Bytes that the controller does not take for a response (nor a report field separator).
const std::string& garbageAlphabet()
{
    static const std::string alphabet = [] {
        const std::string responses = "u.spload@ekw%vS{qtljhHagGBnrc}(,";
        std::string a;
        for (int b = 1; b < 256; ++b)
            if (responses.find(static_cast<char>(b)) == std::string::npos)
                a += static_cast<char>(b);
        return a;
    }();
    return alphabet;
}

const char* settingName(char cmd)
{
    switch (cmd) {
    case 'q': return "ink amount";
    case 'r': return "print count";
    case 'R': return "delay after printing";
    case 'l': return "initial delay";
    case 'B': return "resolution";
    }
    return "?";
}

} // namespace

Printer::Printer(const Options& opt, Line& line, EventLog& log)
    : opt_(opt), line_(line), log_(log), rng_(opt.seed), settings_(opt.settings)
{
}

void Printer::run()
{
    for (;;) {
        if (const auto c = line_.take(TimePoint::max()))
            handle(*c);
    }
}

void Printer::strict(const char* what)
{
    endedWithParameter_ = true;
    const auto quiet = std::chrono::duration_cast<std::chrono::milliseconds>(line_.silenceBefore()).count();
    if (opt_.strictSilenceMs <= 0 || quiet >= opt_.strictSilenceMs)
        return;
    Event e = Event::named("strict-silence");
    e.str("what", what).num("silenceMs", quiet).num("needMs", opt_.strictSilenceMs);
    log_.write(e, std::string("strict silence: ") + what + " after " + std::to_string(quiet) + " ms");
    std::fprintf(stderr, "printer-sim: strict silence: %s after %lld ms of silence, %d needed\n", what,
                 static_cast<long long>(quiet), opt_.strictSilenceMs);
}

void Printer::handle(uint8_t c)
{
    // A parameter ends by silence: the next letter must keep it.
    if (endedWithParameter_)
        strict("command letter");
    endedWithParameter_ = false;
    sent_.clear();
    garbage_.clear();
    switch (c) {
    case '!': connect(); break;
    case 'u': report(); break;
    case 'l': case 'q': case 'R': case 'B': case 'r': valueSetting(static_cast<char>(c)); break;
    case 'H': case 'h': {
        direction_ = c == 'H' ? "rtl" : "ltr";
        reply(std::string(1, static_cast<char>(c)));
        Event e(std::string(1, static_cast<char>(c)));
        e.strings("params", {}).str("direction", direction_);
        finish(e, std::string(1, static_cast<char>(c)) + " print direction " + direction_);
        break;
    }
    case 'd': setDate(); break;
    case 't': setTime(); break;
    case 'c': setCounter(); break;
    case 's': store(); break;
    case 'S': imageSequence(); break;
    case 'n': expiryDays(); break;
    case 'J': case 'V': layout(static_cast<char>(c)); break;
    case 'T': textUpload(); break;
    case 'P': pictureUpload(); break;
    default: unknown(c); break;
    }
}

// ---- reading ---------------------------------------------------------------

std::optional<uint8_t> Printer::byteWithin(int ms)
{
    return line_.take(Clock::now() + std::chrono::milliseconds(ms));
}

// One write of the sender: its first byte within `firstMs`, then bytes until the line is idle for the gap.
std::string Printer::readWrite(int firstMs, size_t cap, bool paused)
{
    std::string s;
    auto b = byteWithin(firstMs);
    if (b && paused)
        strict("parameter");
    while (b) {
        s += static_cast<char>(*b);
        if (s.size() >= cap)
            break;
        b = line_.take(line_.lastArrival() + std::chrono::milliseconds(opt_.gapMs));
    }
    return s;
}

std::string Printer::readExact(size_t n, int firstMs, bool paused)
{
    std::string s;
    auto b = byteWithin(firstMs);
    if (b && paused)
        strict("parameter");
    while (b) {
        s += static_cast<char>(*b);
        if (s.size() == n)
            break;
        b = line_.take(line_.lastArrival() + std::chrono::milliseconds(opt_.gapMs));
    }
    return s;
}

// Up to n bytes of an upload; stops when the sender has been quiet for `idleMs`.
std::string Printer::readStream(size_t n, int idleMs)
{
    std::string s;
    s.reserve(n);
    const auto idle = std::chrono::milliseconds(idleMs);
    TimePoint deadline = Clock::now() + idle;
    while (s.size() < n) {
        const auto b = line_.take(deadline);
        if (!b)
            break;
        s += static_cast<char>(*b);
        deadline = line_.lastArrival() + idle;
    }
    return s;
}

// ---- answering and recording ------------------------------------------------

void Printer::reply(const std::string& bytes)
{
    if (opt_.silent)
        return;
    if (opt_.garbage) {
        const std::string& a = garbageAlphabet();
        std::uniform_int_distribution<size_t> count(1, 3), pick(0, a.size() - 1);
        std::string noise;
        for (size_t i = count(rng_); i > 0; --i)
            noise += a[pick(rng_)];
        line_.send(noise);
        garbage_ += noise;
    }
    if (!line_.send(bytes))
        std::fprintf(stderr, "printer-sim: nobody reads the port; reply dropped\n");
    sent_ += bytes;
}

void Printer::finish(Event& e, const std::string& summary)
{
    e.str("reply", escapeBytes(sent_));
    if (opt_.garbage)
        e.str("garbage", escapeBytes(garbage_));
    std::string shown = sent_;
    if (shown.size() > 20)
        shown = shown.substr(0, 8) + "..." + shown.substr(shown.size() - 4) + " (" + std::to_string(sent_.size()) + " bytes)";
    log_.write(e, summary + " -> " + (sent_.empty() ? std::string("(nothing)") : escapeBytes(shown)));
}

void Printer::notUnderstood(const std::string& cmd, const std::vector<std::string>& params, const std::string& why)
{
    std::vector<std::string> escaped;
    std::string shown;
    for (const auto& p : params) {
        escaped.push_back(escapeBytes(p));
        shown += " " + escapeBytes(p);
    }
    Event e(cmd);
    e.strings("params", escaped).flag("ok", false).str("error", why);
    finish(e, escapeBytes(cmd) + shown + ": not understood (" + why + ")");
}

std::string Printer::outPath(const char* stem, int n, const char* ext) const
{
    char name[64];
    std::snprintf(name, sizeof name, "%s-%04d.%s", stem, n, ext);
    return opt_.outDir + "/" + name;
}

// ---- commands ---------------------------------------------------------------

void Printer::connect()
{
    reply(opt_.replyError ? "e" : "s");
    Event e("!");
    e.strings("params", {});
    finish(e, "! connect");
}

void Printer::report()
{
    std::string r = "u";
    for (int v : settings_)
        r += "," + std::to_string(v);
    r += ".";
    reply(r);
    Event e("u");
    e.strings("params", {});
    finish(e, "u settings report");
}

// "l" and "q" come with the value at once, "R", "B" and "r" after a pause; either is taken.
void Printer::valueSetting(char cmd)
{
    const std::string c(1, cmd);
    const auto v = byteWithin(opt_.paramTimeoutMs);
    if (!v || *v == 0) {
        notUnderstood(c, v ? std::vector<std::string>{std::string(1, '\0')} : std::vector<std::string>{},
                      v ? "value 0" : "no value byte");
        return;
    }
    const int value = *v;
    switch (cmd) {
    case 'q': settings_[0] = value; break;
    case 'r': settings_[1] = value; break;
    case 'R': settings_[2] = value; break;
    case 'l': settings_[3] = value; break;
    case 'B': settings_[4] = value; break;
    }
    const char answer = cmd == 'R' ? 'G' : cmd == 'r' ? 'g' : cmd;
    reply(std::string(1, answer));
    Event e(c);
    e.strings("params", {escapeBytes(std::string(1, static_cast<char>(*v)))})
        .str("setting", settingName(cmd))
        .num("value", value);
    finish(e, c + " " + settingName(cmd) + " " + std::to_string(value));
}

void Printer::setDate()
{
    // The year has one to three digits: only the sender's pause ends it.
    const std::string year = readWrite(opt_.paramTimeoutMs, 64, true);
    const std::string month = year.empty() ? "" : readExact(2, opt_.paramTimeoutMs, true);
    const std::string day = month.size() < 2 ? "" : readExact(2, opt_.paramTimeoutMs, true);
    if (year.size() > 3 || !allDigits(year) || month.size() != 2 || !allDigits(month) || day.size() != 2 || !allDigits(day)) {
        notUnderstood("d", {year, month, day}, "date is not year (1-3 digits), month (2), day (2)");
        return;
    }
    date_ = year + "-" + month + "-" + day;
    reply("d");
    Event e("d");
    e.strings("params", {year, month, day})
        .num("year", std::stol(year)).num("month", std::stol(month)).num("day", std::stol(day));
    finish(e, "d date " + date_);
}

void Printer::setTime()
{
    std::vector<std::string> parts;
    for (int k = 0; k < 3; ++k) {
        parts.push_back(readExact(2, opt_.paramTimeoutMs, true));
        if (parts.back().size() != 2 || !allDigits(parts.back())) {
            notUnderstood("t", parts, "time is not hour, minute, second of two digits each");
            return;
        }
    }
    time_ = parts[0] + ":" + parts[1] + ":" + parts[2];
    reply("t");
    Event e("t");
    e.strings("params", parts)
        .num("hour", std::stol(parts[0])).num("minute", std::stol(parts[1])).num("second", std::stol(parts[2]));
    finish(e, "t time " + time_);
}

void Printer::setCounter()
{
    const std::string value = readExact(4, opt_.paramTimeoutMs);
    if (value.size() != 4) {
        notUnderstood("c", {value}, "counter is not four characters");
        return;
    }
    counter_ = value;
    reply("c");
    Event e("c");
    e.strings("params", {escapeBytes(value)}).str("counter", escapeBytes(value));
    finish(e, "c counter " + escapeBytes(value));
}

void Printer::store()
{
    // "s" alone stores the text; "s", pause, digit stores the picture. Only waiting tells them apart.
    const auto b = byteWithin(opt_.slotWindowMs);
    if (!b || *b < '0' || *b > '9') {
        if (b)
            line_.unget(*b);
        storedText_ = lastText_;
        reply("{");
        Event e("s");
        e.strings("params", {}).str("stored", "text").num("text", storedText_);
        finish(e, "s store text");
        return;
    }
    strict("parameter");
    const std::string digit(1, static_cast<char>(*b));
    if (*b < '1' || *b > '5') {
        notUnderstood("s", {digit}, "slot is not 1-5");
        return;
    }
    const int slot = *b - '0';
    slots_[static_cast<size_t>(slot - 1)] = lastPicture_;
    reply("w");
    for (int k = 0; k < 100; ++k) {
        line_.sleepMs(opt_.saveStepMs);
        reply("%");
    }
    reply("v");
    Event e("s");
    e.strings("params", {digit}).str("stored", "picture").num("slot", slot).num("picture", lastPicture_);
    finish(e, "s store picture " + std::to_string(lastPicture_) + " in slot " + digit);
}

void Printer::imageSequence()
{
    const std::string slot = readExact(1, opt_.paramTimeoutMs, true);
    if (slot.size() != 1 || slot[0] < '1' || slot[0] > '5') {
        notUnderstood("S", {slot}, "slot is not 1-5");
        return;
    }
    sequence_ = slot[0] - '0';
    reply("S");
    Event e("S");
    e.strings("params", {slot}).num("slot", sequence_);
    finish(e, "S image sequence up to slot " + slot);
}

void Printer::expiryDays()
{
    const std::string days = readWrite(opt_.paramTimeoutMs, 64, true);
    if (days.size() < 3 || !digitsOrMinus(days) || days.back() == '-') {
        notUnderstood("n", {days}, "expiry days are not three digits");
        return;
    }
    expiryDays_ = days;
    reply("n");
    Event e("n");
    e.strings("params", {days}).num("days", parseSigned(days));
    finish(e, "n expiry after " + days + " days");
}

void Printer::layout(char cmd)
{
    const std::string c(1, cmd);
    const std::string p = readWrite(opt_.paramTimeoutMs, 64, true);
    if (p.size() < 21 || !digitsOrMinus(p)) {
        notUnderstood(c, {p}, "layout is not 21 characters of digits");
        return;
    }
    (cmd == 'J' ? productionLayout_ : expiryLayout_) = p;
    reply(cmd == 'J' ? "j" : "a");
    Event e(c);
    e.strings("params", {p});
    std::string summary = c + (cmd == 'J' ? " production" : " expiry") + " date layout " + p;
    if (p.size() == 21 && p.find('-') == std::string::npos) {
        // Calendar, slot, size, then year, month and day positions (x, y) of three digits each.
        auto field = [&](size_t at) { return static_cast<long long>(std::stol(p.substr(at, 3))); };
        e.str("calendar", p[0] == '0' ? "solar" : "gregorian")
            .num("slot", p[1] - '0').num("size", p[2] - '0')
            .raw("year", "[" + std::to_string(field(3)) + "," + std::to_string(field(6)) + "]")
            .raw("month", "[" + std::to_string(field(9)) + "," + std::to_string(field(12)) + "]")
            .raw("day", "[" + std::to_string(field(15)) + "," + std::to_string(field(18)) + "]");
    }
    finish(e, summary);
}

void Printer::textUpload()
{
    if (opt_.silent || opt_.noUploadReply) {
        Event e("T");
        e.strings("params", {}).flag("ignored", true);
        finish(e, "T send text (ignored)");
        return;
    }
    delayUploadReply('T');
    reply("}");
    const int n = ++texts_;
    const std::string field = readStream(4, opt_.uploadTimeoutMs);
    if (field.size() < 4 || !allDigits(field)) {
        if (!opt_.outDir.empty())
            writeFile(outPath("text", n, "raw"), field);
        Event e("T");
        e.strings("params", {escapeBytes(field)}).flag("ok", false).str("error", "length field is not four digits");
        finish(e, "T text " + std::to_string(n) + ": bad length field");
        return;
    }
    // Lengths of five digits and more have no fill; a leading "0" says the field is complete.
    std::string extra;
    if (field[0] != '0') {
        while (extra.size() < 4) {
            const auto b = line_.take(line_.lastArrival() + std::chrono::milliseconds(opt_.uploadTimeoutMs));
            if (!b)
                break;
            if (*b < '0' || *b > '9') {
                line_.unget(*b);
                break;
            }
            extra += static_cast<char>(*b);
        }
    }
    auto expected = [](const std::string& digits) { return std::min<size_t>(std::stoul(digits), kMaxTextCodes); };
    std::string lengthField = field + extra;
    std::string codes = readStream(expected(lengthField), opt_.uploadTimeoutMs);
    if (codes.size() < expected(lengthField)) {
        // The digits taken after the field may have been codes after all.
        for (size_t j = extra.size(); j-- > 0;) {
            const std::string f = field + extra.substr(0, j);
            const std::string c = extra.substr(j) + codes;
            if (c.size() == expected(f)) {
                lengthField = f;
                codes = c;
                break;
            }
        }
    }
    const size_t length = std::stoul(lengthField);
    const bool ok = codes.size() == expected(lengthField);
    const DecodedText text = decodeText(codes);
    std::string txtFile, rawFile;
    if (!opt_.outDir.empty()) {
        txtFile = outPath("text", n, "txt");
        rawFile = outPath("text", n, "raw");
        writeFile(txtFile, text.visual);
        writeFile(rawFile, lengthField + codes);
    }
    if (ok) {
        lastText_ = n;
        reply("r");
        reply("@");
    }
    Event e("T");
    e.strings("params", {lengthField})
        .flag("ok", ok)
        .num("text", n)
        .num("length", static_cast<long long>(length))
        .num("codes", static_cast<long long>(codes.size()))
        .str("visual", text.visual)
        .str("presentation", text.presentation)
        .strings("forms", text.forms)
        .numbers("ambiguous", text.ambiguous)
        .numbers("unknown", text.unknown)
        .str("hex", hex(codes));
    if (!ok)
        e.str("error", "stream stopped after " + std::to_string(codes.size()) + " of "
                           + std::to_string(expected(lengthField)) + " codes");
    if (!txtFile.empty())
        e.str("file", txtFile).str("raw", rawFile);
    finish(e, "T text " + std::to_string(n) + " \"" + text.visual + "\"" + (ok ? "" : " (incomplete)"));
}

// Logged when the request is heard, so that a log shows what came between it and its stream.
void Printer::delayUploadReply(char request)
{
    if (opt_.uploadReplyDelayMs <= 0)
        return;
    Event e = Event::named("upload-reply-delay");
    e.str("request", std::string(1, request)).num("ms", opt_.uploadReplyDelayMs);
    log_.write(e, std::string(1, request) + " heard; asking for the stream in " +
                      std::to_string(opt_.uploadReplyDelayMs) + " ms");
    line_.sleepMs(opt_.uploadReplyDelayMs);
}

void Printer::pictureUpload()
{
    if (opt_.silent || opt_.noUploadReply) {
        Event e("P");
        e.strings("params", {}).flag("ignored", true);
        finish(e, "P send picture (ignored)");
        return;
    }
    delayUploadReply('P');
    reply("(");
    const int n = ++pictures_;
    const std::string stream = readStream(kPictureStreamSize, opt_.uploadTimeoutMs);
    const DecodedPicture pic = decodePicture(stream);
    std::string pngFile, rawFile;
    if (!opt_.outDir.empty()) {
        rawFile = outPath("picture", n, "raw");
        writeFile(rawFile, stream);
        if (pic.ok) {
            pngFile = outPath("picture", n, "png");
            if (!writePng(pic, pngFile))
                std::fprintf(stderr, "printer-sim: cannot write %s\n", pngFile.c_str());
        }
    }
    if (pic.ok)
        lastPicture_ = n;
    reply(pic.ok ? "pload" : "p");
    int blacks = 0;
    for (uint8_t b : pic.black)
        blacks += b;
    Event e("P");
    e.strings("params", {escapeBytes(stream.substr(0, 3))})
        .flag("ok", pic.ok)
        .num("picture", n)
        .num("bytes", static_cast<long long>(stream.size()))
        .num("black", blacks);
    if (!pic.ok)
        e.str("error", pic.error);
    if (!rawFile.empty())
        e.str("raw", rawFile);
    if (!pngFile.empty())
        e.str("png", pngFile);
    finish(e, "P picture " + std::to_string(n) + (pic.ok ? " (" + std::to_string(blacks) + " black pixels)" : ": " + pic.error));
}

void Printer::unknown(uint8_t first)
{
    // The rest of the same write belongs to the same nonsense.
    std::string bytes(1, static_cast<char>(first));
    bytes += readWrite(opt_.gapMs, 256);
    Event e(bytes.substr(0, 1));
    e.strings("params", {escapeBytes(bytes.substr(1))}).flag("ok", false).str("error", "unknown command");
    finish(e, escapeBytes(bytes.size() > 40 ? bytes.substr(0, 40) + "..." : bytes) + ": unknown command");
}

} // namespace sim

// korvelctl: the printer's commands without the window, for scripts on a
// production line.
//
// Exit codes: 0 the expected reply, 1 bad usage or a local failure, 2 no
// reply, 3 an error reply or a line error.
#include "Session.h"

#include "image/Canvas.h"
#include "image/Codes.h"
#include "image/DateLayout.h"
#include "image/Raster.h"
#include "printer/Messages.h"
#include "printer/Protocol.h"
#include "serial/PortMap.h"
#include "text/Stream.h"

#include <QFile>
#include <QString>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <ctime>
#include <functional>
#include <iostream>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace korvel;

namespace {

constexpr int kOk = 0, kUsage = 1, kNoReply = 2, kFailed = 3;

struct Context {
    std::string port;
    std::chrono::milliseconds timeout{3000};
};

struct Usage : std::runtime_error {
    using std::runtime_error::runtime_error;
};

int exitCode(const ctl::Outcome& o)
{
    switch (o.kind) {
    case ctl::Outcome::Acknowledged: return kOk;
    case ctl::Outcome::NoReply: return kNoReply;
    default: return kFailed;
    }
}

// "\r[#####               ] 120/240" on stderr, redrawn when it moves.
class ProgressBar {
public:
    explicit ProgressBar(int total) : total_(total) {}
    ~ProgressBar() { finish(); }
    // Shown as counted, past the total too: a miscount must not hide behind a full bar.
    void show(int done)
    {
        if (done == shown_)
            return;
        shown_ = done;
        constexpr int kWidth = 20;
        const int fill = std::clamp(done, 0, total_) * kWidth / total_;
        std::cerr << "\r[" << std::string(std::size_t(fill), '#') << std::string(std::size_t(kWidth - fill), ' ')
                  << "] " << done << '/' << total_ << std::flush;
    }
    int shown() const { return shown_; }
    void finish()
    {
        if (shown_ >= 0)
            std::cerr << '\n';
        shown_ = -1;
    }

private:
    int total_;
    int shown_ = -1;
};

// What korvelctl prints of the conversation: a picture's bar as its columns
// cross, the saving's "w" at once and its bar a step for each "%", and each
// command's end.
class Printout {
public:
    void effect(const printer::Effect& e)
    {
        using printer::EffectKind;
        std::lock_guard lock(mutex_);
        switch (e.kind) {
        case EffectKind::Message:
            if (e.response == "w")
                std::cout << e.text << std::endl;
            break;
        case EffectKind::ProgressReset:
            bar_.emplace(e.maximum);
            bar_->show(0);
            advance(e.position); // the "%" that came with the "w"
            break;
        case EffectKind::ProgressPosition:
            if (bar_)
                bar_->show(e.position);
            break;
        case EffectKind::ProgressAdvance:
            advance(e.position); // ignored before the "w": its reset counts them
            break;
        case EffectKind::HideStatusSend:
            bar_.reset();
            break;
        default:
            break;
        }
    }
    int ended(const ctl::Outcome& o)
    {
        std::lock_guard lock(mutex_);
        if (o.report) {
            const printer::Report& r = *o.report;
            std::cout << "ink " << r.ink.text << "\ncount " << r.count.text << "\ndelay-after " << r.delayAfter.text
                      << "\ninitial-delay " << r.initialDelay.text << "\nresolution " << r.resolution.text << '\n';
        }
        if (!o.message.empty())
            std::cout << o.message << std::endl;
        if (!o.error.empty()) {
            if (bar_)
                std::cerr << '\n'; // below a bar still drawn
            std::cerr << "korvelctl: " << o.error << std::endl;
        }
        return exitCode(o);
    }

private:
    void advance(int steps)
    {
        for (int i = 0; bar_ && i < steps; ++i)
            bar_->show(bar_->shown() + 1);
    }

    std::mutex mutex_;
    std::optional<ProgressBar> bar_;
};

int report(const ctl::Outcome& o) { return Printout().ended(o); }

// While a script is read, the commands are collected instead of sent.
std::vector<printer::Command>* g_script = nullptr;

// Connects, gives the command and prints what the printer makes of it.
int give(const Context& ctx, printer::Command command)
{
    if (g_script) {
        g_script->push_back(std::move(command));
        return kOk;
    }
    Printout printout;
    ctl::Session session(ctx.port, ctx.timeout);
    if (ctl::Outcome c = session.connect(); c.kind != ctl::Outcome::Acknowledged)
        return printout.ended(c);
    session.setObserver([&printout](const printer::Effect& e) { printout.effect(e); });
    return printout.ended(session.wait(session.submit(std::move(command))));
}

int sendCommand(const Context& ctx, printer::Job job)
{
    printer::Command c;
    c.request = std::move(job);
    return give(ctx, std::move(c));
}

int parseNumber(const std::string& text, int lo, int hi, const char* what)
{
    std::size_t used = 0;
    int value = 0;
    try {
        value = std::stoi(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != text.size() || text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])) ||
        value < lo || value > hi)
        throw Usage(std::string(what) + " must be a number from " + std::to_string(lo) + " to " +
                    std::to_string(hi) + ", not \"" + text + "\"");
    return value;
}

// "2025-03-07" or "09:05:03" into three numbers.
std::array<int, 3> splitThree(const std::string& text, char sep, const char* what)
{
    const auto a = text.find(sep);
    const auto b = a == std::string::npos ? a : text.find(sep, a + 1);
    if (b == std::string::npos)
        throw Usage(std::string("bad ") + what + " \"" + text + "\"");
    return {parseNumber(text.substr(0, a), 0, 9999, what), parseNumber(text.substr(a + 1, b - a - 1), 0, 99, what),
            parseNumber(text.substr(b + 1), 0, 99, what)};
}

std::tm localNow()
{
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

printer::ValueSetting settingNamed(const std::string& name)
{
    using printer::ValueSetting;
    if (name == "initial-delay") return ValueSetting::InitialDelay;
    if (name == "delay-after") return ValueSetting::DelayAfter;
    if (name == "resolution") return ValueSetting::Resolution;
    if (name == "ink") return ValueSetting::Ink;
    if (name == "count") return ValueSetting::Count;
    throw Usage("unknown setting \"" + name + "\" (initial-delay, delay-after, resolution, ink, count)");
}

using Args = std::vector<std::string>;

struct Command {
    const char* name;
    const char* args;
    const char* help;
    std::size_t minArgs, maxArgs;
    bool needsPort;
    std::function<int(const Context&, const Args&)> run;
};

int cmdPorts(const Context&, const Args&)
{
    for (const serial::PortEntry& p : serial::listPorts())
        std::cout << p.name << " -> " << p.device << '\n';
    return kOk;
}

int cmdMap(const Context&, const Args& a)
{
    serial::mapPort(a[0], a[1]);
    return kOk;
}

int cmdUnmap(const Context&, const Args& a)
{
    serial::unmapPort(a[0]);
    return kOk;
}

int cmdConnect(const Context& ctx, const Args&)
{
    if (g_script)
        return sendCommand(ctx, printer::connectJob());
    ctl::Session session(ctx.port, ctx.timeout);
    return report(session.connect());
}

int cmdSettings(const Context& ctx, const Args&) { return sendCommand(ctx, printer::requestSettingsJob()); }

int cmdSet(const Context& ctx, const Args& a)
{
    const printer::ValueSetting setting = settingNamed(a[0]);
    return sendCommand(ctx, printer::valueSettingJob(setting, parseNumber(a[1], 1, 255, "the value")));
}

int cmdSetDate(const Context& ctx, const Args& a)
{
    std::array<int, 3> ymd;
    if (a.empty()) {
        const std::tm tm = localNow();
        ymd = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
    } else {
        ymd = splitThree(a[0], '-', "date (YYYY-MM-DD)");
    }
    printer::Job job;
    try {
        job = printer::setDateJob(ymd[0], ymd[1], ymd[2]);
    } catch (const std::invalid_argument& e) {
        throw Usage(e.what());
    }
    return sendCommand(ctx, std::move(job));
}

int cmdSetTime(const Context& ctx, const Args& a)
{
    std::array<int, 3> hms;
    if (a.empty()) {
        const std::tm tm = localNow();
        hms = {tm.tm_hour, tm.tm_min, tm.tm_sec};
    } else {
        hms = splitThree(a[0], ':', "time (HH:MM:SS)");
    }
    printer::Job job;
    try {
        job = printer::setTimeJob(hms[0], hms[1], hms[2]);
    } catch (const std::invalid_argument& e) {
        throw Usage(e.what());
    }
    return sendCommand(ctx, std::move(job));
}

int cmdSetCounter(const Context& ctx, const Args& a)
{
    const printer::CounterResult c = printer::counterFromAnswer(a[0], false);
    if (!c.ok) {
        std::cout << c.error << '\n';
        throw Usage("the counter takes up to four digits, not \"" + a[0] + "\"");
    }
    return sendCommand(ctx, printer::setCounterJob(c.text4));
}

int cmdDirection(const Context& ctx, const Args& a)
{
    if (a[0] == "rtl")
        return sendCommand(ctx, printer::directionJob(printer::Direction::RightToLeft));
    if (a[0] == "ltr")
        return sendCommand(ctx, printer::directionJob(printer::Direction::LeftToRight));
    throw Usage("direction is rtl or ltr, not \"" + a[0] + "\"");
}

// ---- text

// UTF-8 in, the editor's text out: every line break as CR LF.
std::u16string editorText(const QByteArray& utf8, const std::string& from)
{
    QStringDecoder decode(QStringDecoder::Utf8);
    QString text = decode(utf8);
    if (decode.hasError())
        throw Usage(from + " is not UTF-8");
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QChar(u'\r'), QChar(u'\n'));
    text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return text.toStdU16String();
}

// [--direction auto|ltr|rtl] TEXT|--file F; refused (usage) when the printer
// could not print it.
text::TextStream textStream(Args a)
{
    text::TextDirection direction = text::TextDirection::Auto;
    if (!a.empty() && a[0] == "--direction") {
        const auto named = a.size() > 1 ? text::directionNamed(a[1]) : std::nullopt;
        if (!named)
            throw Usage("--direction wants auto, ltr or rtl");
        direction = *named;
        a.erase(a.begin(), a.begin() + 2);
        if (a.empty())
            throw Usage("give the text as one argument, or --file F");
    }
    std::u16string source;
    if (a[0] == "--file") {
        if (a.size() != 2)
            throw Usage("--file wants a file name");
        QFile file(QFile::decodeName(a[1].c_str()));
        if (!file.open(QIODevice::ReadOnly))
            throw Usage(a[1] + ": " + file.errorString().toStdString());
        source = editorText(file.readAll(), a[1]);
    } else {
        if (a.size() != 1)
            throw Usage("give the text as one argument, or --file F");
        source = editorText(QByteArray::fromStdString(a[0]), "the text");
    }
    text::TextStream stream = text::encodeTextStream(source, direction);
    if (!stream.unprintable.empty()) {
        std::string names;
        for (char32_t c : stream.unprintable) {
            const QString ch = QString::fromUcs4(&c, 1);
            names += (names.empty() ? "" : ", ") + std::string("\u00AB") + ch.toStdString() + "\u00BB (U+" +
                     QString::number(uint(c), 16).toUpper().rightJustified(4, u'0').toStdString() + ")";
        }
        throw Usage("the printer's font lacks " + names + "; nothing was sent");
    }
    if (stream.tooLong)
        throw Usage("the text needs " + std::to_string(stream.codeCount) + " codes, the printer takes at most " +
                    std::to_string(text::kMaxCodes) + "; nothing was sent");
    return stream;
}

int cmdEncodeText(const Context&, const Args& a)
{
    std::cout << text::toHex(textStream(a).bytes) << '\n';
    return kOk;
}

int uploadText(const Context& ctx, const std::string& bytes);

int cmdSendText(const Context& ctx, const Args& a)
{
    return uploadText(ctx, textStream(a).bytes); // refused before anything is sent
}

// Through the same upload as any text, so the printer draws each code with its own font.
int cmdFontChart(const Context& ctx, const Args&) { return uploadText(ctx, text::rawStream(text::fontChartCodes())); }

int uploadText(const Context& ctx, const std::string& bytes)
{
    printer::Command c;
    c.request = printer::sendTextJob();
    c.stream = printer::textUploadJob(bytes); // its end prints "r" and "@"
    c.awaited = '}';
    return give(ctx, std::move(c));
}

int cmdStoreText(const Context& ctx, const Args&) { return sendCommand(ctx, printer::storeTextJob()); }

// ---- pictures


// The picture as the window's canvas takes it: made black and white, rasterised.
std::vector<int> pictureValues(const std::string& path)
{
    image::Canvas canvas;
    try {
        canvas.load(QFile::decodeName(path.c_str()));
    } catch (const image::FileError& e) {
        throw Usage(e.what());
    }
    return canvas.rasterise();
}

int cmdRaster(const Context&, const Args& a)
{
    std::cout << image::traceFileText(pictureValues(a[0])) << '\n';
    return kOk;
}

int cmdSendImage(const Context& ctx, const Args& a)
{
    const std::vector<int> raster = pictureValues(a[0]);
    printer::Command c;
    c.request = printer::sendPictureJob();
    c.stream = printer::imageUploadJob(std::vector<std::int32_t>(raster.begin(), raster.end()));
    c.awaited = '(';
    c.columnProgress = true; // the bar follows the wire, column by column
    return give(ctx, std::move(c));
}

int parseSlot(const std::string& text) { return parseNumber(text, 1, 5, "the image slot"); }

int cmdStoreImage(const Context& ctx, const Args& a)
{
    return sendCommand(ctx, printer::storePictureJob(parseSlot(a[0])));
}

int cmdSequence(const Context& ctx, const Args& a)
{
    return sendCommand(ctx, printer::imageSequenceJob(parseSlot(a[0])));
}

// ---- date layouts

// "X,Y" of a field's top-left corner: inside the canvas, or parked (not placed).
std::pair<int, int> fieldPosition(const std::string& text, const std::string& field)
{
    const auto comma = text.find(',');
    if (comma == std::string::npos)
        throw Usage("--" + field + " wants X,Y, not \"" + text + "\"");
    const std::string what = "the " + field + " position";
    const int x = parseNumber(text.substr(0, comma), 0, 999, what.c_str());
    const int y = parseNumber(text.substr(comma + 1), 0, 999, what.c_str());
    const bool parked = x == image::kParked.left && y == image::kParked.top;
    if (!parked && (x >= image::kCanvasWidth || y >= image::kCanvasHeight))
        throw Usage("the " + field + " at " + text + " lies outside the " + std::to_string(image::kCanvasWidth) +
                    " x " + std::to_string(image::kCanvasHeight) + " canvas (X 0 to " +
                    std::to_string(image::kCanvasWidth - 1) + ", Y 0 to " +
                    std::to_string(image::kCanvasHeight - 1) + "; 251,251 leaves it unplaced)");
    return {x, y};
}

int cmdLayout(const Context& ctx, const Args& a)
{
    const bool production = a[0] == "production";
    if (!production && a[0] != "expiry")
        throw Usage("layout is production or expiry, not \"" + a[0] + "\"");
    std::optional<bool> solar;
    std::optional<int> slot, size;
    const std::pair<int, int> parked{image::kParked.left, image::kParked.top};
    std::array<std::pair<int, int>, 3> positions{parked, parked, parked}; // year, month, day
    for (std::size_t i = 1; i < a.size(); i += 2) {
        const std::string& option = a[i];
        if (i + 1 >= a.size())
            throw Usage(option + " wants a value");
        const std::string& v = a[i + 1];
        if (option == "--calendar") {
            if (v != "solar" && v != "gregorian")
                throw Usage("--calendar is solar or gregorian, not \"" + v + "\"");
            solar = v == "solar";
        } else if (option == "--slot") {
            slot = parseSlot(v);
        } else if (option == "--size") {
            size = parseNumber(v, 1, 8, "the size digit");
        } else if (option == "--year") {
            positions[0] = fieldPosition(v, "year");
        } else if (option == "--month") {
            positions[1] = fieldPosition(v, "month");
        } else if (option == "--day") {
            positions[2] = fieldPosition(v, "day");
        } else {
            throw Usage("unknown layout option " + option);
        }
    }
    if (!solar || !slot || !size)
        throw Usage("layout needs --calendar, --slot and --size");
    std::string parameters;
    try {
        parameters = image::layoutParameters(*solar, *slot, *size, positions);
    } catch (const std::invalid_argument& e) {
        throw Usage(e.what());
    }
    return sendCommand(ctx, production ? printer::productionLayoutJob(parameters)
                                       : printer::expiryLayoutJob(parameters));
}

int cmdExpiryDays(const Context& ctx, const Args& a)
{
    const int days = parseNumber(a[0], image::kExpiryOffsetMin, image::kExpiryOffsetMax, "the expiry offset");
    return sendCommand(ctx, printer::expiryDaysJob(image::expiryDaysParameter(days)));
}

// ---- codes

// A 240 x 154 picture with a code at X,Y (quiet zone included), on white or on FILE.
int cmdCode(const Context&, const Args& a)
{
    std::optional<image::Symbology> type;
    std::optional<std::string> data;
    std::optional<int> module;
    int atX = 0, atY = 0;
    std::string onto, out;
    for (std::size_t i = 0; i < a.size(); i += 2) {
        const std::string& option = a[i];
        if (i + 1 >= a.size())
            throw Usage(option + " wants a value");
        const std::string& v = a[i + 1];
        if (option == "--type") {
            type = image::symbologyFromKey(v);
            if (!type)
                throw Usage("--type is qr, datamatrix, gs1-datamatrix, code128, gs1-128 or ean13, not \"" + v + "\"");
        } else if (option == "--data") {
            data = v;
        } else if (option == "--module") {
            module = parseNumber(v, image::kMinModule, image::kMaxModule, "the module size");
        } else if (option == "--at") {
            const auto comma = v.find(',');
            if (comma == std::string::npos)
                throw Usage("--at wants X,Y, not \"" + v + "\"");
            atX = parseNumber(v.substr(0, comma), 0, image::kColumns - 1, "X");
            atY = parseNumber(v.substr(comma + 1), 0, image::kRows - 1, "Y");
        } else if (option == "--onto") {
            onto = v;
        } else if (option == "--out") {
            out = v;
        } else {
            throw Usage("unknown code option " + option);
        }
    }
    if (!type || !data || !module || out.empty())
        throw Usage("code needs --type, --data, --module and --out");
    const image::CodeOutcome code = image::makeCode(*type, *data, *module);
    if (code.kind != image::CodeOutcome::Kind::Made) {
        std::cout << image::codeRefusalMessage(code) << '\n';
        if (code.kind == image::CodeOutcome::Kind::BadData)
            throw Usage("the data is refused: " + code.reason);
        throw Usage("the code is " + std::to_string(code.width) + " x " + std::to_string(code.height) +
                    " at module " + std::to_string(*module) + ", larger than the 240 x 154 canvas; " +
                    (code.largestModule ? "the largest module that fits is " + std::to_string(code.largestModule)
                                        : std::string("no module size fits")));
    }
    const image::CodePicture& p = code.picture;
    if (atX + p.width > image::kColumns || atY + p.height > image::kRows)
        throw Usage("the code is " + std::to_string(p.width) + " x " + std::to_string(p.height) + " with its quiet zone; at " +
                    std::to_string(atX) + "," + std::to_string(atY) + " it leaves the 240 x 154 canvas");
    QImage base(image::kColumns, image::kRows, QImage::Format_RGB32);
    base.fill(Qt::white);
    if (!onto.empty()) {
        QImage picture;
        try {
            picture = image::toBlackAndWhite(image::loadPicture(QFile::decodeName(onto.c_str())));
        } catch (const image::FileError& e) {
            throw Usage(e.what());
        }
        for (int y = 0; y < std::min(picture.height(), image::kRows); ++y)
            for (int x = 0; x < std::min(picture.width(), image::kColumns); ++x)
                base.setPixel(x, y, picture.pixel(x, y));
    }
    image::Canvas canvas;
    canvas.replacePicture(base);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            canvas.setPixel(atX + x, atY + y, p.black(x, y)); // the quiet zone is whitened
    try {
        canvas.save(QFile::decodeName(out.c_str()));
    } catch (const image::FileError& e) {
        throw Usage(e.what());
    }
    return kOk;
}

const std::vector<Command>& commands();

// "a b \"c d\"" into a, b and c d.
Args splitLine(const std::string& line)
{
    Args out;
    std::string word;
    bool quoted = false, any = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (!quoted && std::isspace(static_cast<unsigned char>(c))) {
            if (any)
                out.push_back(word);
            word.clear();
            any = false;
        } else {
            word += c;
            any = true;
        }
    }
    if (quoted)
        throw Usage("unclosed quote in \"" + line + "\"");
    if (any)
        out.push_back(word);
    return out;
}

int cmdRun(const Context& ctx, const Args& a)
{
    QFile file(QFile::decodeName(a[0].c_str()));
    if (!file.open(QIODevice::ReadOnly))
        throw Usage(a[0] + ": " + file.errorString().toStdString());
    // Every line is read and built before anything is sent: a bad line sends nothing.
    struct Step {
        std::optional<printer::Command> command;
        double waitSeconds = 0;
    };
    std::vector<Step> steps;
    int number = 0;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        ++number;
        std::string line = raw.toStdString();
        if (const auto hash = line.find('#'); hash != std::string::npos)
            line.erase(hash);
        const Args words = splitLine(line);
        if (words.empty())
            continue;
        const std::string where = a[0] + ":" + std::to_string(number) + ": ";
        if (words[0] == "wait") {
            if (words.size() != 2)
                throw Usage(where + "wait SECONDS");
            double seconds = -1;
            try {
                seconds = std::stod(words[1]);
            } catch (const std::exception&) {
            }
            if (!(seconds >= 0 && seconds <= 3600))
                throw Usage(where + "wait wants 0 to 3600 seconds, not \"" + words[1] + "\"");
            steps.push_back(Step{std::nullopt, seconds});
            continue;
        }
        const Args args(words.begin() + 1, words.end());
        const Command* cmd = nullptr;
        for (const Command& k : commands())
            if (words[0] == k.name && k.needsPort && words[0] != "run")
                cmd = &k;
        if (!cmd)
            throw Usage(where + "\"" + words[0] + "\" cannot be scripted");
        if (args.size() < cmd->minArgs || args.size() > cmd->maxArgs)
            throw Usage(where + "usage: " + cmd->name + " " + cmd->args);
        std::vector<printer::Command> got;
        g_script = &got;
        try {
            cmd->run(ctx, args);
        } catch (const Usage& e) {
            g_script = nullptr;
            throw Usage(where + e.what());
        } catch (...) {
            g_script = nullptr;
            throw;
        }
        g_script = nullptr;
        if (got.size() != 1)
            throw Usage(where + "\"" + words[0] + "\" cannot be scripted");
        steps.push_back(Step{std::move(got.front()), 0});
    }

    Printout printout;
    ctl::Session session(ctx.port, ctx.timeout);
    if (ctl::Outcome o = session.connect(); o.kind != ctl::Outcome::Acknowledged)
        return printout.ended(o);
    // Each end is printed as it comes, while the script goes on.
    session.setObserver([&printout](const printer::Effect& e) { printout.effect(e); });
    session.setEndObserver([&printout](const ctl::Outcome& o) { printout.ended(o); });
    // Each command is given at once, queued behind the work in progress, as a press would be.
    std::vector<std::uint64_t> given;
    for (Step& step : steps) {
        if (step.command)
            given.push_back(session.submit(std::move(*step.command)));
        else
            std::this_thread::sleep_for(std::chrono::duration<double>(step.waitSeconds));
    }
    int worst = kOk;
    for (const std::uint64_t id : given)
        worst = std::max(worst, exitCode(session.wait(id)));
    return worst;
}

const std::vector<Command>& commands()
{
    static const std::vector<Command> table{
        {"ports", "", "the port map and the serial devices found", 0, 0, false, cmdPorts},
        {"map", "COMn PATH|URL", "let COMn name the device PATH, or tcp://HOST:PORT or rfc2217://HOST:PORT", 2, 2, false, cmdMap},
        {"unmap", "COMn", "forget COMn", 1, 1, false, cmdUnmap},
        {"connect", "", "greet the printer", 0, 0, true, cmdConnect},
        {"settings", "", "print the printer's five settings", 0, 0, true, cmdSettings},
        {"set", "initial-delay|delay-after|resolution|ink|count VALUE", "set one setting (1 to 255)", 2, 2, true,
         cmdSet},
        {"set-date", "[YYYY-MM-DD]", "set the printer's date (default today)", 0, 1, true, cmdSetDate},
        {"set-time", "[HH:MM:SS]", "set the printer's clock (default now)", 0, 1, true, cmdSetTime},
        {"set-counter", "DIGITS", "set the counter (up to four digits)", 1, 1, true, cmdSetCounter},
        {"direction", "rtl|ltr", "print right to left or left to right", 1, 1, true, cmdDirection},
        {"encode-text", "[--direction auto|ltr|rtl] TEXT|--file F", "print the text's stream in hex (no printer)", 1, 4,
         false, cmdEncodeText},
        {"send-text", "[--direction auto|ltr|rtl] TEXT|--file F", "send the text (\"T\", the stream on \"}\")", 1, 4,
         true, cmdSendText},
        {"font-chart", "", "print every code 0x80..0xFF beside its hex value", 0, 0, true, cmdFontChart},
        {"store-text", "", "store the text last sent", 0, 0, true, cmdStoreText},
        {"raster", "FILE", "print the picture's 5,280 values (no printer)", 1, 1, false, cmdRaster},
        {"send-image", "FILE", "send the picture (\"P\", the stream on \"(\")", 1, 1, true, cmdSendImage},
        {"store-image", "SLOT", "store the picture last sent in slot 1 to 5", 1, 1, true, cmdStoreImage},
        {"sequence", "SLOT", "print the stored pictures up to slot 1 to 5 in turn", 1, 1, true, cmdSequence},
        {"layout",
         "production|expiry --calendar solar|gregorian --slot N --size D [--year X,Y] [--month X,Y] [--day X,Y]",
         "where the printer prints a date", 7, 13, true, cmdLayout},
        {"expiry-days", "N", "days from production to expiry (0 to 999)", 1, 1, true, cmdExpiryDays},
        {"code",
         "--type qr|datamatrix|gs1-datamatrix|code128|gs1-128|ean13 --data TEXT --module N [--at X,Y] [--onto FILE] "
         "--out FILE.bmp",
         "a 240 x 154 1-bit picture with the code at X,Y (no printer)", 8, 12, false, cmdCode},
        {"run", "FILE", "the commands of FILE, one a line (# comment, wait SECONDS), each queued at once", 1, 1,
         true, cmdRun},
    };
    return table;
}

void printUsage(std::ostream& out)
{
    out << "usage: korvelctl [--port COMn] [--timeout MS] COMMAND [ARGS]\n\ncommands:\n";
    for (const Command& c : commands()) {
        std::string head = std::string("  ") + c.name + (*c.args ? " " : "") + c.args;
        if (head.size() >= 62)
            out << head << "\n" << std::string(62, ' ') << c.help << '\n';
        else
            out << head << std::string(62 - head.size(), ' ') << c.help << '\n';
    }
    out << "\nPrinter commands need --port. Exit codes: 0 acknowledged, 1 usage, 2 no reply,\n"
           "3 error reply or line error. Replies are printed as the window shows them.\n"
           "\nText is UTF-8 (an argument or a file); line breaks are sent as CR LF. A text with\n"
           "characters the printer's font lacks, or of more than 5000 codes, is refused.\n"
           "--direction: each line's base direction; auto takes its first strong letter.\n"
           "encode-text prints the stream as upper-case hex bytes, one space between them:\n"
           "the four-digit length field first, the added space last.\n"
           "font-chart: \"80=\" and the code 0x80, and so on to FF, eight to a line.\n"
           "Pictures: any format Qt reads, made black and white as the canvas does (a pixel is\n"
           "black when darker than half). raster prints one line as the trace file holds it:\n"
           "\"240,\" and then each value followed by a comma. Progress bars go to stderr.\n"
           "layout: X,Y is a field's top-left corner on the 240 x 154 canvas (X 0 to 239,\n"
           "Y 0 to 153); 251,251, the default, leaves the field unplaced.\n"
           "code: made by libzint, every module a square of N x N dots, with the quiet zone the\n"
           "symbology needs; GS1 data is written with its AIs, \"(01)09501101530003(10)AB12\".\n"
           "Bad data, or a code larger than the canvas (the largest module that fits is told),\n"
           "is refused with exit code 1.\n"
           "The reply to an upload is awaited for --timeout after its last byte can have\n"
           "crossed the line at 9600 bit/s.\n";
}

} // namespace

int main(int argc, char** argv)
{
    Context ctx;
    Args rest;
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string arg = argv[i];
            auto value = [&]() -> std::string {
                if (i + 1 >= argc)
                    throw Usage(arg + " wants a value");
                return argv[++i];
            };
            if (!rest.empty()) {
                rest.push_back(arg);
            } else if (arg == "--help" || arg == "-h") {
                printUsage(std::cout);
                return kOk;
            } else if (arg == "--port") {
                ctx.port = value();
            } else if (arg == "--timeout") {
                ctx.timeout = std::chrono::milliseconds(parseNumber(value(), 1, 3600000, "--timeout"));
            } else if (arg.rfind("--", 0) == 0) {
                throw Usage("unknown option " + arg);
            } else {
                rest.push_back(arg);
            }
        }
        if (rest.empty())
            throw Usage("no command given");
        const Command* cmd = nullptr;
        for (const Command& c : commands())
            if (rest[0] == c.name)
                cmd = &c;
        if (!cmd)
            throw Usage("unknown command \"" + rest[0] + "\"");
        const Args args(rest.begin() + 1, rest.end());
        if (args.size() < cmd->minArgs || args.size() > cmd->maxArgs)
            throw Usage(std::string("usage: korvelctl ") + (cmd->needsPort ? "--port COMn " : "") + cmd->name +
                        (*cmd->args ? " " : "") + cmd->args);
        if (cmd->needsPort && ctx.port.empty())
            throw Usage(std::string(cmd->name) + " needs --port COMn");
        return cmd->run(ctx, args);
    } catch (const Usage& e) {
        std::cerr << "korvelctl: " << e.what() << "\n(korvelctl --help lists the commands)\n";
        return kUsage;
    } catch (const std::exception& e) {
        std::cerr << "korvelctl: " << e.what() << '\n';
        return kUsage;
    }
}

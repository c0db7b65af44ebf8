#include "sim/scenario.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "common/text_format.h"
#include "common/units.h"
#include "common/usage_text.h"

namespace aviolog::sim {

namespace {

constexpr std::array<std::string_view, kStageCount> kStageNames{
    "gate",    "taxi-out", "line-up", "take-off", "rotate",   "initial-climb", "climb",  "cruise",
    "descent", "approach", "flare",   "bounce",   "roll-out", "taxi-in",       "parked",
};

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::vector<std::string_view> splitWords(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
        const std::size_t start = i;
        while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i]))) ++i;
        if (i > start) words.push_back(text.substr(start, i - start));
    }
    return words;
}

std::optional<double> toNumber(std::string_view word) {
    if (!word.empty() && word.front() == '+') word.remove_prefix(1);
    double value = 0.0;
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (ec != std::errc{} || end != word.data() + word.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<int> toInt(std::string_view word) {
    int value = 0;
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (ec != std::errc{} || end != word.data() + word.size()) return std::nullopt;
    return value;
}

// "h:mm:ss", "m:ss" or whole seconds.
std::optional<std::int64_t> toDurationSec(std::string_view word) {
    std::int64_t total = 0;
    int parts = 0;
    while (true) {
        const std::size_t colon = word.find(':');
        const auto part = toInt(word.substr(0, colon));
        if (!part || *part < 0 || (parts > 0 && *part > 59)) return std::nullopt;
        total = total * 60 + *part;
        ++parts;
        if (colon == std::string_view::npos) break;
        word.remove_prefix(colon + 1);
        if (parts == 3) return std::nullopt;
    }
    return total;
}

std::optional<bool> toSwitch(std::string_view word) {
    if (word == "on") return true;
    if (word == "off") return false;
    return std::nullopt;
}

// "+2h", "-90m", "+1h30m", "+45s".
std::optional<std::int64_t> toClockShiftSec(std::string_view word) {
    if (word.size() < 3 || (word[0] != '+' && word[0] != '-')) return std::nullopt;
    const int sign = word[0] == '-' ? -1 : 1;
    word.remove_prefix(1);
    std::int64_t total = 0;
    while (!word.empty()) {
        std::size_t digits = 0;
        while (digits < word.size() && std::isdigit(static_cast<unsigned char>(word[digits]))) {
            ++digits;
        }
        if (digits == 0 || digits == word.size() || digits > 6) return std::nullopt;
        const std::int64_t n = *toInt(word.substr(0, digits));
        switch (word[digits]) {
            case 'h':
                total += n * 3600;
                break;
            case 'm':
                total += n * 60;
                break;
            case 's':
                total += n;
                break;
            default:
                return std::nullopt;
        }
        word.remove_prefix(digits + 1);
    }
    return sign * total;
}

// "14:05" or "14:05:30" as seconds of the day.
std::optional<int> toTimeOfDaySec(std::string_view word) {
    if (word.find(':') == std::string_view::npos) return std::nullopt;
    const auto sec = toDurationSec(word);
    const bool withSeconds = word.find(':') != word.rfind(':');
    if (!sec) return std::nullopt;
    const std::int64_t s = withSeconds ? *sec : *sec * 60;
    if (s >= 86400) return std::nullopt;
    return static_cast<int>(s);
}

Parsed<Command> commandError(std::string message) {
    return {std::nullopt, std::move(message)};
}

}  // namespace

std::string_view stageName(Stage stage) {
    return kStageNames[static_cast<int>(stage)];
}

std::optional<Stage> stageFromName(std::string_view name) {
    for (int i = 0; i < kStageCount; ++i) {
        if (kStageNames[i] == name) return static_cast<Stage>(i);
    }
    return std::nullopt;
}

std::string tankKey(int tank) {
    std::string key(wire::kFuelTanks[tank].name);
    std::replace(key.begin(), key.end(), ' ', '-');
    return key;
}

std::optional<int> tankFromName(std::string_view name) {
    std::string key = lowered(name);
    std::replace(key.begin(), key.end(), '_', '-');
    if (key.starts_with("center")) key.replace(0, 6, "centre");
    for (int i = 0; i < kTankCount; ++i) {
        if (tankKey(i) == key) return i;
    }
    return std::nullopt;
}

// The words of one command, lowered: the whole line, its verb and the words after it.
struct CommandWords {
    std::string_view line;
    std::string_view verb;
    std::span<const std::string_view> args;
};

namespace {

template <typename C>
Parsed<Command> withoutArguments(const CommandWords& w) {
    if (!w.args.empty())
        return commandError(format("'%.*s' takes no arguments", int(w.line.size()), w.line.data()));
    return {C{}, {}};
}

std::optional<bool> oneSwitch(const CommandWords& w) {
    return w.args.size() == 1 ? toSwitch(w.args[0]) : std::nullopt;
}

std::optional<double> oneNumber(const CommandWords& w) {
    return w.args.size() == 1 ? toNumber(w.args[0]) : std::nullopt;
}

Parsed<Command> parseSlew(const CommandWords& w) {
    const auto on = oneSwitch(w);
    if (!on) return commandError("usage: slew on | slew off");
    return {cmd::Slew{*on}, {}};
}

Parsed<Command> parseRate(const CommandWords& w) {
    const auto x = oneNumber(w);
    if (!x || *x < 0.25 || *x > 128.0) {
        return commandError("usage: rate <multiplier from 0.25 to 128>, e.g. 'rate 4'");
    }
    return {cmd::Rate{*x}, {}};
}

Parsed<Command> parseCrashDetection(const CommandWords& w) {
    const auto on = oneSwitch(w);
    if (!on) return commandError("usage: crash-detection on | crash-detection off");
    return {cmd::CrashDetection{*on}, {}};
}

Parsed<Command> parseRefuel(const CommandWords& w) {
    if (w.args.size() != 2)
        return commandError("usage: refuel <tank> <percent>, e.g. 'refuel left-main 20'");
    const std::string_view name = w.args[0];
    const auto tank = tankFromName(name);
    if (!tank)
        return commandError(
            format("unknown tank '%.*s'; see 'help'", int(name.size()), name.data()));
    std::string_view pct = w.args[1];
    if (pct.ends_with('%')) pct.remove_suffix(1);
    const auto percent = toNumber(pct);
    if (!percent || *percent < 0.0 || *percent > 100.0) {
        return commandError("refuel: the percentage must be between 0 and 100");
    }
    return {cmd::Refuel{*tank, *percent}, {}};
}

Parsed<Command> parseClock(const CommandWords& w) {
    if (w.args.size() == 1) {
        if (const auto shift = toClockShiftSec(w.args[0])) return {cmd::ClockShift{*shift}, {}};
        if (const auto set = toTimeOfDaySec(w.args[0])) return {cmd::ClockSet{*set}, {}};
    }
    return commandError("usage: clock +2h | clock -90m | clock +1h30m | clock 14:05");
}

Parsed<Command> parseSilent(const CommandWords& w) {
    const auto sec = oneNumber(w);
    if (!sec || *sec <= 0.0 || *sec > 86400.0) {
        return commandError("usage: silent <seconds>, more than 0 and at most 86400");
    }
    return {cmd::Silent{*sec}, {}};
}

Parsed<Command> parseCom1(const CommandWords& w) {
    const auto mhz = oneNumber(w);
    const auto bcd = mhz ? com1Bcd(*mhz) : std::nullopt;
    if (!bcd) return commandError("usage: com1 <MHz from 118.000 to 136.990>");
    return {cmd::Com1{*bcd}, {}};
}

Parsed<Command> parseWind(const CommandWords& w) {
    if (w.args.size() == 1 && w.args[0] == "scenario") return {cmd::Wind{}, {}};
    const auto from = w.args.size() == 2 ? toNumber(w.args[0]) : std::nullopt;
    const auto speed = w.args.size() == 2 ? toNumber(w.args[1]) : std::nullopt;
    if (!from || !speed || *from < 0.0 || *from > 360.0 || *speed < 0.0 || *speed > 200.0) {
        return commandError("usage: wind <from 0-360> <knots 0-200> | wind scenario");
    }
    return {cmd::Wind{*from, *speed}, {}};
}

Parsed<Command> parseQnh(const CommandWords& w) {
    if (w.args.size() == 1 && w.args[0] == "scenario") return {cmd::Qnh{}, {}};
    const auto mb = oneNumber(w);
    if (!mb || *mb < 900.0 || *mb > 1100.0) {
        return commandError("usage: qnh <hPa from 900 to 1100> | qnh scenario");
    }
    return {cmd::Qnh{*mb}, {}};
}

Parsed<Command> parseBrake(const CommandWords& w) {
    const auto on = oneSwitch(w);
    if (!on) return commandError("usage: brake on | brake off");
    return {cmd::Brake{*on}, {}};
}

Parsed<Command> parseFlaps(const CommandWords& w) {
    const auto detent = oneNumber(w);
    if (!detent || *detent < 0.0 || *detent > 10.0 || *detent != std::floor(*detent)) {
        return commandError("usage: flaps <detent>, a whole number from 0 (up)");
    }
    return {cmd::Flaps{static_cast<int>(*detent)}, {}};
}

Parsed<Command> parseLevel(const CommandWords& w) {
    std::string_view text = w.args.size() == 1 ? w.args[0] : std::string_view{};
    const bool flightLevel = text.starts_with("fl");
    if (flightLevel) text.remove_prefix(2);
    if (text.ends_with("ft")) text.remove_suffix(2);
    auto value = text.empty() ? std::nullopt : toNumber(text);
    if (value && flightLevel) *value *= 100.0;
    if (!value || *value < 1000.0 || *value > 45000.0) {
        return commandError("usage: level FL280 | level 9000 (ft, 1000 to 45000)");
    }
    return {cmd::Level{*value}, {}};
}

Parsed<Command> parseHotKey(const CommandWords& w) {
    const auto entry = oneNumber(w);
    if (!entry || *entry < 0.0 || *entry > 55.0 || *entry != std::floor(*entry)) {
        return commandError("usage: hotkey <entry of the hot-key table, 0 to 55>");
    }
    return {cmd::HotKey{static_cast<int>(*entry)}, {}};
}

// In the order "help" lists them.
constexpr CommandVerb kVerbs[] = {
    {"pause", "pause the simulator (as the pilot would)", withoutArguments<cmd::Pause>},
    {"unpause", "release any pause", withoutArguments<cmd::Unpause>},
    {"slew on | slew off", "freeze the aircraft in slew mode, or end it", parseSlew},
    {"rate <x>", "simulation rate, 0.25 to 128 (1, 2, 4, 8, 16 as the pilot)", parseRate},
    {"crash", "crash the aircraft (noticed only with crash detection on)",
     withoutArguments<cmd::Crash>},
    {"crash-detection on | off", "the simulator's crash detection switch", parseCrashDetection},
    {"refuel <tank> <percent>", "add that share of the tank's capacity, up to full", parseRefuel},
    {"clock +1h30m | hh:mm[:ss]",
     "move the simulator clock (+2h, -90m, +1h30m), or set its UTC time of day", parseClock},
    {"bounce", "the next touchdown bounces once", withoutArguments<cmd::Bounce>},
    {"silent <seconds>", "stop answering requests for that long", parseSilent},
    {"answer", "answer requests again now", withoutArguments<cmd::Answer>},
    {"com1 <MHz>", "tune COM1, 118.000 to 136.990", parseCom1},
    {"wind <from> <kt>", "one wind everywhere (\"wind scenario\": the scenario's)", parseWind},
    {"qnh <hPa>", "one sea-level pressure (\"qnh scenario\": the scenario's)", parseQnh},
    {"brake on | brake off", "set or release the parking brake", parseBrake},
    {"flaps <detent>", "move the flap lever to that detent at once", parseFlaps},
    {"level FL280 | level 9000", "a new cruise level: the aircraft climbs or descends to it",
     parseLevel},
    {"hotkey <entry>", "press the key a client registered in that hot-key entry", parseHotKey},
    {"status", "one line: time, stage, position, speeds, fuel, flags",
     withoutArguments<cmd::Status>},
    {"help", "this list", withoutArguments<cmd::Help>},
    {"quit", "stop the simulator (the program only)", nullptr},
};

constexpr int kVerbHelpColumn = 26;

}  // namespace

std::span<const CommandVerb> commandVerbs() {
    return kVerbs;
}

std::string commandHelp() {
    std::string help;
    for (const CommandVerb& v : kVerbs)
        appendUsageEntry(help, v.synopsis, v.help, 0, kVerbHelpColumn);
    std::string tanks;
    for (int i = 0; i < kTankCount; ++i) tanks += (i > 0 ? " " : "") + tankKey(i);
    appendUsageEntry(help, "tanks:", tanks, 0, 7);
    return help;
}

Parsed<Command> parseCommand(std::string_view line) {
    const std::string text = lowered(line);
    const auto words = splitWords(text);
    if (words.empty()) return commandError("empty command; try 'help'");
    const CommandWords w{text, words[0], std::span(words).subspan(1)};
    for (const CommandVerb& v : kVerbs) {
        if (v.verb() == w.verb && v.parse != nullptr) return v.parse(w);
    }
    return commandError(
        format("unknown command '%.*s'; try 'help'", int(w.verb.size()), w.verb.data()));
}

// ---- The scenario file ----

namespace {

struct ParseError {
    int line;
    std::string message;
};

[[noreturn]] void fail(int line, std::string message) {
    throw ParseError{line, std::move(message)};
}

// The words of one line after its key, read left to right with checks.
class Words {
  public:
    Words(int line, std::string key, std::vector<std::string_view> words)
        : line_(line), key_(std::move(key)), words_(std::move(words)) {}

    int line() const { return line_; }
    const std::string& key() const { return key_; }
    bool empty() const { return next_ >= words_.size(); }
    std::string_view peek() const { return empty() ? std::string_view{} : words_[next_]; }

    std::string_view word(const char* what) {
        if (empty()) fail(line_, format("%s: missing %s", key_.c_str(), what));
        return words_[next_++];
    }

    // The rest of the line as written, for names and titles.
    std::string rest(const char* what) {
        if (empty()) fail(line_, format("%s: missing %s", key_.c_str(), what));
        std::string out(words_[next_]);
        for (++next_; next_ < words_.size(); ++next_) {
            out += ' ';
            out += words_[next_];
        }
        return out;
    }

    // A number in [low, high], optionally followed by its unit word.
    double number(const char* what, double low, double high, std::string_view unit = {}) {
        const std::string_view w = word(what);
        const auto value = toNumber(w);
        if (!value) {
            fail(line_, format("%s: %s must be a number, not '%.*s'", key_.c_str(), what,
                               int(w.size()), w.data()));
        }
        checkRange(what, *value, low, high);
        skipUnit(unit);
        return *value;
    }

    // Degrees, signed or with a hemisphere letter: "38.78N", "-9.13", "9.13W".
    double coordinate(const char* what, double limit, char positive, char negative) {
        std::string_view w = word(what);
        double sign = 1.0;
        if (!w.empty()) {
            const char last = static_cast<char>(std::toupper(static_cast<unsigned char>(w.back())));
            if (last == positive || last == negative) {
                sign = last == negative ? -1.0 : 1.0;
                w.remove_suffix(1);
                if (!w.empty() && (w.front() == '-' || w.front() == '+')) {
                    fail(line_,
                         format("%s: %s has both a sign and a hemisphere", key_.c_str(), what));
                }
            }
        }
        const auto value = toNumber(w);
        if (!value) fail(line_, format("%s: %s is not a coordinate", key_.c_str(), what));
        checkRange(what, sign * *value, -limit, limit);
        return sign * *value;
    }

    std::int64_t duration(const char* what) {
        const std::string_view w = word(what);
        const auto sec = toDurationSec(w);
        if (!sec || *sec > 86400) {
            fail(line_, format("%s: %s must be a time such as 8:00 or 0:12:30, not '%.*s'",
                               key_.c_str(), what, int(w.size()), w.data()));
        }
        return *sec;
    }

    void done() {
        if (empty()) return;
        const std::string_view w = words_[next_];
        if (next_ == unitAt_ && !expectedUnit_.empty() && !toNumber(w)) {
            fail(line_,
                 format("%s: the unit here is %.*s, not '%.*s'", key_.c_str(),
                        int(expectedUnit_.size()), expectedUnit_.data(), int(w.size()), w.data()));
        }
        fail(line_, format("%s: unexpected '%.*s'", key_.c_str(), int(w.size()), w.data()));
    }

  private:
    void checkRange(const char* what, double value, double low, double high) {
        if (value < low || value > high) {
            fail(line_, format("%s: %s must be between %g and %g", key_.c_str(), what, low, high));
        }
    }
    // A unit word is optional; a wrong one is reported by done() when nothing else takes it.
    void skipUnit(std::string_view unit) {
        expectedUnit_ = unit;
        unitAt_ = next_;
        if (!unit.empty() && !empty() && lowered(words_[next_]) == unit) ++next_;
    }

    int line_;
    std::string key_;
    std::vector<std::string_view> words_;
    std::size_t next_ = 0;
    std::string_view expectedUnit_;
    std::size_t unitAt_ = 0;
};

struct Section {
    int line = 0;  // of its header
    std::set<std::string> keys;
};

class ScenarioParser {
  public:
    Scenario parse(std::string_view text) {
        int lineNo = 0;
        std::size_t pos = 0;
        while (pos < text.size()) {
            const std::size_t end = std::min(text.find('\n', pos), text.size());
            ++lineNo;
            parseLine(lineNo, text.substr(pos, end - pos));
            pos = end + 1;
        }
        lastLine_ = std::max(lineNo, 1);
        finish();
        return s_;
    }

  private:
    using Handler = void (ScenarioParser::*)(Words&);

    void parseLine(int lineNo, std::string_view line) {
        if (const std::size_t hash = line.find('#'); hash != std::string_view::npos) {
            line = line.substr(0, hash);
        }
        auto words = splitWords(line);
        if (words.empty()) return;
        if (words[0].starts_with('[')) {
            openSection(lineNo, words);
            return;
        }
        if (current_.empty()) fail(lineNo, "a key before the first [section]");
        const std::string key = lowered(words[0]);
        words.erase(words.begin());
        Words w(lineNo, key, std::move(words));
        const auto& table = handlers();
        const auto it = table.find(current_ + "/" + key);
        if (it == table.end()) {
            fail(lineNo, format("unknown key '%s' in [%s]", key.c_str(), current_.c_str()));
        }
        Section& section = sections_[current_];
        if (!repeatable(key) && !section.keys.insert(key).second) {
            fail(lineNo, format("'%s' given twice in [%s]", key.c_str(), current_.c_str()));
        }
        section.keys.insert(key);
        (this->*(it->second))(w);
        w.done();
    }

    void openSection(int lineNo, const std::vector<std::string_view>& words) {
        const std::string_view head = words[0];
        if (words.size() != 1 || head.size() < 3 || head.back() != ']') {
            fail(lineNo, "a section header is one word in brackets, such as [departure]");
        }
        const std::string name = lowered(head.substr(1, head.size() - 2));
        static const std::set<std::string> known{"flight",  "departure", "arrival", "aircraft",
                                                 "profile", "weather",   "radio",   "events"};
        if (!known.contains(name)) fail(lineNo, format("unknown section [%s]", name.c_str()));
        if (sections_.contains(name))
            fail(lineNo, format("section [%s] given twice", name.c_str()));
        sections_[name].line = lineNo;
        current_ = name;
    }

    static bool repeatable(const std::string& key) {
        return key == "tank" || key == "layer" || key == "at" || key == "on";
    }

    static const std::map<std::string, Handler>& handlers() {
        static const std::map<std::string, Handler> table{
            {"flight/title", &ScenarioParser::title},
            {"flight/start", &ScenarioParser::start},
            {"flight/local-offset", &ScenarioParser::localOffset},
            {"flight/crash-detection", &ScenarioParser::crashDetection},
            {"departure/icao", &ScenarioParser::icao},
            {"departure/position", &ScenarioParser::position},
            {"departure/elevation", &ScenarioParser::elevation},
            {"departure/runway-heading", &ScenarioParser::runwayHeading},
            {"departure/runway-length", &ScenarioParser::runwayLength},
            {"departure/taxiway-side", &ScenarioParser::taxiwaySide},
            {"arrival/icao", &ScenarioParser::icao},
            {"arrival/position", &ScenarioParser::position},
            {"arrival/elevation", &ScenarioParser::elevation},
            {"arrival/runway-heading", &ScenarioParser::runwayHeading},
            {"arrival/runway-length", &ScenarioParser::runwayLength},
            {"arrival/taxiway-side", &ScenarioParser::taxiwaySide},
            {"aircraft/name", &ScenarioParser::aircraftName},
            {"aircraft/engines", &ScenarioParser::engines},
            {"aircraft/empty-weight", &ScenarioParser::emptyWeight},
            {"aircraft/payload", &ScenarioParser::payload},
            {"aircraft/fuel-density", &ScenarioParser::fuelDensity},
            {"aircraft/tank", &ScenarioParser::tank},
            {"aircraft/fuel-flow", &ScenarioParser::fuelFlow},
            {"aircraft/n1", &ScenarioParser::n1},
            {"aircraft/reverse-n1", &ScenarioParser::reverseN1},
            {"aircraft/flaps", &ScenarioParser::flaps},
            {"aircraft/flap-speeds", &ScenarioParser::flapSpeeds},
            {"aircraft/take-off-flaps", &ScenarioParser::takeOffFlaps},
            {"profile/gate-time", &ScenarioParser::gateTime},
            {"profile/taxi-out", &ScenarioParser::taxiOut},
            {"profile/line-up", &ScenarioParser::lineUp},
            {"profile/rotate", &ScenarioParser::rotate},
            {"profile/acceleration-height", &ScenarioParser::accelerationHeight},
            {"profile/climb", &ScenarioParser::climb},
            {"profile/cruise", &ScenarioParser::cruise},
            {"profile/descent", &ScenarioParser::descent},
            {"profile/approach", &ScenarioParser::approach},
            {"profile/glide-path", &ScenarioParser::glidePath},
            {"profile/touchdown", &ScenarioParser::touchdown},
            {"profile/taxi-in", &ScenarioParser::taxiIn},
            {"profile/air-start", &ScenarioParser::airStart},
            {"weather/layer", &ScenarioParser::layer},
            {"weather/qnh", &ScenarioParser::qnh},
            {"weather/arrival-qnh", &ScenarioParser::arrivalQnh},
            {"weather/transition-altitude", &ScenarioParser::transitionAltitude},
            {"radio/com1", &ScenarioParser::com1},
            {"radio/at", &ScenarioParser::radioAt},
            {"radio/on", &ScenarioParser::radioOn},
            {"events/at", &ScenarioParser::eventAt},
            {"events/on", &ScenarioParser::eventOn},
        };
        return table;
    }

    Airport& airport() { return current_ == "departure" ? s_.departure : s_.arrival; }

    // [flight]
    void title(Words& w) { s_.title = w.rest("title"); }
    void start(Words& w) {
        const std::string_view date = w.word("date (yyyy-mm-dd)");
        const std::string_view time = w.word("UTC time (hh:mm[:ss])");
        const auto y = date.size() == 10 ? toInt(date.substr(0, 4)) : std::nullopt;
        const auto m = date.size() == 10 ? toInt(date.substr(5, 2)) : std::nullopt;
        const auto d = date.size() == 10 ? toInt(date.substr(8, 2)) : std::nullopt;
        const bool dashes = date.size() == 10 && date[4] == '-' && date[7] == '-';
        if (!dashes || !y || !m || !d || *y < 1980 || *y > 2100 || *m < 1 || *m > 12 || *d < 1 ||
            *d > daysInMonth(*y, *m)) {
            fail(w.line(), format("start: '%.*s' is not a date such as 2024-06-14",
                                  int(date.size()), date.data()));
        }
        const auto sec = toTimeOfDaySec(time);
        if (!sec) fail(w.line(), "start: the time must be hh:mm or hh:mm:ss, UTC");
        s_.startUtcSec = daysFromCivil(*y, *m, *d) * 86400 + *sec;
        if (!w.empty() && lowered(w.peek()) == "utc") w.word("");
    }
    void localOffset(Words& w) {
        s_.localOffsetMin = static_cast<int>(w.number("offset in minutes", -840, 840, "min"));
    }
    void crashDetection(Words& w) { s_.crashDetection = onOff(w); }

    // [departure], [arrival]
    void icao(Words& w) {
        const std::string_view code = w.word("ICAO code");
        const bool valid = code.size() == 4 && std::all_of(code.begin(), code.end(), [](char c) {
                               return std::isalnum(static_cast<unsigned char>(c));
                           });
        if (!valid) fail(w.line(), "icao: an airport code is four letters or digits, such as LPPT");
        airport().icao = std::string(code);
        for (char& c : airport().icao)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    void position(Words& w) {
        airport().latitudeDeg = w.coordinate("latitude", 90.0, 'N', 'S');
        airport().longitudeDeg = w.coordinate("longitude", 180.0, 'E', 'W');
    }
    void elevation(Words& w) { airport().elevationFt = w.number("elevation", -1500, 15000, "ft"); }
    void runwayHeading(Words& w) {
        airport().runwayHeadingDeg = w.number("runway heading", 0, 360, "deg");
    }
    void runwayLength(Words& w) {
        airport().runwayLengthM = w.number("runway length", 800, 6000, "m");
    }
    void taxiwaySide(Words& w) {
        const std::string side = lowered(w.word("left or right"));
        if (side != "left" && side != "right") fail(w.line(), "taxiway-side: left or right");
        airport().taxiwaySide = side == "left" ? Side::Left : Side::Right;
    }

    // [aircraft]
    void aircraftName(Words& w) { s_.aircraft.name = w.rest("name"); }
    void engines(Words& w) {
        s_.aircraft.engineCount = static_cast<int>(w.number("engine count", 1, kMaxEngines));
    }
    void emptyWeight(Words& w) {
        s_.aircraft.emptyWeightLb = w.number("weight", 1000, 1500000, "lb");
    }
    void payload(Words& w) { s_.aircraft.payloadLb = w.number("payload", 0, 500000, "lb"); }
    void fuelDensity(Words& w) {
        s_.aircraft.fuelDensityLbPerGal = w.number("density", 5.0, 8.0, "lb/gal");
    }
    void tank(Words& w) {
        const std::string_view name = w.word("tank name");
        const auto index = tankFromName(name);
        if (!index) {
            fail(w.line(), format("tank: unknown tank '%.*s' (centre, left-main, right-aux, ...)",
                                  int(name.size()), name.data()));
        }
        if (!tanksSeen_.insert(*index).second) {
            fail(w.line(), format("tank: %s given twice", tankKey(*index).c_str()));
        }
        Tank& t = s_.aircraft.tanks[*index];
        t.capacityGal = w.number("capacity", 0, 100000, "gal");
        t.levelPercent = w.number("level", 0, 100, "%");
    }
    void fuelFlow(Words& w) { powerTable(w, s_.aircraft.fuelFlowPph, 0, 100000, "pph"); }
    void n1(Words& w) { powerTable(w, s_.aircraft.n1Pct, 0, 110, "%"); }
    void reverseN1(Words& w) { s_.aircraft.reverseN1Pct = w.number("N1", 0, 110, "%"); }
    void flaps(Words& w) {
        s_.aircraft.flapPositions = static_cast<int>(w.number("lever positions", 1, 12));
        s_.aircraft.flapDetentIncrement = static_cast<int>(w.number("detent increment", 1, 16383));
        if ((s_.aircraft.flapPositions - 1) * s_.aircraft.flapDetentIncrement > 16384) {
            fail(w.line(), "flaps: the last detent lies beyond the end of the lever (16383)");
        }
    }
    void flapSpeeds(Words& w) {
        s_.aircraft.flapSpeedsKt.clear();
        while (!w.empty() && lowered(w.peek()) != "kt") {
            s_.aircraft.flapSpeedsKt.push_back(w.number("flap speed", 60, 400));
        }
        if (!w.empty()) w.word("");
        if (s_.aircraft.flapSpeedsKt.empty()) fail(w.line(), "flap-speeds: missing flap speed");
        flapSpeedsLine_ = w.line();
    }
    void takeOffFlaps(Words& w) {
        s_.aircraft.takeOffFlaps = static_cast<int>(w.number("detent", 0, 11));
    }

    void powerTable(Words& w, PowerTable& table, double low, double high, std::string_view unit) {
        static const std::map<std::string, double PowerTable::*> settings{
            {"taxi", &PowerTable::taxi},       {"take-off", &PowerTable::takeOff},
            {"climb", &PowerTable::climb},     {"cruise", &PowerTable::cruise},
            {"descent", &PowerTable::descent}, {"approach", &PowerTable::approach},
        };
        std::set<std::string> seen;
        while (!w.empty()) {
            const std::string setting = lowered(w.word("setting"));
            const auto it = settings.find(setting);
            if (it == settings.end()) {
                fail(w.line(), format("%s: unknown setting '%s' (taxi, take-off, climb, cruise, "
                                      "descent, approach)",
                                      w.key().c_str(), setting.c_str()));
            }
            seen.insert(setting);
            table.*(it->second) = w.number(setting.c_str(), low, high, unit);
        }
        if (seen.size() != settings.size()) {
            fail(w.line(), format("%s: give all six settings: taxi, take-off, climb, cruise, "
                                  "descent, approach",
                                  w.key().c_str()));
        }
    }

    // [profile]
    void gateTime(Words& w) {
        s_.profile.gateTimeSec = static_cast<double>(w.duration("gate time"));
    }
    void taxiOut(Words& w) {
        s_.profile.taxiOutSec = static_cast<double>(w.duration("taxi time"));
        s_.profile.taxiOutSpeedKt = w.number("taxi speed", 3, 40, "kt");
    }
    void lineUp(Words& w) { s_.profile.lineUpSec = static_cast<double>(w.duration("hold time")); }
    void rotate(Words& w) { s_.profile.rotateKt = w.number("rotation speed", 50, 250, "kt"); }
    void accelerationHeight(Words& w) {
        s_.profile.accelerationHeightFt = w.number("height", 400, 5000, "ft");
    }
    void climb(Words& w) {
        s_.profile.climbFpm = w.number("climb rate", 300, 8000, "fpm");
        s_.profile.climbIasKt = w.number("climb speed", 100, 400, "kt");
    }
    void cruise(Words& w) {
        const std::string level = lowered(w.word("cruise level"));
        std::optional<double> feet;
        if (level.starts_with("fl")) {
            const auto fl = toInt(std::string_view(level).substr(2));
            if (fl) feet = *fl * 100.0;
        } else if (const auto n = toNumber(level)) {
            feet = *n;
            if (!w.empty() && lowered(w.peek()) == "ft") w.word("");
        }
        if (!feet || *feet < 1000 || *feet > 45000) {
            fail(w.line(), "cruise: the level is FL010 to FL450, or 1000 to 45000 ft");
        }
        s_.profile.cruiseAltitudeFt = *feet;
        s_.profile.cruiseTasKt = w.number("true airspeed", 80, 600, "kt");
    }
    void descent(Words& w) {
        s_.profile.descentFpm = w.number("descent rate", 300, 6000, "fpm");
        s_.profile.descentIasKt = w.number("descent speed", 100, 400, "kt");
    }
    void approach(Words& w) { s_.profile.approachKt = w.number("approach speed", 50, 250, "kt"); }
    void glidePath(Words& w) { s_.profile.glidePathDeg = w.number("angle", 2.0, 6.0, "deg"); }
    void touchdown(Words& w) {
        s_.profile.touchdownFpm = w.number("vertical speed", -1200, -10, "fpm");
    }
    void taxiIn(Words& w) {
        s_.profile.taxiInSec = static_cast<double>(w.duration("taxi time"));
        s_.profile.taxiInSpeedKt = w.number("taxi speed", 3, 40, "kt");
    }
    void airStart(Words& w) {
        const std::string stage = lowered(w.word("cruise or approach"));
        AirStart& a = s_.profile.airStart;
        if (stage == "cruise") {
            a.stage = Stage::Cruise;
            a.distanceNm = w.number("distance from the departure", 1, 5000, "nm");
        } else if (stage == "approach") {
            a.stage = Stage::Approach;
            a.distanceNm = w.number("distance to touchdown", 1.5, 30, "nm");
        } else {
            fail(w.line(),
                 "air-start: cruise <NM from the departure> or approach <NM to touchdown>");
        }
        airStartLine_ = w.line();
    }

    // [weather]
    void layer(Words& w) {
        WeatherLayer l;
        l.altitudeFt = w.number("altitude", -1500, 60000, "ft");
        l.windFromDeg = w.number("wind direction", 0, 360, "deg");
        l.windSpeedKt = w.number("wind speed", 0, 250, "kt");
        l.temperatureC = w.number("temperature", -90, 60, "c");
        auto& layers = s_.weather.layers;
        if (!layers.empty() && l.altitudeFt <= layers.back().altitudeFt) {
            fail(w.line(), "layer: layers go upwards, each higher than the one before");
        }
        layers.push_back(l);
    }
    void qnh(Words& w) {
        s_.weather.departureQnhMb = w.number("pressure", 900, 1100, "hpa");
        if (!sections_["weather"].keys.contains("arrival-qnh")) {
            s_.weather.arrivalQnhMb = s_.weather.departureQnhMb;
        }
    }
    void arrivalQnh(Words& w) { s_.weather.arrivalQnhMb = w.number("pressure", 900, 1100, "hpa"); }
    void transitionAltitude(Words& w) {
        s_.weather.transitionAltitudeFt = w.number("altitude", 1000, 20000, "ft");
    }

    // [radio]
    void com1(Words& w) { s_.com1Bcd = frequency(w); }
    void radioAt(Words& w) {
        const std::int64_t atMs = w.duration("time since the start") * 1000;
        const std::uint16_t bcd = frequency(w);
        s_.events.push_back({atMs, std::nullopt, cmd::Com1{bcd}, radioText(bcd), w.line()});
    }
    void radioOn(Words& w) {
        const Stage stage = stageWord(w);
        const std::uint16_t bcd = frequency(w);
        s_.events.push_back({std::nullopt, stage, cmd::Com1{bcd}, radioText(bcd), w.line()});
    }
    std::uint16_t frequency(Words& w) {
        const double mhz = w.number("frequency", 118.0, 136.99, "mhz");
        return *com1Bcd(mhz);
    }
    static std::string radioText(std::uint16_t bcd) {
        return format("com1 1%X%X.%X%X", bcd >> 12, (bcd >> 8) & 0xF, (bcd >> 4) & 0xF, bcd & 0xF);
    }

    // [events]
    void eventAt(Words& w) {
        const std::int64_t atMs = w.duration("time since the start") * 1000;
        auto [command, text] = eventCommand(w);
        s_.events.push_back({atMs, std::nullopt, std::move(command), std::move(text), w.line()});
    }
    void eventOn(Words& w) {
        const Stage stage = stageWord(w);
        auto [command, text] = eventCommand(w);
        s_.events.push_back({std::nullopt, stage, std::move(command), std::move(text), w.line()});
    }
    std::pair<Command, std::string> eventCommand(Words& w) {
        std::string text = w.rest("command");
        auto parsed = parseCommand(text);
        if (!parsed.ok()) fail(w.line(), w.key() + ": " + parsed.error);
        return {std::move(*parsed.value), std::move(text)};
    }
    Stage stageWord(Words& w) {
        const std::string name = lowered(w.word("stage"));
        const auto stage = stageFromName(name);
        if (!stage) fail(w.line(), format("%s: unknown stage '%s'", w.key().c_str(), name.c_str()));
        return *stage;
    }

    static bool onOff(Words& w) {
        const auto on = toSwitch(lowered(w.word("on or off")));
        if (!on) fail(w.line(), w.key() + ": on or off");
        return *on;
    }
    static int daysInMonth(int year, int month) {
        static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
    }

    // Checks that need the whole file.
    void finish() {
        require("flight", {"start"});
        for (const char* name : {"departure", "arrival"}) {
            require(name, {"position", "elevation", "runway-heading"});
        }
        require("aircraft", {"empty-weight", "fuel-flow"});
        require("profile", {"cruise"});
        const Aircraft& a = s_.aircraft;
        const int aircraftLine = sections_["aircraft"].line;
        double fuelGal = 0.0;
        for (const Tank& t : a.tanks) fuelGal += t.capacityGal * t.levelPercent / 100.0;
        if (fuelGal <= 0.0)
            fail(aircraftLine, "[aircraft] has no fuel: give a tank with fuel in it");
        if (a.flapPositions > 1 &&
            a.flapSpeedsKt.size() != static_cast<std::size_t>(a.flapPositions - 1)) {
            fail(flapSpeedsLine_ ? flapSpeedsLine_ : aircraftLine,
                 format("flap-speeds: give one speed for each of the %d detents below up",
                        a.flapPositions - 1));
        }
        if (a.takeOffFlaps > a.flapPositions - 1) {
            fail(aircraftLine, "take-off-flaps: the aircraft has no such detent");
        }
        const Profile& p = s_.profile;
        const int profileLine = sections_["profile"].line;
        if (!a.flapSpeedsKt.empty() && p.approachKt > a.flapSpeedsKt.back() - 10.0) {
            fail(profileLine,
                 "approach: the approach speed must be at least 10 kt below the "
                 "speed of the last flap detent");
        }
        const double highest = std::max(s_.departure.elevationFt, s_.arrival.elevationFt);
        if (p.cruiseAltitudeFt < highest + 1000.0) {
            fail(profileLine,
                 "cruise: the cruise level must be at least 1000 ft above both airports");
        }
        if (p.rotateKt <= p.approachKt * 0.7) {
            fail(profileLine, "rotate: the rotation speed is too low for this approach speed");
        }
        if (p.airStart.stage == Stage::Cruise) {
            const double routeNm =
                aviolog::greatCircleNm(s_.departure.latitudeDeg, s_.departure.longitudeDeg,
                                       s_.arrival.latitudeDeg, s_.arrival.longitudeDeg);
            if (p.airStart.distanceNm >= routeNm - 20.0) {
                fail(airStartLine_,
                     "air-start: a cruise start must lie at least 20 NM before the "
                     "arrival");
            }
        }
    }

    void require(const std::string& name, std::initializer_list<const char*> keys) {
        const auto it = sections_.find(name);
        if (it == sections_.end()) {
            fail(lastLine_, format("end of file: no [%s] section", name.c_str()));
        }
        for (const char* key : keys) {
            if (!it->second.keys.contains(key)) {
                fail(it->second.line, format("[%s] has no '%s'", name.c_str(), key));
            }
        }
    }

    Scenario s_;
    std::string current_;
    std::map<std::string, Section> sections_;
    std::set<int> tanksSeen_;
    int lastLine_ = 0;
    int flapSpeedsLine_ = 0;
    int airStartLine_ = 0;
};

}  // namespace

Parsed<Scenario> parseScenario(std::string_view text) {
    try {
        return {ScenarioParser().parse(text), {}};
    } catch (const ParseError& e) {
        return {std::nullopt, format("line %d: %s", e.line, e.message.c_str())};
    }
}

Parsed<Scenario> loadScenario(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {std::nullopt, "cannot open " + path};
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return {std::nullopt, "cannot read " + path};
    Parsed<Scenario> result = parseScenario(text.str());
    if (!result.ok()) result.error = path + ": " + result.error;
    return result;
}

}  // namespace aviolog::sim

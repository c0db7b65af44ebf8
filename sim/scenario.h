#pragma once

// A scenario is one flight for the simulator stand-in to fly: the two airports, the
// clock, the aircraft and its fuel, the profile it flies, the weather, the radio and
// the events to inject on the way. Scenarios are text files (docs/scenario-format.md);
// the operator's command language is defined here too, because scenario events use it.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/civil_time.h"
#include "wire/sim_picture.h"

namespace aviolog::sim {

using wire::kTankCount;

// The stages of a flight from gate to gate, in the order they are flown.
enum class Stage {
    Gate,
    TaxiOut,
    LineUp,
    TakeOff,
    Rotate,
    InitialClimb,
    Climb,
    Cruise,
    Descent,
    Approach,
    Flare,
    Bounce,
    RollOut,
    TaxiIn,
    Parked,
};
inline constexpr int kStageCount = static_cast<int>(Stage::Parked) + 1;

// "taxi-out", "initial-climb", ...: the names scenarios, commands and status lines use.
std::string_view stageName(Stage stage);
std::optional<Stage> stageFromName(std::string_view name);

// Index into wire::kFuelTanks from a name such as "left-main" or "centre".
std::optional<int> tankFromName(std::string_view name);
// "left-main": the tank's name as files and commands write it.
std::string tankKey(int tank);

// ---- The operator's command language ----

namespace cmd {
struct Pause {};
struct Unpause {};
struct Slew {
    bool on = false;
};
struct Rate {
    double multiplier = 1.0;
};
struct Crash {};
struct CrashDetection {
    bool on = true;
};
struct Refuel {
    int tank = 0;
    double percent = 0.0;  // of the tank's capacity
};
struct ClockShift {
    std::int64_t seconds = 0;
};
struct ClockSet {
    int secondOfDay = 0;  // UTC
};
struct Bounce {};
struct Silent {
    double seconds = 0.0;
};
struct Answer {};
struct Com1 {
    std::uint16_t bcd = 0;
};
struct Wind {
    std::optional<double> fromDeg;  // none: back to the scenario's winds
    double speedKt = 0.0;
};
struct Qnh {
    std::optional<double> millibars;  // none: back to the scenario's pressure
};
struct Brake {
    bool set = true;
};
struct Flaps {
    int detent = 0;
};
struct Level {
    double altitudeFt = 0.0;  // pressure altitude
};
struct HotKey {
    int entry = 0;  // of the hot-key table
};
struct Status {};
struct Help {};
}  // namespace cmd

using Command =
    std::variant<cmd::Pause, cmd::Unpause, cmd::Slew, cmd::Rate, cmd::Crash, cmd::CrashDetection,
                 cmd::Refuel, cmd::ClockShift, cmd::ClockSet, cmd::Bounce, cmd::Silent, cmd::Answer,
                 cmd::Com1, cmd::Wind, cmd::Qnh, cmd::Brake, cmd::Flaps, cmd::Level, cmd::HotKey,
                 cmd::Status, cmd::Help>;

// Either the value or a message that says what is wrong with the input.
template <typename T>
struct Parsed {
    std::optional<T> value;
    std::string error;
    bool ok() const { return value.has_value(); }
};

Parsed<Command> parseCommand(std::string_view line);

struct CommandWords;

// One verb of the command language: what the operator types, what it does, and how its
// words become a command. parse is null for a verb the program around the simulator
// answers itself ("quit").
struct CommandVerb {
    std::string_view synopsis;  // "refuel <tank> <percent>": the verb, then its arguments
    std::string_view help;
    Parsed<Command> (*parse)(const CommandWords&);

    std::string_view verb() const { return synopsis.substr(0, synopsis.find(' ')); }
};

// The verbs in the order "help" lists them, for parseCommand, "help" and the manual.
std::span<const CommandVerb> commandVerbs();
// What "help" answers: one entry per verb, then the tank names.
std::string commandHelp();

using wire::com1Bcd;

// The calendar of the simulator clock.
using aviolog::CivilDateTime;
using aviolog::civilFromSeconds;
using aviolog::daysFromCivil;
using aviolog::isLeapYear;

// ---- The scenario ----

enum class Side { Left, Right };

struct Airport {
    std::string icao;
    double latitudeDeg = 0.0;
    double longitudeDeg = 0.0;
    double elevationFt = 0.0;
    double runwayHeadingDeg = 0.0;  // true heading of the runway in use
    double runwayLengthM = 3000.0;
    Side taxiwaySide = Side::Right;  // where the taxiway and the apron lie, seen down the runway
};

struct Tank {
    double capacityGal = 0.0;
    double levelPercent = 0.0;
};

// A value per engine for each power setting the profile uses.
struct PowerTable {
    double taxi = 0.0;
    double takeOff = 0.0;
    double climb = 0.0;
    double cruise = 0.0;
    double descent = 0.0;
    double approach = 0.0;
};

inline constexpr int kMaxEngines = wire::kEngineCount;

struct Aircraft {
    std::string name;
    std::array<Tank, kTankCount> tanks{};
    double fuelDensityLbPerGal = 6.7;
    double emptyWeightLb = 0.0;  // dry operating weight
    double payloadLb = 0.0;
    int engineCount = 2;
    PowerTable fuelFlowPph;  // per engine
    PowerTable n1Pct{22.0, 88.0, 86.0, 82.0, 30.0, 55.0};
    double reverseN1Pct = 70.0;
    int flapPositions = 5;  // lever positions, "up" included
    int flapDetentIncrement = 4096;
    std::vector<double> flapSpeedsKt;  // highest IAS for each detent from 1 up
    int takeOffFlaps = 1;
};

// Where a flight that starts in the air begins.
struct AirStart {
    Stage stage = Stage::Gate;  // Gate: on the ground at the departure gate
    double distanceNm = 0.0;    // cruise: from the departure; approach: to touchdown
};

struct Profile {
    double gateTimeSec = 120.0;
    double taxiOutSec = 480.0;
    double taxiOutSpeedKt = 15.0;
    double lineUpSec = 20.0;
    double rotateKt = 145.0;
    double accelerationHeightFt = 1500.0;
    double climbFpm = 2500.0;
    double climbIasKt = 290.0;
    double cruiseAltitudeFt = 0.0;  // pressure altitude; FL240 is 24000
    double cruiseTasKt = 420.0;
    double descentFpm = 1800.0;
    double descentIasKt = 280.0;
    double approachKt = 137.0;
    double glidePathDeg = 3.0;
    double touchdownFpm = -140.0;
    double taxiInSec = 300.0;
    double taxiInSpeedKt = 15.0;
    AirStart airStart;
};

struct WeatherLayer {
    double altitudeFt = 0.0;
    double windFromDeg = 0.0;
    double windSpeedKt = 0.0;
    double temperatureC = 15.0;
};

struct Weather {
    std::vector<WeatherLayer> layers;  // by altitude, lowest first; none: calm and standard
    double departureQnhMb = 1013.25;
    double arrivalQnhMb = 1013.25;
    double transitionAltitudeFt = 18000.0;
};

// Something that happens during the flight: at a time since the scenario started, or
// when the flight enters a stage.
struct ScenarioEvent {
    std::optional<std::int64_t> atMs;
    std::optional<Stage> onStage;
    Command command;
    std::string text;  // the command as written, for the operator's log
    int line = 0;
};

struct Scenario {
    std::string title;
    std::int64_t startUtcSec = 0;  // the simulator clock at the start, seconds since 1970
    int localOffsetMin = 0;        // local time = UTC + this
    bool crashDetection = true;
    Airport departure;
    Airport arrival;
    Aircraft aircraft;
    Profile profile;
    Weather weather;
    std::uint16_t com1Bcd = 0x2290;  // 122.900
    std::vector<ScenarioEvent> events;
};

// Errors name the line: "line 12: latitude must be between -90 and 90".
Parsed<Scenario> parseScenario(std::string_view text);
Parsed<Scenario> loadScenario(const std::string& path);

}  // namespace aviolog::sim

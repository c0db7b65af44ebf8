// The bridge's translations, row by row: each simulator's value to the raw variable
// served, the malformed packets that must change nothing, and the program's writes to the
// simulator's commands.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bridge/flightgear_protocol.h"
#include "bridge/offset_model.h"
#include "bridge/xplane_protocol.h"
#include "common/text_file.h"
#include "tests/support/sim_fixture.h"
#include "wire/sim_ipc_wire.h"
#include "wire/sim_offsets.h"

namespace aviolog::bridge {
namespace {

namespace var = wire::var;
using wire::SimVariable;

class RecordingCommands final : public SimCommands {
  public:
    void setPaused(bool paused) override { calls.push_back(paused ? "pause" : "run"); }
    void setSimulationRate(double rate) override {
        calls.push_back("rate " + std::to_string(rate));
    }
    void clearCrash() override { calls.push_back("clear crash"); }
    void setTankLevel(int tank, double share) override {
        calls.push_back("tank " + std::to_string(tank) + " " + std::to_string(share));
    }
    void endSlew() override { calls.push_back("end slew"); }
    void showMessage(std::string_view text) override {
        calls.push_back("show " + std::string(text));
    }
    std::vector<std::string> calls;
};

std::int64_t raw(const wire::OffsetMemory& m, SimVariable v) {
    switch (v.size) {
        case 1:
            return m.u8(v.offset);
        case 2:
            return m.u16(v.offset);
        default:
            return m.u32(v.offset);
    }
}

// A FlightGear packet with every field zero but the ones a row sets.
fg::Sample fgSample() {
    fg::Sample s;
    s.values.fill(0.0);
    s.values[fg::kYear] = 2024;
    s.values[fg::kMonth] = 1;
    s.values[fg::kDay] = 1;
    return s;
}

TEST(FlightGearProtocol, EveryFieldServesItsVariableInTheInterfacesUnits) {
    struct Row {
        const char* name;
        std::function<void(fg::Sample&)> set;
        SimVariable variable;
        std::int64_t expected;
    };
    const Row rows[] = {
        {"latitude, high half", [](fg::Sample& s) { s.values[fg::kLatitude] = 45.0; },
         var::Latitude, 5000875},
        {"longitude west", [](fg::Sample& s) { s.values[fg::kLongitude] = -90.0; }, var::Longitude,
         3221225472},
        {"altitude, whole metres", [](fg::Sample& s) { s.values[fg::kAltitude] = 3280.84; },
         var::Altitude, 1000},
        {"ground, metres x 256", [](fg::Sample& s) { s.values[fg::kGroundElevation] = 328.084; },
         var::GroundAltitude, 25600},
        {"pitch nose up is negative", [](fg::Sample& s) { s.values[fg::kPitch] = 90.0; },
         var::Pitch, static_cast<std::uint32_t>(-1073741824)},
        {"heading", [](fg::Sample& s) { s.values[fg::kHeading] = 180.0; }, var::Heading,
         2147483648},
        {"ground speed, knots by the interface's factor",
         [](fg::Sample& s) { s.values[fg::kGroundSpeed] = 100.0; }, var::GroundSpeed, 3371367},
        {"true airspeed, kt x 128", [](fg::Sample& s) { s.values[fg::kTrueAirspeed] = 100.0; },
         var::TrueAirspeed, 12800},
        {"indicated airspeed", [](fg::Sample& s) { s.values[fg::kIndicatedAirspeed] = 140.0; },
         var::IndicatedAirspeed, 17920},
        {"vertical speed from ft/s", [](fg::Sample& s) { s.values[fg::kVerticalSpeed] = -10.0; },
         var::VerticalSpeed, static_cast<std::uint32_t>(-780)},
        {"on the ground by any wheel", [](fg::Sample& s) { s.values[fg::kWow2] = 1; },
         var::OnGround, 1},
        {"altimeter setting, mb x 16", [](fg::Sample& s) { s.values[fg::kAltimeter] = 1013.25; },
         var::AltimeterSetting, 16212},
        {"sea-level pressure from inHg",
         [](fg::Sample& s) { s.values[fg::kSeaLevelPressure] = 29.92; }, var::SeaLevelPressure,
         16211},
        {"wind speed", [](fg::Sample& s) { s.values[fg::kWindSpeed] = 25.4; }, var::WindSpeed, 25},
        {"wind direction", [](fg::Sample& s) { s.values[fg::kWindFrom] = 270.0; },
         var::WindDirection, 49152},
        {"total air temperature at rest",
         [](fg::Sample& s) { s.values[fg::kAirTemperature] = -10.0; }, var::TotalAirTemperature,
         static_cast<std::uint16_t>(-2560)},
        {"total air temperature at 250 kt TAS",
         [](fg::Sample& s) {
             s.values[fg::kAirTemperature] = -10.0;
             s.values[fg::kTrueAirspeed] = 250.0;
         },
         var::TotalAirTemperature, static_cast<std::uint16_t>(-453)},
        {"COM1 at 8.33 kHz spacing", [](fg::Sample& s) { s.values[fg::kCom1] = 118.275; },
         var::Com1Frequency, 0x1827},
        {"parking brake set", [](fg::Sample& s) { s.values[fg::kParkingBrake] = 1.0; },
         var::ParkingBrake, 32767},
        {"gear lever down", [](fg::Sample& s) { s.values[fg::kGearDown] = 1; }, var::GearControl,
         16383},
        {"flaps half", [](fg::Sample& s) { s.values[fg::kFlaps] = 0.5; }, var::FlapsControl, 8192},
        {"engine 2 N1", [](fg::Sample& s) { s.values[fg::kN1Last] = 100.0; }, var::Engine2N1,
         16384},
        {"fuel density, lb/gal x 256", [](fg::Sample& s) { s.values[fg::kFuelDensity] = 6.7; },
         var::FuelWeightPerGallon, 1715},
        {"tank 0 is the left main, level",
         [](fg::Sample& s) {
             s.values[fg::kTankLevelFirst] = 10.0;
             s.values[fg::kTankCapacityFirst] = 40.0;
         },
         wire::kFuelTanks[5].level, 2097152},
        {"tank 1 is the right main, capacity rounded up",
         [](fg::Sample& s) { s.values[fg::kTankCapacityFirst + 1] = 40.4; },
         wire::kFuelTanks[8].capacity, 41},
        {"UTC hour", [](fg::Sample& s) { s.values[fg::kHour] = 22; }, var::ZuluHour, 22},
        {"day of the year", [](fg::Sample& s) { s.values[fg::kMonth] = 3; }, var::ZuluDayOfYear,
         61},
        {"local hour from the offset",
         [](fg::Sample& s) {
             s.values[fg::kHour] = 22;
             s.values[fg::kLocalOffset] = -36000;
         },
         var::LocalHour, 12},
        {"minutes behind UTC", [](fg::Sample& s) { s.values[fg::kLocalOffset] = -36000; },
         var::LocalTimeOffset, 600},
        {"frozen is paused", [](fg::Sample& s) { s.values[fg::kFrozen] = 1; }, var::PauseIndicator,
         1},
        {"speed-up 4", [](fg::Sample& s) { s.values[fg::kSpeedUp] = 4.0; }, var::SimulationRate,
         1024},
        {"crashed", [](fg::Sample& s) { s.values[fg::kCrashed] = 1; }, var::Crashed, 1},
        {"the UFO is slew", [](fg::Sample& s) { s.flightModel = "ufo"; }, var::SlewMode, 1},
    };
    for (const Row& row : rows) {
        RecordingCommands commands;
        OffsetModel model(commands);
        fg::Sample sample = fgSample();
        row.set(sample);
        model.update(fg::toPicture(sample, {}), 0);
        EXPECT_EQ(raw(model.memory(), row.variable), row.expected) << row.name;
    }
}

// A FlightGear packet with the fields of these properties set, by the property's name: a
// property the protocol does not send fails the row.
fg::Sample fgSampleWith(const std::vector<std::pair<std::string_view, double>>& properties,
                        const char* row) {
    fg::Sample s = fgSample();
    for (const auto& [node, value] : properties) {
        const auto it = std::find_if(fg::kChunks.begin(), fg::kChunks.end(),
                                     [&](const fg::Chunk& c) { return c.node == node; });
        if (it == fg::kChunks.end()) {
            ADD_FAILURE() << row << ": the protocol does not send " << node;
            continue;
        }
        s.values[static_cast<std::size_t>(it - fg::kChunks.begin())] = value;
    }
    return s;
}

TEST(FlightGearProtocol, GearCrashAndTanksAsTheAircraftHasThem) {
    using Properties = std::vector<std::pair<std::string_view, double>>;
    const Properties fixedGear = {{"/gear/gear[0]/position-norm", 1.0},
                                  {"/gear/gear[1]/position-norm", 1.0},
                                  {"/gear/gear[2]/position-norm", 1.0}};
    auto with = [](Properties base, const Properties& more) {
        base.insert(base.end(), more.begin(), more.end());
        return base;
    };
    struct Row {
        const char* name;
        Properties properties;
        SimVariable variable;
        std::int64_t expected;
    };
    const Row rows[] = {
        {"a fixed gear, its lever left up, is down",
         with(fixedGear, {{"/controls/gear/gear-down", 0}}), var::GearControl, 16383},
        {"a retractable gear leaving its locks is up",
         {{"/controls/gear/gear-down", 0},
          {"/gear/gear[0]/position-norm", 0.9},
          {"/gear/gear[1]/position-norm", 0.9},
          {"/gear/gear[2]/position-norm", 0.9}},
         var::GearControl,
         0},
        {"a retractable gear up", {{"/controls/gear/gear-down", 0}}, var::GearControl, 0},
        {"a gear on its way down follows the lever",
         {{"/controls/gear/gear-down", 1}, {"/gear/gear[0]/position-norm", 0.2}},
         var::GearControl,
         16383},
        {"the flight model's own crash", {{"/fdm/jsbsim/crash", 1}}, var::Crashed, 1},
        {"FlightGear's crash", {{"/sim/crashed", 1}}, var::Crashed, 1},
        {"no crash", {}, var::Crashed, 0},
        {"21.5 gallons are served as 22",
         {{"/consumables/fuel/tank[0]/capacity-gal_us", 21.5},
          {"/consumables/fuel/tank[0]/level-gal_us", 20.0}},
         wire::kFuelTanks[5].capacity,
         22},
        {"with the level of 20 gallons in 22",
         {{"/consumables/fuel/tank[0]/capacity-gal_us", 21.5},
          {"/consumables/fuel/tank[0]/level-gal_us", 20.0}},
         wire::kFuelTanks[5].level,
         7626007},
        {"a full tank of whole gallons is full",
         {{"/consumables/fuel/tank[0]/capacity-gal_us", 28.0},
          {"/consumables/fuel/tank[0]/level-gal_us", 28.0}},
         wire::kFuelTanks[5].level,
         wire::kTankFull},
    };
    for (const Row& row : rows) {
        RecordingCommands commands;
        OffsetModel model(commands);
        model.update(fg::toPicture(fgSampleWith(row.properties, row.name), {}), 0);
        EXPECT_EQ(raw(model.memory(), row.variable), row.expected) << row.name;
    }
}

TEST(FlightGearProtocol, LoadedOnceTheFlightModelAndTheSceneryAre) {
    const struct {
        const char* name;
        double fdm;
        double scenery;
        bool loaded;
    } rows[] = {
        {"both", 1, 1, true},
        {"the flight model starting", 0, 1, false},
        {"the scenery loading", 1, 0, false},
        {"neither", 0, 0, false},
        {"not a number", wire::kUnknown, 1, false},
    };
    for (const auto& row : rows) {
        const fg::Sample s = fgSampleWith(
            {{"/sim/fdm-initialized", row.fdm}, {"/sim/sceneryloaded", row.scenery}}, row.name);
        EXPECT_EQ(fg::loaded(s), row.loaded) << row.name;
    }
}

// The program writes a level as the share of the whole gallons it was served; the
// simulator is told the share of its own capacity, the same gallons.
TEST(OffsetModel, ALevelWrittenIsTheGallonsOfTheCapacityServed) {
    RecordingCommands commands;
    OffsetModel model(commands);
    fg::Sample sample = fgSample();
    sample.values[fg::kTankCapacityFirst] = 21.5;  // left main, served as 22 gallons
    sample.values[fg::kTankLevelFirst] = 5.0;
    model.update(fg::toPicture(sample, {}), 0);
    const struct {
        const char* name;
        std::uint32_t raw;
        const char* call;
    } rows[] = {
        {"20 of 22 gallons", static_cast<std::uint32_t>(wire::kTankFull * 20.0 / 22.0 + 0.5),
         "tank 5 0.930233"},
        {"full is the tank's 21.5", wire::kTankFull, "tank 5 1.000000"},
        {"empty", 0, "tank 5 0.000000"},
    };
    for (const auto& row : rows) {
        commands.calls.clear();
        std::array<std::byte, 32> block{};
        wire::store32(block.data(), wire::kRecordWrite);
        wire::store32(block.data() + 4, wire::kFuelTanks[5].level.offset);
        wire::store32(block.data() + 8, 4);
        wire::store32(block.data() + 12, row.raw);
        model.serve(block, 0);
        EXPECT_EQ(commands.calls, std::vector<std::string>{row.call}) << row.name;
    }
}

TEST(FlightGearProtocol, TheShippedFileIsTheOneTheBridgeReads) {
    EXPECT_EQ(readFileBytes(test::dataPath("flightgear/aviolog.xml")).value_or(""),
              fg::protocolXml());
}

// FlightGear's XML reader refuses the whole file over a double hyphen in a comment, and
// then sends nothing at all.
TEST(FlightGearProtocol, ItsCommentsAreWhatAnXmlReaderAccepts) {
    const std::string xml = fg::protocolXml();
    int comments = 0;
    for (std::size_t open = xml.find("<!--"); open != std::string::npos;
         open = xml.find("<!--", open + 4)) {
        const std::size_t close = xml.find("-->", open + 4);
        ASSERT_NE(close, std::string::npos) << "comment at " << open << " never ends";
        const std::string text = xml.substr(open + 4, close - open - 4);
        EXPECT_EQ(text.find("--"), std::string::npos) << "comment at " << open << ": " << text;
        EXPECT_NE(text.back(), '-') << "comment at " << open << " ends in '--->'";
        ++comments;
    }
    EXPECT_GT(comments, 0);
}

TEST(FlightGearProtocol, APacketIsTakenWholeOrNotAtAll) {
    std::string good;
    for (int i = 0; i < fg::kFieldCount; ++i) good += i == 0 ? "1" : ",1";
    struct Row {
        const char* name;
        std::string packet;
        bool taken;
    };
    const Row rows[] = {
        {"every field", good + "\n", true},
        {"CR LF", good + "\r\n", true},
        {"one field short", good.substr(2), false},
        {"one field more", good + ",1", false},
        {"empty", "", false},
        {"longer than any line", good + std::string(fg::kMaxLineBytes, ' '), false},
        {"another protocol", "$GPRMC,123519,A,4807.038,N", false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(fg::parsePacket(row.packet).has_value(), row.taken) << row.name;
    }
}

TEST(FlightGearProtocol, AValueThatIsNoNumberKeepsTheOneBefore) {
    RecordingCommands commands;
    OffsetModel model(commands);
    fg::Sample sample = fgSample();
    sample.values[fg::kAltitude] = 3280.84;
    sample.values[fg::kHeading] = 90.0;
    model.update(fg::toPicture(sample, {}), 0);
    const char* tokens[] = {"nan", "inf", "-inf", "1e999", "12abc", "", " "};
    for (const char* token : tokens) {
        std::string packet;
        for (int i = 0; i < fg::kFieldCount; ++i) {
            if (i > 0) packet += ',';
            packet += i == fg::kAltitude || i == fg::kHeading ? token : "0";
        }
        const auto parsed = fg::parsePacket(packet);
        ASSERT_TRUE(parsed) << token;
        model.update(fg::toPicture(*parsed, {}), 0);
        EXPECT_EQ(model.memory().s32(var::Altitude.offset), 1000) << token;
        EXPECT_EQ(model.memory().u32(var::Heading.offset), 1073741824u) << token;
    }
}

TEST(FlightGearProtocol, TankMapsReadTheProgramsTankNames) {
    EXPECT_EQ(fg::parseTankMap("left-main,right-main,centre,none"),
              (std::array<int, 4>{5, 8, 0, -1}));
    EXPECT_EQ(fg::parseTankMap("centre"), (std::array<int, 4>{0, -1, -1, -1}));
    EXPECT_FALSE(fg::parseTankMap("left-main,right-main,centre,centre-2,centre-3"));
    EXPECT_FALSE(fg::parseTankMap("wing"));
    EXPECT_EQ(fg::setLine("/sim/screen/yellow", "a\r\nset /sim/crashed true"),
              "set /sim/screen/yellow a  set /sim/crashed true\r\n")
        << "a message is never a second command";
}

TEST(OffsetModel, WritesBecomeTheSimulatorsCommands) {
    struct Row {
        const char* name;
        SimVariable variable;
        std::uint32_t value;
        const char* call;  // nullptr: none
    };
    const Row rows[] = {
        {"pause", var::PauseControl, 1, "pause"},
        {"release", var::PauseControl, 0, "run"},
        {"rate 2x", var::SimulationRate, 512, "rate 2.000000"},
        {"rate out of range", var::SimulationRate, 7, nullptr},
        {"clear the crash", var::Crashed, 0, "clear crash"},
        {"end slew", var::SlewMode, 0, "end slew"},
        {"crash detection is kept, not sent", var::CrashDetection, 0, nullptr},
        {"right main half full", wire::kFuelTanks[8].level, wire::kTankFull / 2, "tank 8 0.500000"},
        {"the hot key is the bridge's", var::HotKeyEntry(3), 0x2A, nullptr},
        {"the clock is the simulator's", var::ZuluHour, 5, nullptr},
    };
    for (const Row& row : rows) {
        RecordingCommands commands;
        OffsetModel model(commands);
        std::array<std::byte, 64> block{};
        wire::store32(block.data(), wire::kRecordWrite);
        wire::store32(block.data() + 4, row.variable.offset);
        wire::store32(block.data() + 8, row.variable.size);
        std::memcpy(block.data() + 12, &row.value, row.variable.size);
        model.serve(block, 0);
        if (row.call == nullptr) {
            EXPECT_TRUE(commands.calls.empty()) << row.name;
        } else {
            EXPECT_EQ(commands.calls, std::vector<std::string>{row.call}) << row.name;
        }
        EXPECT_EQ(raw(model.memory(), row.variable), row.value) << row.name << ": reads back";
    }
}

TEST(OffsetModel, ThePausesAndTheKeptValuesSurviveThePictures) {
    RecordingCommands commands;
    OffsetModel model(commands);
    auto write16 = [&](SimVariable v, std::uint16_t value) {
        std::array<std::byte, 32> block{};
        wire::store32(block.data(), wire::kRecordWrite);
        wire::store32(block.data() + 4, v.offset);
        wire::store32(block.data() + 8, v.size);
        std::memcpy(block.data() + 12, &value, 2);
        model.serve(block, 0);
    };
    wire::SimPicture running;
    running.paused = 0;
    write16(var::PauseControl, 1);
    write16(var::CrashDetection, 0);
    write16(var::LibraryVersion, 1004);
    model.update(running, 10);  // sent before the simulator took the pause
    EXPECT_EQ(model.memory().u16(var::PauseControl.offset), 1);
    wire::SimPicture paused;
    paused.paused = 1;
    model.update(paused, 20);
    EXPECT_EQ(model.memory().u16(var::PauseControl.offset), 1);
    model.update(running, 30);  // the pilot let it run again
    EXPECT_EQ(model.memory().u16(var::PauseControl.offset), 0);
    EXPECT_EQ(model.memory().u16(var::CrashDetection.offset), 0);
    EXPECT_EQ(model.memory().u32(var::SimulatorVersion.offset), 0xFADE0007u);
    EXPECT_TRUE(model.fresh(1030, 1000));
    EXPECT_FALSE(model.fresh(1031, 1000));
}

TEST(OffsetModel, TheHotKeyMarksOnlyEntriesThatHoldAKey) {
    RecordingCommands commands;
    OffsetModel model(commands);
    EXPECT_EQ(model.pressHotKeys(), 0);
    std::array<std::byte, 32> block{};
    wire::store32(block.data(), wire::kRecordWrite);
    wire::store32(block.data() + 4, var::HotKeyEntry(2).offset);
    wire::store32(block.data() + 8, 4);
    wire::store32(block.data() + 12, 0x0000022A);
    model.serve(block, 0);
    EXPECT_EQ(model.pressHotKeys(), 1);
    EXPECT_EQ(model.memory().u32(var::HotKeyEntry(2).offset), 0x0100022Au);
}

TEST(XPlaneProtocol, MessagesHaveTheirSizesAndFields) {
    const std::string rref = xp::rrefRequest(20, 7, "sim/time/paused");
    ASSERT_EQ(rref.size(), xp::kRrefRequestBytes);
    EXPECT_EQ(rref.substr(0, 5), std::string("RREF\0", 5));
    EXPECT_EQ(rref[5], 20);
    EXPECT_EQ(rref[9], 7);
    EXPECT_EQ(rref.substr(13, 15), "sim/time/paused");
    const std::string dref = xp::drefPacket(1.5f, "sim/time/sim_speed");
    ASSERT_EQ(dref.size(), xp::kDrefBytes);
    EXPECT_EQ(dref.substr(9, 18), "sim/time/sim_speed");
    xp::Beacon beacon{1, 2, 1, 120100, 1, 49000, "sim-pc"};
    const auto back = xp::parseBeacon(xp::beaconPacket(beacon));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->port, 49000);
    EXPECT_EQ(back->version, 120100);
    EXPECT_EQ(back->computerName, "sim-pc");
}

TEST(XPlaneProtocol, MalformedDatagramsAreRefused) {
    std::string pair("RREF,", 5);
    pair.append("\x01\x00\x00\x00\x00\x00\x80\x3f", 8);
    EXPECT_TRUE(xp::parseRref(pair));
    EXPECT_EQ(xp::parseRref(pair)->at(0).value, 1.0f);
    const std::string rows[] = {"",
                                "RREF",
                                pair.substr(0, 12),
                                pair + "x",
                                "DATA*" + pair.substr(5),
                                std::string("BECN\0", 5)};
    for (const std::string& row : rows) {
        EXPECT_FALSE(xp::parseRref(row) && row != pair) << row.size();
        EXPECT_FALSE(xp::parseBeacon(row)) << row.size();
    }
}

TEST(XPlaneProtocol, EveryDatarefServesItsVariableInTheInterfacesUnits) {
    struct Row {
        const char* name;
        std::function<void(xp::Values&)> set;
        SimVariable variable;
        std::int64_t expected;
    };
    auto base = [] {
        xp::Values v = xp::unknownValues();
        for (double& d : v) d = 0.0;
        return v;
    };
    const Row rows[] = {
        {"elevation in metres", [](xp::Values& v) { v[xp::kElevation] = 1000.4; }, var::Altitude,
         1000},
        {"ground under the aircraft",
         [](xp::Values& v) {
             v[xp::kElevation] = 110.0;
             v[xp::kHeightAgl] = 10.0;
         },
         var::GroundAltitude, 25600},
        {"ground speed from m/s", [](xp::Values& v) { v[xp::kGroundSpeed] = 10.0; },
         var::GroundSpeed, 655341},
        {"vertical speed in ft/min", [](xp::Values& v) { v[xp::kVerticalSpeed] = -769.0; },
         var::VerticalSpeed, static_cast<std::uint32_t>(-1000)},
        {"COM1 in 10 kHz", [](xp::Values& v) { v[xp::kCom1] = 12830; }, var::Com1Frequency, 0x2830},
        {"flap detents", [](xp::Values& v) { v[xp::kFlapDetents] = 4; }, var::FlapsDetentIncrement,
         4095},
        {"tank 0 level from kg",
         [](xp::Values& v) {
             v[xp::kFuelCapacity] = 1340.0;  // pounds: 100 gallons at 6.7 lb/gal in tank 0
             v[xp::kTankRatioFirst] = 0.5;
             v[xp::kTankMassFirst] = 0.25 * 670.0 / 2.20462262185;
         },
         wire::kFuelTanks[5].level, 2097152},
        {"UTC hour from zulu seconds",
         [](xp::Values& v) {
             v[xp::kZuluTime] = 3 * 3600 + 30;
             v[xp::kLocalTime] = 17 * 3600 + 30;
             v[xp::kLocalDay] = 10;
         },
         var::ZuluHour, 3},
        {"the UTC date is the next local day's morning",
         [](xp::Values& v) {
             v[xp::kZuluTime] = 3 * 3600;
             v[xp::kLocalTime] = 17 * 3600;
             v[xp::kLocalDay] = 10;  // 11 January, local
         },
         var::ZuluDayOfYear, 12},
        {"paused", [](xp::Values& v) { v[xp::kPaused] = 1; }, var::PauseIndicator, 1},
        {"sim speed", [](xp::Values& v) { v[xp::kSimSpeed] = 2; }, var::SimulationRate, 512},
        {"load factor in G", [](xp::Values& v) { v[xp::kGNormal] = 1.5; }, var::GForce, 938},
        {"a right bank is negative", [](xp::Values& v) { v[xp::kRoll] = 90.0; }, var::Bank,
         static_cast<std::uint32_t>(-1073741824)},
    };
    for (const Row& row : rows) {
        RecordingCommands commands;
        OffsetModel model(commands);
        xp::Values values = base();
        row.set(values);
        model.update(xp::toPicture(values, {}), 0);
        EXPECT_EQ(raw(model.memory(), row.variable), row.expected) << row.name;
    }
}

// Values by the dataref's name, as X-Plane's own list names them: a name the bridge does
// not subscribe to fails the row.
void setDataref(xp::Values& v, std::string_view dataref, double value, const char* row) {
    const auto it = std::find(xp::kDatarefs.begin(), xp::kDatarefs.end(), dataref);
    if (it == xp::kDatarefs.end()) {
        ADD_FAILURE() << row << ": the bridge does not read " << dataref;
        return;
    }
    v[static_cast<std::size_t>(it - xp::kDatarefs.begin())] = value;
}

// X-Plane 12 marks six of X-Plane 11's datarefs replaced; which are read follows the
// version, and X-Plane answers a dataref it lacks with 0. Units as its list gives them.
TEST(XPlaneProtocol, EachVersionIsReadFromItsOwnDatarefsInTheirUnits) {
    constexpr double k12 = 120100;
    constexpr double k11 = 115500;
    struct Row {
        const char* name;
        std::vector<std::pair<std::string_view, double>> datarefs;
        SimVariable variable;
        std::int64_t expected;
    };
    const Row rows[] = {
        {"12: wind at the aircraft in m/s",
         {{"sim/version/xplane_internal_version", k12},
          {"sim/weather/aircraft/wind_now_speed_msc", 10.0},
          {"sim/weather/wind_speed_kt", 3.0}},
         var::WindSpeed,
         19},
        {"11: the wind speed is in m/s whatever its name says",
         {{"sim/version/xplane_internal_version", k11}, {"sim/weather/wind_speed_kt", 10.0}},
         var::WindSpeed,
         19},
        {"12: wind direction at the aircraft",
         {{"sim/version/xplane_internal_version", k12},
          {"sim/weather/aircraft/wind_now_direction_degt", 270.0},
          {"sim/weather/wind_direction_degt", 90.0}},
         var::WindDirection,
         49152},
        {"11: wind direction",
         {{"sim/weather/wind_direction_degt", 90.0}},
         var::WindDirection,
         16384},
        {"12: QNH in pascals",
         {{"sim/version/xplane_internal_version", k12},
          {"sim/weather/aircraft/qnh_pas", 101325.0},
          {"sim/weather/barometer_sealevel_inhg", 29.0}},
         var::SeaLevelPressure,
         16212},
        {"11: sea-level pressure in inHg",
         {{"sim/version/xplane_internal_version", k11},
          {"sim/weather/barometer_sealevel_inhg", 29.92}},
         var::SeaLevelPressure,
         16211},
        {"12: the air temperature at the aircraft",
         {{"sim/version/xplane_internal_version", k12},
          {"sim/weather/aircraft/temperature_ambient_deg_c", -10.0},
          {"sim/weather/temperature_ambient_c", 15.0}},
         var::TotalAirTemperature,
         static_cast<std::uint16_t>(-2560)},
        {"11: the air temperature",
         {{"sim/weather/temperature_ambient_c", -10.0}},
         var::TotalAirTemperature,
         static_cast<std::uint16_t>(-2560)},
        {"12: the parking brake",
         {{"sim/version/xplane_internal_version", k12},
          {"sim/flightmodel/controls/parkbrake", 1.0},
          {"sim/cockpit2/controls/parking_brake_ratio", 0.0}},
         var::ParkingBrake,
         32767},
        {"11: the parking brake",
         {{"sim/cockpit2/controls/parking_brake_ratio", 1.0}},
         var::ParkingBrake,
         32767},
        {"12: the flap handle",
         {{"sim/version/xplane_internal_version", k12},
          {"sim/cockpit2/controls/flap_handle_request_ratio", 0.5},
          {"sim/cockpit2/controls/flap_ratio", 0.0}},
         var::FlapsControl,
         8192},
        {"11: the flap handle",
         {{"sim/cockpit2/controls/flap_ratio", 0.5}},
         var::FlapsControl,
         8192},
        {"COM1 on an 8.33 kHz channel",
         {{"sim/cockpit2/radios/actuators/com1_frequency_hz_833", 118275.0},
          {"sim/cockpit/radios/com1_freq_hz", 11828.0}},
         var::Com1Frequency,
         0x1827},
        {"COM1 in 10 kHz where the 8.33 dataref says nothing",
         {{"sim/cockpit/radios/com1_freq_hz", 12830.0}},
         var::Com1Frequency,
         0x2830},
        {"faster ground travel is time acceleration",
         {{"sim/time/sim_speed", 1.0}, {"sim/time/ground_speed", 4.0}},
         var::SimulationRate,
         1024},
        {"both multiply",
         {{"sim/time/sim_speed", 2.0}, {"sim/time/ground_speed", 2.0}},
         var::SimulationRate,
         1024},
        {"ground travel at 1 leaves the rate",
         {{"sim/time/sim_speed", 2.0}, {"sim/time/ground_speed", 1.0}},
         var::SimulationRate,
         512},
        {"the fuel capacity is in pounds",
         {{"sim/aircraft/weight/acf_m_fuel_tot", 670.0},
          {"sim/aircraft/overflow/acf_tank_rat[0]", 1.0}},
         wire::kFuelTanks[5].capacity,
         100},
    };
    for (const Row& row : rows) {
        RecordingCommands commands;
        OffsetModel model(commands);
        xp::Values values = xp::unknownValues();
        values.fill(0.0);
        setDataref(values, "sim/time/sim_speed", 1.0, row.name);
        for (const auto& [dataref, value] : row.datarefs) {
            setDataref(values, dataref, value, row.name);
        }
        model.update(xp::toPicture(values, {}), 0);
        EXPECT_EQ(raw(model.memory(), row.variable), row.expected) << row.name;
    }
}

}  // namespace
}  // namespace aviolog::bridge

#include "sim/simulator.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "sim/flight_model.h"
#include "simlink/sim_variables.h"
#include "wire/sim_ipc_wire.h"

namespace aviolog::sim {
namespace {

namespace var = wire::var;
using simlink::SimVariable;

Scenario load(const std::string& name) {
    const auto parsed = loadScenario(std::string(AVIOLOG_DATA_DIR) + "/scenarios/" + name);
    EXPECT_TRUE(parsed.ok()) << parsed.error;
    return parsed.ok() ? *parsed.value : Scenario{};
}

// A request block as the client builds it: reads and writes, then served at once.
class Block {
  public:
    Block() : bytes_(wire::kBlockSize) {}

    // Returns where the read's answer will be.
    std::size_t read(SimVariable v) {
        header(wire::kRecordRead, v.offset, v.size);
        wire::store32(at(12), 0xD0D0);  // the client's destination, opaque to the server
        const std::size_t data = pos_ + wire::kReadHeaderBytes;
        pos_ = data + v.size;
        return data;
    }
    void write(std::uint32_t offset, const void* data, std::size_t size) {
        header(wire::kRecordWrite, offset, static_cast<std::uint32_t>(size));
        std::memcpy(at(wire::kWriteHeaderBytes), data, size);
        pos_ += wire::kWriteHeaderBytes + size;
    }
    void write16(SimVariable v, std::uint16_t value) { write(v.offset, &value, 2); }
    void write32(SimVariable v, std::uint32_t value) { write(v.offset, &value, 4); }

    std::uint32_t serve(Simulator& sim) {
        wire::store32(bytes_.data() + pos_, wire::kRecordEnd);
        return sim.serve(bytes_);
    }
    std::uint32_t u32(std::size_t at) const { return wire::load32(bytes_.data() + at); }
    double f64(std::size_t at) const {
        double v = 0.0;
        std::memcpy(&v, bytes_.data() + at, sizeof v);
        return v;
    }
    std::uint16_t u16(std::size_t at) const { return static_cast<std::uint16_t>(u32(at) & 0xFFFF); }

  private:
    void header(std::uint32_t kind, std::uint32_t offset, std::uint32_t size) {
        wire::store32(at(0), kind);
        wire::store32(at(4), offset);
        wire::store32(at(8), size);
    }
    std::byte* at(std::size_t delta) { return bytes_.data() + pos_ + delta; }

    std::vector<std::byte> bytes_;
    std::size_t pos_ = 0;
};

void write16(Simulator& sim, SimVariable v, std::uint16_t value) {
    Block b;
    b.write16(v, value);
    b.serve(sim);
}

// Seconds since midnight UTC on the simulator clock, with the day of the year.
int clockSec(const Simulator& sim) {
    const wire::OffsetMemory& m = sim.memory();
    return m.u16(var::ZuluDayOfYear.offset) * 86400 + m.u8(var::ZuluHour.offset) * 3600 +
           m.u8(var::ZuluMinute.offset) * 60 + m.u8(0x023A);
}

std::pair<std::int32_t, std::uint32_t> position(const Simulator& sim) {
    return {sim.memory().s32(var::Latitude.offset), sim.memory().u32(var::Longitude.offset)};
}

TEST(Simulator, PauseStopsTheModelAndTheClock) {
    struct Row {
        const char* name;
        std::function<void(Simulator&)> pause;
        std::uint16_t pauseControlWhilePaused;
        std::function<void(Simulator&)> release;
    };
    const Row rows[] = {
        {"PauseControl written 1, then 0", [](Simulator& s) { write16(s, var::PauseControl, 1); },
         1, [](Simulator& s) { write16(s, var::PauseControl, 0); }},
        {"operator pause, released through PauseControl",
         [](Simulator& s) { EXPECT_TRUE(s.command("pause").ok); }, 0,
         [](Simulator& s) { write16(s, var::PauseControl, 0); }},
        {"operator pause and unpause", [](Simulator& s) { s.command("pause"); }, 0,
         [](Simulator& s) { EXPECT_TRUE(s.command("unpause").ok); }},
    };
    for (const Row& row : rows) {
        Simulator sim(load("short-hop.scn"));
        sim.advance(40000);  // taxiing by now
        const auto where = position(sim);
        const int clock = clockSec(sim);
        const double flown = sim.model().flownSec();
        row.pause(sim);
        sim.advance(10000);
        EXPECT_EQ(position(sim), where) << row.name;
        EXPECT_EQ(clockSec(sim), clock) << row.name;
        EXPECT_DOUBLE_EQ(sim.model().flownSec(), flown) << row.name;
        EXPECT_EQ(sim.elapsedMs(), 50000) << row.name << ": time still passes outside";
        EXPECT_EQ(sim.memory().u16(var::PauseControl.offset), row.pauseControlWhilePaused)
            << row.name;
        EXPECT_NE(sim.memory().u16(var::PauseIndicator.offset), 0) << row.name;
        EXPECT_NE(sim.statusLine().find("PAUSED"), std::string::npos) << row.name;
        row.release(sim);
        EXPECT_EQ(sim.memory().u16(var::PauseIndicator.offset), 0) << row.name;
        sim.advance(1000);
        EXPECT_NE(position(sim), where) << row.name << ": moving again";
        EXPECT_NEAR(sim.model().flownSec(), flown + 1.0, 1e-6) << row.name;
        EXPECT_EQ(clockSec(sim), clock + 1) << row.name;
    }
}

TEST(Simulator, RateMakesTheModelAndTheClockRunFaster) {
    struct Row {
        const char* name;
        std::function<void(Simulator&)> set;
        double rate;
    };
    const Row rows[] = {
        {"written 512", [](Simulator& s) { write16(s, var::SimulationRate, 512); }, 2.0},
        {"command rate 2", [](Simulator& s) { EXPECT_TRUE(s.command("rate 2").ok); }, 2.0},
        {"command rate 4", [](Simulator& s) { s.command("rate 4"); }, 4.0},
        {"written 4096", [](Simulator& s) { write16(s, var::SimulationRate, 4096); }, 16.0},
        {"written 0 is refused", [](Simulator& s) { write16(s, var::SimulationRate, 0); }, 1.0},
    };
    for (const Row& row : rows) {
        Simulator sim(load("short-hop.scn"));
        row.set(sim);
        const int clock = clockSec(sim);
        sim.advance(10000);
        EXPECT_NEAR(sim.model().flownSec(), 10.0 * row.rate, 1e-6) << row.name;
        EXPECT_EQ(clockSec(sim) - clock, static_cast<int>(10 * row.rate)) << row.name;
        EXPECT_EQ(sim.memory().u16(var::SimulationRate.offset), row.rate * 256) << row.name;
        EXPECT_EQ(sim.elapsedMs(), 10000) << row.name;
    }
}

TEST(Simulator, FuelCanBeAddedByCommandOrByWritingTheLevel) {
    const SimVariable level = wire::kFuelTanks[5].level;  // left main, 195 gal at 60 %
    struct Row {
        const char* name;
        std::function<void(Simulator&)> add;
        double levelAfterPct;
    };
    const Row rows[] = {
        {"refuel left-main 20",
         [](Simulator& s) { EXPECT_TRUE(s.command("refuel left-main 20").ok); }, 80.0},
        {"refuel beyond full stops at full", [](Simulator& s) { s.command("refuel left-main 60"); },
         100.0},
        {"the client writes 90 %",
         [level](Simulator& s) {
             Block b;
             b.write32(level, static_cast<std::uint32_t>(0.9 * wire::kTankFull));
             b.serve(s);
         },
         90.0},
    };
    for (const Row& row : rows) {
        Simulator sim(load("short-hop.scn"));
        const double weightBefore = sim.memory().f64(var::GrossWeight.offset);
        row.add(sim);
        const double pct = sim.memory().u32(level.offset) * 100.0 / wire::kTankFull;
        EXPECT_NEAR(pct, row.levelAfterPct, 1e-4) << row.name;
        const double addedLb = (row.levelAfterPct - 60.0) / 100.0 * 195.0 * 6.7;
        EXPECT_NEAR(sim.memory().f64(var::GrossWeight.offset) - weightBefore, addedLb, 0.01)
            << row.name;
        EXPECT_NEAR(sim.model().state().tankGal[5], row.levelAfterPct / 100.0 * 195.0, 1e-4)
            << row.name;
    }
    Simulator sim(load("short-hop.scn"));
    const CommandResult none = sim.command("refuel centre 10");
    EXPECT_FALSE(none.ok) << "the aircraft has no centre tank";
    EXPECT_NE(none.message.find("no centre tank"), std::string::npos) << none.message;
}

TEST(Simulator, CrashIsFlaggedUntilTheClientClearsIt) {
    Simulator sim(load("short-hop.scn"));
    sim.advance(40000);
    EXPECT_EQ(sim.memory().u16(var::CrashDetection.offset), 1);
    EXPECT_TRUE(sim.command("crash").ok);
    EXPECT_NE(sim.memory().u16(var::Crashed.offset), 0);
    const auto where = position(sim);
    sim.advance(5000);
    EXPECT_EQ(position(sim), where) << "a crashed aircraft does not move";
    write16(sim, var::Crashed, 0);
    EXPECT_EQ(sim.memory().u16(var::Crashed.offset), 0);
    sim.advance(1000);
    EXPECT_NE(position(sim), where);

    write16(sim, var::CrashDetection, 0);
    EXPECT_TRUE(sim.command("crash").ok);
    EXPECT_EQ(sim.memory().u16(var::Crashed.offset), 0) << "crash detection is off";
}

TEST(Simulator, SlewFreezesTheAircraftButNotTheClock) {
    Simulator sim(load("short-hop.scn"));
    sim.advance(40000);
    EXPECT_TRUE(sim.command("slew on").ok);
    EXPECT_EQ(sim.memory().u16(var::SlewMode.offset), 1);
    const auto where = position(sim);
    const int clock = clockSec(sim);
    sim.advance(10000);
    EXPECT_EQ(position(sim), where);
    EXPECT_EQ(clockSec(sim), clock + 10);
    EXPECT_NE(sim.statusLine().find("SLEW"), std::string::npos);
    write16(sim, var::SlewMode, 0);
    EXPECT_EQ(sim.memory().u16(var::SlewMode.offset), 0);
    sim.advance(1000);
    EXPECT_NE(position(sim), where);
}

TEST(Simulator, HandshakeReadsTheVersionsWhateverTheLibraryWrites) {
    Simulator sim(load("short-hop.scn"), SimulatorOptions{0x34800000, 0xFADE0007});
    Block b;
    b.write16(var::LibraryVersion, 1004);
    const std::size_t fsuipc = b.read(var::FsuipcVersion);
    const std::size_t simulator = b.read(var::SimulatorVersion);
    EXPECT_EQ(b.serve(sim), wire::kReplySuccess);
    EXPECT_EQ(b.u32(fsuipc), 0x34800000u);
    EXPECT_EQ(b.u32(simulator), 0xFADE0007u);
    EXPECT_EQ(b.u32(simulator - 4), 0xD0D0u) << "the destination field is left alone";
    EXPECT_EQ(sim.memory().u32(var::SimulatorVersion.offset) >> 16, 0xFADEu);
}

TEST(Simulator, RequestBlockRoundTrip) {
    Simulator sim(load("short-hop.scn"));
    const std::uint32_t hotKey = 0x0000034C;
    const double weight = 1.0;
    const std::uint64_t anything = 0x1122334455667788;
    Block b;
    b.write32(var::HotKeyEntry(2), hotKey);
    b.write(0x4000, &anything, 8);
    b.write(var::GrossWeight.offset, &weight, 8);  // the simulator's own: not taken
    const std::size_t key = b.read(var::HotKeyEntry(2));
    const std::size_t other = b.read({0x4000, 8});
    const std::size_t gross = b.read(var::GrossWeight);
    const std::size_t brake = b.read(var::ParkingBrake);
    b.serve(sim);
    EXPECT_EQ(b.u32(key), hotKey);
    EXPECT_EQ(b.u32(other), 0x55667788u);
    EXPECT_EQ(b.u32(other + 4), 0x11223344u);
    EXPECT_EQ(b.u16(brake), wire::kParkingBrakeSet);
    EXPECT_EQ(b.f64(gross), sim.memory().f64(var::GrossWeight.offset));
    EXPECT_GT(b.f64(gross), 8000.0) << "the model's weight, not the one written";
    // Kept across later publishing.
    sim.advance(2000);
    Block again;
    const std::size_t key2 = again.read(var::HotKeyEntry(2));
    again.serve(sim);
    EXPECT_EQ(again.u32(key2), hotKey);
}

TEST(Simulator, SilentStopsAnsweringForThatLong) {
    Simulator sim(load("short-hop.scn"));
    EXPECT_TRUE(sim.answering());
    EXPECT_TRUE(sim.command("silent 5").ok);
    EXPECT_FALSE(sim.answering());
    EXPECT_NE(sim.statusLine().find("SILENT"), std::string::npos);
    sim.advance(4900);
    EXPECT_FALSE(sim.answering());
    sim.advance(100);
    EXPECT_TRUE(sim.answering());
    sim.command("silent 60");
    sim.advance(1000);
    EXPECT_TRUE(sim.command("answer").ok);
    EXPECT_TRUE(sim.answering());
}

TEST(Simulator, ClockWritesAndCommandsSetTheClock) {
    // 2024-06-14 is day 166; local time is UTC+1, which the interface reads as -60.
    struct Row {
        const char* name;
        std::vector<std::pair<SimVariable, std::uint16_t>> writes;
        const char* command;  // instead of writes, when set
        int zuluHour, zuluMinute, localHour, day, year;
    };
    const Row rows[] = {
        {"nothing written", {}, nullptr, 9, 25, 10, 166, 2024},
        {"UTC hour", {{var::ZuluHour, 23}}, nullptr, 23, 25, 0, 166, 2024},
        {"UTC minute", {{var::ZuluMinute, 59}}, nullptr, 9, 59, 10, 166, 2024},
        {"local hour", {{var::LocalHour, 7}}, nullptr, 6, 25, 7, 166, 2024},
        {"local minute", {{var::LocalMinute, 5}}, nullptr, 9, 5, 10, 166, 2024},
        {"day of the year", {{var::ZuluDayOfYear, 60}}, nullptr, 9, 25, 10, 60, 2024},
        {"year", {{var::ZuluYear, 2023}}, nullptr, 9, 25, 10, 166, 2023},
        {"hour 24 is ignored", {{var::ZuluHour, 24}}, nullptr, 9, 25, 10, 166, 2024},
        {"day 366 of a common year is ignored",
         {{var::ZuluYear, 2023}, {var::ZuluDayOfYear, 366}},
         nullptr,
         9,
         25,
         10,
         166,
         2023},
        {"hour and minute in one write", {{{0x023B, 2}, 0x0512}}, nullptr, 18, 5, 19, 166, 2024},
        {"clock +2h", {}, "clock +2h", 11, 25, 12, 166, 2024},
        {"clock -90m", {}, "clock -90m", 7, 55, 8, 166, 2024},
        {"clock over midnight", {}, "clock +15h", 0, 25, 1, 167, 2024},
        {"clock set", {}, "clock 16:40", 16, 40, 17, 166, 2024},
    };
    for (const Row& row : rows) {
        Simulator sim(load("lppt-lppr.scn"));
        if (row.command) {
            EXPECT_TRUE(sim.command(row.command).ok) << row.name;
        }
        for (const auto& [v, value] : row.writes) {
            Block b;
            b.write(v.offset, &value, v.size);
            b.serve(sim);
        }
        const wire::OffsetMemory& m = sim.memory();
        EXPECT_EQ(m.u8(var::ZuluHour.offset), row.zuluHour) << row.name;
        EXPECT_EQ(m.u8(var::ZuluMinute.offset), row.zuluMinute) << row.name;
        EXPECT_EQ(m.u8(var::LocalHour.offset), row.localHour) << row.name;
        EXPECT_EQ(m.u8(var::LocalMinute.offset), row.zuluMinute) << row.name;
        EXPECT_EQ(m.u16(var::ZuluDayOfYear.offset), row.day) << row.name;
        EXPECT_EQ(m.u16(var::ZuluYear.offset), row.year) << row.name;
        EXPECT_EQ(m.s16(var::LocalTimeOffset.offset), -60) << row.name;
    }
}

TEST(Simulator, MessagesReachTheSink) {
    Simulator sim(load("short-hop.scn"));
    std::vector<std::string> shown;
    sim.setMessageSink([&](std::string_view text) { shown.emplace_back(text); });
    struct Row {
        const char* name;
        std::string text;  // written into the 128-byte field, then the control
        std::vector<std::string> expected;
    };
    const Row rows[] = {
        {"a message",
         "ATTENTION: Parking brakes OFF, SHOULD BE ON",
         {"ATTENTION: Parking brakes OFF, SHOULD BE ON"}},
        {"an empty text shows nothing", "", {}},
        {"a full field without a terminator", std::string(128, 'x'), {std::string(128, 'x')}},
    };
    for (const Row& row : rows) {
        shown.clear();
        std::array<char, 128> field{};
        std::memcpy(field.data(), row.text.data(), row.text.size());
        Block b;
        b.write(var::SimMessageText.offset, field.data(), field.size());
        b.write16(var::SimMessageControl, 8);
        b.serve(sim);
        EXPECT_EQ(shown, row.expected) << row.name;
    }
}

TEST(Simulator, ScenarioEventsFireAtTheirTimesAndStages) {
    std::ifstream file(std::string(AVIOLOG_DATA_DIR) + "/scenarios/short-hop.scn");
    std::stringstream text;
    text << file.rdbuf() << "[events]\nat 0:00:10 pause\nat 0:00:20 unpause\non take-off rate 2\n";
    const auto parsed = parseScenario(text.str());
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    const Scenario& scenario = *parsed.value;
    Simulator sim(scenario);
    std::vector<std::string> fired;
    sim.setEventSink([&](std::string_view line) { fired.emplace_back(line); });
    EXPECT_EQ(sim.memory().u16(var::Com1Frequency.offset), 0x2175);
    sim.advance(9900);
    EXPECT_EQ(sim.memory().u16(var::PauseIndicator.offset), 0);
    sim.advance(100);
    EXPECT_NE(sim.memory().u16(var::PauseIndicator.offset), 0) << "paused at 10 s";
    sim.advance(10000);
    EXPECT_EQ(sim.memory().u16(var::PauseIndicator.offset), 0) << "running again at 20 s";
    EXPECT_NEAR(sim.model().flownSec(), 10.0, 1e-6);
    while (sim.model().stage() != Stage::TakeOff && sim.elapsedMs() < 600000) sim.advance(100);
    EXPECT_EQ(sim.memory().u16(var::SimulationRate.offset), 512) << "rate 2 on take-off";
    EXPECT_EQ(sim.memory().u16(var::Com1Frequency.offset), 0x1800) << "tower on line-up";
    ASSERT_EQ(fired.size(), 4u);
    EXPECT_NE(fired[0].find("T+00:00:10 pause: paused"), std::string::npos) << fired[0];
}

TEST(Simulator, CommandsSayWhatTheyDid) {
    struct Row {
        const char* line;
        bool ok;
        const char* says;
        std::function<bool(const wire::OffsetMemory&)> shows;  // optional
    };
    const Row rows[] = {
        {"status", true, "gate", nullptr},
        {"help", true, "refuel <tank> <percent>", nullptr},
        {"rate 8", true, "8x",
         [](const wire::OffsetMemory& m) { return m.u16(var::SimulationRate.offset) == 2048; }},
        {"wind 270 15", true, "270",
         [](const wire::OffsetMemory& m) {
             return m.u16(var::WindSpeed.offset) == 15 && m.u16(var::WindDirection.offset) == 49152;
         }},
        {"qnh 1000", true, "1000",
         [](const wire::OffsetMemory& m) {
             return m.u16(var::SeaLevelPressure.offset) == 16000 &&
                    m.u16(var::AltimeterSetting.offset) == 16000;
         }},
        {"com1 118.5", true, "118.50",
         [](const wire::OffsetMemory& m) { return m.u16(var::Com1Frequency.offset) == 0x1850; }},
        {"crash-detection off", true, "off",
         [](const wire::OffsetMemory& m) { return m.u16(var::CrashDetection.offset) == 0; }},
        {"bounce", true, "bounces", nullptr},
        {"rate", false, "usage: rate", nullptr},
        {"take off", false, "unknown command 'take'", nullptr},
    };
    for (const Row& row : rows) {
        Simulator sim(load("short-hop.scn"));
        const CommandResult r = sim.command(row.line);
        EXPECT_EQ(r.ok, row.ok) << row.line << ": " << r.message;
        EXPECT_NE(r.message.find(row.says), std::string::npos) << row.line << ": " << r.message;
        if (row.shows) {
            EXPECT_TRUE(row.shows(sim.memory())) << row.line;
        }
    }
}

}  // namespace
}  // namespace aviolog::sim

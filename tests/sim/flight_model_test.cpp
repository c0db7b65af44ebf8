#include "sim/flight_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "common/units.h"
#include "sim/simulator.h"
#include "simlink/sim_variables.h"

namespace aviolog::sim {
namespace {

namespace var = wire::var;
namespace convert = simlink::convert;

constexpr double kCruiseLevelFt = 24000.0;

// What a recorder sampling the variables every 100 ms sees, decoded as it decodes them.
struct Sample {
    std::int64_t ms = 0;
    std::string stage;
    double latitudeDeg = 0.0;
    double longitudeDeg = 0.0;
    double altitudeFt = 0.0;
    int heightAboveGroundM = 0;
    double iasKt = 0.0;
    double gsKt = 0.0;
    double vsFpm = 0.0;
    double headingDeg = 0.0;
    double pitchDeg = 0.0;  // negative nose up
    bool onGround = false;
    std::int16_t brake = 0;
    std::int32_t gear = 0;
    int flapDetent = 0;
    double n1Pct = 0.0;
    double fuelFlowPph = 0.0;
    double grossWeightLb = 0.0;
    double fuelKg = 0.0;
    double level = 0.0;  // altitude on the standard setting, as top of climb is judged
    std::uint16_t altimeterRaw = 0;
};

Sample sample(const Simulator& sim) {
    const wire::OffsetMemory& m = sim.memory();
    Sample s;
    s.ms = sim.elapsedMs();
    s.stage = std::string(sim.stageName());
    s.latitudeDeg = convert::latitudeDegrees(m.s32(var::Latitude.offset));
    s.longitudeDeg = convert::longitudeDegrees(m.u32(var::Longitude.offset));
    s.altitudeFt = convert::altitudeFeet(m.s32(var::Altitude.offset));
    s.heightAboveGroundM =
        convert::heightAboveGroundM(m.s32(var::Altitude.offset), m.s32(var::GroundAltitude.offset));
    s.iasKt = convert::indicatedAirspeedKnots(m.u32(var::IndicatedAirspeed.offset));
    s.gsKt = convert::groundSpeedKnots(m.u32(var::GroundSpeed.offset));
    s.vsFpm = convert::verticalSpeedFpm(m.s32(var::VerticalSpeed.offset));
    s.headingDeg = convert::headingDegrees(m.s32(var::Heading.offset));
    s.pitchDeg = convert::pitchDegrees(m.s32(var::Pitch.offset));
    s.onGround = m.u16(var::OnGround.offset) == 1;
    s.brake = m.s16(var::ParkingBrake.offset);
    s.gear = m.s32(var::GearControl.offset);
    s.flapDetent = convert::flapDetent(m.s32(var::FlapsControl.offset),
                                       m.u16(var::FlapsDetentIncrement.offset))
                       .value_or(-1);
    s.n1Pct = convert::n1Percent(m.u16(var::Engine1N1.offset));
    s.fuelFlowPph = m.f64(var::Engine1FuelFlow.offset);
    s.grossWeightLb = m.f64(var::GrossWeight.offset);
    const std::uint16_t density = m.u16(var::FuelWeightPerGallon.offset);
    for (const auto& tank : wire::kFuelTanks) {
        s.fuelKg += m.u32(tank.level.offset) / double(wire::kTankFull) *
                    m.u32(tank.capacity.offset) * density * convert::kFuelKgFactor;
    }
    s.altimeterRaw = m.u16(var::AltimeterSetting.offset);
    const double correctionFt = (convert::millibars(s.altimeterRaw) -
                                 convert::millibars(m.u16(var::SeaLevelPressure.offset))) *
                                29.53;
    s.level = s.altitudeFt + correctionFt;
    return s;
}

Scenario load(const std::string& name) {
    const auto parsed = loadScenario(std::string(AVIOLOG_DATA_DIR) + "/scenarios/" + name);
    EXPECT_TRUE(parsed.ok()) << parsed.error;
    return parsed.ok() ? *parsed.value : Scenario{};
}

struct Flight {
    Scenario scenario;
    std::vector<Sample> samples;
    std::vector<Stage> stages;
    std::optional<Sample> afterShutdown;  // a minute after parking
    bool finished = false;
};

// Flies a scenario to the gate, sampling every 100 ms, for at most maxMinutes.
Flight fly(const std::string& name, int maxMinutes) {
    Flight f;
    f.scenario = load(name);
    Simulator sim(f.scenario);
    f.samples.push_back(sample(sim));
    for (int i = 0; i < maxMinutes * 600 && !sim.finished(); ++i) {
        sim.advance(100);
        f.samples.push_back(sample(sim));
    }
    f.finished = sim.finished();
    f.stages = sim.model().stageHistory();
    sim.advance(60000);
    f.afterShutdown = sample(sim);
    return f;
}

const Flight& defaultFlight() {
    static const Flight flight = fly("lppt-lppr.scn", 60);
    return flight;
}

// Index of the first sample from `from` on that satisfies `is`, or -1.
int firstFrom(const std::vector<Sample>& samples, int from,
              const std::function<bool(const Sample&)>& is) {
    for (int i = std::max(from, 0); i < static_cast<int>(samples.size()); ++i) {
        if (is(samples[i])) return i;
    }
    return -1;
}

// The last sample in the air before the first touchdown after `from`, as the recorder's
// touchdown sampler keeps it.
int lastAirborneBeforeTouchdown(const std::vector<Sample>& samples, int from) {
    const int touchdown = firstFrom(samples, from, [](const Sample& s) { return s.onGround; });
    return touchdown > 0 ? touchdown - 1 : -1;
}

TEST(FlightModelDefaultFlight, FliesEveryStageInOrder) {
    const Flight& f = defaultFlight();
    ASSERT_TRUE(f.finished) << "not parked after an hour";
    const std::vector<Stage> expected{
        Stage::Gate,         Stage::TaxiOut, Stage::LineUp, Stage::TakeOff, Stage::Rotate,
        Stage::InitialClimb, Stage::Climb,   Stage::Cruise, Stage::Descent, Stage::Approach,
        Stage::Flare,        Stage::RollOut, Stage::TaxiIn, Stage::Parked};
    ASSERT_EQ(f.stages.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(f.stages[i], expected[i]) << "stage " << i << ": " << stageName(f.stages[i]);
    }
}

TEST(FlightModelDefaultFlight, EventsTheRecorderDetectsComeInOrder) {
    const Flight& f = defaultFlight();
    struct Milestone {
        const char* name;
        std::function<bool(const Sample&)> is;
    };
    const Milestone milestones[] = {
        {"brake set at the gate",
         [](const Sample& s) { return s.brake == wire::kParkingBrakeSet; }},
        {"engines running", [](const Sample& s) { return s.n1Pct > 15.0; }},
        {"brake released", [](const Sample& s) { return s.brake == 0; }},
        {"taxiing", [](const Sample& s) { return s.onGround && s.gsKt > 5.0; }},
        {"take-off roll", [](const Sample& s) { return s.onGround && s.gsKt > 60.0; }},
        {"nose up 5 degrees (negative pitch) before lift-off",
         [](const Sample& s) { return s.onGround && s.pitchDeg < -5.0; }},
        {"lift-off", [](const Sample& s) { return !s.onGround; }},
        {"10 m above ground", [](const Sample& s) { return s.heightAboveGroundM >= 10; }},
        {"gear up", [](const Sample& s) { return s.gear == 0; }},
        {"flaps up", [](const Sample& s) { return s.flapDetent == 0; }},
        {"top of climb", [](const Sample& s) { return s.level + 200.0 > kCruiseLevelFt; }},
        {"top of descent", [](const Sample& s) { return s.level + 200.0 < kCruiseLevelFt; }},
        {"flaps 1 on the approach", [](const Sample& s) { return s.flapDetent == 1; }},
        {"gear down", [](const Sample& s) { return s.gear == wire::kGearDown; }},
        {"full flaps", [](const Sample& s) { return s.flapDetent == 4; }},
        {"below 300 m", [](const Sample& s) { return s.heightAboveGroundM < 300; }},
        {"touchdown", [](const Sample& s) { return s.onGround; }},
        {"slowed to taxi", [](const Sample& s) { return s.gsKt < 20.0; }},
        {"brake set at the arrival gate",
         [](const Sample& s) { return s.brake == wire::kParkingBrakeSet; }},
    };
    int at = 0;
    for (const Milestone& m : milestones) {
        const int found = firstFrom(f.samples, at, m.is);
        ASSERT_GE(found, 0) << m.name << ": never after sample " << at;
        at = found;
    }
    // The brake stays released from blocks off to blocks on.
    const int released = firstFrom(f.samples, 0, [](const Sample& s) { return s.brake == 0; });
    const int setAgain =
        firstFrom(f.samples, released, [](const Sample& s) { return s.brake != 0; });
    EXPECT_EQ(setAgain, at) << "the brake changed between blocks off and blocks on";
}

TEST(FlightModelDefaultFlight, FlapsMoveOneDetentAtATimeThroughEveryDetent) {
    const Flight& f = defaultFlight();
    std::vector<int> airborneDetents;
    for (std::size_t i = 1; i < f.samples.size(); ++i) {
        const Sample& s = f.samples[i];
        if (s.onGround) continue;
        if (airborneDetents.empty() || airborneDetents.back() != s.flapDetent) {
            if (!airborneDetents.empty()) {
                EXPECT_EQ(std::abs(s.flapDetent - airborneDetents.back()), 1)
                    << "flaps jumped at " << s.ms << " ms";
            }
            airborneDetents.push_back(s.flapDetent);
        }
    }
    EXPECT_EQ(airborneDetents, (std::vector<int>{1, 0, 1, 2, 3, 4}));
}

TEST(FlightModelDefaultFlight, TouchesDownAtTheScenarioRateAsTheSamplerSeesIt) {
    const Flight& f = defaultFlight();
    const int liftOff = firstFrom(f.samples, 0, [](const Sample& s) { return !s.onGround; });
    const int last = lastAirborneBeforeTouchdown(f.samples, liftOff);
    ASSERT_GT(last, 5);
    const double wantedFpm = f.scenario.profile.touchdownFpm;
    // The sampler keeps the whole feet per minute of the last sample in the air.
    EXPECT_NEAR(std::trunc(f.samples[last].vsFpm), wantedFpm, 3.0);
    for (int i = last - 4; i <= last; ++i) {
        EXPECT_NEAR(f.samples[i].vsFpm, wantedFpm, 3.0)
            << (last - i) * 100 << " ms before touchdown";
    }
    EXPECT_NEAR(f.samples[last].iasKt, f.scenario.profile.approachKt, 8.0);
    EXPECT_LT(f.samples[last].pitchDeg, -2.0) << "flared nose up";
    EXPECT_NEAR(f.samples[last].headingDeg, 352.0, 3.0) << "landing along the runway";
}

TEST(FlightModelDefaultFlight, CruisesAtTheCruiseLevel) {
    const Flight& f = defaultFlight();
    int cruising = 0;
    for (const Sample& s : f.samples) {
        if (s.stage != "cruise") continue;
        ++cruising;
        ASSERT_NEAR(s.level, kCruiseLevelFt, 60.0) << "at " << s.ms << " ms";
        ASSERT_EQ(s.altimeterRaw, 16212) << "standard setting (1013.25 hPa) in cruise";
    }
    EXPECT_GT(cruising, 600) << "at least a minute in cruise";
}

TEST(FlightModelDefaultFlight, BurnsFuelAndGetsLighterByAsMuch) {
    const Flight& f = defaultFlight();
    const Sample& first = f.samples.front();
    const Sample& last = f.samples.back();
    for (std::size_t i = 1; i < f.samples.size(); ++i) {
        ASSERT_LE(f.samples[i].fuelKg, f.samples[i - 1].fuelKg + 1e-6) << "at " << f.samples[i].ms;
    }
    const double burnedKg = first.fuelKg - last.fuelKg;
    EXPECT_GT(burnedKg, 1000.0);
    EXPECT_LT(burnedKg, 2500.0);
    const double lighterKg = (first.grossWeightLb - last.grossWeightLb) * kKgPerPound;
    EXPECT_NEAR(lighterKg, burnedKg, burnedKg * 0.01);
    const int climb = firstFrom(f.samples, 0, [](const Sample& s) { return s.stage == "climb"; });
    ASSERT_GE(climb, 0);
    const Sample& climbing = f.samples[climb + 600];  // a minute in, the engines settled
    EXPECT_GT(climbing.n1Pct, 80.0);
    EXPECT_NEAR(climbing.fuelFlowPph, f.scenario.aircraft.fuelFlowPph.climb, 100.0);
    ASSERT_TRUE(f.afterShutdown);
    EXPECT_LT(f.afterShutdown->n1Pct, 1.0) << "engines stopped at the gate";
    EXPECT_LT(f.afterShutdown->fuelFlowPph, 1.0);
}

TEST(FlightModelDefaultFlight, TakesAboutFortyFiveMinutesAndEndsAtPorto) {
    const Flight& f = defaultFlight();
    const double minutes = f.samples.back().ms / 60000.0;
    EXPECT_GT(minutes, 42.0);
    EXPECT_LT(minutes, 49.0);
    const Sample& end = f.samples.back();
    EXPECT_LT(greatCircleNm(end.latitudeDeg, end.longitudeDeg, 41.2481, -8.6814), 1.5);
    const Sample& start = f.samples.front();
    EXPECT_LT(greatCircleNm(start.latitudeDeg, start.longitudeDeg, 38.7813, -9.1359), 1.5);
    EXPECT_EQ(start.heightAboveGroundM, 0) << "standing on the ground at Lisbon";
    EXPECT_EQ(end.heightAboveGroundM, 0) << "standing on the ground at Porto";
}

TEST(FlightModelDefaultFlight, ValuesChangeSmoothly) {
    const Flight& f = defaultFlight();
    struct Channel {
        const char* name;
        std::function<double(const Sample&, const Sample&)> change;  // per 100 ms
        double most;
    };
    const Channel channels[] = {
        // Whole metres: a fast climb moves two of them in 100 ms.
        {"altitude ft",
         [](const Sample& a, const Sample& b) { return b.altitudeFt - a.altitudeFt; }, 7.0},
        {"indicated airspeed kt",
         [](const Sample& a, const Sample& b) { return b.iasKt - a.iasKt; }, 1.0},
        {"ground speed kt", [](const Sample& a, const Sample& b) { return b.gsKt - a.gsKt; }, 0.6},
        {"heading deg",
         [](const Sample& a, const Sample& b) {
             return std::remainder(b.headingDeg - a.headingDeg, 360.0);
         },
         1.6},
        {"pitch deg", [](const Sample& a, const Sample& b) { return b.pitchDeg - a.pitchDeg; },
         0.31},
        {"vertical speed fpm (not across touchdown)",
         [](const Sample& a, const Sample& b) {
             return a.onGround == b.onGround ? b.vsFpm - a.vsFpm : 0.0;
         },
         35.0},
        {"N1 %", [](const Sample& a, const Sample& b) { return b.n1Pct - a.n1Pct; }, 3.0},
        {"position NM",
         [](const Sample& a, const Sample& b) {
             return greatCircleNm(a.latitudeDeg, a.longitudeDeg, b.latitudeDeg, b.longitudeDeg);
         },
         0.013},  // 470 kt
    };
    for (const Channel& c : channels) {
        double worst = 0.0;
        std::int64_t worstMs = 0;
        for (std::size_t i = 1; i < f.samples.size(); ++i) {
            const double change = std::abs(c.change(f.samples[i - 1], f.samples[i]));
            if (change > worst) {
                worst = change;
                worstMs = f.samples[i].ms;
            }
        }
        EXPECT_LE(worst, c.most) << c.name << ": worst step at " << worstMs << " ms";
    }
}

TEST(FlightModelShortScenarios, FlyToTheGate) {
    struct Row {
        const char* file;
        int maxMinutes;
        bool startsInTheAir;
        int bounces;
        double arrivalLatDeg;
        double arrivalLonDeg;
    };
    const Row rows[] = {
        {"short-hop.scn", 20, false, 0, 41.5871, -8.4451},
        {"touch-and-bounce.scn", 10, true, 1, 41.2481, -8.6814},
        {"air-start.scn", 30, true, 0, 41.2481, -8.6814},
    };
    for (const Row& row : rows) {
        const Flight f = fly(row.file, row.maxMinutes);
        ASSERT_TRUE(f.finished) << row.file << ": not parked in " << row.maxMinutes << " minutes";
        const Sample& first = f.samples.front();
        EXPECT_EQ(!first.onGround, row.startsInTheAir) << row.file;
        if (row.startsInTheAir) {
            EXPECT_GE(first.heightAboveGroundM, 10) << row.file;
            EXPECT_EQ(first.brake, 0) << row.file;
        }
        const auto inTheAir = [](const Sample& s) { return !s.onGround; };
        const auto onTheGround = [](const Sample& s) { return s.onGround; };
        const int touchdown = firstFrom(f.samples, firstFrom(f.samples, 0, inTheAir), onTheGround);
        ASSERT_GT(touchdown, 0) << row.file;
        // Each time the wheels leave the ground again after the first touchdown.
        int bounces = 0;
        for (int i = touchdown + 1; i < static_cast<int>(f.samples.size()); ++i) {
            if (f.samples[i - 1].onGround && !f.samples[i].onGround) {
                ++bounces;
                const int down = firstFrom(f.samples, i, onTheGround);
                const double airborneSec = (down - i) / 10.0;
                EXPECT_GE(airborneSec, 1.0) << row.file << ": the bounce is too short";
                EXPECT_LE(airborneSec, 3.0) << row.file << ": the bounce is too long";
            }
        }
        EXPECT_EQ(bounces, row.bounces) << row.file;
        EXPECT_NEAR(std::trunc(f.samples[touchdown - 1].vsFpm), f.scenario.profile.touchdownFpm,
                    3.0)
            << row.file << ": first touchdown";
        const Sample& end = f.samples.back();
        EXPECT_LT(
            greatCircleNm(end.latitudeDeg, end.longitudeDeg, row.arrivalLatDeg, row.arrivalLonDeg),
            1.5)
            << row.file;
        EXPECT_EQ(end.heightAboveGroundM, 0) << row.file;
    }
}

}  // namespace
}  // namespace aviolog::sim

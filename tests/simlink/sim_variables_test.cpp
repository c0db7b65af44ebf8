#include "simlink/sim_variables.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "simlink/sim_link.h"
#include "tests/support/link_rig.h"
#include "wire/sim_ipc_wire.h"

namespace aviolog::simlink {
namespace {

using namespace wire;

TEST(SimVariables, ConversionsUseTheExactConstants) {
    struct Row {
        const char* name;
        double actual;
        double expected;
    };
    const Row rows[] = {
        // 181 degrees east wraps to 179 west.
        {"longitude past 180",
         convert::longitudeDegrees(static_cast<std::uint32_t>(181.0 / 360.0 * 4294967296.0)),
         -179.0},
        {"longitude west", convert::longitudeDegrees(0xF9800000u), -9.140625},
        {"longitude east", convert::longitudeDegrees(0x06000000u), 8.4375},
        {"heading -1 unit", std::floor(convert::headingDegrees(-1)), 359.0},
        {"heading north", convert::headingDegrees(0), 0.0},
        {"pitch nose up", convert::pitchDegrees(-0x05B05B05), -8.0},
        {"latitude", convert::latitudeDegrees(4309818), 38.781},
        {"altitude", convert::altitudeFeet(1000), 3280.84},
        {"ground speed 1 kt", convert::groundSpeedKnots(33715), 1.0},
        {"vertical speed", convert::verticalSpeedFpm(-256), -196.85040},
        {"true airspeed", convert::trueAirspeedKnots(128 * 250), 250.0},
        {"indicated airspeed shift",
         static_cast<double>(convert::indicatedAirspeedKnots(128 * 140 + 127)), 140.0},
        {"altimeter", convert::millibars(1013 * 16), 1013.0},
        {"wind direction", convert::windDirectionDegrees(0x8000), 180.0},
        {"temperature", convert::totalAirTemperatureC(-256 * 15), -15.0},
        {"N1 full", convert::n1Percent(16384), 100.0},
        {"height above ground truncates",
         static_cast<double>(convert::heightAboveGroundM(100, -(5 * 256 + 128))), 105.0},
        {"fuel, full tanks", 11 * convert::tankFuelKg(kTankFull, 100, 1715), 3342.6},
    };
    for (const Row& row : rows) {
        EXPECT_NEAR(row.actual, row.expected, 0.06) << row.name;
    }
    EXPECT_EQ(convert::flapDetent(16383, 4096), 4);
    EXPECT_EQ(convert::flapDetent(8191, 4096), 2);
    EXPECT_EQ(convert::flapDetent(0, 4096), 0);
    EXPECT_EQ(convert::flapDetent(16383, 0), std::nullopt);
    EXPECT_EQ(convert::com1Text(0x2345), "123.45");
    EXPECT_EQ(convert::com1Text(0x1800), "118.00");
}

struct VariablesRig : test::LinkRig {
    VariablesRig() {
        simulator->setMessageSink([this](std::string_view text) { messages.emplace_back(text); });
    }
    std::vector<std::string> messages;
};

TEST(SimVariables, FuelOnBoardSumsTheTanksAndIsMinusOneWhenAReadFails) {
    VariablesRig rig;
    ASSERT_TRUE(rig.link.open(0));
    const double fuelKg = readFuelOnBoardKg(rig.link);
    EXPECT_GT(fuelKg, 500.0);
    // Emptying one tank through the link takes exactly its content away.
    const FuelTank& tank = kFuelTanks[5];  // left main
    const auto level = readU32(rig.link, tank.level);
    const auto capacity = readU32(rig.link, tank.capacity);
    const auto density = readU16(rig.link, var::FuelWeightPerGallon);
    ASSERT_TRUE(level && capacity && density);
    ASSERT_TRUE(writeU32(rig.link, tank.level, 0));
    EXPECT_NEAR(readFuelOnBoardKg(rig.link),
                fuelKg - convert::tankFuelKg(*level, *capacity, *density), 1.0);

    rig.link.setTimingForTests(5, 1);
    rig.ipc.sendError = 1400;
    EXPECT_EQ(readFuelOnBoardKg(rig.link), -1.0);
}

TEST(SimVariables, SimulatorMessageIsShownAndCutToItsField) {
    VariablesRig rig;
    ASSERT_TRUE(rig.link.open(0));
    ASSERT_TRUE(showSimMessage(rig.link, "Pause not allowed"));
    ASSERT_TRUE(showSimMessage(rig.link, std::string(300, 'x')));
    ASSERT_EQ(rig.messages.size(), 2u);
    EXPECT_EQ(rig.messages[0], "Pause not allowed");
    EXPECT_EQ(rig.messages[1], std::string(127, 'x'));
}

TEST(SimVariables, AccessorsCheckTheVariableSize) {
    VariablesRig rig;
    ASSERT_TRUE(rig.link.open(0));
    EXPECT_FALSE(readU32(rig.link, var::ParkingBrake).has_value());
    EXPECT_TRUE(readS16(rig.link, var::ParkingBrake).has_value());
    EXPECT_TRUE(readDouble(rig.link, var::GrossWeight).has_value());
    EXPECT_TRUE(readHeightAboveGroundM(rig.link).has_value());
}

}  // namespace
}  // namespace aviolog::simlink

namespace aviolog::simlink {
namespace {

// Fills the data of every read record of the answer whose offset is the variable's.
void patchReads(std::span<std::byte> block, std::uint32_t offset, const void* value,
                std::size_t size) {
    for (std::size_t pos = 0; wire::load32(block.data() + pos) == wire::kRecordRead;) {
        const std::uint32_t recordSize = wire::load32(block.data() + pos + 8);
        if (wire::load32(block.data() + pos + 4) == offset && recordSize == size) {
            std::memcpy(block.data() + pos + wire::kReadHeaderBytes, value, size);
        }
        pos += wire::kReadHeaderBytes + recordSize;
    }
}

TEST(SimVariables, AbsurdValuesFromThePeerCountAsFailedReads) {
    struct Row {
        const char* name;
        std::function<void(std::span<std::byte>)> peer;
        std::function<bool(SimLink&)> refused;
    };
    const auto weight = [](double lbs) {
        return [lbs](std::span<std::byte> b) { patchReads(b, var::GrossWeight.offset, &lbs, 8); };
    };
    const auto weightRefused = [](SimLink& link) { return !readGrossWeightLbs(link).has_value(); };
    const auto flow = [](double pph) {
        return [pph](std::span<std::byte> b) { patchReads(b, 0x0918, &pph, 8); };
    };
    const auto flowRefused = [](SimLink& link) {
        return !readFuelFlowPph(link, kEngineFuelFlows[0]).has_value();
    };
    const auto fuelRefused = [](SimLink& link) { return readFuelOnBoardKg(link) == -1.0; };
    const Row rows[] = {
        {"weight NaN", weight(std::nan("")), weightRefused},
        {"weight 1e300", weight(1e300), weightRefused},
        {"weight -1e300", weight(-1e300), weightRefused},
        {"weight infinite", weight(HUGE_VAL), weightRefused},
        {"fuel flow NaN", flow(std::nan("")), flowRefused},
        {"fuel flow 1e300", flow(1e300), flowRefused},
        {"huge tank capacities",
         [](std::span<std::byte> b) {
             const std::uint32_t most = 0xFFFFFFFF;
             for (const FuelTank& tank : kFuelTanks) {
                 patchReads(b, tank.capacity.offset, &most, 4);
                 patchReads(b, tank.level.offset, &most, 4);
             }
         },
         fuelRefused},
    };
    for (const Row& row : rows) {
        test::LinkRig rig;
        ASSERT_TRUE(rig.link.open(0)) << row.name;
        rig.ipc.afterServe = row.peer;
        EXPECT_TRUE(row.refused(rig.link)) << row.name;
        // The same reads with the simulator's own values are taken.
        rig.ipc.afterServe = nullptr;
        EXPECT_FALSE(row.refused(rig.link)) << row.name;
    }
}

TEST(SimVariables, DerivedFiguresAtTheRawExtremesStayInRange) {
    EXPECT_EQ(convert::heightAboveGroundM(INT32_MAX, INT32_MIN), INT32_MAX);
    EXPECT_EQ(convert::heightAboveGroundM(INT32_MIN, INT32_MAX), INT32_MIN);
    EXPECT_EQ(convert::heightAboveGroundM(100, -(5 * 256)), 105);
    EXPECT_EQ(convert::flapDetent(INT32_MAX, 1), INT32_MAX);
    EXPECT_EQ(convert::flapDetent(INT32_MAX, 4096), 524288);
    EXPECT_TRUE(isPlausibleMass(62000.0));
    EXPECT_FALSE(isPlausibleMass(kLargestMass * 2));
}

}  // namespace
}  // namespace aviolog::simlink

#include "planning/fuel_page.h"

#include <gtest/gtest.h>

#include <string>

#include "common/text_file.h"
#include "platform/virtual/virtual_scheduler.h"
#include "sim/in_process_sim_ipc.h"
#include "sim/scenario.h"
#include "sim/simulator.h"
#include "simlink/sim_link.h"
#include "simlink/sim_variables.h"
#include "tests/support/sim_fixture.h"

namespace aviolog::planning {
namespace {

// The short hop's aircraft with the tanks given instead of its own.
struct FuelRig {
    explicit FuelRig(const std::string& tanks) {
        std::string text = readFileBytes(test::dataPath("scenarios/short-hop.scn")).value_or("");
        const std::size_t first = text.find("tank left-main");
        const std::size_t end = text.find('\n', text.find("tank right-main"));
        text.replace(first, end - first, tanks);
        auto parsed = sim::parseScenario(text);
        EXPECT_TRUE(parsed.ok()) << parsed.error;
        simulator = std::make_unique<sim::Simulator>(*parsed.value);
        ipc = std::make_unique<sim::InProcessSimIpc>(*simulator, clock);
        link = std::make_unique<simlink::SimLink>(*ipc, clock);
        clock.setWorld([this](std::int64_t ms) { simulator->advance(ms); });
        EXPECT_TRUE(link->open(0));
    }
    std::uint32_t level(int tank) {
        return simlink::readU32(*link, wire::kFuelTanks[tank].level).value_or(0xFFFFFFFF);
    }

    platform::VirtualScheduler clock;
    std::unique_ptr<sim::Simulator> simulator;
    std::unique_ptr<sim::InProcessSimIpc> ipc;
    std::unique_ptr<simlink::SimLink> link;
    WeightUnit unit = WeightUnit::Pounds;
};

constexpr int kCentre = 0;

TEST(FuelPageTest, RowsOnlyForTheTanksTheAircraftHas) {
    FuelRig rig("tank left-main 195 gal 60 %\ntank right-main 195 gal 60 %");
    FuelPage page(*rig.link, rig.unit);
    ASSERT_TRUE(page.build());
    ASSERT_EQ(page.rows().size(), 2u);
    EXPECT_STREQ(page.rows()[0].name, "left main tank");
    EXPECT_STREQ(page.rows()[1].name, "right main tank");
    EXPECT_EQ(page.totalKgOrLb(), page.rows()[0].loadKgOrLb + page.rows()[1].loadKgOrLb);
}

TEST(FuelPageTest, MaximaLoadsAndLevelsInEitherUnit) {
    // 100 US gallons at 6.7 lb a gallon: density word 1715.
    struct Row {
        const char* name;
        WeightUnit unit;
        long maximum;
        long slider;
        std::uint32_t level;
    };
    const Row rows[] = {
        {"pounds", WeightUnit::Pounds, 669, 334, 4188034},
        {"kilograms", WeightUnit::Kilograms, 303, 151, 151u * 8388608u / 303u},
        {"slider at the maximum is full", WeightUnit::Pounds, 669, 669, 8388608},
        {"beyond the maximum is kept at it", WeightUnit::Pounds, 669, 5000, 8388608},
        {"empty", WeightUnit::Kilograms, 303, -5, 0},
    };
    for (const Row& row : rows) {
        FuelRig rig("tank centre 100 gal 50 %");
        rig.unit = row.unit;
        FuelPage page(*rig.link, rig.unit);
        ASSERT_TRUE(page.build()) << row.name;
        ASSERT_EQ(page.rows().size(), 1u) << row.name;
        EXPECT_EQ(page.rows()[0].maximumKgOrLb, row.maximum) << row.name;
        EXPECT_EQ(page.rows()[0].loadKgOrLb, row.maximum / 2) << row.name;
        EXPECT_TRUE(page.setLoad(0, row.slider)) << row.name;
        EXPECT_EQ(rig.level(kCentre), row.level) << row.name;
    }
}

TEST(FuelPageTest, EverySliderWritesEveryTank) {
    FuelRig rig(
        "tank centre 100 gal 10 %\ntank left-main 200 gal 10 %\ntank right-main 200 gal 10 %");
    FuelPage page(*rig.link, rig.unit);
    ASSERT_TRUE(page.build());
    ASSERT_EQ(page.rows().size(), 3u);
    page.setLoad(page.rowNamed("left main tank"), page.rows()[1].maximumKgOrLb);
    page.setLoad(page.rowNamed("right main tank"), page.rows()[2].maximumKgOrLb / 2);
    EXPECT_EQ(rig.level(5), 8388608u);
    EXPECT_EQ(rig.level(8),
              levelFor(page.rows()[2].maximumKgOrLb / 2, page.rows()[2].maximumKgOrLb));
    EXPECT_EQ(rig.level(kCentre), levelFor(page.rows()[0].loadKgOrLb, page.rows()[0].maximumKgOrLb))
        << "the untouched slider is written as it stands";
    EXPECT_EQ(page.rowNamed("left tip tank"), static_cast<std::size_t>(-1));
}

TEST(FuelPageTest, NothingIsBuiltWithoutTheLinkAndTheRequestWaits) {
    FuelRig rig("tank centre 100 gal 50 %");
    rig.link->close();
    FuelPage page(*rig.link, rig.unit);
    page.setRequestedTotal("5000");
    EXPECT_FALSE(page.build());
    EXPECT_TRUE(page.rows().empty());
    EXPECT_FALSE(page.setLoad(0, 10));
    EXPECT_EQ(page.requestedTotal(), "5000");
}

}  // namespace
}  // namespace aviolog::planning

#include "tests/support/sim_fixture.h"

#include <gtest/gtest.h>

#include "sim/scenario.h"

namespace aviolog::test {

std::string dataPath(std::string_view relative) {
    return std::string(AVIOLOG_DATA_DIR) + "/" + std::string(relative);
}

std::unique_ptr<sim::Simulator> makeSimulator(std::string_view scenarioFile,
                                              sim::SimulatorOptions options) {
    const auto loaded = sim::loadScenario(dataPath("scenarios/" + std::string(scenarioFile)));
    EXPECT_TRUE(loaded.ok()) << scenarioFile << ": " << loaded.error;
    return std::make_unique<sim::Simulator>(loaded.ok() ? *loaded.value : sim::Scenario{}, options);
}

}  // namespace aviolog::test

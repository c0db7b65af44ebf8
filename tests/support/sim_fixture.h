#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "sim/simulator.h"

namespace aviolog::test {

// A path inside the shipped data folder.
std::string dataPath(std::string_view relative);

// A simulator at the start of a shipped scenario; the test fails if it does not load.
std::unique_ptr<sim::Simulator> makeSimulator(std::string_view scenarioFile = "short-hop.scn",
                                              sim::SimulatorOptions options = {});

}  // namespace aviolog::test

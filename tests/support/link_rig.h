#pragma once

#include <memory>
#include <string_view>

#include "platform/virtual/virtual_scheduler.h"
#include "sim/in_process_sim_ipc.h"
#include "sim/simulator.h"
#include "simlink/sim_link.h"
#include "tests/support/sim_fixture.h"

namespace aviolog::test {

// Counts how often the link declared the simulator lost.
struct LossCounter final : simlink::LinkLossObserver {
    void simulatorLost() override { ++losses; }
    int losses = 0;
};

// A simulator link to an in-process simulator, all in virtual time: the clock's waits
// and time-outs move the simulator on.
struct LinkRig {
    explicit LinkRig(std::string_view scenario = "short-hop.scn",
                     sim::SimulatorOptions options = {})
        : simulator(makeSimulator(scenario, options)), ipc(*simulator, clock), link(ipc, clock) {
        clock.setWorld([this](std::int64_t ms) { simulator->advance(ms); });
    }
    platform::VirtualScheduler clock;
    std::unique_ptr<sim::Simulator> simulator;
    sim::InProcessSimIpc ipc;
    simlink::SimLink link;
};

}  // namespace aviolog::test

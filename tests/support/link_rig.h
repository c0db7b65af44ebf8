#pragma once

#include <memory>
#include <string_view>

#include "recorder/sim_link.h"
#include "sim/simulator.h"
#include "sim/in_process_sim_ipc.h"
#include "tests/support/sim_fixture.h"
#include "sim/virtual_scheduler.h"

namespace aviolog::test {

// The main window as the link sees it: its timers, and how often "Resume Log" was enabled.
class RecordingWindow final : public recorder::LinkLossWindow {
public:
    explicit RecordingWindow(platform::Timers& timers) : timers_(timers) {}
    platform::Timers& timers() override { return timers_; }
    void enableResumeLog() override { ++resumeEnabled; }
    int resumeEnabled = 0;

private:
    platform::Timers& timers_;
};

// A simulator link to an in-process simulator, all in virtual time: the clock's waits
// and time-outs move the simulator on.
struct LinkRig {
    explicit LinkRig(std::string_view scenario = "short-hop.scn",
                     sim::SimulatorOptions options = {})
        : simulator(makeSimulator(scenario, options)), ipc(*simulator, clock), link(ipc, clock) {
        clock.setWorld([this](std::int64_t ms) { simulator->advance(ms); });
    }
    sim::VirtualScheduler clock;
    std::unique_ptr<sim::Simulator> simulator;
    sim::InProcessSimIpc ipc;
    recorder::SimLink link;
};

}  // namespace aviolog::test

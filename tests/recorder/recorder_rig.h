#pragma once

// The recorder alone, wired as the application wires it, against the in-process
// simulator in virtual time: for the moments a whole runner flight cannot stop at (a
// button pressed while the touchdown sampler runs, after a crash) and for the timers'
// intervals. The world around it does nothing but answer Yes.

#include <functional>
#include <memory>
#include <string>

#include "config/settings.h"
#include "model/flight_record.h"
#include "model/flight_services.h"
#include "model/flight_summary.h"
#include "model/main_window_model.h"
#include "platform/virtual/virtual_scheduler.h"
#include "recorder/flight_log.h"
#include "recorder/recorder_context.h"
#include "sim/in_process_sim_ipc.h"
#include "simlink/sim_link.h"
#include "tests/support/null_doubles.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/temp_dir.h"

namespace aviolog::test {

struct RecorderRig {
    explicit RecorderRig(std::string_view scenario = "lppt-lppr.scn")
        : RecorderRig(makeSimulator(scenario)) {}
    explicit RecorderRig(std::unique_ptr<sim::Simulator> standIn)
        : simulator(std::move(standIn)), ipc(*simulator, clock), link(ipc, clock) {
        clock.setWorld([this](std::int64_t ms) { simulator->advance(ms); });
        clock.setTimerSink(&core);
        link.setLossObserver(&core);
        settings.company.UnitSystem = WeightUnit::Kilograms;
        settings.aviolog.StartWarning = 1;
    }
    // Connects and starts the log as the "Start LOG" button does.
    bool start() {
        core.onTimer(recorder::kConnectTimer);
        return link.isOpen() && core.StartLog();
    }
    bool runUntil(const std::function<bool()>& done, std::int64_t limitMs = 3 * 3600 * 1000) {
        return clock.runUntil(done, limitMs);
    }
    std::string log() const {
        std::string text;
        for (const std::string& line : window.lines(model::Channel::Log)) text += line + "\n";
        return text;
    }

    TempDir dir;
    platform::VirtualScheduler clock;
    std::unique_ptr<sim::Simulator> simulator;
    sim::InProcessSimIpc ipc;
    simlink::SimLink link;
    QuietWorld world;
    model::FlightServices services{.acars = world,
                                   .metar = world,
                                   .gauge = world,
                                   .live = world,
                                   .flapNames = world,
                                   .store = world};
    config::Settings settings;
    model::FlightRecord record;
    recorder::FlightProgress progress;
    recorder::FlightState flight;
    model::FlightSummary summary;
    model::MainWindowModel window;
    recorder::FlightLog core{{.link = link,
                              .timers = clock,
                              .clock = clock,
                              .pilot = world,
                              .sound = world,
                              .libraries = world,
                              .settings = settings,
                              .form = world,
                              .record = record,
                              .progress = progress,
                              .summary = summary,
                              .window = window,
                              .services = services,
                              .flight = flight,
                              .workDir = dir.path().string()}};
};

}  // namespace aviolog::test

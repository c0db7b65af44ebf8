#pragma once

// The simulator stand-in as one object: the offset memory, the flight model flying a
// scenario, the events the scenario schedules or an operator injects, and the answers
// to the client's request blocks. It runs on simulated time only; whoever owns it
// (the real-time server, or a test's virtual scheduler) decides how fast that passes.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "sim/scenario.h"
#include "wire/offset_memory.h"
#include "wire/request_server.h"

namespace aviolog::sim {

class FlightModel;

struct SimulatorOptions {
    std::uint32_t fsuipcVersion = 0x34800000;     // version 3.48 of the interface
    std::uint32_t simulatorVersion = 0xFADE0007;  // high half 0xFADE, low half the sim
};

struct CommandResult {
    bool ok = false;
    std::string message;  // what was done, or why the command was refused
};

class Simulator : private wire::RequestTarget {
  public:
    explicit Simulator(const Scenario& scenario, SimulatorOptions options = {});
    ~Simulator() override;
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Advances the world by ms of simulated time, in small steps, firing scheduled events.
    void advance(std::int64_t ms);
    std::int64_t elapsedMs() const;

    // Walks one request block against the current state; returns the reply value.
    std::uint32_t serve(std::span<std::byte> block);

    // One operator command ("pause", "rate 4", "refuel left-main 20", ...).
    CommandResult command(std::string_view line);

    // False while told to stop answering: requests then go unanswered.
    bool answering() const;
    // True once the aircraft is parked at the arrival gate with the brake set.
    bool finished() const;
    // One line for the operator: time, stage, position, altitude, speeds, fuel.
    std::string statusLine() const;
    std::string_view stageName() const;

    // Called with each message the client asks the simulator to show.
    void setMessageSink(std::function<void(std::string_view)> sink);
    // Called with a line for each scenario event fired: when, what, and its result.
    void setEventSink(std::function<void(std::string_view)> sink);

    const wire::OffsetMemory& memory() const { return memory_; }
    FlightModel& model() { return *model_; }

  private:
    void readVariable(std::uint32_t offset, std::span<std::byte> out) override;
    void writeVariable(std::uint32_t offset, std::span<const std::byte> data) override;

    void stepWorld(double hostMs);
    void fireDueEvents();
    void fireStageEvents();
    void runEvent(const ScenarioEvent& event);
    CommandResult execute(const Command& command);
    void writeClock(std::uint32_t offset, std::size_t size);
    // Puts the state of the world into the variables the simulator owns.
    void publish();
    // A write leaves the picture stale until the next read or write, or the end of the
    // block: a block of reads alone costs no publishing.
    void publishIfStale();
    std::string clockText() const;
    std::string statusTime() const;

    struct Impl;
    struct CommandRunner;
    wire::OffsetMemory memory_;
    bool stale_ = false;
    std::unique_ptr<FlightModel> model_;
    std::unique_ptr<Impl> impl_;
};

}  // namespace aviolog::sim

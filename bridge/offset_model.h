#pragma once

// The bridge's simulator interface: the variables served from the latest picture of a
// real simulator, answered at once from memory, and the writes the program makes
// turned into the simulator's own commands.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "wire/offset_memory.h"
#include "wire/request_server.h"
#include "wire/sim_picture.h"

namespace aviolog::bridge {

// What a write to the variables becomes at the simulator. Each call only sends: the
// simulator's answer arrives with a later picture.
class SimCommands {
  public:
    virtual ~SimCommands() = default;
    virtual void setPaused(bool paused) = 0;
    virtual void setSimulationRate(double rate) = 0;
    virtual void clearCrash() = 0;
    // tank in the program's order (wire::kFuelTanks); share 0 empty .. 1 full.
    virtual void setTankLevel(int tank, double share) = 0;
    virtual void endSlew() = 0;
    virtual void showMessage(std::string_view text) = 0;
};

struct BridgeVersions {
    std::uint32_t fsuipcVersion = 0x34800000;     // version 3.48 of the interface
    std::uint32_t simulatorVersion = 0xFADE0007;  // high half 0xFADE, low half the sim
};

// How old the picture was behind the answers served.
struct AnswerAges {
    std::uint64_t answers = 0;
    std::int64_t maxAgeMs = 0;
    double totalAgeMs = 0.0;
    double meanAgeMs() const { return answers == 0 ? 0.0 : totalAgeMs / answers; }
};

class OffsetModel : private wire::RequestTarget {
  public:
    OffsetModel(SimCommands& commands, BridgeVersions versions = {});

    // A new picture from the simulator, taken at nowMs on the monotonic clock.
    void update(const wire::SimPicture& picture, std::int64_t nowMs);
    // True while the latest picture is at most staleMs old.
    bool fresh(std::int64_t nowMs, std::int64_t staleMs) const;
    // Walks one request block; returns the reply value.
    std::uint32_t serve(std::span<std::byte> block, std::int64_t nowMs);

    // The bridge's own keyboard shortcut for the simulator's hot keys: marks every
    // hot-key entry that holds a key as pressed, as the simulator interface does.
    int pressHotKeys();

    const wire::OffsetMemory& memory() const { return memory_; }
    const AnswerAges& ages() const { return ages_; }
    void resetAges() { ages_ = {}; }

  private:
    void readVariable(std::uint32_t offset, std::span<std::byte> out) override;
    void writeVariable(std::uint32_t offset, std::span<const std::byte> data) override;
    // The variables the bridge itself keeps, over whatever the picture said.
    void publishOwn();

    SimCommands& commands_;
    BridgeVersions versions_;
    wire::OffsetMemory memory_;
    std::int64_t pictureAtMs_ = -1;
    AnswerAges ages_;
    // Paused by the program's command, until the simulator is seen running again after
    // it was seen paused.
    bool pausedByCommand_ = false;
    bool pauseSeen_ = false;
    // Neither simulator has a switch for the program to turn: the bridge keeps the value
    // written, so the program reads back what it set.
    bool crashDetection_ = true;
    // The simulator's own tank capacities, to turn a level written back into its share.
    std::array<double, wire::kTankCount> tankCapacityGal_{};
};

}  // namespace aviolog::bridge

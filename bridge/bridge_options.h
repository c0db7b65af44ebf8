#pragma once

// aviolog-bridge's command line.

#include <span>
#include <string>
#include <string_view>

#include "bridge/flightgear_link.h"
#include "bridge/offset_model.h"
#include "bridge/xplane_link.h"

namespace aviolog::bridge {

enum class SimulatorKind { FlightGear, XPlane, Fsuipc };

struct BridgeOptions {
    SimulatorKind simulator = SimulatorKind::FlightGear;
    FlightGearSettings flightGear;
    XPlaneSettings xplane;
    // aviolog-fsuipc-relay inside the simulator's Wine or Proton prefix.
    sockaddr_in fsuipcRelay{};
    BridgeVersions versions;
    std::string window = "UIPCMAIN";
    std::string prefix;
    // Without a picture this fresh the program's exchanges go unanswered, as with a
    // simulator that hangs.
    std::int64_t staleMs = 1000;
    double statusEverySec = 30.0;
};

struct ParsedOptions {
    BridgeOptions options;
    bool help = false;
    bool printProtocol = false;
    std::string error;  // empty when the command line was good
};

struct BridgeCommandLine;

// One option of the command line: where the usage lists it, how it is typed, what it
// does, and what takes it (a switch's value is nullptr): false for a value it cannot use.
struct BridgeOption {
    std::string_view section;  // the heading it is listed under
    std::string_view name;
    std::string_view argument;  // empty for a switch
    std::string_view help;
    bool (*take)(BridgeCommandLine&, const char* value);
};

// The options in the order the usage lists them, for the parser, the usage and the manual.
std::span<const BridgeOption> bridgeOptions();
std::string bridgeUsage();

ParsedOptions parseBridgeOptions(int argc, const char* const* argv);

}  // namespace aviolog::bridge

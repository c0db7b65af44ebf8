#pragma once

// aviolog-bridge's command line.

#include <string>

#include "bridge/flightgear_link.h"
#include "bridge/offset_model.h"
#include "bridge/xplane_link.h"

namespace aviolog::bridge {

enum class SimulatorKind { FlightGear, XPlane };

struct BridgeOptions {
    SimulatorKind simulator = SimulatorKind::FlightGear;
    FlightGearSettings flightGear;
    XPlaneSettings xplane;
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

extern const char* const kBridgeUsage;

ParsedOptions parseBridgeOptions(int argc, const char* const* argv);

}  // namespace aviolog::bridge

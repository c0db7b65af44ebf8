#include "bridge/bridge_options.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <string_view>

#include "common/usage_text.h"
#include "wire/relay_wire.h"

namespace aviolog::bridge {

namespace {

std::optional<long> number(const char* text, long low, long high) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < low || v > high) return std::nullopt;
    return v;
}

std::optional<std::uint32_t> hex(const char* text) {
    char* end = nullptr;
    errno = 0;
    const unsigned long v = std::strtoul(text, &end, 16);
    if (errno != 0 || end == text || *end != '\0' || v > 0xFFFFFFFFul) return std::nullopt;
    return static_cast<std::uint32_t>(v);
}

// HOST or HOST:PORT.
std::optional<sockaddr_in> hostPort(std::string_view text, int defaultPort) {
    const std::size_t colon = text.rfind(':');
    int port = defaultPort;
    if (colon != std::string_view::npos) {
        const auto p = number(std::string(text.substr(colon + 1)).c_str(), 1, 65535);
        if (!p) return std::nullopt;
        port = static_cast<int>(*p);
        text = text.substr(0, colon);
    }
    if (text.empty()) return std::nullopt;
    return resolve(std::string(text), port);
}

int currentYear() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    return utc.tm_year + 1900;
}

}  // namespace

// The command line as typed, before the addresses in it are looked up.
struct BridgeCommandLine {
    ParsedOptions parsed;
    std::string fgListen = "127.0.0.1";
    int fgPort = 5701;
    std::string fgProps = "127.0.0.1:5401";
    int xpListenPort = 0;
    std::string xplane;
    std::string fsuipc;
};

namespace {

// A whole number from low to high into the field.
template <long Low, long High, typename Field>
bool numberInto(const char* text, Field& field) {
    const auto v = number(text, Low, High);
    if (v) field = static_cast<Field>(*v);
    return v.has_value();
}

bool tanksInto(const char* text, std::array<int, fg::kFgTanks>& map) {
    const auto parsed = fg::parseTankMap(text);
    if (parsed) map = *parsed;
    return parsed.has_value();
}

bool hexInto(const char* text, std::uint32_t& field) {
    const auto v = hex(text);
    if (v) field = *v;
    return v.has_value();
}

BridgeOptions& opts(BridgeCommandLine& c) {
    return c.parsed.options;
}

constexpr std::string_view kFlightGear = "FlightGear (the default):";
constexpr std::string_view kXPlane = "X-Plane 11/12:";
constexpr std::string_view kFsuipc = "FSUIPC under Wine or Proton (FS2004, FSX, P3D, MSFS):";
constexpr std::string_view kBoth = "FlightGear and X-Plane:";
constexpr std::string_view kAll = "All:";

// In the order the usage lists them.
constexpr BridgeOption kOptions[] = {
    {"", "--help", "", "print this text and exit",
     [](BridgeCommandLine& c, const char*) { return c.parsed.help = true; }},
    {kFlightGear, "--flightgear", "", "read FlightGear's generic protocol (the default)",
     [](BridgeCommandLine& c, const char*) {
         opts(c).simulator = SimulatorKind::FlightGear;
         return true;
     }},
    {kFlightGear, "--fg-port", "PORT", "UDP port of the generic protocol (default 5701)",
     [](BridgeCommandLine& c, const char* v) { return numberInto<1, 65535>(v, c.fgPort); }},
    {kFlightGear, "--fg-listen", "ADDRESS",
     "address to receive it on (default 127.0.0.1; * for all)",
     [](BridgeCommandLine& c, const char* v) { return c.fgListen = v, true; }},
    {kFlightGear, "--fg-props", "HOST:PORT",
     "FlightGear's --telnet/--props port (default 127.0.0.1:5401)",
     [](BridgeCommandLine& c, const char* v) { return c.fgProps = v, true; }},
    {kFlightGear, "--fg-tanks", "LIST",
     "program tanks of FlightGear tanks 0..3, e.g. left-main,right-main,centre,none (the "
     "default is left-main,right-main,centre,centre-2)",
     [](BridgeCommandLine& c, const char* v) {
         return tanksInto(v, opts(c).flightGear.protocol.tankMap);
     }},
    {kFlightGear, "--flap-detents", "N",
     "flap lever positions besides up (default: FlightGear's /sim/flaps settings)",
     [](BridgeCommandLine& c, const char* v) {
         return numberInto<1, 100>(v, opts(c).flightGear.protocol.flapDetents);
     }},
    {kFlightGear, "--print-fg-protocol", "", "print the generic protocol file aviolog.xml and exit",
     [](BridgeCommandLine& c, const char*) { return c.parsed.printProtocol = true; }},
    {kXPlane, "--xplane", "HOST[:PORT]",
     "X-Plane's address (port 49000), or 'auto' to find it by its beacon",
     [](BridgeCommandLine& c, const char* v) {
         opts(c).simulator = SimulatorKind::XPlane;
         c.xplane = v;
         return true;
     }},
    {kXPlane, "--xp-listen", "PORT", "UDP port for X-Plane's answers (default: any free one)",
     [](BridgeCommandLine& c, const char* v) { return numberInto<0, 65535>(v, c.xpListenPort); }},
    {kXPlane, "--xp-beacon-port", "PORT", "port of the beacon (default 49707)",
     [](BridgeCommandLine& c, const char* v) {
         return numberInto<1, 65535>(v, opts(c).xplane.beaconPort);
     }},
    {kXPlane, "--xp-rate", "HZ", "subscription rate (default 20)",
     [](BridgeCommandLine& c, const char* v) {
         return numberInto<1, 100>(v, opts(c).xplane.rateHz);
     }},
    {kXPlane, "--xp-tanks", "LIST", "program tanks of X-Plane tanks 0..3, as --fg-tanks",
     [](BridgeCommandLine& c, const char* v) {
         return tanksInto(v, opts(c).xplane.protocol.tankMap);
     }},
    {kFsuipc, "--fsuipc", "HOST:PORT",
     "pass every exchange to aviolog-fsuipc-relay.exe in the simulator's prefix (port 7147 "
     "when not given)",
     [](BridgeCommandLine& c, const char* v) {
         opts(c).simulator = SimulatorKind::Fsuipc;
         c.fsuipc = v;
         return true;
     }},
    {kBoth, "--stale-ms", "N",
     "stop answering the program when the simulator has sent nothing for N ms (default 1000)",
     [](BridgeCommandLine& c, const char* v) {
         return numberInto<50, 600000>(v, opts(c).staleMs);
     }},
    {kBoth, "--status", "SECONDS", "print a status line every SECONDS (0: never; default 30)",
     [](BridgeCommandLine& c, const char* v) {
         return numberInto<0, 86400>(v, opts(c).statusEverySec);
     }},
    {kBoth, "--fsuipc-version", "HEX", "interface version to report (default 34800000)",
     [](BridgeCommandLine& c, const char* v) {
         return hexInto(v, opts(c).versions.fsuipcVersion);
     }},
    {kBoth, "--sim-version", "HEX", "simulator version word to report (default FADE0007)",
     [](BridgeCommandLine& c, const char* v) {
         return hexInto(v, opts(c).versions.simulatorVersion);
     }},
    {kAll, "--window", "CLASS", "serve as UIPCMAIN (default) or FS98MAIN",
     [](BridgeCommandLine& c, const char* v) { return opts(c).window = v, true; }},
    {kAll, "--ipc-prefix", "PREFIX", "prefix of the socket name (keeps test runs apart)",
     [](BridgeCommandLine& c, const char* v) { return opts(c).prefix = v, true; }},
};

const BridgeOption* findOption(std::string_view name) {
    if (name == "-h") name = "--help";
    for (const BridgeOption& option : kOptions) {
        if (option.name == name) return &option;
    }
    return nullptr;
}

// Takes the options in turn; the first one it cannot use ends the walk with an error.
void takeOptions(BridgeCommandLine& c, int argc, const char* const* argv) {
    std::string& error = c.parsed.error;
    for (int i = 1; i < argc && error.empty(); ++i) {
        const std::string_view arg = argv[i];
        const BridgeOption* option = findOption(arg);
        if (option == nullptr) {
            error = "unknown option " + std::string(arg);
        } else if (option->argument.empty()) {
            option->take(c, nullptr);
        } else if (i + 1 >= argc) {
            error = std::string(arg) + " needs a value";
        } else if (const char* value = argv[++i]; !option->take(c, value)) {
            error = "bad value '" + std::string(value) + "' for " + std::string(arg);
        }
    }
}

// The addresses typed, looked up.
void resolveAddresses(BridgeCommandLine& c) {
    ParsedOptions& r = c.parsed;
    BridgeOptions& o = r.options;
    const auto listen = resolve(c.fgListen == "*" ? "" : c.fgListen, c.fgPort);
    const auto props = hostPort(c.fgProps, 5401);
    if (!listen) r.error = "cannot use the address " + c.fgListen;
    if (!props) r.error = "cannot use the property interface address " + c.fgProps;
    if (listen) o.flightGear.listen = *listen;
    if (props) o.flightGear.props = *props;
    if (o.simulator == SimulatorKind::XPlane) {
        if (c.xplane != "auto") {
            o.xplane.simulator = hostPort(c.xplane, xp::kDefaultPort);
            if (!o.xplane.simulator) r.error = "cannot find X-Plane's address " + c.xplane;
        }
        o.xplane.listen = resolve("", c.xpListenPort).value_or(sockaddr_in{});
    }
    if (o.simulator == SimulatorKind::Fsuipc) {
        const auto relay = hostPort(c.fsuipc, wire::relay::kDefaultPort);
        if (relay) o.fsuipcRelay = *relay;
        if (!relay) r.error = "cannot find the relay's address " + c.fsuipc;
    }
}

}  // namespace

std::span<const BridgeOption> bridgeOptions() {
    return kOptions;
}

std::string bridgeUsage() {
    std::string usage =
        "usage: aviolog-bridge [--flightgear | --xplane HOST|auto | --fsuipc HOST:PORT] "
        "[options]\n";
    std::string_view section;
    for (const BridgeOption& option : kOptions) {
        if (option.section != section) {
            section = option.section;
            appendWrapped(usage, section);
        }
        appendOptionEntry(usage, option.name, option.argument, option.help);
    }
    appendWrapped(usage,
                  "On standard input: Enter presses the program's hot key (the pilot-in-cockpit "
                  "check; FlightGear and X-Plane); 'status'; 'quit'.");
    return usage;
}

ParsedOptions parseBridgeOptions(int argc, const char* const* argv) {
    BridgeCommandLine c;
    c.parsed.options.xplane.protocol.year = currentYear();
    takeOptions(c, argc, argv);
    if (c.parsed.error.empty() && !c.parsed.help && !c.parsed.printProtocol) resolveAddresses(c);
    return c.parsed;
}

}  // namespace aviolog::bridge

#include "bridge/bridge_options.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <string_view>

namespace aviolog::bridge {

const char* const kBridgeUsage =
    "usage: aviolog-bridge [--flightgear | --xplane HOST|auto] [options]\n"
    "FlightGear (the default):\n"
    "  --fg-port PORT          UDP port of the generic protocol (default 5701)\n"
    "  --fg-listen ADDRESS     address to receive it on (default 127.0.0.1; * for all)\n"
    "  --fg-props HOST:PORT    FlightGear's --telnet/--props port (default 127.0.0.1:5401)\n"
    "  --fg-tanks LIST         program tanks of FlightGear tanks 0..3, e.g.\n"
    "                          left-main,right-main,centre,none (the default is\n"
    "                          left-main,right-main,centre,centre-2)\n"
    "  --flap-detents N        flap lever positions besides up (default: FlightGear's\n"
    "                          /sim/flaps settings)\n"
    "  --print-fg-protocol     print the generic protocol file aviolog.xml and exit\n"
    "X-Plane 11/12:\n"
    "  --xplane HOST[:PORT]    X-Plane's address (port 49000), or 'auto' to find it by its\n"
    "                          beacon\n"
    "  --xp-listen PORT        UDP port for X-Plane's answers (default: any free one)\n"
    "  --xp-beacon-port PORT   port of the beacon (default 49707)\n"
    "  --xp-rate HZ            subscription rate (default 20)\n"
    "  --xp-tanks LIST         program tanks of X-Plane tanks 0..3, as --fg-tanks\n"
    "Both:\n"
    "  --stale-ms N            stop answering the program when the simulator has sent\n"
    "                          nothing for N ms (default 1000)\n"
    "  --status SECONDS        print a status line every SECONDS (0: never; default 30)\n"
    "  --window CLASS          serve as UIPCMAIN (default) or FS98MAIN\n"
    "  --fsuipc-version HEX    interface version to report (default 34800000)\n"
    "  --sim-version HEX       simulator version word to report (default FADE0007)\n"
    "  --ipc-prefix PREFIX     prefix of the socket name (keeps test runs apart)\n"
    "On standard input: Enter presses the program's hot key (the pilot-in-cockpit\n"
    "check); 'status'; 'quit'.\n";

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

ParsedOptions parseBridgeOptions(int argc, const char* const* argv) {
    ParsedOptions r;
    BridgeOptions& o = r.options;
    std::string fgListen = "127.0.0.1";
    int fgPort = 5701;
    std::string fgProps = "127.0.0.1:5401";
    int xpListenPort = 0;
    std::string xplane;
    o.xplane.protocol.year = currentYear();

    for (int i = 1; i < argc && r.error.empty(); ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            r.help = true;
            continue;
        }
        if (arg == "--print-fg-protocol") {
            r.printProtocol = true;
            continue;
        }
        if (arg == "--flightgear") {
            o.simulator = SimulatorKind::FlightGear;
            continue;
        }
        if (i + 1 >= argc) {
            r.error = std::string(arg) + " needs a value";
            break;
        }
        const char* value = argv[++i];
        bool ok = true;
        if (arg == "--xplane") {
            o.simulator = SimulatorKind::XPlane;
            xplane = value;
        } else if (arg == "--fg-port") {
            const auto v = number(value, 1, 65535);
            ok = v.has_value();
            if (ok) fgPort = static_cast<int>(*v);
        } else if (arg == "--fg-listen") {
            fgListen = value;
        } else if (arg == "--fg-props") {
            fgProps = value;
        } else if (arg == "--fg-tanks" || arg == "--xp-tanks") {
            const auto map = fg::parseTankMap(value);
            ok = map.has_value();
            if (ok && arg == "--fg-tanks") o.flightGear.protocol.tankMap = *map;
            if (ok && arg == "--xp-tanks") o.xplane.protocol.tankMap = *map;
        } else if (arg == "--flap-detents") {
            const auto v = number(value, 1, 100);
            ok = v.has_value();
            if (ok) o.flightGear.protocol.flapDetents = static_cast<int>(*v);
        } else if (arg == "--xp-listen") {
            const auto v = number(value, 0, 65535);
            ok = v.has_value();
            if (ok) xpListenPort = static_cast<int>(*v);
        } else if (arg == "--xp-beacon-port") {
            const auto v = number(value, 1, 65535);
            ok = v.has_value();
            if (ok) o.xplane.beaconPort = static_cast<int>(*v);
        } else if (arg == "--xp-rate") {
            const auto v = number(value, 1, 100);
            ok = v.has_value();
            if (ok) o.xplane.rateHz = static_cast<int>(*v);
        } else if (arg == "--stale-ms") {
            const auto v = number(value, 50, 600000);
            ok = v.has_value();
            if (ok) o.staleMs = *v;
        } else if (arg == "--status") {
            const auto v = number(value, 0, 86400);
            ok = v.has_value();
            if (ok) o.statusEverySec = static_cast<double>(*v);
        } else if (arg == "--window") {
            o.window = value;
        } else if (arg == "--ipc-prefix") {
            o.prefix = value;
        } else if (arg == "--fsuipc-version" || arg == "--sim-version") {
            const auto v = hex(value);
            ok = v.has_value();
            if (ok && arg == "--fsuipc-version") o.versions.fsuipcVersion = *v;
            if (ok && arg == "--sim-version") o.versions.simulatorVersion = *v;
        } else {
            r.error = "unknown option " + std::string(arg);
            break;
        }
        if (!ok) r.error = "bad value '" + std::string(value) + "' for " + std::string(arg);
    }
    if (!r.error.empty() || r.help || r.printProtocol) return r;

    const auto listen = resolve(fgListen == "*" ? "" : fgListen, fgPort);
    const auto props = hostPort(fgProps, 5401);
    if (!listen) r.error = "cannot use the address " + fgListen;
    if (!props) r.error = "cannot use the property interface address " + fgProps;
    if (listen) o.flightGear.listen = *listen;
    if (props) o.flightGear.props = *props;
    if (o.simulator == SimulatorKind::XPlane) {
        if (xplane != "auto") {
            o.xplane.simulator = hostPort(xplane, xp::kDefaultPort);
            if (!o.xplane.simulator) r.error = "cannot find X-Plane's address " + xplane;
        }
        o.xplane.listen = resolve("", xpListenPort).value_or(sockaddr_in{});
    }
    return r;
}

}  // namespace aviolog::bridge

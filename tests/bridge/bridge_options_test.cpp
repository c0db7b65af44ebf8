#include "bridge/bridge_options.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "wire/relay_wire.h"

namespace aviolog::bridge {
namespace {

ParsedOptions parse(std::vector<std::string> args) {
    args.insert(args.begin(), "aviolog-bridge");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    return parseBridgeOptions(static_cast<int>(argv.size()), argv.data());
}

// One option taken, and where its value went: a value stored in the wrong place (a
// FlightGear setting given to X-Plane) fails its row.
TEST(BridgeOptions, EveryOptionOfTheTableParsesAndIsListed) {
    const struct {
        const char* option;
        const char* value;  // nullptr: a switch
        std::function<bool(const ParsedOptions&)> took;
        std::vector<std::string> others = {};  // what else the option needs
    } rows[] = {
        {"--help", nullptr, [](const ParsedOptions& p) { return p.help; }},
        {"--flightgear", nullptr,
         [](const ParsedOptions& p) { return p.options.simulator == SimulatorKind::FlightGear; }},
        {"--fg-port", "5800",
         [](const ParsedOptions& p) {
             return ntohs(p.options.flightGear.listen.sin_port) == 5800;
         }},
        {"--fg-listen", "*",
         [](const ParsedOptions& p) { return p.options.flightGear.listen.sin_addr.s_addr == 0; }},
        {"--fg-props", "127.0.0.1:6000",
         [](const ParsedOptions& p) { return ntohs(p.options.flightGear.props.sin_port) == 6000; }},
        {"--fg-tanks", "centre,none,left-main,right-main",
         [](const ParsedOptions& p) {
             return p.options.flightGear.protocol.tankMap[2] == 5 &&
                    p.options.xplane.protocol.tankMap[2] == 0;
         }},
        {"--flap-detents", "7",
         [](const ParsedOptions& p) { return p.options.flightGear.protocol.flapDetents == 7; }},
        {"--print-fg-protocol", nullptr, [](const ParsedOptions& p) { return p.printProtocol; }},
        {"--xplane", "127.0.0.1:49001",
         [](const ParsedOptions& p) {
             return p.options.simulator == SimulatorKind::XPlane && p.options.xplane.simulator &&
                    ntohs(p.options.xplane.simulator->sin_port) == 49001;
         }},
        {"--xp-listen",
         "49100",
         [](const ParsedOptions& p) { return ntohs(p.options.xplane.listen.sin_port) == 49100; },
         {"--xplane", "auto"}},
        {"--xp-beacon-port", "49800",
         [](const ParsedOptions& p) { return p.options.xplane.beaconPort == 49800; }},
        {"--xp-rate", "50", [](const ParsedOptions& p) { return p.options.xplane.rateHz == 50; }},
        {"--xp-tanks", "centre,none,left-main,right-main",
         [](const ParsedOptions& p) {
             return p.options.xplane.protocol.tankMap[2] == 5 &&
                    p.options.flightGear.protocol.tankMap[2] == 0;
         }},
        {"--fsuipc", "127.0.0.1:7200",
         [](const ParsedOptions& p) {
             return p.options.simulator == SimulatorKind::Fsuipc &&
                    ntohs(p.options.fsuipcRelay.sin_port) == 7200;
         }},
        {"--stale-ms", "2500", [](const ParsedOptions& p) { return p.options.staleMs == 2500; }},
        {"--status", "0", [](const ParsedOptions& p) { return p.options.statusEverySec == 0.0; }},
        {"--window", "FS98MAIN",
         [](const ParsedOptions& p) { return p.options.window == "FS98MAIN"; }},
        {"--fsuipc-version", "40000000",
         [](const ParsedOptions& p) { return p.options.versions.fsuipcVersion == 0x40000000; }},
        {"--sim-version", "FADE0008",
         [](const ParsedOptions& p) { return p.options.versions.simulatorVersion == 0xFADE0008; }},
        {"--ipc-prefix", "t1-", [](const ParsedOptions& p) { return p.options.prefix == "t1-"; }},
    };
    const std::string usage = bridgeUsage();
    std::set<std::string> tested;
    for (const auto& row : rows) {
        tested.insert(row.option);
        std::vector<std::string> args{row.option};
        if (row.value != nullptr) args.push_back(row.value);
        args.insert(args.end(), row.others.begin(), row.others.end());
        const ParsedOptions p = parse(args);
        EXPECT_EQ(p.error, "") << row.option;
        EXPECT_TRUE(row.took(p)) << row.option;
        EXPECT_NE(usage.find("  " + std::string(row.option) + (row.value ? " " : "")),
                  std::string::npos)
            << row.option << " in\n"
            << usage;
    }
    for (const BridgeOption& option : bridgeOptions()) {
        EXPECT_TRUE(tested.contains(std::string(option.name))) << option.name << " has no row";
        EXPECT_EQ(option.argument.empty(), option.name == "--help" ||
                                               option.name == "--flightgear" ||
                                               option.name == "--print-fg-protocol")
            << option.name;
    }
}

TEST(BridgeOptions, ACommandLineItCannotUseSaysWhy) {
    const struct {
        std::vector<std::string> args;
        const char* error;
    } rows[] = {
        {{"--fg-port"}, "--fg-port needs a value"},
        {{"--fg-port", "0"}, "bad value '0' for --fg-port"},
        {{"--stale-ms", "10"}, "bad value '10' for --stale-ms"},
        {{"--fg-tanks", "left-main,wing"}, "bad value 'left-main,wing' for --fg-tanks"},
        {{"--sim-version", "FADE00071"}, "bad value 'FADE00071' for --sim-version"},
        {{"--fly"}, "unknown option --fly"},
        {{"--help", "--fly"}, "unknown option --fly"},
        {{"--xplane", "127.0.0.1:65536"}, "cannot find X-Plane's address 127.0.0.1:65536"},
        {{"--fsuipc", "127.0.0.1:0"}, "cannot find the relay's address 127.0.0.1:0"},
    };
    // The relay's port, when not given, is its own default.
    EXPECT_EQ(ntohs(parse({"--fsuipc", "127.0.0.1"}).options.fsuipcRelay.sin_port),
              wire::relay::kDefaultPort);
    for (const auto& row : rows) {
        EXPECT_EQ(parse(row.args).error, row.error) << row.args[0];
    }
    EXPECT_TRUE(parse({"-h"}).help);
}

}  // namespace
}  // namespace aviolog::bridge

// Whole flights prepared as a pilot prepares them: from the simulator's flight plan with
// the tanks filled on the fuel page, and from the VA's booked flight through aviolog-fly,
// with METARs from a loopback weather service.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "common/text_file.h"
#include "config/ini_file.h"
#include "headless/flight_runner.h"
#include "tests/support/child_process.h"
#include "tests/support/loopback_va_server.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/temp_dir.h"

namespace aviolog::test {
namespace {

const std::string kLppt = "LPPT 140920Z 34010KT CAVOK 21/12 Q1018";
const std::string kLppr = "LPPR 141000Z 34012KT 9999 FEW020 19/13 Q1016";

// A working folder whose weather service and flight-plan script are the loopback server.
struct PreparedRig {
    PreparedRig() {
        ::setenv("no_proxy", "127.0.0.1", 1);
        const std::string shipped = readFileBytes(dataPath("aviolog.ori")).value_or("");
        dir.write("aviolog.ori", shipped);
        dir.write("aviolog.ini", shipped);
        dir.write("TAP.ini",
                  "[Aviolog]\r\nCompanyICAO=TAP\r\nCompanyName=Example Air\r\nCompanyIATA=TP\r\n"
                  "PilotNumber=123\r\nUnitSystem=IS\r\nCallsignUses=Flight\r\nFPSite=" +
                      server.url("/fp.php") + "\r\n");
        config::IniFile program(dir / "aviolog.ini");
        program.setString("Aviolog", "AutomatedStop", "1");
        program.setString("Metar", "VATSIM", server.url("/metar.php"));
    }
    bool has(const std::vector<std::string>& lines, const std::string& text) const {
        for (const std::string& l : lines) {
            if (l.find(text) != std::string::npos) return true;
        }
        return false;
    }

    LoopbackVaServer server;
    TempDir dir;
};

TEST(PreparedFlight, FromTheSimulatorsPlanFuelledOnTheFuelPage) {
    PreparedRig rig;
    ASSERT_TRUE(rig.server.running()) << rig.server.startupOutput();
    rig.server.setAnswers({{200, kLppt + "\n"}, {200, kLppr + "\n\n"}});

    headless::RunnerOptions o;
    o.workDir = rig.dir.path().string();
    o.scenarioPath = dataPath("scenarios/lppt-lppr.scn");
    o.plnFile = std::string(AVIOLOG_PLANNING_DATA) + "/lppt-lppr-fs2004.pln";
    o.fuelTotal = 8000;
    o.providerMetars = true;
    o.form.flightNumber = "TP1944";
    o.form.aircraftType = "A320";
    const headless::RunResult r = headless::runFlight(o);
    ASSERT_EQ(r.end, headless::RunResult::End::Stopped);

    for (const char* line :
         {"Departing Airport: LPPT", "Destination Airport: LPPR", "Flight Level:24000",
          "Route:LPPT FTM ESP LPPR ", "Flight IATA:TP1944"}) {
        EXPECT_TRUE(rig.has(r.log, line)) << line;
    }
    EXPECT_TRUE(rig.has(r.log, "VATSIM:" + kLppt));
    EXPECT_TRUE(rig.has(r.log, "VATSIM:" + kLppr));
    EXPECT_EQ(r.summary.CallSign, "TAP1944");

    // The three tanks hold the 8000 kg in proportion to their size, less the truncations.
    ASSERT_EQ(r.fuelRows.size(), 5u);
    EXPECT_EQ(r.fuelRows[0].rfind("Centre tank=", 0), 0u);
    const long total =
        std::strtol(r.fuelRows[3].substr(r.fuelRows[3].find('=') + 1).c_str(), nullptr, 10);
    EXPECT_GE(total, 7997);
    EXPECT_LE(total, 8000);
    EXPECT_TRUE(rig.has(r.log, "Fuel Weight: 799")) << "the simulator took the loads";

    const auto requests = rig.server.requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[0].path, "/metar.php");
    EXPECT_EQ(requests[0].param("id"), "LPPT");
    EXPECT_EQ(requests[1].param("id"), "LPPR");
}

TEST(PreparedFlight, TheVasBookedFlightThroughTheRunner) {
    PreparedRig rig;
    ASSERT_TRUE(rig.server.running()) << rig.server.startupOutput();
    // Booked for another day and hour than the simulator's clock shows: "Flight from VA"
    // is pressed before the simulator is found, and the clock read then must not
    // overwrite the booking.
    const std::string booked =
        "OK\nLPPT\nLPPR\nLPPC\nFL240\nA321\n11:40\n2024/07/02\nTP1946\nCS-TJF\nTAP1946\n"
        "FTM UN873 ESP\n61000\nEF-GJ\n180\n3000\n";
    rig.server.setAnswers({{200, booked}, {200, kLppt + "\n"}, {200, kLppr + "\n"}});

    ChildProcess fly(AVIOLOG_FLY_PATH,
                     {"--dir", rig.dir.path().string(), "--scenario",
                      dataPath("scenarios/lppt-lppr.scn"), "--flight-from-va", "--weather",
                      "--pilot", "456", "--fuel", "left main tank=3000", "--calls"});
    ASSERT_TRUE(fly.started());
    EXPECT_EQ(fly.wait(120000), 0) << fly.output();
    const std::string out = fly.output();
    for (const std::string& expected : std::vector<std::string>{
             "Flight IATA:TP1946", "Pilot Number:456", "Aircraft Type:A321",
             "Aircraft Registration:CS-TJF", "Route:FTM UN873 ESP", "Cargo:3000 Kg",
             "Start  [2024/07/02 11:40]", "VATSIM:" + kLppt, "VATSIM:" + kLppr, "CallSign=TAP1946",
             "AltAirport=LPPC", "left main tank=3000/"}) {
        EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;
    }
    EXPECT_EQ(out.find("metar fetch"), std::string::npos) << "the provider, not the table";
    const auto requests = rig.server.requests();
    ASSERT_GE(requests.size(), 3u);
    EXPECT_EQ(requests[0].path, "/fp.php");
    EXPECT_EQ(requests[0].param("pilot"), "TAP456");
    EXPECT_EQ(textModeText(rig.dir.read("FlightPlan.txt")), booked);
}

}  // namespace
}  // namespace aviolog::test

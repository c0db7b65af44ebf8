#include "tests/support/flight_rig.h"

#include "common/text_file.h"
#include "config/ini_file.h"
#include "tests/support/sim_fixture.h"

namespace aviolog::test {

namespace {
// A kilogram airline that stops the log at blocks on.
constexpr const char* kProfile =
    "[Aviolog]\r\nCompanyICAO=TAP\r\nCompanyName=Example Air\r\nCompanyIATA=TP\r\n"
    "PilotNumber=123\r\nUnitSystem=IS\r\nCallsignUses=Flight\r\n";
}  // namespace

FlightRig::FlightRig(const std::vector<Edit>& edits) {
    const std::string shipped = readFileBytes(dataPath("aviolog.ori")).value_or("");
    dir.write("aviolog.ori", shipped);
    dir.write("aviolog.ini", shipped);
    dir.write("TAP.ini", kProfile);
    config::IniFile program(dir / "aviolog.ini");
    config::IniFile profile(dir / "TAP.ini");
    program.setString("Aviolog", "AutomatedStop", "1");
    for (const Edit& e : edits)
        (e.program ? program : profile).setString(e.section, e.key, e.value);
}

headless::RunResult FlightRig::fly(const std::string& scenario, headless::RunnerOptions options,
                                   const headless::LineSink& onLine) {
    options.workDir = dir.path().string();
    options.scenarioPath = dataPath("scenarios/" + scenario);
    model::FlightRecord& f = options.form;
    if (f.aircraftType.empty()) f.aircraftType = "A320";
    if (f.registration.empty()) f.registration = "CS-TNA";
    if (f.flightNumber.empty()) f.flightNumber = "TP1944";
    if (f.callsign.empty()) f.callsign = "TAP1944";
    if (f.cargo.empty()) f.cargo = "2500";
    return headless::runFlight(options, onLine);
}

std::string render(const headless::RunResult& r) {
    std::string text;
    for (const std::string& line : r.log) text += line + "\n";
    if (r.summaryOffered) text += "\n[Flight Summary]\n" + headless::summaryText(r.summary);
    text += "\n[Calls]\n";
    for (const std::string& c : r.calls) text += c + "\n";
    text += "\n[Message boxes]\n";
    for (const std::string& b : r.pilotBoxes) text += b + "\n";
    text += "\n[Simulator messages]\n";
    for (const std::string& m : r.simMessages) text += m + "\n";
    return text;
}

}  // namespace aviolog::test

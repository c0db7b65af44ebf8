#pragma once

#include <string>
#include <utility>
#include <vector>

#include "headless/flight_runner.h"
#include "tests/support/temp_dir.h"

namespace aviolog::test {

// A working directory with the shipped settings template and a company profile, and a
// flight flown through it in virtual time.
struct FlightRig {
    // Key edits: {"Events", "WeightEvent", "0"} goes to the profile, {"Aviolog",
    // "AutomatedStart", "1"} with program = true to "aviolog.ini".
    struct Edit {
        std::string section;
        std::string key;
        std::string value;
        bool program = false;
    };

    explicit FlightRig(const std::vector<Edit>& edits = {});
    headless::RunResult fly(const std::string& scenario, headless::RunnerOptions options = {},
                            const headless::LineSink& onLine = {});

    TempDir dir;
};

// The flight as its golden file holds it: log, summary, outward calls, message boxes and
// simulator messages.
std::string render(const headless::RunResult& result);

}  // namespace aviolog::test

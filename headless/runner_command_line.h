#pragma once

// aviolog-fly's command line: one table of options that parses it and writes its usage.

#include <span>
#include <string>
#include <string_view>

#include "headless/flight_runner.h"

namespace aviolog::headless {

// What the command line asks for: the run, and what aviolog-fly itself does around it.
struct RunnerCommandLine {
    RunnerOptions run;
    std::string sealToCheck;  // only check this file's seal
    bool printCalls = false;
    bool printAcars = false;
    bool raw = false;  // the log's own Windows-1252 bytes
    bool help = false;
};

// One option: the heading it is listed under, how it is typed, what it does, and what
// takes it (a switch's value is ""): take returns what is wrong with the value, or "".
struct RunnerOption {
    std::string_view section;
    std::string_view name;
    std::string_view argument;  // empty for a switch
    std::string_view help;
    std::string (*take)(RunnerCommandLine&, const std::string& value);
};

// The options in the order the usage lists them, for the parser, the usage and the manual.
std::span<const RunnerOption> runnerOptions();
std::string runnerUsage();

// Takes the options in turn up to "--help"; returns what is wrong with the first one it
// cannot use, or "".
std::string parseRunnerCommandLine(int argc, const char* const* argv, RunnerCommandLine& out);

// What the options taken together leave out or contradict, or "". A run checking a seal
// is not a flight and is not checked.
std::string checkRunnerCommandLine(const RunnerCommandLine& line);

// A flight to fly: a scenario, or a live flight with its airports typed.
bool asksForFlight(const RunnerOptions& o);
// Steps after a flight that also run on what is stored, without one.
bool asksForStoredSteps(const RunnerOptions& o);

}  // namespace aviolog::headless

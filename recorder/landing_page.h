#pragma once

// The landing page: the analysis's figures and, drawn inline (no network, no script),
// the height, the sink rate and the speed over the last 60 s with each contact marked.
// One self-contained file, Windows-1252 like the log.

#include <string>

#include "recorder/landing_analysis.h"

namespace aviolog::recorder {

inline constexpr const char* kLandingPage = "landing.htm";

struct LandingPageTitle {
    std::string callsign;
    std::string departure;
    std::string arrival;
    std::string date;  // the flight's start, as the summary has it
    std::string hour;
};

std::string landingPageHtml(const LandingReport& report, const LandingPageTitle& title);

}  // namespace aviolog::recorder

#pragma once

// The runway list beside the airport list (".\runways.txt"): per airport, each runway
// end's position, landing heading, length and displaced threshold, read when a landing
// asks for them.

#include <filesystem>
#include <string_view>
#include <vector>

#include "recorder/landing_analysis.h"

namespace aviolog::recorder {

inline constexpr const char* kRunwayFile = "runways.txt";

class RunwayFile final : public RunwayLookup {
  public:
    explicit RunwayFile(std::filesystem::path file) : file_(std::move(file)) {}
    // Nothing when the file or the airport is missing; an end whose figures do not read
    // is left out.
    std::vector<RunwayEnd> runwayEnds(std::string_view icao) const override;

  private:
    std::filesystem::path file_;
};

// One end from its value "latitude;longitude;true heading;length m;width m;displaced
// threshold m;elevation ft": the threshold is the end moved by the displacement along
// the heading.
std::optional<RunwayEnd> parseRunwayEnd(std::string_view ident, std::string_view value);

}  // namespace aviolog::recorder

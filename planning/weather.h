#pragma once

// METAR weather from the source the Provider setting names: the VATSIM, IVAO or NOAA
// web services, the AS2004 weather engine's export file, or none.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "config/settings.h"
#include "model/flight_services.h"

namespace aviolog::platform {
class HttpClient;
class Registry;
}  // namespace aviolog::platform

namespace aviolog::planning {

inline constexpr std::size_t kMetarPrefixChars = 63;
inline constexpr std::size_t kNoaaScanChars = 19000;
inline constexpr int kMetarFailuresBeforeGivingUp = 2;
inline constexpr const char* kAs2004Key = "SOFTWARE\\HiFi\\AS2004";
inline constexpr const char* kAs2004Value = "Install_Path";
inline constexpr const char* kAs2004File = "wx-export.met";

// The query each service's base address is followed by, unless the base already holds a
// query: then the station code goes at its end ("...metar?format=raw&ids=").
const char* metarQuerySuffix(config::MetarSource source);

// What a METAR request begins with: the base followed by the service's query, held to 63
// characters; a base that holds its own query is the program's own extension and is taken
// whole. cut tells that the base lost characters, which the pilot should be told.
struct MetarAddress {
    std::string prefix;
    bool cut = false;
};
MetarAddress metarAddress(config::MetarSource source, std::string_view base);

// The warning for the settings' METAR service when its address had to be cut; nothing when
// it fits. Shown once at start-up and when the options dialog chooses that service.
std::optional<std::string> metarAddressWarning(const config::Settings& settings);

// The report in a NOAA answer: in an HTML page of the old layout the text from the fourth
// occurrence of the station code (from the page's second character) up to the next "<",
// both within 19000 characters; in a plain-text answer the line that starts with the code.
std::optional<std::string> noaaReport(std::string_view answer, std::string_view station);

class Weather final : public model::MetarFetcher {
  public:
    Weather(platform::HttpClient& http, platform::Registry& registry, std::filesystem::path workDir)
        : http_(http), registry_(registry), workDir_(std::move(workDir)) {}

    // At start-up and whenever the options dialog changes the source: the settings'
    // source and base address (the [Metar] key of the service) decide.
    void select(const config::Settings& settings);

    config::MetarSource source() const { return source_; }
    bool available() const { return source_ != config::MetarSource::None; }
    const std::string& urlPrefix() const { return urlPrefix_; }
    const std::filesystem::path& as2004File() const { return as2004File_; }
    int failures() const { return failures_; }

    // The report, or nothing; silent in every case.
    std::optional<std::string> fetch(const std::string& icao) override;

  private:
    std::optional<std::string> fromAs2004(const std::string& station) const;
    std::optional<std::string> download(const std::string& station);

    platform::HttpClient& http_;
    platform::Registry& registry_;
    std::filesystem::path workDir_;
    config::MetarSource source_ = config::MetarSource::None;
    std::string urlPrefix_;
    std::filesystem::path as2004File_;
    int failures_ = 0;  // downloads failed in a row; never reset but by a success
};

}  // namespace aviolog::planning

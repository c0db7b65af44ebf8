#pragma once

// The pilot log file: one INI file per company and pilot that holds every accepted flight
// not yet reported to the VA, oldest first in sections "FlightLog1", "FlightLog2", …, and
// ends with a seal line. Every change replaces the file in one step with a fresh seal, so
// a crash at any moment leaves the flights as they were before or after it, still sealed.

#include <cstddef>
#include <filesystem>
#include <string>

#include "config/ini_file.h"
#include "model/flight_summary.h"

namespace aviolog::reporting {

// A value read back from a section keeps at most this many characters.
inline constexpr std::size_t kMaxStoredValueChars = 99;

// LogPath + company ICAO + pilot number + ".dat", as the program names it to the pilot;
// an empty LogPath is the working directory.
std::string pilotLogName(const std::string& logPath, const std::string& companyIcao,
                         const std::string& pilotNumber);

class PilotLogFile {
  public:
    enum class State {
        Missing,     // no file yet: no flights
        Unreadable,  // there, but it cannot be read; it must not be replaced
        Tampered,    // its seal does not match
        Sealed,
    };

    explicit PilotLogFile(std::filesystem::path path) : path_(std::move(path)) {}
    const std::filesystem::path& path() const { return path_; }

    // Reads the file and checks its seal. A tampered file is rewritten without its seal
    // line, so that it fails every later check too: nothing in the program repairs it.
    State open();

    // Writes the flight into the first section whose Date is missing or empty, and
    // returns that section's number.
    int add(const model::FlightSummary& flight);
    // The flight of "FlightLog1"; missing keys are empty, a damaged log reads as empty.
    model::FlightSummary first() const { return flight(1); }
    model::FlightSummary flight(int number) const;
    // Moves every later flight down one section; false when no flight is left.
    bool dropFirst() { return drop(1); }
    // The same for the flight of section number; false when no flight is left.
    bool drop(int number);
    bool hasFlights() const { return document_.hasSection(sectionName(1)); }

    // Replaces the file with the flights and a fresh seal, or deletes it when no flight
    // is left. False when the file could not be written.
    bool save() const;

    static std::string sectionName(int number);

  private:
    std::filesystem::path path_;
    config::IniDocument document_;
};

}  // namespace aviolog::reporting

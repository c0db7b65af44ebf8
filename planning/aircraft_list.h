#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/flight_services.h"

namespace aviolog::config {
class IniDocument;
}

namespace aviolog::planning {

inline constexpr std::size_t kMaxAircraftTypes = 80;
inline constexpr std::size_t kMaxRegistrations = 200;  // and as many SELCAL codes
inline constexpr std::size_t kMaxFlapNames = 20;

struct AircraftType {
    std::string name;
    std::vector<std::string> registrations;  // at most 200
    std::vector<std::string> selcals;        // the n-th belongs to the n-th registration
    std::vector<std::string> flapNames;      // by flap position, at most 20

    // Registration and SELCAL of row n; empty text where the file has none.
    std::string registration(std::size_t n) const;
    std::string selcal(std::size_t n) const;
    // The rows the registration and SELCAL lists show: up to the last non-empty
    // registration, and at least one.
    std::size_t rowCount() const;
};

// The airline's fleet: ".\" + company ICAO + "planes.txt", sections [Plane.0], [Plane.1],
// ... up to the first without a Name. Items beyond the limits are ignored.
class AircraftList {
  public:
    static std::string fileName(std::string_view companyIcao);

    // Replaces the table with the file's; a missing file gives an empty table. Returns the
    // number of types.
    std::size_t load(const std::filesystem::path& workDir, std::string_view companyIcao);
    std::size_t load(const config::IniDocument& file);

    const std::vector<AircraftType>& types() const { return types_; }
    bool empty() const { return types_.empty(); }
    // The type of exactly this name, if the list holds one.
    std::optional<std::size_t> find(std::string_view name) const;

    // The flight log names flap positions only when the first aircraft's first flap name
    // is not empty; otherwise it logs numbers.
    bool hasFlapNames() const;
    std::optional<std::string> flapName(std::size_t aircraft, int position) const;

  private:
    std::vector<AircraftType> types_;
};

// The flap names of the aircraft selected on the form, for the flight log.
class SelectedFlapNames final : public model::FlapNames {
  public:
    SelectedFlapNames(const AircraftList& list, const std::size_t& selected)
        : list_(list), selected_(selected) {}
    std::optional<std::string> name(int detent) const override {
        return list_.flapName(selected_, detent);
    }

  private:
    const AircraftList& list_;
    const std::size_t& selected_;
};

}  // namespace aviolog::planning

#pragma once

// The main window's flight-plan buttons: "FS Flight Plan", "Aviolog" (FSBuild),
// "Servinfo" and "Export SB3". Each reads or writes a file of another program and fills
// the form; the pilot is told in a box when something is missing.

#include <filesystem>
#include <optional>
#include <string>

namespace aviolog::config {
struct Settings;
}
namespace aviolog::platform {
class Pilot;
class Registry;
}  // namespace aviolog::platform

namespace aviolog::planning {

class FlightFormModel;
class FuelPage;

inline constexpr const char* kFsPathIncorrect = "FS Path incorrect";
inline constexpr const char* kPlnFilter = "Flight Plan Files (*.pln)|*.pln||";
inline constexpr const char* kFsaFilter = "FSBuild Import Flight Plan Files (*.fsa)|*.fsa||";
inline constexpr const char* kNoServinfoFile =
    "Didn't found Servinfo.tmp Check: Servinfo path in Options, Servinfo is running ";
inline constexpr const char* kNoSquawkBox =
    "SquawkBox is not installed: its folder is not in the registry. No flight plan was exported";
inline constexpr const char* kSquawkBoxWriteFailed = "Can't write the SquawkBox flight plan ";

inline constexpr const char* kSquawkBoxKey = "SOFTWARE\\Level 27 Technologies\\SquawkBox\\3";
inline constexpr const char* kSquawkBoxValue = "SBDir";
inline constexpr const char* kSquawkBoxFile = "\\aviologexp.sfp";

struct ImportContext {
    FlightFormModel& form;
    FuelPage& fuel;  // takes the requested total of a .fsa
    config::Settings& settings;
    platform::Pilot& pilot;
    platform::Registry& registry;
    std::filesystem::path workDir;
};

class FlightPlanImport {
  public:
    explicit FlightPlanImport(ImportContext context) : c_(std::move(context)) {}

    // The buttons, with the file choosers they open.
    void fsFlightPlanButton();
    void aviologButton();
    void servinfoButton();
    void exportSb3Button();

    // The same without the choosers, for a file already chosen.
    void importPln(const std::filesystem::path& file);
    void importFsa(const std::filesystem::path& file);

    // Where the export writes: nothing when SquawkBox's folder is not in the registry.
    std::optional<std::filesystem::path> squawkBoxTarget() const;

  private:
    ImportContext c_;
};

}  // namespace aviolog::planning

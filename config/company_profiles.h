#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aviolog::platform {
class Pilot;
}

namespace aviolog::config {

struct Settings;
class SettingsDialogs;

inline constexpr const char* kPrivateFlightIcao = "user";
inline constexpr std::size_t kMaxCompanies = 20;
inline constexpr const char* kNoCompanyIcaoMessage =
    "There is no Company ICAO, this options will affect private flights";

// ".\" + ICAO + ".ini"
std::string profilePathFor(std::string_view companyIcao);

// The company ICAO and the pilot number name files (the profile, the pilot log file, the
// e-mail attachment), and VAs hand profiles out: a value that could name a file outside
// the folder is refused. True when the text holds no path separator, no drive colon, no
// ".." and no control character.
bool staysInFolder(std::string_view namePart);
// The pilot's message for a refused value: what (kCompanyIcaoWhat, kPilotNumberWhat), then
// the value as far as it can be shown.
std::string refusedNameMessage(const char* what, std::string_view value);
// The same, said as the pilot types the value: it is not taken and another one is asked for.
std::string refusedTypedNameMessage(const char* what, std::string_view value);
inline constexpr const char* kCompanyIcaoWhat = "company ICAO";
inline constexpr const char* kPilotNumberWhat = "pilot number";
// The message for the first of the two that is refused; nothing when both may name files.
std::optional<std::string> refusedFileName(std::string_view companyIcao,
                                           std::string_view pilotNumber);

struct CompanyEntry {
    std::string icao;
    std::string text;  // ICAO + " - " + name, or the ICAO alone
};

// The profiles of the working directory in listing order, at most 20. Windows lists a
// directory in name order without regard to case, so the list is sorted that way.
std::vector<CompanyEntry> listCompanies(const std::filesystem::path& workDir);

// The logic of the "Choose Company" dialog. Every choice sets the record's CompanyICAO;
// closing the dialog without one leaves it as it is.
class CompanyChooser {
  public:
    CompanyChooser(Settings& settings, std::filesystem::path workDir, platform::Pilot& pilot,
                   SettingsDialogs& dialogs);

    const std::vector<CompanyEntry>& entries() const { return entries_; }
    // -1 while the list is empty.
    int selected() const { return selected_; }
    void select(int index);

    // True once a choice has been made; the dialog then closes.
    bool chosen() const { return chosen_; }

    // "Choose Selected Company": false, and the dialog stays open, when nothing is selected
    // or the profile's ICAO would name a file outside the folder (the pilot is told).
    bool chooseSelected();
    // "Private Flight"
    void privateFlight();
    // "New Company": the options dialog on its company page, then the new profile.
    void newCompany();

  private:
    void refill();

    Settings& settings_;
    std::filesystem::path workDir_;
    platform::Pilot& pilot_;
    SettingsDialogs& dialogs_;
    std::vector<CompanyEntry> entries_;
    int selected_ = -1;
    bool chosen_ = false;
};

// Moves the PIREP destinations that older versions kept under "SiteLog" + ICAO keys to
// [Log] Log, Mail and URL of the profile. False when the profile could not be rewritten.
bool convertProfile(const std::filesystem::path& profile, std::string_view companyIcao);

}  // namespace aviolog::config

#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "config/settings.h"

namespace aviolog::platform {
class Pilot;
}

namespace aviolog::config {

class IniDocument;
class SettingsDialogs;

inline constexpr const char* kSettingsFile = ".\\aviolog.ini";
inline constexpr const char* kTemplateFile = ".\\aviolog.ori";

inline constexpr const char* kNoSettingsMessage =
    "No aviolog.ini File. A new one will be created. Check config menu";
inline constexpr const char* kNoTemplateMessage =
    "No aviolog.ori File. Failed to create aviolog.ini, Contact support";
inline constexpr const char* kCorruptedSettingsMessage =
    "Corrupted aviolog.ini, a new one will be created";
inline constexpr const char* kNoTemplateOnRepairMessage =
    "No aviolog.ori File. Failed to create aviolog.ini";
// The template is there but the settings file cannot be made from it; %s is the folder.
inline constexpr const char* kSettingsNotWritableMessage =
    "Aviolog could not write aviolog.ini in %s: is the folder read-only, or the disk full? "
    "Start Aviolog from a folder you can write to, with aviolog.ori beside it, or make this "
    "folder writable.";

struct SettingsContext {
    std::filesystem::path workDir;  // the program's ".\"
    platform::Pilot& pilot;
    SettingsDialogs& dialogs;
};

enum class LoadOutcome {
    Loaded,
    // The settings file could not be made: there is no template, or the folder cannot be
    // written. The main window then opens without settings, timers or views.
    NoSettings,
    FolderNotWritable,
};

// What the window shows instead of its views when the settings could not be made.
std::string noSettingsExplanation(LoadOutcome outcome, const std::filesystem::path& workDir);

// Start-up: makes "aviolog.ini" from the template when needed, lets the pilot choose the
// company, converts its profile, reads both files into the record, opens the options
// dialog when the profile asks for it, and selects the METAR source.
LoadOutcome loadSettings(Settings& settings, const SettingsContext& context);

// Exit: writes the record back to the profile and to "aviolog.ini", each file in one
// atomic replacement. False when either could not be written.
bool saveSettings(const Settings& settings, const std::filesystem::path& workDir);
// Where saveSettings writes the profile: the file of the company ICAO the settings hold,
// which is the profile in use unless the ICAO was changed in the options.
std::string profilePathToSave(const Settings& settings);

// A METAR source chosen while the program runs: the source and its base URL from the
// [Metar] keys of "aviolog.ini"; an unknown provider leaves METARs unavailable.
void selectMetarSource(Settings& settings, const std::filesystem::path& workDir);

// The keys a new company profile is created with.
void writeNewProfile(const Settings& settings, IniDocument& profile);

// Asks the VA for the first uplink message number; the live ACARS link implements it.
class UplinkReset {
  public:
    virtual ~UplinkReset() = default;
    virtual void resetUplinkNumber(std::string_view url) = 0;
};

// The last start-up step, once the main window's views exist.
void finishStartup(const Settings& settings, UplinkReset& uplink);

// The gauge-address dialog's confirmation: the address, dotted decimal, becomes Machine in
// the record and in "aviolog.ini".
bool storeGaugeAddress(Settings& settings, const std::filesystem::path& workDir,
                       const std::array<std::uint8_t, 4>& address);

}  // namespace aviolog::config

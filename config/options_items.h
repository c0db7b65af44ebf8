#pragma once

// The items of the "Aviolog Options" dialog as data: every category, label, kind, key,
// list and help text, and how each item reads and writes the settings record; the member,
// type and length of each key come from its row of the key table. The window only renders
// this table; the translations of a change live here, tested headless.

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "config/settings.h"
#include "config/settings_dialogs.h"
#include "config/settings_keys.h"

namespace aviolog::config {

inline constexpr const char* kOptionsTitle = "Aviolog Options";

enum class OptionKind { Edit, EditList, Checkbox, SliderEdit, Button };

// Where the key is stored: "aviolog.ini", the company profile, or nowhere.
enum class OptionFile { Program, Profile, Memory };

// What a button item opens.
enum class OptionChooser { None, Folder, ServinfoFolder, SoundFile, GaugeAddress, SaveFile };

struct OptionItem {
    const char* label;
    OptionKind kind;
    OptionFile file;
    const char* section;  // nullptr for an item held in memory only
    const char* key;
    const char* help;                      // "" when the item has none
    const SettingsKey* setting = nullptr;  // the key's row; nullptr in memory only
    // Translations the member's own value does not give; without them the member's type
    // decides (see get and set).
    std::string (*shown)(const Settings&) = nullptr;
    void (*changed)(Settings&, std::string_view) = nullptr;
    std::span<const char* const> choices = {};  // editlist
    int minValue = 0;                           // slideredit
    int maxValue = 0;
    OptionChooser chooser = OptionChooser::None;
    const char* chooserText = "";  // folder chooser title, or file filter
    const char* defaultExtension = "";
    std::size_t maxChars = 0;  // edit: the longest text the next start reads back; 0: any

    // The value as the dialog shows it: a text as it is, a flag as "1" or "0", a number in
    // decimal, and a listed number or unit as its choice.
    std::string get(const Settings& settings) const;
    // The change the pilot made: a list text becomes the place of its choice, a slider text
    // its leading digits within the limits.
    void set(Settings& settings, std::string_view text) const;
};

struct OptionCategory {
    OptionsPage page;
    const char* name;
    const char* help;
    std::span<const OptionItem> items;
};

// Both pages, categories in the dialog's order.
std::span<const OptionCategory> optionCategories();

// Changes an item as the pilot did in the dialog. "Metar source" selects the METAR
// source again from the [Metar] keys of the program's settings file in workDir. A company
// ICAO that would name files outside the folder is refused at once: the record keeps its
// value, and the message for the pilot is returned.
std::optional<std::string> setOption(Settings& settings, const OptionItem& item,
                                     std::string_view text, const std::filesystem::path& workDir);

// The value a folder chooser's answer stores: the folder with a separator, and for
// "Servinfo Path" the data file inside it.
std::string folderOptionValue(const OptionItem& item, std::string_view folder);

}  // namespace aviolog::config

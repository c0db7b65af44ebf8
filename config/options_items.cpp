#include "config/options_items.h"

#include <algorithm>
#include <array>
#include <variant>

#include "common/decimal_value.h"
#include "common/text_format.h"
#include "config/company_profiles.h"
#include "config/settings_file.h"

namespace aviolog::config {
namespace {

using Kind = OptionKind;
using File = OptionFile;

// An item bound to its key's row, found while compiling: an item whose key is not in the
// table does not build. The member's type then decides how the item shows and stores it.
consteval OptionItem item(const char* label, Kind kind, File file, const char* section,
                          const char* key, const char* help) {
    if (file == File::Memory) throw "an item held in memory has no key of the files";
    const SettingsKey* setting =
        findKey(file == File::Program ? std::span<const SettingsKey>(kProgramKeys)
                                      : std::span<const SettingsKey>(kProfileKeys),
                section, key);
    OptionItem i{label, kind, file, section, key, help, setting};
    // What the next start reads back of the key, so longer text is not accepted.
    if (kind == Kind::Edit) i.maxChars = setting->maxChars;
    return i;
}
consteval OptionItem edit(const char* label, File file, const char* section, const char* key,
                          const char* help = "") {
    return item(label, Kind::Edit, file, section, key, help);
}
consteval OptionItem check(const char* label, File file, const char* section, const char* key,
                           const char* help = "") {
    return item(label, Kind::Checkbox, file, section, key, help);
}
consteval OptionItem list(const char* label, File file, const char* section, const char* key,
                          const char* help, std::span<const char* const> choices) {
    OptionItem i = item(label, Kind::EditList, file, section, key, help);
    i.choices = choices;
    return i;
}
consteval OptionItem slider(const char* label, File file, const char* section, const char* key,
                            int minValue, int maxValue, const char* help = "") {
    OptionItem i = item(label, Kind::SliderEdit, file, section, key, help);
    i.minValue = minValue;
    i.maxValue = maxValue;
    return i;
}
consteval OptionItem chooser(const char* label, File file, const char* section, const char* key,
                             const char* help, OptionChooser kind, const char* text = "",
                             const char* extension = "") {
    OptionItem i = item(label, Kind::Button, file, section, key, help);
    i.chooser = kind;
    i.chooserText = text;
    i.defaultExtension = extension;
    return i;
}

// The mailer reads back at most this much of each of its keys.
constexpr std::size_t kMaxMailChars = 49;

constexpr const char* kCustomLabelHelp = "The label of the button has been changed to \"Custom\".";

// ---- Company page ----

constexpr std::array<const char*, 2> kCallsignChoices{"Flight", "Pilot"};
// In the order of WeightUnit: a unit shows as its choice, and any other text is kilograms.
constexpr std::array<const char*, 2> kUnitChoices{"Kilograms", "Pounds"};

void setCallsignUses(Settings& s, std::string_view v) {
    s.company.CallsignUses = v == "Flight" ? "Flight" : "Pilot";
}

consteval OptionItem callsignUses() {
    OptionItem i = list("Number used in Callsign", File::Profile, kAviolog, "CallsignUses", "",
                        kCallsignChoices);
    i.changed = &setCallsignUses;
    return i;
}

const std::array kCompanyOptions{
    edit("Company ICAO", File::Profile, kAviolog, "CompanyICAO"),
    edit("Company IATA", File::Profile, kAviolog, "CompanyIATA"),
    callsignUses(),
    edit("Company Complete name", File::Profile, kAviolog, "CompanyName"),
    edit("Company Site", File::Profile, kAviolog, "CompanySite"),
    list("Units", File::Profile, kAviolog, "UnitSystem",
         "The used units during all the Aviolog operation.", kUnitChoices),
    check("Use cargo plane", File::Profile, kEvents, "UseCargo", "Use cargo plane."),
    edit("Remarks", File::Profile, kAviolog, "Remarks", "Add remarks for FP."),
    check("Local Time", File::Profile, kAviolog, "UseLocal", "Use Local Time as log base."),
    edit("Alternate Acars Site", File::Profile, kAviolog, "AcarsSite"),
    edit("Plane status Site", File::Profile, kAviolog, "StatusSite"),
    edit("Get FP from VA Site", File::Profile, kAviolog, "FPSite"),
};

consteval OptionItem event(const char* label, const char* key, const char* help) {
    return check(label, File::Profile, kEvents, key, help);
}

const std::array kEventOptions{
    event("Flaps", "FlapsEvent",
          "Log Flaps position and Indicated speed for each position. Position in 1\\2059 "
          "formats."),
    event("Touchdown", "ToutchDownEvent", "Log Touchdown analysis, speed and rate of descend."),
    event("T/O LD Position", "TOLDPosEvent", "Log Take off and Landing geographical position"),
    event("TOC TOD", "TOCTODEvent",
          "Logs Top of Climb and Top of Descend; This will include Fuel weight"),
    event("Com1 Freq", "ComFreqEvent", "Log Com1 frequency"),
    event("Gear", "GearEvent", "Log Gear up and down time and indicated speed."),
    event("Flight Length", "FlightLengthEvent", "Log flight length"),
    event("Vr/V2", "VrV2Event", "Log Rotate speed and V2 speed"),
    event("Flight Position", "FlightPosEvent", "Airplane position during flight"),
    event("T/O N1", "N1Event", "Take off N1 for both motors"),
    event("Duration", "DurationEvent", "Flight duration T/O Land and Block to Block"),
    event("Fuel", "FuelEvent", "Spent fuel and Fuel on board"),
    event("Weight", "WeightEvent", "Airplane weight Block and T/O"),
    event("Metars", "MetarsEvent", "Departing and arrival metars"),
    event("Dist. To Land", "DistLandEvent", "Distance between TOD and Touchdown"),
    event("Landing analysis", "LandingEvent",
          "Log the landing: rate and G at each contact, bounces, the last 50 ft, and write the "
          "landing page."),
};

// Minutes between the pilot's resets; two hours is longer than any sensible check.
constexpr int kMaxResetMinutes = 120;

const std::array kRealismOptions{
    check("No Slew and time accel", File::Profile, kRealism, "NoSlew",
          "Don't allow Slew and time Accel during Flight"),
    check("No pause", File::Profile, kRealism, "NoPause", "Don't allow Pause during Flight"),
    check("Force Crash Detect", File::Profile, kRealism, "Crash",
          "Force Crash detect during Flight"),
    check("PIC in Cockpit", File::Profile, kRealism, "PIC", "Detect PIC in cockpit"),
    slider("Minimum Reset Time", File::Profile, kRealism, "MinReset", 0, kMaxResetMinutes),
    slider("Maximum reset Time", File::Profile, kRealism, "MaxReset", 0, kMaxResetMinutes),
    chooser("Warning sound", File::Profile, kRealism, "Wave", kCustomLabelHelp,
            OptionChooser::SoundFile, "Sound Files (*.wav)|*.wav||", "wav"),
};

const std::array kPirepOptions{
    edit("PHP/ASP script", File::Profile, kLog, "Log"),
    edit("E-Mail", File::Profile, kLog, "Mail"),
    edit("Web Page", File::Profile, kLog, "URL"),
};

consteval OptionItem sendLog(const char* label, const char* key, const char* help) {
    return check(label, File::Profile, kSendLog, key, help);
}

const std::array kSendLogOptions{
    sendLog("Pilot Number", "PilotNumber", ""),
    sendLog("Password", "Password", "Send Password"),
    sendLog("Date", "Date", "Send Flight Date"),
    sendLog("Hour", "Hour", "Send Flight Hour"),
    sendLog("Callsign", "Callsign", "Send Flight Callsign"),
    sendLog("IATAN", "IATAN", "Send Flight number"),
    sendLog("Regist", "Regist", "Send plane registration"),
    sendLog("Depart", "Depart", "Send depart airport"),
    sendLog("Arrival", "Arrival", "Send arrival airport"),
    sendLog("Alternate Airport", "Alternate", "Send alternate airport"),
    sendLog("PlaneType", "PlaneType", "Send Plane type"),
    sendLog("SpentFuel", "SpentFuel", "Send Flight spent fuel"),
    sendLog("IniFuel", "IniFuel", "Send Flight initial Fuel"),
    sendLog("EndFuel", "EndFuel", "Send Flight End Fuel"),
    sendLog("Duration", "Dur", "Send Flight Duration"),
    sendLog("Length", "Len", "Send Flight Length"),
    sendLog("T/D", "TD", "Send T/D analisys"),
    sendLog("ZFW", "ZFW", "AirPlane ZFW"),
    sendLog("Complete Log", "Log", "Send Complete Log"),
    sendLog("Version", "Version", "Send Aviolog version"),
};

// ---- Program page ----

constexpr std::array<const char*, 5> kProviderChoices{"No Metars", "VATSIM", "IVAO", "NOAA",
                                                      "AS2004"};
// A change selects the METAR source again.
constexpr const SettingsKey* kProviderKey = findKey(kProgramKeys, kAviolog, "Provider");
constexpr const SettingsKey* kCompanyIcaoKey = findKey(kProfileKeys, kAviolog, "CompanyICAO");

const std::array kGeneralOptions{
    list("Metar source", File::Program, kAviolog, "Provider", "The Metar source provider.",
         kProviderChoices),
    check("Fuel fill prevent", File::Program, kAviolog, "FuelTest",
          "Prevent the accidental fuel tank fill."),
    chooser("Servinfo Path", File::Program, kAviolog, "Servinfo", kCustomLabelHelp,
            OptionChooser::ServinfoFolder, "Servinfo Directory"),
    check("Use Gauge", File::Program, kAviolog, "UseGauge", "Use Aviolog Gauge."),
    check("Use Local DataBase", File::Program, kAviolog, "UseDB", "Use Local DataBase."),
    chooser("FS Flight Plan Path", File::Program, kAviolog, "FSFPPath",
            "The Flight Simulator Flight Plan Path, usually under FS directory in FS2002 and "
            "under My documents in FS2004.",
            OptionChooser::Folder, "FS Flight Plan Directory"),
    chooser("Log Path", File::Program, kLog, "LogPath",
            "The Log directory will be used for log and acars file save.", OptionChooser::Folder,
            "Log Directory"),
    check("Disable Start Warning", File::Program, kAviolog, "StartWarning",
          "Disable the Startup warning."),
    check("Automated start", File::Program, kAviolog, "AutomatedStart",
          "Starts Log with Parking Brake Release."),
    check("Automated stop", File::Program, kAviolog, "AutomatedStop",
          "Stops Log with Parking Brake After landing."),
    check("Minimizes to Systray", File::Program, kAviolog, "MinimizeSystray",
          "Minimizes Aviolog to systray."),
};

// In the order of the method numbers.
constexpr std::array<const char*, 4> kAuthenticationChoices{"None", "CRAM MD5", "AUTH LOGIN",
                                                            "LOGIN PLAIN"};

consteval OptionItem mail(const char* label, const char* key) {
    OptionItem i = edit(label, File::Program, kMailSettings, key);
    // The mail dialog reads the account back with shorter limits than the start-up does.
    i.maxChars = kMaxMailChars;
    return i;
}

std::string getMachine(const Settings& s) {
    return gaugeAddressShown(s);
}

consteval OptionItem gaugeAddress() {
    OptionItem i = chooser("Gauge IP", File::Program, kAviolog, "Machine",
                           "The Machine IP where the gauge is installed, if the FS machine and "
                           "Aviolog machine are the same this should be 127.0.0.1",
                           OptionChooser::GaugeAddress);
    i.shown = &getMachine;
    return i;
}

const std::array kMailOptions{
    mail("Sender Name", "Name"),
    mail("Sender  E-Mail", "Address"),
    list("Authentication", File::Program, kMailSettings, "Authenticate",
         "How the Authentication is going to be on the server", kAuthenticationChoices),
    mail("User Name", "Username"),
    mail("Password", "Password"),
    mail("Mail server", "Host"),
    gaugeAddress(),
    check("ACARS online", File::Program, kAviolog, "AcarsEvent", "Acars message sent to site"),
};

consteval OptionItem dump(const char* label, const char* key, const char* help) {
    return check(label, File::Program, kFlightInfo, key, help);
}

const std::array kDumpOptions{
    dump("Altitude", "LogAltitude", "Dump plane Altitude to disk."),
    dump("ground speed", "LogGroundSpeed", "Dump plane ground speed to disk."),
    dump("Indicated speed", "LogIndicatedSpeed", "Dump plane indicated speed to disk."),
    dump("Total speed", "LogTotalSpeed", "Dump plane total speed to disk."),
    dump("Winds speed/Heading", "LogWinds", "Dump plane winds speed/Heading to disk."),
    dump("Heading", "LogHeading", "Dump plane heading to disk."),
    dump("Weight", "LogPlaneWeight", "Dump plane weight to disk."),
    dump("Fuel On Board", "LogFuelOnBoard", "Dump Fuel On Board to disk."),
    dump("Fuel flow", "LogFuelFlow", "Dump Fuel flow to disk."),
    dump("Endurance", "LogEndurance", "Dump Endurance to disk."),
    dump("Flight Time", "LogFlightTime", "Dump Flight Time to disk."),
    dump("Flight length", "LogFlightLength", "Dump Flight length to disk."),
    slider("Seconds between updates", File::Program, kFlightInfo, "LogUpdate", 1, 100,
           "The limits have been set to [1 .. 100]."),
    chooser("Log File", File::Program, kFlightInfo, "LogPath", "", OptionChooser::SaveFile,
            "Flight Info Files (*.csv)|*.csv||", "csv"),
};

std::string getPauseNm(const Settings& s) {
    return format("%d", s.pauseBeforeDestinationNm);
}
// Farther than this the pause would come before most descents have begun.
constexpr int kMaxPauseNm = 500;
void setPauseNm(Settings& s, std::string_view v) {
    s.pauseBeforeDestinationNm = std::clamp(decimalValue(v), 0, kMaxPauseNm);
}

const std::array kExtraOptions{
    OptionItem{"NM before Destination Aiport",
               Kind::SliderEdit,
               File::Memory,
               nullptr,
               "pauseBeforeDestinationNm",
               "FS will pause when the distance to destination Airport is smaller.",
               nullptr,
               &getPauseNm,
               &setPauseNm,
               {},
               0,
               kMaxPauseNm},
};

const std::array kVaSystemOptions{
    edit("VA system", File::Profile, kAviolog, "VaSystem",
         "How flights reach the VA: Scripts (its web scripts) or phpVMS7 (the ACARS API of its "
         "phpVMS 7 site)."),
    edit("phpVMS site", File::Profile, kPhpVms, "Url",
         "The VA's phpVMS 7 address, e.g. https://va.example.org"),
    edit("phpVMS API key", File::Profile, kPhpVms, "ApiKey",
         "Your API key, from your profile page on the VA's phpVMS site."),
    edit("phpVMS airline ICAO", File::Profile, kPhpVms, "AirlineIcao",
         "The airline to file under when the site has several; empty: your own airline."),
    edit("SimBrief user", File::Profile, kAviolog, "SimbriefUser",
         "Your SimBrief user name: \"SimBrief\" brings in your latest flight plan."),
};

const std::array kCategories{
    OptionCategory{OptionsPage::Company, "Company Options",
                   "These options define the Aviolog behaviour per CCompany/profile.",
                   kCompanyOptions},
    OptionCategory{OptionsPage::Company, "Logged event's ", "", kEventOptions},
    OptionCategory{OptionsPage::Company, "Realism", "", kRealismOptions},
    OptionCategory{OptionsPage::Company, "Send PIREP", "", kPirepOptions},
    OptionCategory{OptionsPage::Company, "Send log options", "", kSendLogOptions},
    OptionCategory{OptionsPage::Company, "VA system",
                   "Where the flights go: the VA's web scripts or its phpVMS 7 site.",
                   kVaSystemOptions},
    OptionCategory{OptionsPage::Program, "General Aviolog options",
                   "These options define the Aviolog Program options.", kGeneralOptions},
    OptionCategory{OptionsPage::Program, "Mail configuration",
                   "These options \tare necessary if Aviolog is going to be used to send flight "
                   "logs by mail.",
                   kMailOptions},
    OptionCategory{OptionsPage::Program, "Flight Information Dump",
                   "These options define the Aviolog flight information dump to disk.",
                   kDumpOptions},
    OptionCategory{OptionsPage::Program, "Extra facilities",
                   "Extra facilities not directly related to Aviolog operation.", kExtraOptions},
};

// The dialog's text for a member, by its type.
struct Shown {
    const OptionItem& item;

    std::string operator()(const std::string* text) const { return *text; }
    std::string operator()(const bool* flag) const { return *flag ? "1" : "0"; }
    std::string operator()(const std::int16_t* number) const { return numberText(*number); }
    std::string operator()(const std::int32_t* number) const { return numberText(*number); }
    std::string operator()(const WeightUnit* unit) const {
        return numberText(static_cast<int>(*unit));
    }

    // A listed number shows its choice, the first for a number without one.
    std::string numberText(int number) const {
        if (item.kind != Kind::EditList) return format("%d", number);
        if (number < 0 || number >= static_cast<int>(item.choices.size())) number = 0;
        return item.choices[static_cast<std::size_t>(number)];
    }
};

// The member's value for the dialog's text, by its type.
struct Changed {
    const OptionItem& item;
    std::string_view text;

    void operator()(std::string* member) const { *member = std::string(text); }
    void operator()(bool* member) const { *member = text == "1"; }
    void operator()(std::int16_t* member) const { *member = static_cast<std::int16_t>(number()); }
    void operator()(std::int32_t* member) const { *member = number(); }
    void operator()(WeightUnit* member) const { *member = static_cast<WeightUnit>(number()); }

    // A listed number is the place of its choice, 0 for any other text. A typed one is its
    // leading digits, kept inside the limits so that a long number cannot wrap into a
    // negative one.
    int number() const {
        if (item.kind == Kind::EditList) {
            const auto it = std::find(item.choices.begin(), item.choices.end(), text);
            return it == item.choices.end() ? 0 : static_cast<int>(it - item.choices.begin());
        }
        return std::clamp(decimalValue(text), item.minValue, item.maxValue);
    }
};

}  // namespace

std::string OptionItem::get(const Settings& settings) const {
    if (shown != nullptr) return shown(settings);
    return std::visit(Shown{*this}, valueOf(*setting, settings));
}

void OptionItem::set(Settings& settings, std::string_view text) const {
    if (changed != nullptr) {
        changed(settings, text);
        return;
    }
    std::visit(Changed{*this, text}, setting->member(settings));
}

std::span<const OptionCategory> optionCategories() {
    return kCategories;
}

std::optional<std::string> setOption(Settings& settings, const OptionItem& item,
                                     std::string_view text, const std::filesystem::path& workDir) {
    if (item.setting == kCompanyIcaoKey && !staysInFolder(text)) {
        return refusedTypedNameMessage(kCompanyIcaoWhat, text);
    }
    item.set(settings, text);
    if (item.setting == kProviderKey) selectMetarSource(settings, workDir);
    return std::nullopt;
}

std::string folderOptionValue(const OptionItem& item, std::string_view folder) {
    std::string path(folder);
    if (path.empty() || (path.back() != '/' && path.back() != '\\')) path += '/';
    if (item.chooser == OptionChooser::ServinfoFolder)
        return format("%sservinfo.tmp", path.c_str());
    return path;
}

}  // namespace aviolog::config

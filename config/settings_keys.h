#pragma once

// Every key of "aviolog.ini" and of a company profile, once: its section and name, the member
// of the settings record it fills, what a read takes of its text, and when it is written.
// Loading, saving, the new-profile writer and the options dialog walk these rows. The
// member's type says how the key reads and writes, and the member's initial value is the
// default a missing key leaves in place.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "config/settings.h"

namespace aviolog::config {

inline constexpr const char* kAviolog = "Aviolog";
inline constexpr const char* kLog = "Log";
inline constexpr const char* kMailSettings = "MailSettings";
inline constexpr const char* kFlightInfo = "FlightInfo";
inline constexpr const char* kMetar = "Metar";
inline constexpr const char* kEvents = "Events";
inline constexpr const char* kRealism = "Realism";
inline constexpr const char* kSendLog = "SendLog";
inline constexpr const char* kPhpVms = "phpVMS";

// The member a key fills: text, a flag (0 or 1 in the file), a number, or the weight unit
// (kilograms when the text contains "IS", written as "IS" or "GB").
using SettingsMember = std::variant<std::string*, bool*, std::int16_t*, std::int32_t*, WeightUnit*>;

// When a key is written, each kind including the one before it.
enum class Written {
    Never,           // only the template or a hand edit sets it
    AtExit,          // by the save when the main window has closed
    AlsoNewProfile,  // and into the profile a new company is created with
};

struct SettingsKey {
    const char* section;
    const char* name;
    std::size_t maxChars;  // what a read takes of a text; a write stores the text whole
    Written written;
    SettingsMember (*member)(Settings&);
};

// The member of the record, to read only.
inline SettingsMember valueOf(const SettingsKey& key, const Settings& settings) {
    return key.member(const_cast<Settings&>(settings));
}

// What a path may hold on the system the settings files come from.
inline constexpr std::size_t kMaxPathChars = 259;

// Rows are in the order the keys are written: a key the file lacks goes after the last key
// of its section, a section the file lacks at its end. Reads do not depend on the order.
inline constexpr SettingsKey kProgramKeys[] = {
    {kAviolog, "Servinfo", 999, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.aviolog.Servinfo; }},
    {kAviolog, "UseGauge", 0, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.aviolog.UseGauge; }},
    {kAviolog, "UseDB", 0, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.aviolog.UseDB; }},
    {kAviolog, "FSFPPath", 999, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.aviolog.FSFPPath; }},
    {kAviolog, "Provider", 99, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.aviolog.Provider; }},
    {kAviolog, "Machine", 999, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.aviolog.Machine; }},
    {kAviolog, "AcarsEvent", 0, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.aviolog.AcarsEvent; }},
    {kAviolog, "StartWarning", 0, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.aviolog.StartWarning; }},
    {kAviolog, "AutomatedStart", 0, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.aviolog.AutomatedStart; }},
    {kAviolog, "MinimizeSystray", 0, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.aviolog.MinimizeSystray; }},
    {kAviolog, "AutomatedStop", 0, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.aviolog.AutomatedStop; }},
    {kAviolog, "FuelTest", 0, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.aviolog.FuelTest; }},
    {kAviolog, "SimbriefSite", 199, Written::Never,
     [](Settings& s) -> SettingsMember { return &s.aviolog.SimbriefSite; }},

    {kLog, "LogPath", 999, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.log.LogPath; }},
    {kLog, "AcarsReal", 99, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.log.AcarsReal; }},
    {kLog, "AcarsSite", 99, Written::Never,
     [](Settings& s) -> SettingsMember { return &s.log.AcarsSite; }},
    {kLog, "UplinkReset", 99, Written::Never,
     [](Settings& s) -> SettingsMember { return &s.log.UplinkReset; }},
    {kLog, "Uplink", 99, Written::Never,
     [](Settings& s) -> SettingsMember { return &s.log.Uplink; }},

    // The part read at start-up; the mail dialog reads and writes the whole section itself.
    {kMailSettings, "Name", 999, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.mail.Name; }},
    {kMailSettings, "Address", 999, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.mail.Address; }},
    {kMailSettings, "Authenticate", 0, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.mail.Authenticate; }},
    {kMailSettings, "Username", 999, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.mail.Username; }},
    {kMailSettings, "Password", 999, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.mail.Password; }},
    {kMailSettings, "Host", 999, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.mail.Host; }},

    {kFlightInfo, "LogAltitude", 0, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.flightInfo.LogAltitude; }},
    {kFlightInfo, "LogGroundSpeed", 0, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.flightInfo.LogGroundSpeed; }},
    {kFlightInfo, "LogIndicatedSpeed", 0, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.flightInfo.LogIndicatedSpeed; }},
    {kFlightInfo, "LogTotalSpeed", 0, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.flightInfo.LogTotalSpeed; }},
    {kFlightInfo, "LogWinds", 0, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.flightInfo.LogWinds; }},
    {kFlightInfo, "LogHeading", 0, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.flightInfo.LogHeading; }},
    {kFlightInfo, "LogPlaneWeight", 0, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.flightInfo.LogPlaneWeight; }},
    {kFlightInfo, "LogFuelOnBoard", 0, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.flightInfo.LogFuelOnBoard; }},
    {kFlightInfo, "LogFuelFlow", 0, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.flightInfo.LogFuelFlow; }},
    {kFlightInfo, "LogEndurance", 0, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.flightInfo.LogEndurance; }},
    {kFlightInfo, "LogFlightTime", 0, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.flightInfo.LogFlightTime; }},
    {kFlightInfo, "LogFlightLength", 0, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.flightInfo.LogFlightLength; }},
    {kFlightInfo, "LogUpdate", 0, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.flightInfo.LogUpdate; }},
    {kFlightInfo, "LogPath", 99, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.flightInfo.LogPath; }},
};

inline constexpr SettingsKey kProfileKeys[] = {
    {kAviolog, "CompanyICAO", 9, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.company.CompanyICAO; }},
    {kAviolog, "CompanyName", 99, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.company.CompanyName; }},
    {kAviolog, "CompanySite", 99, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.company.CompanySite; }},
    {kAviolog, "UnitSystem", 999, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.company.UnitSystem; }},
    {kAviolog, "Remarks", 99, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.company.Remarks; }},
    {kAviolog, "UseLocal", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.company.UseLocal; }},
    {kAviolog, "PilotNumber", 9, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.company.PilotNumber; }},
    {kAviolog, "CompanyIATA", 9, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.company.CompanyIATA; }},
    {kAviolog, "CallsignUses", 9, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.company.CallsignUses; }},
    {kAviolog, "AcarsSite", 99, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.company.AcarsSite; }},
    {kAviolog, "StatusSite", 199, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.company.StatusSite; }},
    {kAviolog, "FPSite", 199, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.company.FPSite; }},
    {kAviolog, "VaSystem", 9, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.company.VaSystem; }},
    {kAviolog, "SimbriefUser", 99, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.company.SimbriefUser; }},

    {kEvents, "UseCargo", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.events.UseCargo; }},
    {kEvents, "FlapsEvent", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.events.FlapsEvent; }},
    {kEvents, "ToutchDownEvent", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.events.ToutchDownEvent; }},
    {kEvents, "TOLDPosEvent", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.events.TOLDPosEvent; }},
    {kEvents, "TOCTODEvent", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.events.TOCTODEvent; }},
    {kEvents, "ComFreqEvent", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.events.ComFreqEvent; }},
    {kEvents, "GearEvent", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.events.GearEvent; }},
    {kEvents, "FlightLengthEvent", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.events.FlightLengthEvent; }},
    {kEvents, "VrV2Event", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.events.VrV2Event; }},
    {kEvents, "PIREPEvent", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.events.PIREPEvent; }},
    {kEvents, "FlightPosEvent", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.events.FlightPosEvent; }},
    {kEvents, "N1Event", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.events.N1Event; }},
    {kEvents, "DurationEvent", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.events.DurationEvent; }},
    {kEvents, "FuelEvent", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.events.FuelEvent; }},
    {kEvents, "WeightEvent", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.events.WeightEvent; }},
    {kEvents, "MetarsEvent", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.events.MetarsEvent; }},
    {kEvents, "DistLandEvent", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.events.DistLandEvent; }},
    {kEvents, "LandingEvent", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.events.LandingEvent; }},

    {kRealism, "NoSlew", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.realism.NoSlew; }},
    {kRealism, "NoPause", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.realism.NoPause; }},
    {kRealism, "Crash", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.realism.Crash; }},
    {kRealism, "PIC", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.realism.PIC; }},
    {kRealism, "MinReset", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.realism.MinReset; }},
    {kRealism, "MaxReset", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.realism.MaxReset; }},
    // The options dialog fills it from a file chooser, with the whole path: read back as a
    // file name of nine characters the sound would be lost at the next start.
    {kRealism, "Wave", kMaxPathChars, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.realism.Wave; }},

    {kLog, "Log", 199, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.pirep.Log; }},
    {kLog, "Mail", 199, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.pirep.Mail; }},
    {kLog, "URL", 199, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.pirep.URL; }},
    {kLog, "passwd", 99, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.pirep.passwd; }},

    {kSendLog, "Password", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.sendLog.Password; }},
    {kSendLog, "PilotNumber", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.sendLog.PilotNumber; }},
    {kSendLog, "Date", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.sendLog.Date; }},
    {kSendLog, "Hour", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.sendLog.Hour; }},
    {kSendLog, "Callsign", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.sendLog.Callsign; }},
    {kSendLog, "IATAN", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.sendLog.IATAN; }},
    {kSendLog, "Regist", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.sendLog.Regist; }},
    {kSendLog, "Depart", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.sendLog.Depart; }},
    {kSendLog, "Arrival", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.sendLog.Arrival; }},
    {kSendLog, "Alternate", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.sendLog.Alternate; }},
    {kSendLog, "PlaneType", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.sendLog.PlaneType; }},
    {kSendLog, "SpentFuel", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.sendLog.SpentFuel; }},
    {kSendLog, "IniFuel", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.sendLog.IniFuel; }},
    {kSendLog, "EndFuel", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.sendLog.EndFuel; }},
    {kSendLog, "Dur", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.sendLog.Dur; }},
    {kSendLog, "Len", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.sendLog.Len; }},
    {kSendLog, "TD", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.sendLog.TD; }},
    {kSendLog, "ZFW", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.sendLog.ZFW; }},
    {kSendLog, "Log", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.sendLog.Log; }},
    {kSendLog, "Version", 0, Written::AlsoNewProfile,
     [](Settings& s) -> SettingsMember { return &s.sendLog.Version; }},

    {kPhpVms, "Url", 199, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.phpVms.Url; }},
    {kPhpVms, "ApiKey", 199, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.phpVms.ApiKey; }},
    {kPhpVms, "AirlineIcao", 9, Written::AtExit,
     [](Settings& s) -> SettingsMember { return &s.phpVms.AirlineIcao; }},
};

// The row of a key, looked up while compiling: a key that is not in the table does not build.
consteval const SettingsKey* findKey(std::span<const SettingsKey> keys, std::string_view section,
                                     std::string_view name) {
    for (const SettingsKey& key : keys) {
        if (section == key.section && name == key.name) return &key;
    }
    throw "not a key of the settings files";
}

}  // namespace aviolog::config

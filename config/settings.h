#pragma once

#include <cstdint>
#include <string>

#include "common/units.h"

namespace aviolog::config {

// Members carry the names of their INI keys; the struct a member sits in names its section
// and file. Initial values are the defaults a missing key yields. Flags are written back as
// 0 or 1.

// "aviolog.ini" [Aviolog]
struct AviologSection {
    std::string Provider;  // METAR source; see MetarSource
    std::string Servinfo;  // full path of Servinfo's data file
    bool UseGauge = false;
    bool UseDB = true;
    std::string FSFPPath;  // the simulator's flight-plan directory, ending in a separator
    std::string Machine = "127.0.0.1";  // address of the machine the gauge runs on
    bool AcarsEvent = false;            // "ACARS online"
    bool StartWarning = false;          // "Disable Start Warning"
    bool AutomatedStart = false;
    bool AutomatedStop = false;
    bool MinimizeSystray = true;
    bool FuelTest = true;  // "Fuel fill prevent"
    // Where SimBrief's latest flight plans are fetched; empty: SimBrief's own fetcher. Set by
    // hand (a test's stand-in, a proxy), never written back.
    std::string SimbriefSite;

    bool operator==(const AviologSection&) const = default;
};

// "aviolog.ini" [Log]
struct LogSection {
    std::string LogPath = ".\\";  // flight log and ACARS files; ends with a separator
    std::string AcarsSite;        // the VA's ACARS message script
    std::string Uplink;           // polled for uplink messages
    std::string UplinkReset;      // asked once at start for the first uplink number
    std::string AcarsReal;        // the real-time ACARS page

    bool operator==(const LogSection&) const = default;
};

// "aviolog.ini" [MailSettings], the part read at start-up; the mail dialog owns the rest.
struct MailSection {
    std::string Name;
    std::string Address;
    std::int32_t Authenticate = 0;  // 0 none, 1 CRAM-MD5, 2 AUTH LOGIN, 3 LOGIN PLAIN
    std::string Username;
    std::string Password;
    std::string Host;

    bool operator==(const MailSection&) const = default;
};

// "aviolog.ini" [FlightInfo]: the columns of the flight information dump.
struct FlightInfoSection {
    bool LogAltitude = true;
    bool LogGroundSpeed = true;
    bool LogIndicatedSpeed = true;
    bool LogTotalSpeed = true;
    bool LogWinds = true;
    bool LogHeading = true;
    bool LogPlaneWeight = true;
    bool LogFuelOnBoard = true;
    bool LogFuelFlow = true;
    bool LogEndurance = true;
    bool LogFlightTime = true;
    bool LogFlightLength = true;
    std::int16_t LogUpdate = 5;  // seconds between dump lines
    std::string LogPath = ".\\flightlog.csv";

    bool operator==(const FlightInfoSection&) const = default;
};

// Profile [Aviolog]
struct CompanySection {
    std::string CompanyICAO;
    std::string CompanyName;
    std::string CompanySite;
    std::string CompanyIATA;
    std::string PilotNumber;
    std::string CallsignUses;  // "Flight" or "Pilot"
    // Stored as text: kilograms when it contains "IS", pounds otherwise; saved as "IS"/"GB".
    WeightUnit UnitSystem = WeightUnit::Pounds;
    std::string Remarks;
    bool UseLocal = false;  // local time as the log's time base
    std::string AcarsSite;  // "Alternate Acars Site"
    std::string StatusSite;
    std::string FPSite;
    // How the company's VA takes flights: its web scripts ("Scripts") or the ACARS API of
    // a phpVMS 7 site ("phpVMS7").
    std::string VaSystem = "Scripts";
    // The pilot's SimBrief user name, whose latest flight plan "SimBrief" brings in.
    std::string SimbriefUser;

    bool operator==(const CompanySection&) const = default;
};

inline constexpr const char* kVaSystemScripts = "Scripts";
inline constexpr const char* kVaSystemPhpVms7 = "phpVMS7";

// Profile [phpVMS]: the VA's phpVMS 7 site and the pilot's key to it.
struct PhpVmsSection {
    std::string Url;  // the site's base address, e.g. https://va.example.org
    // The pilot's API key: a password, never written to a log, journal, dump or message.
    std::string ApiKey;
    std::string AirlineIcao;  // optional: the airline when the site has several

    bool operator==(const PhpVmsSection&) const = default;
};

// True when the profile sends its flights to a phpVMS 7 site.
inline bool usesPhpVms(const CompanySection& company) {
    return company.VaSystem == kVaSystemPhpVms7;
}

// Profile [Events]: which flight-log events are logged.
struct EventsSection {
    bool UseCargo = true;
    bool FlapsEvent = true;
    bool ToutchDownEvent = true;
    bool TOLDPosEvent = true;
    bool TOCTODEvent = true;
    bool ComFreqEvent = true;
    bool GearEvent = true;
    bool FlightLengthEvent = true;
    bool VrV2Event = true;
    bool PIREPEvent = true;
    bool FlightPosEvent = true;
    bool N1Event = true;
    bool DurationEvent = true;
    bool FuelEvent = true;
    bool WeightEvent = true;
    bool MetarsEvent = true;
    bool DistLandEvent = true;
    bool LandingEvent = true;

    bool operator==(const EventsSection&) const = default;
};

// Profile [Realism]
struct RealismSection {
    bool NoSlew = false;
    bool NoPause = false;
    bool Crash = false;
    bool PIC = false;
    std::int16_t MinReset = 0;
    std::int16_t MaxReset = 0;
    std::string Wave;  // the warning sound's .wav file

    bool operator==(const RealismSection&) const = default;
};

// Profile [Log]: where PIREPs go.
struct PirepSection {
    std::string Log;   // the VA's PIREP script
    std::string Mail;  // the address that receives PIREPs by e-mail
    std::string URL;   // the VA's PIREP web page
    std::string passwd;

    bool operator==(const PirepSection&) const = default;
};

// Profile [SendLog]: the items a PIREP carries.
struct SendLogSection {
    bool Password = false;
    bool PilotNumber = true;
    bool Date = true;
    bool Hour = true;
    bool Callsign = true;
    bool IATAN = false;
    bool Regist = true;
    bool Depart = true;
    bool Arrival = true;
    bool Alternate = false;
    bool PlaneType = true;
    bool SpentFuel = true;
    bool IniFuel = false;
    bool EndFuel = false;
    bool Dur = true;
    bool Len = true;
    bool TD = false;
    bool ZFW = false;
    bool Log = true;
    bool Version = true;

    bool operator==(const SendLogSection&) const = default;
};

enum class MetarSource { VATSIM = 0, IVAO = 1, NOAA = 2, AS2004 = 3, None = 4 };

// The name a METAR line of the flight log carries: "VATSIM", "IVAO", "NOAA" or "AS2004".
constexpr const char* metarSourceName(MetarSource source) {
    constexpr const char* kNames[] = {"VATSIM", "IVAO", "NOAA", "AS2004", ""};
    return kNames[static_cast<int>(source)];
}

// Every option of the program, filled at start-up and written back at exit.
struct Settings {
    AviologSection aviolog;
    LogSection log;
    MailSection mail;
    FlightInfoSection flightInfo;

    CompanySection company;
    EventsSection events;
    RealismSection realism;
    PirepSection pirep;
    SendLogSection sendLog;
    PhpVmsSection phpVms;

    // Chosen from Provider at start-up; the base URL is the [Metar] key of that service.
    MetarSource metarSource = MetarSource::None;
    std::string metarBaseUrl;

    // ".\" + company ICAO + ".ini", as stored paths are written.
    std::string profilePath;

    // "NM before Destination Aiport": held in memory only, off at every start.
    int pauseBeforeDestinationNm = 0;

    bool operator==(const Settings&) const = default;
};

// Used when [Log] AcarsReal is empty; stored there at exit. A VA sets its own page.
inline constexpr const char* kDefaultAcarsReal = "http://localhost/AVIOLOG_GRT.php";

// What the gauge-address field shows for the stored Machine value.
std::string gaugeAddressShown(const Settings& settings);

}  // namespace aviolog::config

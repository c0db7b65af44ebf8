#include "config/settings_file.h"

#include <string>

#include "common/paths.h"
#include "common/text_file.h"
#include "common/text_format.h"
#include "config/company_profiles.h"
#include "config/ini_file.h"
#include "config/settings_dialogs.h"
#include "platform/pilot.h"

namespace aviolog::config {
namespace {

constexpr const char* kAviolog = "Aviolog";
constexpr const char* kLog = "Log";
constexpr const char* kMailSettings = "MailSettings";
constexpr const char* kFlightInfo = "FlightInfo";
constexpr const char* kMetar = "Metar";
constexpr const char* kEvents = "Events";
constexpr const char* kRealism = "Realism";
constexpr const char* kSendLog = "SendLog";

// A missing key leaves the member as it is: a fresh record holds the defaults, and values
// the pilot entered for a new company before choosing it are not lost to the first read.
struct Reader {
    const IniDocument& file;

    void text(const char* section, const char* key, std::string& member,
              std::size_t maxChars) const {
        member = file.getString(section, key, member, maxChars);
    }
    void flag(const char* section, const char* key, bool& member) const {
        member = file.getInt(section, key, member ? 1 : 0) != 0;
    }
    void number(const char* section, const char* key, std::int32_t& member) const {
        member = file.getInt(section, key, member);
    }
    void number(const char* section, const char* key, std::int16_t& member) const {
        member = static_cast<std::int16_t>(file.getInt(section, key, member));
    }
};

struct Writer {
    IniDocument& file;

    // The maximum length applies to reads; a write stores the value whole.
    void text(const char* section, const char* key, const std::string& value,
              std::size_t /*maxChars*/ = 0) const {
        file.setString(section, key, value);
    }
    void flag(const char* section, const char* key, bool value) const {
        file.setInt(section, key, value ? 1 : 0);
    }
    void number(const char* section, const char* key, std::int64_t value) const {
        file.setInt(section, key, value);
    }
};

// Each group visits its keys in the order the files are read and written; `use` is a
// Reader or a Writer.
template <typename Use, typename Events>
void eventFlags(const Use& use, Events& e) {
    use.flag(kEvents, "FlapsEvent", e.FlapsEvent);
    use.flag(kEvents, "ToutchDownEvent", e.ToutchDownEvent);
    use.flag(kEvents, "TOLDPosEvent", e.TOLDPosEvent);
    use.flag(kEvents, "TOCTODEvent", e.TOCTODEvent);
    use.flag(kEvents, "ComFreqEvent", e.ComFreqEvent);
    use.flag(kEvents, "GearEvent", e.GearEvent);
    use.flag(kEvents, "FlightLengthEvent", e.FlightLengthEvent);
    use.flag(kEvents, "VrV2Event", e.VrV2Event);
    use.flag(kEvents, "PIREPEvent", e.PIREPEvent);
    use.flag(kEvents, "FlightPosEvent", e.FlightPosEvent);
    use.flag(kEvents, "N1Event", e.N1Event);
    use.flag(kEvents, "DurationEvent", e.DurationEvent);
    use.flag(kEvents, "FuelEvent", e.FuelEvent);
    use.flag(kEvents, "WeightEvent", e.WeightEvent);
    use.flag(kEvents, "MetarsEvent", e.MetarsEvent);
    use.flag(kEvents, "DistLandEvent", e.DistLandEvent);
}

template <typename Use, typename SendLog>
void sendLogFlags(const Use& use, SendLog& f) {
    use.flag(kSendLog, "Password", f.Password);
    use.flag(kSendLog, "PilotNumber", f.PilotNumber);
    use.flag(kSendLog, "Date", f.Date);
    use.flag(kSendLog, "Hour", f.Hour);
    use.flag(kSendLog, "Callsign", f.Callsign);
    use.flag(kSendLog, "IATAN", f.IATAN);
    use.flag(kSendLog, "Regist", f.Regist);
    use.flag(kSendLog, "Depart", f.Depart);
    use.flag(kSendLog, "Arrival", f.Arrival);
    use.flag(kSendLog, "Alternate", f.Alternate);
    use.flag(kSendLog, "PlaneType", f.PlaneType);
    use.flag(kSendLog, "SpentFuel", f.SpentFuel);
    use.flag(kSendLog, "IniFuel", f.IniFuel);
    use.flag(kSendLog, "EndFuel", f.EndFuel);
    use.flag(kSendLog, "Dur", f.Dur);
    use.flag(kSendLog, "Len", f.Len);
    use.flag(kSendLog, "TD", f.TD);
    use.flag(kSendLog, "ZFW", f.ZFW);
    use.flag(kSendLog, "Log", f.Log);
    use.flag(kSendLog, "Version", f.Version);
}

// What a path may hold on the system the settings files come from.
constexpr std::size_t kMaxPathChars = 259;

template <typename Use, typename Realism>
void realismKeys(const Use& use, Realism& r) {
    use.flag(kRealism, "NoSlew", r.NoSlew);
    use.flag(kRealism, "NoPause", r.NoPause);
    use.flag(kRealism, "Crash", r.Crash);
    use.flag(kRealism, "PIC", r.PIC);
    use.number(kRealism, "MinReset", r.MinReset);
    use.number(kRealism, "MaxReset", r.MaxReset);
    // The options dialog fills it from a file chooser, with the whole path: read back
    // as a file name of nine characters the sound would be lost at the next start.
    use.text(kRealism, "Wave", r.Wave, kMaxPathChars);
}

template <typename Use, typename FlightInfo>
void flightInfoFlags(const Use& use, FlightInfo& f) {
    use.flag(kFlightInfo, "LogAltitude", f.LogAltitude);
    use.flag(kFlightInfo, "LogGroundSpeed", f.LogGroundSpeed);
    use.flag(kFlightInfo, "LogIndicatedSpeed", f.LogIndicatedSpeed);
    use.flag(kFlightInfo, "LogTotalSpeed", f.LogTotalSpeed);
    use.flag(kFlightInfo, "LogWinds", f.LogWinds);
    use.flag(kFlightInfo, "LogHeading", f.LogHeading);
    use.flag(kFlightInfo, "LogPlaneWeight", f.LogPlaneWeight);
    use.flag(kFlightInfo, "LogFuelOnBoard", f.LogFuelOnBoard);
    use.flag(kFlightInfo, "LogFuelFlow", f.LogFuelFlow);
    use.flag(kFlightInfo, "LogEndurance", f.LogEndurance);
    use.flag(kFlightInfo, "LogFlightTime", f.LogFlightTime);
    use.flag(kFlightInfo, "LogFlightLength", f.LogFlightLength);
}

std::string unitText(WeightUnit unit) {
    return unit == WeightUnit::Kilograms ? "IS" : "GB";
}

void readProfile(const IniDocument& file, Settings& s) {
    const Reader read{file};
    CompanySection& c = s.company;
    read.text(kAviolog, "CompanyICAO", c.CompanyICAO, 9);
    read.text(kAviolog, "CompanyName", c.CompanyName, 99);
    read.text(kAviolog, "CompanySite", c.CompanySite, 99);
    std::string unit = c.UnitSystem == WeightUnit::Kilograms ? "IS" : "";
    read.text(kAviolog, "UnitSystem", unit, 999);
    c.UnitSystem = weightUnitFrom(unit);
    read.flag(kEvents, "UseCargo", s.events.UseCargo);
    read.text(kAviolog, "Remarks", c.Remarks, 99);
    read.text(kLog, "passwd", s.pirep.passwd, 99);
    read.flag(kAviolog, "UseLocal", c.UseLocal);
    eventFlags(read, s.events);
    read.text(kAviolog, "PilotNumber", c.PilotNumber, 9);
    read.text(kAviolog, "CompanyIATA", c.CompanyIATA, 9);
    read.text(kAviolog, "CallsignUses", c.CallsignUses, 9);
    realismKeys(read, s.realism);
    read.text(kLog, "Log", s.pirep.Log, 199);
    read.text(kLog, "Mail", s.pirep.Mail, 199);
    read.text(kLog, "URL", s.pirep.URL, 199);
    read.text(kAviolog, "AcarsSite", c.AcarsSite, 99);
    read.text(kAviolog, "StatusSite", c.StatusSite, 199);
    read.text(kAviolog, "FPSite", c.FPSite, 199);
    sendLogFlags(read, s.sendLog);
}

void readProgram(const IniDocument& file, Settings& s) {
    const Reader read{file};
    AviologSection& a = s.aviolog;
    read.text(kAviolog, "Provider", a.Provider, 99);
    read.text(kAviolog, "Servinfo", a.Servinfo, 999);
    read.flag(kAviolog, "UseGauge", a.UseGauge);
    read.flag(kAviolog, "UseDB", a.UseDB);
    read.text(kAviolog, "FSFPPath", a.FSFPPath, 999);
    read.text(kLog, "LogPath", s.log.LogPath, 999);
    MailSection& m = s.mail;
    read.text(kMailSettings, "Name", m.Name, 999);
    read.text(kMailSettings, "Address", m.Address, 999);
    read.number(kMailSettings, "Authenticate", m.Authenticate);
    read.text(kMailSettings, "Username", m.Username, 999);
    read.text(kMailSettings, "Password", m.Password, 999);
    read.text(kMailSettings, "Host", m.Host, 999);
    read.text(kAviolog, "Machine", a.Machine, 999);
    read.flag(kAviolog, "AcarsEvent", a.AcarsEvent);
    read.flag(kAviolog, "StartWarning", a.StartWarning);
    read.flag(kAviolog, "AutomatedStart", a.AutomatedStart);
    read.flag(kAviolog, "AutomatedStop", a.AutomatedStop);
    read.flag(kAviolog, "MinimizeSystray", a.MinimizeSystray);
    flightInfoFlags(read, s.flightInfo);
    read.number(kFlightInfo, "LogUpdate", s.flightInfo.LogUpdate);
    read.text(kFlightInfo, "LogPath", s.flightInfo.LogPath, 99);
    read.text(kLog, "AcarsSite", s.log.AcarsSite, 99);
    read.text(kLog, "UplinkReset", s.log.UplinkReset, 99);
    read.text(kLog, "Uplink", s.log.Uplink, 99);
    read.text(kLog, "AcarsReal", s.log.AcarsReal, 99);
    if (s.log.AcarsReal.empty()) s.log.AcarsReal = kDefaultAcarsReal;
    read.flag(kAviolog, "FuelTest", a.FuelTest);
}

void writeProfile(const Settings& s, IniDocument& file) {
    const Writer write{file};
    const CompanySection& c = s.company;
    write.text(kAviolog, "CompanyICAO", c.CompanyICAO);
    write.text(kAviolog, "CompanyName", c.CompanyName);
    write.text(kAviolog, "CompanySite", c.CompanySite);
    write.text(kAviolog, "UnitSystem", unitText(c.UnitSystem));
    write.flag(kEvents, "UseCargo", s.events.UseCargo);
    write.text(kAviolog, "Remarks", c.Remarks);
    write.flag(kAviolog, "UseLocal", c.UseLocal);
    write.flag(kEvents, "UseCargo", s.events.UseCargo);
    eventFlags(write, s.events);
    realismKeys(write, s.realism);
    write.text(kLog, "Log", s.pirep.Log);
    write.text(kLog, "Mail", s.pirep.Mail);
    write.text(kLog, "URL", s.pirep.URL);
    write.text(kAviolog, "PilotNumber", c.PilotNumber);
    write.text(kAviolog, "CompanyIATA", c.CompanyIATA);
    write.text(kAviolog, "CallsignUses", c.CallsignUses);
    sendLogFlags(write, s.sendLog);
    write.text(kAviolog, "AcarsSite", c.AcarsSite);
    write.text(kLog, "passwd", s.pirep.passwd);
    write.text(kAviolog, "StatusSite", c.StatusSite);
    write.text(kAviolog, "FPSite", c.FPSite);
}

void writeProgram(const Settings& s, IniDocument& file) {
    const Writer write{file};
    const AviologSection& a = s.aviolog;
    write.text(kAviolog, "Servinfo", a.Servinfo);
    write.flag(kAviolog, "UseGauge", a.UseGauge);
    write.flag(kAviolog, "UseDB", a.UseDB);
    write.text(kAviolog, "FSFPPath", a.FSFPPath);
    write.text(kLog, "LogPath", s.log.LogPath);
    const MailSection& m = s.mail;
    write.text(kMailSettings, "Name", m.Name);
    write.text(kMailSettings, "Address", m.Address);
    write.number(kMailSettings, "Authenticate", m.Authenticate);
    write.text(kMailSettings, "Username", m.Username);
    write.text(kMailSettings, "Password", m.Password);
    write.text(kMailSettings, "Host", m.Host);
    write.text(kAviolog, "Provider", a.Provider);
    write.text(kAviolog, "Machine", a.Machine);
    write.flag(kAviolog, "AcarsEvent", a.AcarsEvent);
    write.flag(kAviolog, "StartWarning", a.StartWarning);
    write.flag(kAviolog, "AutomatedStart", a.AutomatedStart);
    write.flag(kAviolog, "MinimizeSystray", a.MinimizeSystray);
    write.flag(kAviolog, "AutomatedStop", a.AutomatedStop);
    write.flag(kAviolog, "FuelTest", a.FuelTest);
    write.text(kLog, "AcarsReal", s.log.AcarsReal);
    flightInfoFlags(write, s.flightInfo);
    write.number(kFlightInfo, "LogUpdate", s.flightInfo.LogUpdate);
    write.text(kFlightInfo, "LogPath", s.flightInfo.LogPath);
}

// The [Metar] key of each network service bears the service's name. False for a provider
// the program does not know, which leaves METARs unavailable.
bool metarSourceFor(Settings& s, const IniDocument& program) {
    const std::string& provider = s.aviolog.Provider;
    s.metarBaseUrl.clear();
    s.metarSource = MetarSource::None;
    if (provider == "No Metars") return true;
    if (provider == "VATSIM" || provider == "IVAO" || provider == "NOAA") {
        s.metarSource = provider == "VATSIM" ? MetarSource::VATSIM
                        : provider == "IVAO" ? MetarSource::IVAO
                                             : MetarSource::NOAA;
        s.metarBaseUrl = program.getString(kMetar, provider, "", 199);
        return true;
    }
    if (provider == "AS2004") {
        s.metarSource = MetarSource::AS2004;
        return true;
    }
    return false;
}

bool templateReadable(const std::filesystem::path& workDir) {
    return readFileBytes(localPath(workDir, kTemplateFile)).has_value();
}

void selectMetarSource(Settings& s, const IniDocument& program, const SettingsContext& context) {
    if (metarSourceFor(s, program)) return;
    context.pilot.warn(kCorruptedSettingsMessage);
    const IniFile settingsFile(localPath(context.workDir, kSettingsFile));
    if (!copyTextFile(localPath(context.workDir, kTemplateFile), settingsFile.path())) {
        context.pilot.error(
            templateReadable(context.workDir)
                ? format(kSettingsNotWritableMessage, context.workDir.string().c_str())
                : std::string(kNoTemplateOnRepairMessage));
        return;
    }
    // Written back at exit, the damaged value would damage the new file again: the record
    // takes the template's, and so does this run's METAR source.
    const IniDocument recreated = settingsFile.load().value_or(IniDocument());
    s.aviolog.Provider = recreated.getString(kAviolog, "Provider", "", 99);
    metarSourceFor(s, recreated);
}

// The profile's own values name the pilot log file: one that would leave the folder gives
// way to the ICAO the profile was chosen by, or to no pilot number.
void refuseNamesLeavingTheFolder(Settings& s, const std::string& chosenIcao,
                                 platform::Pilot& pilot) {
    if (!staysInFolder(s.company.CompanyICAO)) {
        pilot.warn(refusedNameMessage(kCompanyIcaoWhat, s.company.CompanyICAO));
        s.company.CompanyICAO = chosenIcao;
    }
    if (!staysInFolder(s.company.PilotNumber)) {
        pilot.warn(refusedNameMessage(kPilotNumberWhat, s.company.PilotNumber));
        s.company.PilotNumber.clear();
    }
}

}  // namespace

std::string gaugeAddressShown(const Settings& settings) {
    return settings.aviolog.Machine.empty() ? "127.0.0.1" : settings.aviolog.Machine;
}

LoadOutcome loadSettings(Settings& s, const SettingsContext& context) {
    const IniFile program(localPath(context.workDir, kSettingsFile));
    IniDocument programText = program.load().value_or(IniDocument());
    if (programText.getString(kAviolog, "Provider", "", 99).empty()) {
        context.pilot.inform(kNoSettingsMessage);
        if (!copyTextFile(localPath(context.workDir, kTemplateFile), program.path())) {
            if (!templateReadable(context.workDir)) {
                context.pilot.error(kNoTemplateMessage);
                return LoadOutcome::NoSettings;
            }
            context.pilot.error(
                format(kSettingsNotWritableMessage, context.workDir.string().c_str()));
            return LoadOutcome::FolderNotWritable;
        }
        programText = program.load().value_or(IniDocument());
    }
    // Before the company is chosen: "New Company" opens the options, whose program page
    // shows these values and whose edits must not be overwritten by a later read.
    readProgram(programText, s);

    CompanyChooser chooser(s, context.workDir, context.pilot, context.dialogs);
    context.dialogs.chooseCompany(chooser);
    if (!staysInFolder(s.company.CompanyICAO)) {
        context.pilot.warn(refusedNameMessage(kCompanyIcaoWhat, s.company.CompanyICAO));
        s.company.CompanyICAO = kPrivateFlightIcao;
    }
    const std::string chosenIcao = s.company.CompanyICAO;
    s.profilePath = profilePathFor(chosenIcao);
    const IniFile profile(localPath(context.workDir, s.profilePath));
    convertProfile(profile.path(), chosenIcao);

    const IniDocument profileText = profile.load().value_or(IniDocument());
    readProfile(profileText, s);
    refuseNamesLeavingTheFolder(s, chosenIcao, context.pilot);

    if (profileText.getString(kAviolog, "Change", "", 99) == "yes") {
        context.dialogs.editOptions(s, OptionsPage::Company);
    }
    selectMetarSource(s, programText, context);
    return LoadOutcome::Loaded;
}

std::string noSettingsExplanation(LoadOutcome outcome, const std::filesystem::path& workDir) {
    if (outcome == LoadOutcome::FolderNotWritable) {
        return format(
            "No settings: Aviolog cannot record flights until it can write "
            "aviolog.ini in %s.",
            workDir.string().c_str());
    }
    return "No settings: Aviolog cannot record flights until aviolog.ori is beside it.";
}

std::string profilePathToSave(const Settings& s) {
    const std::string& icao = s.company.CompanyICAO;
    // A company ICAO changed in the options names a profile of its own: written back under
    // the old name, the company would be listed under the new ICAO and, chosen, find no file
    // of that name, every setting gone. The old profile stays as it was.
    if (icao.empty() || !staysInFolder(icao)) return s.profilePath;
    return profilePathFor(icao);
}

bool saveSettings(const Settings& s, const std::filesystem::path& workDir) {
    const IniFile profile(localPath(workDir, profilePathToSave(s)));
    // A new file starts as a copy of the profile in use, keeping what the record does
    // not hold.
    auto profileText =
        profile.exists() ? profile.load() : IniFile(localPath(workDir, s.profilePath)).load();
    bool saved = false;
    if (profileText) {
        writeProfile(s, *profileText);
        saved = profile.save(*profileText);
    }
    const IniFile program(localPath(workDir, kSettingsFile));
    auto programText = program.load();
    if (!programText) return false;
    writeProgram(s, *programText);
    return program.save(*programText) && saved;
}

void writeNewProfile(const Settings& s, IniDocument& file) {
    const Writer write{file};
    const CompanySection& c = s.company;
    write.text(kAviolog, "CompanyICAO", c.CompanyICAO);
    write.text(kAviolog, "CompanyName", c.CompanyName);
    write.text(kAviolog, "Remarks", c.Remarks);
    write.flag(kAviolog, "UseLocal", c.UseLocal);
    write.flag(kEvents, "UseCargo", s.events.UseCargo);
    eventFlags(write, s.events);
    realismKeys(write, s.realism);
    write.text(kLog, "Log", s.pirep.Log);
    write.text(kLog, "Mail", s.pirep.Mail);
    write.text(kLog, "URL", s.pirep.URL);
    write.text(kAviolog, "PilotNumber", c.PilotNumber);
    sendLogFlags(write, s.sendLog);
    write.text(kAviolog, "AcarsSite", c.AcarsSite);
    write.text(kLog, "passwd", s.pirep.passwd);
}

void selectMetarSource(Settings& settings, const std::filesystem::path& workDir) {
    metarSourceFor(settings,
                   IniFile(localPath(workDir, kSettingsFile)).load().value_or(IniDocument()));
}

void finishStartup(const Settings& settings, UplinkReset& uplink) {
    if (settings.aviolog.AcarsEvent) uplink.resetUplinkNumber(settings.log.UplinkReset);
}

bool storeGaugeAddress(Settings& settings, const std::filesystem::path& workDir,
                       const std::array<std::uint8_t, 4>& address) {
    settings.aviolog.Machine =
        format("%u.%u.%u.%u", address[0], address[1], address[2], address[3]);
    return IniFile(localPath(workDir, kSettingsFile))
        .setString(kAviolog, "Machine", settings.aviolog.Machine);
}

}  // namespace aviolog::config

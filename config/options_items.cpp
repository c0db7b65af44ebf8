#include "config/options_items.h"

#include <algorithm>
#include <array>

#include "common/decimal_value.h"
#include "common/text_format.h"
#include "config/company_profiles.h"
#include "config/settings_file.h"

namespace aviolog::config {
namespace {

using Kind = OptionKind;
using File = OptionFile;

// Readers and writers of one member of one section of the record.
template <auto Section, auto Field>
std::string getText(const Settings& s) {
    return (s.*Section).*Field;
}
template <auto Section, auto Field>
void setText(Settings& s, std::string_view v) {
    (s.*Section).*Field = std::string(v);
}
template <auto Section, auto Field>
std::string getFlag(const Settings& s) {
    return (s.*Section).*Field ? "1" : "0";
}
template <auto Section, auto Field>
void setFlag(Settings& s, std::string_view v) {
    (s.*Section).*Field = v == "1";
}
template <auto Section, auto Field>
std::string getNumber(const Settings& s) {
    return format("%d", static_cast<int>((s.*Section).*Field));
}
// The text's leading digits, kept inside what the member holds so that a long number
// cannot wrap into a negative one.
template <auto Section, auto Field, int Min, int Max>
void setNumber(Settings& s, std::string_view v) {
    using Member = std::remove_reference_t<decltype((s.*Section).*Field)>;
    (s.*Section).*Field = static_cast<Member>(std::clamp(decimalValue(v), Min, Max));
}

// maxChars: what the next start reads back of the key, so longer text is not accepted.
template <auto Section, auto Field>
constexpr OptionItem edit(const char* label, File file, const char* section, const char* key,
                          std::size_t maxChars, const char* help = "") {
    OptionItem item{label,
                    Kind::Edit,
                    file,
                    section,
                    key,
                    help,
                    &getText<Section, Field>,
                    &setText<Section, Field>};
    item.maxChars = maxChars;
    return item;
}
template <auto Section, auto Field>
constexpr OptionItem check(const char* label, File file, const char* section, const char* key,
                           const char* help = "") {
    return {label,
            Kind::Checkbox,
            file,
            section,
            key,
            help,
            &getFlag<Section, Field>,
            &setFlag<Section, Field>};
}
template <auto Section, auto Field, int Min, int Max>
constexpr OptionItem slider(const char* label, File file, const char* section, const char* key,
                            const char* help = "") {
    return {label,
            Kind::SliderEdit,
            file,
            section,
            key,
            help,
            &getNumber<Section, Field>,
            &setNumber<Section, Field, Min, Max>,
            {},
            Min,
            Max};
}
template <auto Section, auto Field>
constexpr OptionItem chooser(const char* label, File file, const char* section, const char* key,
                             const char* help, OptionChooser kind, const char* text,
                             const char* extension = "") {
    return {label,
            Kind::Button,
            file,
            section,
            key,
            help,
            &getText<Section, Field>,
            &setText<Section, Field>,
            {},
            0,
            0,
            kind,
            text,
            extension};
}

// The mailer reads back at most this much of each of its keys.
constexpr std::size_t kMaxMailChars = 49;

constexpr const char* kCustomLabelHelp = "The label of the button has been changed to \"Custom\".";

// ---- Company page ----

constexpr std::array<const char*, 2> kCallsignChoices{"Flight", "Pilot"};
constexpr std::array<const char*, 2> kUnitChoices{"Kilograms", "Pounds"};

std::string getUnits(const Settings& s) {
    return s.company.UnitSystem == WeightUnit::Kilograms ? "Kilograms" : "Pounds";
}
void setUnits(Settings& s, std::string_view v) {
    s.company.UnitSystem = v == "Pounds" ? WeightUnit::Pounds : WeightUnit::Kilograms;
}
void setCallsignUses(Settings& s, std::string_view v) {
    s.company.CallsignUses = v == "Flight" ? "Flight" : "Pilot";
}

constexpr auto kCo = &Settings::company;
using Co = CompanySection;

const std::array kCompanyOptions{
    edit<kCo, &Co::CompanyICAO>("Company ICAO", File::Profile, "Aviolog", "CompanyICAO", 9),
    edit<kCo, &Co::CompanyIATA>("Company IATA", File::Profile, "Aviolog", "CompanyIATA", 9),
    OptionItem{"Number used in Callsign", Kind::EditList, File::Profile, "Aviolog", "CallsignUses",
               "", &getText<kCo, &Co::CallsignUses>, &setCallsignUses, kCallsignChoices},
    edit<kCo, &Co::CompanyName>("Company Complete name", File::Profile, "Aviolog", "CompanyName",
                                99),
    edit<kCo, &Co::CompanySite>("Company Site", File::Profile, "Aviolog", "CompanySite", 99),
    OptionItem{"Units", Kind::EditList, File::Profile, "Aviolog", "UnitSystem",
               "The used units during all the Aviolog operation.", &getUnits, &setUnits,
               kUnitChoices},
    check<&Settings::events, &EventsSection::UseCargo>("Use cargo plane", File::Profile, "Events",
                                                       "UseCargo", "Use cargo plane."),
    edit<kCo, &Co::Remarks>("Remarks", File::Profile, "Aviolog", "Remarks", 99,
                            "Add remarks for FP."),
    check<kCo, &Co::UseLocal>("Local Time", File::Profile, "Aviolog", "UseLocal",
                              "Use Local Time as log base."),
    edit<kCo, &Co::AcarsSite>("Alternate Acars Site", File::Profile, "Aviolog", "AcarsSite", 99),
    edit<kCo, &Co::StatusSite>("Plane status Site", File::Profile, "Aviolog", "StatusSite", 199),
    edit<kCo, &Co::FPSite>("Get FP from VA Site", File::Profile, "Aviolog", "FPSite", 199),
};

template <auto Field>
constexpr OptionItem event(const char* label, const char* key, const char* help) {
    return check<&Settings::events, Field>(label, File::Profile, "Events", key, help);
}
using Ev = EventsSection;

const std::array kEventOptions{
    event<&Ev::FlapsEvent>("Flaps", "FlapsEvent",
                           "Log Flaps position and Indicated speed for each position. Position "
                           "in 1\\2059 formats."),
    event<&Ev::ToutchDownEvent>("Touchdown", "ToutchDownEvent",
                                "Log Touchdown analysis, speed and rate of descend."),
    event<&Ev::TOLDPosEvent>("T/O LD Position", "TOLDPosEvent",
                             "Log Take off and Landing geographical position"),
    event<&Ev::TOCTODEvent>("TOC TOD", "TOCTODEvent",
                            "Logs Top of Climb and Top of Descend; This will include Fuel weight"),
    event<&Ev::ComFreqEvent>("Com1 Freq", "ComFreqEvent", "Log Com1 frequency"),
    event<&Ev::GearEvent>("Gear", "GearEvent", "Log Gear up and down time and indicated speed."),
    event<&Ev::FlightLengthEvent>("Flight Length", "FlightLengthEvent", "Log flight length"),
    event<&Ev::VrV2Event>("Vr/V2", "VrV2Event", "Log Rotate speed and V2 speed"),
    event<&Ev::FlightPosEvent>("Flight Position", "FlightPosEvent",
                               "Airplane position during flight"),
    event<&Ev::N1Event>("T/O N1", "N1Event", "Take off N1 for both motors"),
    event<&Ev::DurationEvent>("Duration", "DurationEvent",
                              "Flight duration T/O Land and Block to Block"),
    event<&Ev::FuelEvent>("Fuel", "FuelEvent", "Spent fuel and Fuel on board"),
    event<&Ev::WeightEvent>("Weight", "WeightEvent", "Airplane weight Block and T/O"),
    event<&Ev::MetarsEvent>("Metars", "MetarsEvent", "Departing and arrival metars"),
    event<&Ev::DistLandEvent>("Dist. To Land", "DistLandEvent",
                              "Distance between TOD and Touchdown"),
};

constexpr auto kRe = &Settings::realism;
using Re = RealismSection;
// Minutes between the pilot's resets; two hours is longer than any sensible check.
constexpr int kMaxResetMinutes = 120;

const std::array kRealismOptions{
    check<kRe, &Re::NoSlew>("No Slew and time accel", File::Profile, "Realism", "NoSlew",
                            "Don't allow Slew and time Accel during Flight"),
    check<kRe, &Re::NoPause>("No pause", File::Profile, "Realism", "NoPause",
                             "Don't allow Pause during Flight"),
    check<kRe, &Re::Crash>("Force Crash Detect", File::Profile, "Realism", "Crash",
                           "Force Crash detect during Flight"),
    check<kRe, &Re::PIC>("PIC in Cockpit", File::Profile, "Realism", "PIC",
                         "Detect PIC in cockpit"),
    slider<kRe, &Re::MinReset, 0, kMaxResetMinutes>("Minimum Reset Time", File::Profile, "Realism",
                                                    "MinReset"),
    slider<kRe, &Re::MaxReset, 0, kMaxResetMinutes>("Maximum reset Time", File::Profile, "Realism",
                                                    "MaxReset"),
    chooser<kRe, &Re::Wave>("Warning sound", File::Profile, "Realism", "Wave", kCustomLabelHelp,
                            OptionChooser::SoundFile, "Sound Files (*.wav)|*.wav||", "wav"),
};

constexpr auto kPi = &Settings::pirep;
const std::array kPirepOptions{
    edit<kPi, &PirepSection::Log>("PHP/ASP script", File::Profile, "Log", "Log", 199),
    edit<kPi, &PirepSection::Mail>("E-Mail", File::Profile, "Log", "Mail", 199),
    edit<kPi, &PirepSection::URL>("Web Page", File::Profile, "Log", "URL", 199),
};

template <auto Field>
constexpr OptionItem sendLog(const char* label, const char* key, const char* help) {
    return check<&Settings::sendLog, Field>(label, File::Profile, "SendLog", key, help);
}
using Sl = SendLogSection;

const std::array kSendLogOptions{
    sendLog<&Sl::PilotNumber>("Pilot Number", "PilotNumber", ""),
    sendLog<&Sl::Password>("Password", "Password", "Send Password"),
    sendLog<&Sl::Date>("Date", "Date", "Send Flight Date"),
    sendLog<&Sl::Hour>("Hour", "Hour", "Send Flight Hour"),
    sendLog<&Sl::Callsign>("Callsign", "Callsign", "Send Flight Callsign"),
    sendLog<&Sl::IATAN>("IATAN", "IATAN", "Send Flight number"),
    sendLog<&Sl::Regist>("Regist", "Regist", "Send plane registration"),
    sendLog<&Sl::Depart>("Depart", "Depart", "Send depart airport"),
    sendLog<&Sl::Arrival>("Arrival", "Arrival", "Send arrival airport"),
    sendLog<&Sl::Alternate>("Alternate Airport", "Alternate", "Send alternate airport"),
    sendLog<&Sl::PlaneType>("PlaneType", "PlaneType", "Send Plane type"),
    sendLog<&Sl::SpentFuel>("SpentFuel", "SpentFuel", "Send Flight spent fuel"),
    sendLog<&Sl::IniFuel>("IniFuel", "IniFuel", "Send Flight initial Fuel"),
    sendLog<&Sl::EndFuel>("EndFuel", "EndFuel", "Send Flight End Fuel"),
    sendLog<&Sl::Dur>("Duration", "Dur", "Send Flight Duration"),
    sendLog<&Sl::Len>("Length", "Len", "Send Flight Length"),
    sendLog<&Sl::TD>("T/D", "TD", "Send T/D analisys"),
    sendLog<&Sl::ZFW>("ZFW", "ZFW", "AirPlane ZFW"),
    sendLog<&Sl::Log>("Complete Log", "Log", "Send Complete Log"),
    sendLog<&Sl::Version>("Version", "Version", "Send Aviolog version"),
};

// ---- Program page ----

constexpr std::array<const char*, 5> kProviderChoices{"No Metars", "VATSIM", "IVAO", "NOAA",
                                                      "AS2004"};
constexpr auto kAv = &Settings::aviolog;
using Av = AviologSection;

const std::array kGeneralOptions{
    OptionItem{"Metar source", Kind::EditList, File::Program, "Aviolog", "Provider",
               "The Metar source provider.", &getText<kAv, &Av::Provider>,
               &setText<kAv, &Av::Provider>, kProviderChoices},
    check<kAv, &Av::FuelTest>("Fuel fill prevent", File::Program, "Aviolog", "FuelTest",
                              "Prevent the accidental fuel tank fill."),
    chooser<kAv, &Av::Servinfo>("Servinfo Path", File::Program, "Aviolog", "Servinfo",
                                kCustomLabelHelp, OptionChooser::ServinfoFolder,
                                "Servinfo Directory"),
    check<kAv, &Av::UseGauge>("Use Gauge", File::Program, "Aviolog", "UseGauge",
                              "Use Aviolog Gauge."),
    check<kAv, &Av::UseDB>("Use Local DataBase", File::Program, "Aviolog", "UseDB",
                           "Use Local DataBase."),
    chooser<kAv, &Av::FSFPPath>(
        "FS Flight Plan Path", File::Program, "Aviolog", "FSFPPath",
        "The Flight Simulator Flight Plan Path, usually under FS directory in FS2002 and under "
        "My documents in FS2004.",
        OptionChooser::Folder, "FS Flight Plan Directory"),
    chooser<&Settings::log, &LogSection::LogPath>(
        "Log Path", File::Program, "Log", "LogPath",
        "The Log directory will be used for log and acars file save.", OptionChooser::Folder,
        "Log Directory"),
    check<kAv, &Av::StartWarning>("Disable Start Warning", File::Program, "Aviolog", "StartWarning",
                                  "Disable the Startup warning."),
    check<kAv, &Av::AutomatedStart>("Automated start", File::Program, "Aviolog", "AutomatedStart",
                                    "Starts Log with Parking Brake Release."),
    check<kAv, &Av::AutomatedStop>("Automated stop", File::Program, "Aviolog", "AutomatedStop",
                                   "Stops Log with Parking Brake After landing."),
    check<kAv, &Av::MinimizeSystray>("Minimizes to Systray", File::Program, "Aviolog",
                                     "MinimizeSystray", "Minimizes Aviolog to systray."),
};

constexpr std::array<const char*, 4> kAuthenticationChoices{"None", "CRAM MD5", "AUTH LOGIN",
                                                            "LOGIN PLAIN"};
std::string getAuthentication(const Settings& s) {
    const int method = s.mail.Authenticate;
    if (method < 0 || method >= static_cast<int>(kAuthenticationChoices.size())) return "None";
    return kAuthenticationChoices[method];
}
void setAuthentication(Settings& s, std::string_view v) {
    const auto it = std::find(kAuthenticationChoices.begin(), kAuthenticationChoices.end(), v);
    s.mail.Authenticate = it == kAuthenticationChoices.end()
                              ? 0
                              : static_cast<int>(it - kAuthenticationChoices.begin());
}
std::string getMachine(const Settings& s) {
    return gaugeAddressShown(s);
}

constexpr auto kMa = &Settings::mail;
using Ma = MailSection;

const std::array kMailOptions{
    edit<kMa, &Ma::Name>("Sender Name", File::Program, "MailSettings", "Name", kMaxMailChars),
    edit<kMa, &Ma::Address>("Sender  E-Mail", File::Program, "MailSettings", "Address",
                            kMaxMailChars),
    OptionItem{"Authentication", Kind::EditList, File::Program, "MailSettings", "Authenticate",
               "How the Authentication is going to be on the server", &getAuthentication,
               &setAuthentication, kAuthenticationChoices},
    edit<kMa, &Ma::Username>("User Name", File::Program, "MailSettings", "Username", kMaxMailChars),
    edit<kMa, &Ma::Password>("Password", File::Program, "MailSettings", "Password", kMaxMailChars),
    edit<kMa, &Ma::Host>("Mail server", File::Program, "MailSettings", "Host", kMaxMailChars),
    OptionItem{"Gauge IP",
               Kind::Button,
               File::Program,
               "Aviolog",
               "Machine",
               "The Machine IP where the gauge is installed, if the FS machine and Aviolog "
               "machine are the same this should be 127.0.0.1",
               &getMachine,
               &setText<kAv, &Av::Machine>,
               {},
               0,
               0,
               OptionChooser::GaugeAddress},
    check<kAv, &Av::AcarsEvent>("ACARS online", File::Program, "Aviolog", "AcarsEvent",
                                "Acars message sent to site"),
};

template <auto Field>
constexpr OptionItem dump(const char* label, const char* key, const char* help) {
    return check<&Settings::flightInfo, Field>(label, File::Program, "FlightInfo", key, help);
}
using Fi = FlightInfoSection;

const std::array kDumpOptions{
    dump<&Fi::LogAltitude>("Altitude", "LogAltitude", "Dump plane Altitude to disk."),
    dump<&Fi::LogGroundSpeed>("ground speed", "LogGroundSpeed", "Dump plane ground speed to disk."),
    dump<&Fi::LogIndicatedSpeed>("Indicated speed", "LogIndicatedSpeed",
                                 "Dump plane indicated speed to disk."),
    dump<&Fi::LogTotalSpeed>("Total speed", "LogTotalSpeed", "Dump plane total speed to disk."),
    dump<&Fi::LogWinds>("Winds speed/Heading", "LogWinds",
                        "Dump plane winds speed/Heading to disk."),
    dump<&Fi::LogHeading>("Heading", "LogHeading", "Dump plane heading to disk."),
    dump<&Fi::LogPlaneWeight>("Weight", "LogPlaneWeight", "Dump plane weight to disk."),
    dump<&Fi::LogFuelOnBoard>("Fuel On Board", "LogFuelOnBoard", "Dump Fuel On Board to disk."),
    dump<&Fi::LogFuelFlow>("Fuel flow", "LogFuelFlow", "Dump Fuel flow to disk."),
    dump<&Fi::LogEndurance>("Endurance", "LogEndurance", "Dump Endurance to disk."),
    dump<&Fi::LogFlightTime>("Flight Time", "LogFlightTime", "Dump Flight Time to disk."),
    dump<&Fi::LogFlightLength>("Flight length", "LogFlightLength", "Dump Flight length to disk."),
    slider<&Settings::flightInfo, &Fi::LogUpdate, 1, 100>(
        "Seconds between updates", File::Program, "FlightInfo", "LogUpdate",
        "The limits have been set to [1 .. 100]."),
    chooser<&Settings::flightInfo, &Fi::LogPath>("Log File", File::Program, "FlightInfo", "LogPath",
                                                 "", OptionChooser::SaveFile,
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
               &getPauseNm,
               &setPauseNm,
               {},
               0,
               kMaxPauseNm},
};

const std::array kCategories{
    OptionCategory{OptionsPage::Company, "Company Options",
                   "These options define the Aviolog behaviour per CCompany/profile.",
                   kCompanyOptions},
    OptionCategory{OptionsPage::Company, "Logged event's ", "", kEventOptions},
    OptionCategory{OptionsPage::Company, "Realism", "", kRealismOptions},
    OptionCategory{OptionsPage::Company, "Send PIREP", "", kPirepOptions},
    OptionCategory{OptionsPage::Company, "Send log options", "", kSendLogOptions},
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

}  // namespace

std::span<const OptionCategory> optionCategories() {
    return kCategories;
}

std::optional<std::string> setOption(Settings& settings, const OptionItem& item,
                                     std::string_view text, const std::filesystem::path& workDir) {
    if (item.set == &setText<kCo, &Co::CompanyICAO> && !staysInFolder(text)) {
        return refusedTypedNameMessage(kCompanyIcaoWhat, text);
    }
    item.set(settings, text);
    if (item.set == &setText<kAv, &Av::Provider>) selectMetarSource(settings, workDir);
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

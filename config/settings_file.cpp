#include "config/settings_file.h"

#include <span>
#include <string>
#include <variant>

#include "common/paths.h"
#include "common/text_file.h"
#include "common/text_format.h"
#include "config/company_profiles.h"
#include "config/ini_file.h"
#include "config/settings_dialogs.h"
#include "config/settings_keys.h"
#include "platform/pilot.h"

namespace aviolog::config {
namespace {

// A missing key leaves the member as it is: a fresh record holds the defaults, and values
// the pilot entered for a new company before choosing it are not lost to the first read.
struct ReadKey {
    const IniDocument& file;
    const SettingsKey& key;

    void operator()(std::string* member) const {
        *member = file.getString(key.section, key.name, *member, key.maxChars);
    }
    void operator()(bool* member) const {
        *member = file.getInt(key.section, key.name, *member ? 1 : 0) != 0;
    }
    void operator()(std::int16_t* member) const {
        *member = static_cast<std::int16_t>(file.getInt(key.section, key.name, *member));
    }
    void operator()(std::int32_t* member) const {
        *member = file.getInt(key.section, key.name, *member);
    }
    void operator()(WeightUnit* member) const {
        const std::string fallback = *member == WeightUnit::Kilograms ? "IS" : "";
        *member = weightUnitFrom(file.getString(key.section, key.name, fallback, key.maxChars));
    }
};

struct WriteKey {
    IniDocument& file;
    const SettingsKey& key;

    void operator()(const std::string* value) const {
        file.setString(key.section, key.name, *value);
    }
    void operator()(const bool* value) const { file.setInt(key.section, key.name, *value ? 1 : 0); }
    void operator()(const std::int16_t* value) const { file.setInt(key.section, key.name, *value); }
    void operator()(const std::int32_t* value) const { file.setInt(key.section, key.name, *value); }
    void operator()(const WeightUnit* value) const {
        file.setString(key.section, key.name, *value == WeightUnit::Kilograms ? "IS" : "GB");
    }
};

void readKeys(const IniDocument& file, std::span<const SettingsKey> keys, Settings& s) {
    for (const SettingsKey& key : keys) std::visit(ReadKey{file, key}, key.member(s));
}

// A new profile gets the keys written also there, the save at exit those and the rest.
void writeKeys(const Settings& s, std::span<const SettingsKey> keys, Written when,
               IniDocument& file) {
    for (const SettingsKey& key : keys) {
        if (key.written >= when) std::visit(WriteKey{file, key}, valueOf(key, s));
    }
}

void readProgram(const IniDocument& file, Settings& s) {
    readKeys(file, kProgramKeys, s);
    if (s.log.AcarsReal.empty()) s.log.AcarsReal = kDefaultAcarsReal;
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
    readKeys(profileText, kProfileKeys, s);
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
        writeKeys(s, kProfileKeys, Written::AtExit, *profileText);
        saved = profile.save(*profileText);
    }
    const IniFile program(localPath(workDir, kSettingsFile));
    auto programText = program.load();
    if (!programText) return false;
    writeKeys(s, kProgramKeys, Written::AtExit, *programText);
    return program.save(*programText) && saved;
}

void writeNewProfile(const Settings& s, IniDocument& file) {
    writeKeys(s, kProfileKeys, Written::AlsoNewProfile, file);
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

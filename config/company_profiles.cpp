#include "config/company_profiles.h"

#include <algorithm>
#include <system_error>

#include "common/paths.h"
#include "common/text_case.h"
#include "config/ini_file.h"
#include "config/settings.h"
#include "config/settings_dialogs.h"
#include "config/settings_file.h"
#include "platform/pilot.h"

namespace aviolog::config {
namespace {

bool hasIniExtension(const std::string& name) {
    return name.size() > 4 &&
           equalsIgnoringCase(std::string_view(name).substr(name.size() - 4), ".ini");
}

bool lessIgnoringCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return foldCase(static_cast<unsigned char>(x)) < foldCase(static_cast<unsigned char>(y));
    });
}

}  // namespace

std::string profilePathFor(std::string_view companyIcao) {
    return ".\\" + std::string(companyIcao) + ".ini";
}

bool staysInFolder(std::string_view namePart) {
    if (namePart.find("..") != std::string_view::npos) return false;
    return std::none_of(namePart.begin(), namePart.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return c == '\\' || c == '/' || c == ':' || byte < 0x20 || byte == 0x7F;
    });
}

namespace {

std::string refusal(const char* what, std::string_view value, const char* advice) {
    std::string shown(value.substr(0, 99));
    for (char& c : shown) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) c = '?';
    }
    return std::string("The ") + what + " \"" + shown +
           "\" names files of the program and may not hold \\, /, :, .. or control characters. " +
           advice;
}

}  // namespace

std::string refusedNameMessage(const char* what, std::string_view value) {
    return refusal(what, value, "It is not used; check the company profile.");
}

std::string refusedTypedNameMessage(const char* what, std::string_view value) {
    return refusal(what, value, "It is not taken; please type another.");
}

std::optional<std::string> refusedFileName(std::string_view companyIcao,
                                           std::string_view pilotNumber) {
    if (!staysInFolder(companyIcao)) return refusedNameMessage(kCompanyIcaoWhat, companyIcao);
    if (!staysInFolder(pilotNumber)) return refusedNameMessage(kPilotNumberWhat, pilotNumber);
    return std::nullopt;
}

std::vector<CompanyEntry> listCompanies(const std::filesystem::path& workDir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(workDir, ec)) {
        std::string name = entry.path().filename().string();
        if (entry.is_regular_file(ec) && hasIniExtension(name)) names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end(), lessIgnoringCase);

    std::vector<CompanyEntry> companies;
    for (const std::string& name : names) {
        if (companies.size() == kMaxCompanies) break;
        if (name == "aviolog.ini") continue;
        const auto profile = IniFile(workDir / name).load();
        if (!profile) continue;
        std::string icao = profile->getString("Aviolog", "CompanyICAO", "", 99);
        if (icao.empty()) continue;
        const std::string companyName = profile->getString("Aviolog", "CompanyName", "", 99);
        std::string text = companyName.empty() ? icao : icao + " - " + companyName;
        companies.push_back({std::move(icao), std::move(text)});
    }
    return companies;
}

CompanyChooser::CompanyChooser(Settings& settings, std::filesystem::path workDir,
                               platform::Pilot& pilot, SettingsDialogs& dialogs)
    : settings_(settings), workDir_(std::move(workDir)), pilot_(pilot), dialogs_(dialogs) {
    refill();
}

void CompanyChooser::refill() {
    entries_ = listCompanies(workDir_);
    selected_ = entries_.empty() ? -1 : 0;
}

void CompanyChooser::select(int index) {
    if (index >= 0 && index < static_cast<int>(entries_.size())) selected_ = index;
}

bool CompanyChooser::chooseSelected() {
    if (selected_ < 0) return false;
    const std::string& icao = entries_[static_cast<std::size_t>(selected_)].icao;
    if (!staysInFolder(icao)) {
        pilot_.warn(refusedNameMessage(kCompanyIcaoWhat, icao));
        return false;
    }
    settings_.company.CompanyICAO = icao;
    chosen_ = true;
    return true;
}

void CompanyChooser::privateFlight() {
    settings_.company.CompanyICAO = kPrivateFlightIcao;
    chosen_ = true;
}

void CompanyChooser::newCompany() {
    SendLogSection& f = settings_.sendLog;
    f.PilotNumber = f.Date = f.Hour = f.Callsign = f.Regist = f.Depart = f.Arrival = true;
    f.PlaneType = f.SpentFuel = f.Dur = f.Len = f.Log = f.Version = true;
    f.IATAN = f.IniFuel = f.EndFuel = f.TD = f.ZFW = false;

    dialogs_.editOptions(settings_, OptionsPage::Company);

    if (!staysInFolder(settings_.company.CompanyICAO)) {
        // No profile is written for it; the dialog stays open for another try.
        pilot_.warn(refusedNameMessage(kCompanyIcaoWhat, settings_.company.CompanyICAO));
        settings_.company.CompanyICAO.clear();
        return;
    }
    if (settings_.company.CompanyICAO.empty()) {
        settings_.company.CompanyICAO = kPrivateFlightIcao;
        pilot_.show({kNoCompanyIcaoMessage, platform::MessageIcon::Information,
                     platform::MessageButtons::OkCancel});
        settings_.profilePath = profilePathFor(kPrivateFlightIcao);
        return;
    }
    settings_.profilePath = profilePathFor(settings_.company.CompanyICAO);
    const IniFile profile(localPath(workDir_, settings_.profilePath));
    if (auto text = profile.load()) {
        writeNewProfile(settings_, *text);
        profile.save(*text);
    }
    refill();
}

bool convertProfile(const std::filesystem::path& path, std::string_view companyIcao) {
    const IniFile profile(path);
    auto loaded = profile.load();
    if (!loaded) return false;
    IniDocument& file = *loaded;
    const std::string oldKey = "SiteLog" + std::string(companyIcao);
    bool changed = false;

    if (file.getString("Log", "Log", "", 199).empty()) {
        const std::string site = file.getString("Log", oldKey, "", 199);
        file.removeKey("Log", oldKey);
        file.setString("Log", "Log", site);
        if (!site.empty()) {
            if (!file.getString("Log", "passwd", "", 99).empty()) {
                file.setInt("SendLog", "Password", 1);
            }
            for (const char* key : {"PilotNumber", "Date", "Hour", "Callsign", "Regist", "Depart",
                                    "Arrival", "PlaneType", "SpentFuel", "Dur", "Len", "Version"}) {
                file.setInt("SendLog", key, 1);
            }
        }
        changed = true;
    }

    if (file.getString("Log", "Mail", "", 199).empty()) {
        const std::string address = file.getString("Mail", oldKey, "", 199);
        file.setString("Log", "Mail", address);
        if (!address.empty()) {
            // Only keys that are there move: a missing one keeps its [SendLog] default
            // instead of arriving as an empty value that reads as "off".
            for (const char* key : {"Date", "PilotNumber", "Hour", "Callsign", "IATAN", "Regist",
                                    "Depart", "Arrival", "PlaneType", "SpentFuel", "IniFuel",
                                    "EndFuel", "Dur", "Len", "TD", "ZFW", "Log"}) {
                if (const auto value = file.find("Mail", key)) {
                    file.setString("SendLog", key, std::string(*value));
                    file.removeKey("Mail", key);
                }
            }
        }
        changed = true;
    }

    if (file.getString("Log", "URL", "", 199).empty()) {
        file.setString("Log", "URL", file.getString("URL", oldKey, "", 199));
        changed = true;
    }
    return !changed || profile.save(file);
}

}  // namespace aviolog::config

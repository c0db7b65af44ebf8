#include "planning/aircraft_list.h"

#include "common/code_page.h"
#include "common/paths.h"
#include "common/text_file.h"
#include "common/text_format.h"
#include "config/ini_file.h"

namespace aviolog::planning {

namespace {

constexpr std::size_t kNameChars = 49;
constexpr std::size_t kListChars = 399;
constexpr std::size_t kFlapsChars = 49;

// The pieces between commas, the text after the last comma included, at most limit.
std::vector<std::string> splitAtCommas(std::string_view text, std::size_t limit) {
    std::vector<std::string> pieces;
    std::size_t begin = 0;
    while (pieces.size() < limit) {
        const std::size_t comma = text.find(',', begin);
        pieces.emplace_back(
            text.substr(begin, comma == std::string_view::npos ? comma : comma - begin));
        if (comma == std::string_view::npos) break;
        begin = comma + 1;
    }
    return pieces;
}

std::string at(const std::vector<std::string>& items, std::size_t n) {
    return n < items.size() ? items[n] : std::string();
}

}  // namespace

std::string AircraftType::registration(std::size_t n) const {
    return at(registrations, n);
}

std::string AircraftType::selcal(std::size_t n) const {
    return at(selcals, n);
}

std::size_t AircraftType::rowCount() const {
    std::size_t rows = 1;
    for (std::size_t n = 0; n < registrations.size(); ++n) {
        if (!registrations[n].empty()) rows = n + 1;
    }
    return rows;
}

std::string AircraftList::fileName(std::string_view companyIcao) {
    return ".\\" + std::string(companyIcao) + "planes.txt";
}

std::size_t AircraftList::load(const std::filesystem::path& workDir, std::string_view companyIcao) {
    const auto bytes = readFileBytes(localPath(workDir, fileName(companyIcao)));
    return load(config::IniDocument(windows1252FromFileText(bytes.value_or(""))));
}

std::size_t AircraftList::load(const config::IniDocument& file) {
    types_.clear();
    for (std::size_t i = 0; i < kMaxAircraftTypes; ++i) {
        const std::string section = format("Plane.%zu", i);
        AircraftType type;
        type.name = file.getString(section, "Name", "", kNameChars);
        if (type.name.empty()) break;
        type.registrations =
            splitAtCommas(file.getString(section, "Reg", "", kListChars), kMaxRegistrations);
        type.selcals =
            splitAtCommas(file.getString(section, "Sel", "", kListChars), kMaxRegistrations);
        type.flapNames =
            splitAtCommas(file.getString(section, "Flaps", "", kFlapsChars), kMaxFlapNames);
        types_.push_back(std::move(type));
    }
    return types_.size();
}

std::optional<std::size_t> AircraftList::find(std::string_view name) const {
    for (std::size_t i = 0; i < types_.size(); ++i) {
        if (types_[i].name == name) return i;
    }
    return std::nullopt;
}

bool AircraftList::hasFlapNames() const {
    return !types_.empty() && !at(types_[0].flapNames, 0).empty();
}

std::optional<std::string> AircraftList::flapName(std::size_t aircraft, int position) const {
    if (!hasFlapNames() || aircraft >= types_.size() || position < 0) return std::nullopt;
    return at(types_[aircraft].flapNames, static_cast<std::size_t>(position));
}

}  // namespace aviolog::planning

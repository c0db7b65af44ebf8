#include "config/ini_file.h"

#include <algorithm>
#include <limits>
#include <system_error>
#include <utility>

#include "common/text_case.h"
#include "common/text_file.h"

namespace aviolog::config {
namespace {

// Ctrl-Z counts as a blank, as it does for the Windows calls.
bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f' || c == '\x1A';
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::string_view unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

std::string cut(std::string_view text, std::size_t maxChars) {
    return std::string(text.substr(0, std::min(text.size(), maxChars)));
}

std::string sanitized(std::string_view value) {
    value = value.substr(0, value.find('\0'));
    std::string text(value);
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return text;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The section name of a header line, or nothing when the line is not one.
std::optional<std::string_view> headerName(std::string_view line) {
    line = trim(line);
    if (line.empty() || line.front() != '[') return std::nullopt;
    const auto close = line.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return trim(line.substr(1, close - 1));
}

// The first key line of that name; Lines is a section's line vector, const or not.
template <typename Lines>
auto keyLine(Lines& lines, std::string_view key) {
    key = trim(key);
    return std::find_if(lines.begin(), lines.end(), [&](const auto& line) {
        return line.isKey && equalsIgnoringCase(line.name(), key);
    });
}

}  // namespace

IniDocument::Line::Line(std::string line) : text(std::move(line)) {
    const std::string_view view = text;
    const std::string_view content = trim(view);
    if (content.empty() || content.front() == ';') return;
    const auto equals = view.find('=');
    if (equals == std::string_view::npos) return;
    const std::string_view name = trim(view.substr(0, equals));
    const std::string_view value = trim(view.substr(equals + 1));
    isKey = true;
    nameAt = static_cast<std::uint32_t>(name.data() - view.data());
    nameLength = static_cast<std::uint32_t>(name.size());
    valueAt = static_cast<std::uint32_t>(value.data() - view.data());
    valueLength = static_cast<std::uint32_t>(value.size());
}

IniDocument::Line::Line(std::string_view key, std::string_view value)
    : Line(std::string(key) + "=" + sanitized(value)) {}

IniDocument::IniDocument(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size()) {
        auto end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        at = end + 1;

        if (const auto name = headerName(line)) {
            sections_.push_back(Section{std::string(line), std::string(*name), {}});
        } else {
            sections_.back().lines.emplace_back(std::string(line));
        }
    }
}

std::string IniDocument::text() const {
    std::size_t size = 0;
    for (const Section& section : sections_) {
        size += section.header.size() + 2;
        for (const Line& line : section.lines) size += line.text.size() + 2;
    }
    std::string out;
    out.reserve(size);
    for (std::size_t i = 0; i < sections_.size(); ++i) {
        const Section& section = sections_[i];
        if (i > 0) out.append(section.header).append("\r\n");
        for (const Line& line : section.lines) out.append(line.text).append("\r\n");
    }
    return out;
}

const IniDocument::Section* IniDocument::findSection(std::string_view name) const {
    name = trim(name);
    for (std::size_t i = 1; i < sections_.size(); ++i) {
        if (equalsIgnoringCase(sections_[i].name, name)) return &sections_[i];
    }
    return nullptr;
}

IniDocument::Section* IniDocument::findSection(std::string_view name) {
    return const_cast<Section*>(std::as_const(*this).findSection(name));
}

IniDocument::Section& IniDocument::sectionForWrite(std::string_view name) {
    if (Section* section = findSection(name)) return *section;
    std::string cleanName = sanitized(trim(name));
    return sections_.emplace_back(Section{"[" + cleanName + "]", cleanName, {}});
}

bool IniDocument::hasSection(std::string_view section) const {
    return findSection(section) != nullptr;
}

std::optional<std::string_view> IniDocument::find(std::string_view section,
                                                  std::string_view key) const {
    const Section* found = findSection(section);
    if (!found) return std::nullopt;
    const auto line = keyLine(found->lines, key);
    if (line == found->lines.end()) return std::nullopt;
    return unquote(line->value());
}

std::string IniDocument::getString(std::string_view section, std::string_view key,
                                   std::string_view fallback, std::size_t maxChars) const {
    if (const auto value = find(section, key)) return cut(*value, maxChars);
    // The Windows call drops trailing blanks of the default, too.
    while (!fallback.empty() && fallback.back() == ' ') fallback.remove_suffix(1);
    return cut(fallback, maxChars);
}

std::int32_t IniDocument::getInt(std::string_view section, std::string_view key,
                                 std::int32_t fallback) const {
    const auto value = find(section, key);
    if (!value) return fallback;
    std::int64_t number = 0;
    for (const char c : *value) {
        if (c < '0' || c > '9') break;
        number = std::min<std::int64_t>(number * 10 + (c - '0'),
                                        std::numeric_limits<std::int32_t>::max());
    }
    return static_cast<std::int32_t>(number);
}

std::optional<std::vector<std::uint8_t>> IniDocument::getStruct(std::string_view section,
                                                                std::string_view key,
                                                                std::size_t size) const {
    const auto value = find(section, key);
    if (!value || value->size() != 2 * size + 2) return std::nullopt;
    std::vector<std::uint8_t> bytes(size + 1);
    for (std::size_t i = 0; i <= size; ++i) {
        const int high = hexDigit((*value)[2 * i]);
        const int low = hexDigit((*value)[2 * i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < size; ++i) sum = static_cast<std::uint8_t>(sum + bytes[i]);
    if (sum != bytes[size]) return std::nullopt;
    bytes.pop_back();
    return bytes;
}

std::vector<std::string> IniDocument::sectionNames() const {
    std::vector<std::string> names;
    for (std::size_t i = 1; i < sections_.size(); ++i) names.push_back(sections_[i].name);
    return names;
}

std::vector<std::string> IniDocument::keyNames(std::string_view section) const {
    std::vector<std::string> names;
    if (const Section* found = findSection(section)) {
        for (const Line& line : found->lines) {
            if (line.isKey) names.emplace_back(line.name());
        }
    }
    return names;
}

std::vector<IniEntry> IniDocument::sectionEntries(std::string_view section) const {
    std::vector<IniEntry> entries;
    if (const Section* found = findSection(section)) {
        for (const Line& line : found->lines) {
            if (line.isKey)
                entries.push_back({std::string(line.name()), std::string(line.value())});
        }
    }
    return entries;
}

void IniDocument::setString(std::string_view section, std::string_view key,
                            std::string_view value) {
    auto& lines = sectionForWrite(section).lines;
    const auto existing = keyLine(lines, key);
    if (existing != lines.end()) {
        // The name keeps the spelling the file gave it.
        *existing = Line(existing->name(), value);
        return;
    }
    const auto lastKey =
        std::find_if(lines.rbegin(), lines.rend(), [](const Line& line) { return line.isKey; });
    lines.insert(lastKey.base(), Line(sanitized(trim(key)), value));
}

void IniDocument::setInt(std::string_view section, std::string_view key, std::int64_t value) {
    setString(section, key, std::to_string(value));
}

void IniDocument::setStruct(std::string_view section, std::string_view key,
                            std::span<const std::uint8_t> bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(2 * bytes.size() + 2);
    std::uint8_t sum = 0;
    for (const std::uint8_t byte : bytes) {
        text += kHex[byte >> 4];
        text += kHex[byte & 0x0F];
        sum = static_cast<std::uint8_t>(sum + byte);
    }
    text += kHex[sum >> 4];
    text += kHex[sum & 0x0F];
    setString(section, key, text);
}

void IniDocument::removeKey(std::string_view section, std::string_view key) {
    Section* found = findSection(section);
    if (!found) return;
    const auto line = keyLine(found->lines, key);
    if (line != found->lines.end()) found->lines.erase(line);
}

void IniDocument::removeSection(std::string_view section) {
    removeSectionsAfter(0, section);
}

void IniDocument::replaceSection(std::string_view section, std::span<const IniEntry> entries) {
    std::vector<Line> lines;
    lines.reserve(entries.size());
    for (const IniEntry& entry : entries) lines.emplace_back(sanitized(entry.key), entry.value);

    Section& target = sectionForWrite(section);
    target.lines = std::move(lines);
    // Later sections of the same name would otherwise still hold keys of the old content.
    removeSectionsAfter(static_cast<std::size_t>(&target - sections_.data()), section);
}

void IniDocument::removeSectionsAfter(std::size_t index, std::string_view name) {
    name = trim(name);
    std::size_t kept = index + 1;
    for (std::size_t i = index + 1; i < sections_.size(); ++i) {
        if (equalsIgnoringCase(sections_[i].name, name)) continue;
        if (kept != i) sections_[kept] = std::move(sections_[i]);
        ++kept;
    }
    sections_.resize(kept);
}

bool IniFile::exists() const {
    std::error_code ec;
    return std::filesystem::exists(path_, ec);
}

std::optional<IniDocument> IniFile::load() const {
    if (const auto bytes = readFileBytes(path_)) return IniDocument(*bytes);
    if (!exists()) return IniDocument();
    return std::nullopt;
}

bool IniFile::save(const IniDocument& document) const {
    return writeFileAtomically(path_, document.text());
}

std::string IniFile::getString(std::string_view section, std::string_view key,
                               std::string_view fallback, std::size_t maxChars) const {
    return load().value_or(IniDocument()).getString(section, key, fallback, maxChars);
}

std::int32_t IniFile::getInt(std::string_view section, std::string_view key,
                             std::int32_t fallback) const {
    return load().value_or(IniDocument()).getInt(section, key, fallback);
}

template <typename Edit>
bool IniFile::edit(Edit&& change) const {
    auto document = load();
    if (!document) return false;
    change(*document);
    return save(*document);
}

bool IniFile::setString(std::string_view section, std::string_view key,
                        std::string_view value) const {
    return edit([&](IniDocument& d) { d.setString(section, key, value); });
}

bool IniFile::setInt(std::string_view section, std::string_view key, std::int64_t value) const {
    return edit([&](IniDocument& d) { d.setInt(section, key, value); });
}

bool IniFile::removeKey(std::string_view section, std::string_view key) const {
    return edit([&](IniDocument& d) { d.removeKey(section, key); });
}

bool IniFile::removeSection(std::string_view section) const {
    return edit([&](IniDocument& d) { d.removeSection(section); });
}

}  // namespace aviolog::config

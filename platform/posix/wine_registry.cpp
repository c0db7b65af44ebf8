#include "platform/posix/wine_registry.h"

#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

#include "common/code_page.h"
#include "common/text_case.h"
#include "common/text_file.h"

namespace aviolog::platform::posix {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// One UTF-8 sequence from text[at]; a byte that starts none is taken as Latin-1.
char32_t utf8At(std::string_view text, std::size_t& at) {
    const auto lead = static_cast<unsigned char>(text[at++]);
    const int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    if (extra == 0 || at + extra > text.size()) return lead;
    char32_t c = lead & (0x3F >> extra);
    for (int i = 0; i < extra; ++i) {
        const auto b = static_cast<unsigned char>(text[at + i]);
        if ((b & 0xC0) != 0x80) return lead;
        c = (c << 6) | (b & 0x3F);
    }
    at += extra;
    return c;
}

// The text of a quoted string that starts at text[at] (the opening quote), with Wine's
// escapes undone: \\ \" \n \r \t, \xH..H (up to four digits, a UTF-16 unit), octal.
// Nothing when the closing quote is missing. at is left after the closing quote.
std::optional<std::string> unquote(std::string_view text, std::size_t& at) {
    if (at >= text.size() || text[at] != '"') return std::nullopt;
    std::string out;
    ++at;
    while (at < text.size()) {
        const char c = text[at];
        if (c == '"') {
            ++at;
            return out;
        }
        if (c != '\\') {
            out += windows1252From(utf8At(text, at));
            continue;
        }
        if (++at >= text.size()) break;
        const char e = text[at++];
        if (e == 'x') {
            char32_t unit = 0;
            int digits = 0;
            while (digits < 4 && at < text.size() && hexDigit(text[at]) >= 0) {
                unit = unit * 16 + hexDigit(text[at++]);
                ++digits;
            }
            out += windows1252From(unit);
        } else if (e >= '0' && e <= '7') {
            int value = e - '0';
            for (int i = 0; i < 2 && at < text.size() && text[at] >= '0' && text[at] <= '7'; ++i) {
                value = value * 8 + (text[at++] - '0');
            }
            out += static_cast<char>(value);
        } else {
            switch (e) {
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'a':
                    out += '\a';
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'e':
                    out += '\x1b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'v':
                    out += '\v';
                    break;
                default:
                    out += e;
                    break;  // \\ \" \[ \]
            }
        }
    }
    return std::nullopt;
}

// The key name of a "[Software\\Vendor] 1234" header, unescaped; nothing for other lines.
std::optional<std::string> sectionKey(std::string_view line) {
    if (line.empty() || line[0] != '[') return std::nullopt;
    std::string key;
    for (std::size_t i = 1; i < line.size(); ++i) {
        if (line[i] == ']') return key;
        if (line[i] == '\\' && i + 1 < line.size()) ++i;
        key += line[i];
    }
    return std::nullopt;
}

// The string held by the value part of a value line (after "="): "text" or str(2):"text"
// (REG_EXPAND_SZ, read unexpanded). Nothing for numbers, binary and multi-strings.
std::optional<std::string> stringData(std::string_view data) {
    std::size_t at = 0;
    if (data.starts_with("str(2):")) at = 7;
    if (at >= data.size() || data[at] != '"') return std::nullopt;
    return unquote(data, at);
}

std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(begin, end - begin);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        begin = end + 1;
    }
    return lines;
}

// The value's string in the file's key, when there is one.
std::optional<std::string> findValue(std::string_view file, std::string_view key,
                                     std::string_view value) {
    bool inKey = false;
    for (std::string_view line : linesOf(file)) {
        if (const auto header = sectionKey(line)) {
            inKey = equalsIgnoringCase(*header, key);
            continue;
        }
        if (!inKey) continue;
        std::size_t at = 0;
        std::string name;
        if (line.starts_with("@=")) {
            at = 1;  // the key's default value has the empty name
        } else if (auto quoted = unquote(line, at)) {
            name = std::move(*quoted);
        } else {
            continue;
        }
        if (at >= line.size() || line[at] != '=' || !equalsIgnoringCase(name, value)) continue;
        return stringData(line.substr(at + 1));
    }
    return std::nullopt;
}

bool containsKey(std::string_view file, std::string_view key) {
    for (std::string_view line : linesOf(file)) {
        const auto header = sectionKey(line);
        if (header && equalsIgnoringCase(*header, key)) return true;
    }
    return false;
}

std::string_view trimSeparators(std::string_view key) {
    while (!key.empty() && key.front() == '\\') key.remove_prefix(1);
    while (!key.empty() && key.back() == '\\') key.remove_suffix(1);
    return key;
}

// The entry of dir whose name matches without regard to case, as Windows finds it.
std::filesystem::path childIgnoringCase(const std::filesystem::path& dir, const std::string& name) {
    std::error_code ec;
    if (std::filesystem::exists(dir / name, ec)) return dir / name;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        if (equalsIgnoringCase(entry.path().filename().string(), name)) return entry.path();
    }
    return dir / name;
}

}  // namespace

WineRegistry WineRegistry::fromEnvironment() {
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix != nullptr && *prefix != '\0') {
        return WineRegistry(prefix);
    }
    const char* home = std::getenv("HOME");
    return WineRegistry(std::filesystem::path(home != nullptr ? home : ".") / ".wine");
}

namespace {

// The key as a 32-bit program on a 64-bit Windows finds it; nothing for other keys.
std::optional<std::string> redirected(std::string_view key) {
    constexpr std::string_view kSoftware = "Software\\";
    if (key.size() <= kSoftware.size() ||
        !equalsIgnoringCase(key.substr(0, kSoftware.size()), kSoftware)) {
        return std::nullopt;
    }
    return "Software\\Wow6432Node\\" + std::string(key.substr(kSoftware.size()));
}

std::optional<std::string> hiveFile(const std::filesystem::path& prefix, RegistryHive hive) {
    return readFileBytes(prefix / (hive == RegistryHive::LocalMachine ? "system.reg" : "user.reg"));
}

}  // namespace

std::optional<std::string> WineRegistry::readString(RegistryHive hive, std::string_view key,
                                                    std::string_view value,
                                                    std::size_t maxBytes) const {
    const auto file = hiveFile(prefix_, hive);
    if (!file) return std::nullopt;
    const std::string_view wanted = trimSeparators(key);
    auto found = findValue(*file, wanted, value);
    if (const auto other = redirected(wanted); !found && other)
        found = findValue(*file, *other, value);
    if (!found || found->size() + 1 > maxBytes) return std::nullopt;
    return found;
}

bool WineRegistry::hasKey(RegistryHive hive, std::string_view key) const {
    const auto file = hiveFile(prefix_, hive);
    if (!file) return false;
    const std::string_view wanted = trimSeparators(key);
    const auto other = redirected(wanted);
    return containsKey(*file, wanted) || (other && containsKey(*file, *other));
}

std::filesystem::path WineRegistry::hostPath(std::string_view windowsPath) const {
    std::vector<std::string> parts;
    std::string part;
    for (const char c : windowsPath) {
        if (c == '\\' || c == '/') {
            if (!part.empty()) parts.push_back(std::move(part));
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(std::move(part));
    const bool hasDrive = !parts.empty() && parts[0].size() == 2 && parts[0][1] == ':';
    if (!hasDrive) {
        std::string text(windowsPath);
        for (char& c : text) {
            if (c == '\\') c = '/';
        }
        return text;
    }
    std::string drive = parts[0];
    drive[0] = static_cast<char>(foldCase(static_cast<unsigned char>(drive[0])));
    std::filesystem::path path = prefix_ / "dosdevices" / drive;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec) && drive == "c:") path = prefix_ / "drive_c";
    for (std::size_t i = 1; i < parts.size(); ++i) path = childIgnoringCase(path, parts[i]);
    return path;
}

}  // namespace aviolog::platform::posix

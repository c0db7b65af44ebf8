#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace aviolog::config {

// One key of a section as a whole-section read returns it: the value as it stands in the
// file (blanks trimmed, quotes kept), so that writing the entries back changes nothing.
struct IniEntry {
    std::string key;
    std::string value;
};

// An INI text in memory with the semantics of the Windows private-profile calls, which is
// what users' files were written by:
//  - "[name]" starts a section, "key=value" is a key; blanks around names and values are
//    trimmed; names compare without regard to case;
//  - the first section of a name and the first key of a name within it are the ones
//    found; keys before any section belong to none;
//  - a value enclosed in matching quotes (' or ") reads without them;
//  - every other line (blank lines, ";" comments, text without "=") is kept as it is.
// Edits change only the lines they concern, so a rewritten file differs from the one read
// only there. Text is Windows-1252; LF and CR LF line ends are read, CR LF is written.
class IniDocument {
  public:
    IniDocument() = default;
    explicit IniDocument(std::string_view text);

    // The text to store: every line followed by CR LF.
    std::string text() const;

    bool hasSection(std::string_view section) const;
    // The key's value (trimmed, quotes removed), or nothing when the key is missing.
    std::optional<std::string_view> find(std::string_view section, std::string_view key) const;

    // The value, or the fallback when the key is missing, cut to maxChars characters.
    std::string getString(std::string_view section, std::string_view key, std::string_view fallback,
                          std::size_t maxChars) const;
    // Leading decimal digits of the value (a value without one reads 0, a value beyond the
    // 32-bit range reads the largest one); the fallback when the key is missing.
    std::int32_t getInt(std::string_view section, std::string_view key,
                        std::int32_t fallback) const;
    // A value written by setStruct: exactly size bytes as hex pairs, then their checksum.
    // Nothing when the key is missing, the length is not 2 * size + 2, a character is not a
    // hex digit or the checksum does not match.
    std::optional<std::vector<std::uint8_t>> getStruct(std::string_view section,
                                                       std::string_view key,
                                                       std::size_t size) const;

    // Section names in file order, and the key names of a section in its order.
    std::vector<std::string> sectionNames() const;
    std::vector<std::string> keyNames(std::string_view section) const;
    // Every key of the section; empty when the section is missing.
    std::vector<IniEntry> sectionEntries(std::string_view section) const;

    // Writes the key, creating the section (at the end) or the key (after the section's
    // last key) when missing. A line break in the value would turn the rest of it into
    // lines of their own, so each CR or LF is written as a blank; a NUL ends the value.
    void setString(std::string_view section, std::string_view key, std::string_view value);
    void setInt(std::string_view section, std::string_view key, std::int64_t value);
    // Upper-case hex pairs of the bytes, then two hex digits of their sum modulo 256.
    void setStruct(std::string_view section, std::string_view key,
                   std::span<const std::uint8_t> bytes);
    void removeKey(std::string_view section, std::string_view key);
    // Removes the section, every section of that name, with all their lines.
    void removeSection(std::string_view section);
    // Makes the entries the whole content of the section (created when missing).
    void replaceSection(std::string_view section, std::span<const IniEntry> entries);

  private:
    struct Line {
        explicit Line(std::string text);
        Line(std::string_view key, std::string_view value);
        std::string_view name() const { return {text.data() + nameAt, nameLength}; }
        std::string_view value() const { return {text.data() + valueAt, valueLength}; }

        std::string text;
        bool isKey = false;
        std::uint32_t nameAt = 0, nameLength = 0, valueAt = 0, valueLength = 0;
    };
    struct Section {
        std::string header;  // the line as read; empty for the lines before any section
        std::string name;
        std::vector<Line> lines;
    };

    const Section* findSection(std::string_view name) const;
    Section* findSection(std::string_view name);
    Section& sectionForWrite(std::string_view name);
    // Removes the sections of that name that follow sections_[index].
    void removeSectionsAfter(std::size_t index, std::string_view name);

    // sections_[0] holds the lines before the first section header.
    std::vector<Section> sections_{Section{}};
};

// One INI file on disk. Reads load the file afresh, as the Windows calls do; each write
// loads it, changes it and replaces it atomically (see writeFileAtomically). Callers that
// change many keys load() once, edit the document and save() it once.
class IniFile {
  public:
    explicit IniFile(std::filesystem::path path) : path_(std::move(path)) {}

    const std::filesystem::path& path() const { return path_; }
    bool exists() const;

    // The file's document: empty when the file does not exist, nothing when it exists but
    // cannot be read (then no write may replace it, or its contents would be lost).
    std::optional<IniDocument> load() const;
    bool save(const IniDocument& document) const;

    std::string getString(std::string_view section, std::string_view key, std::string_view fallback,
                          std::size_t maxChars) const;
    std::int32_t getInt(std::string_view section, std::string_view key,
                        std::int32_t fallback) const;

    // Single-key writes; false when the file could not be read or written.
    bool setString(std::string_view section, std::string_view key, std::string_view value) const;
    bool setInt(std::string_view section, std::string_view key, std::int64_t value) const;
    bool removeKey(std::string_view section, std::string_view key) const;
    bool removeSection(std::string_view section) const;

  private:
    template <typename Edit>
    bool edit(Edit&& change) const;

    std::filesystem::path path_;
};

}  // namespace aviolog::config

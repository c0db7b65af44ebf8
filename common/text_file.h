#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace aviolog {

// The whole file as bytes; nothing when it cannot be opened or read to the end.
std::optional<std::string> readFileBytes(const std::filesystem::path& path);

// The text a Windows text-mode read delivers: CR LF becomes LF, and the text ends at the
// first Ctrl-Z. Seals and template copies are defined over this text.
std::string textModeText(std::string_view bytes);

// What a Windows text-mode write puts on disk for the text: every LF becomes CR LF.
std::string textModeBytes(std::string_view text);

// Replaces the file in one step: the bytes go to a temporary file beside it, which is
// flushed to disk and renamed over the target. A crash or a full disk leaves either the
// old file or the new one, never a mixture. A read-only file is not replaced; a symbolic
// link is followed, so the file it names is replaced; an existing file keeps its
// permissions.
bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes);

// A text-mode copy (read as text, written as text), replacing the target atomically.
bool copyTextFile(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace aviolog

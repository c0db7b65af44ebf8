#pragma once

#include <filesystem>
#include <string_view>

namespace aviolog {

// Maps a path as the program stores it (".\aviolog.ini", "logs\TAP123.dat", "./x") to
// this file system. Either separator is accepted; a relative path is taken from workDir,
// the directory the program calls ".\". Windows names ignore case, so when the name does
// not exist exactly but one entry of its directory matches it without regard to case,
// that entry is used: a profile made on Windows as "tap.ini" is found as "TAP.ini".
std::filesystem::path localPath(const std::filesystem::path& workDir, std::string_view stored);

}  // namespace aviolog

#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace aviolog {

// Maps a path as the program stores it (".\aviolog.ini", "logs\TAP123.dat", "./x") to
// this file system. Either separator is accepted; a relative path is taken from workDir,
// the directory the program calls ".\" (which may itself be "."). Windows names ignore
// case, so each folder and the file that does not exist exactly is matched without regard
// to case in its directory: a profile made on Windows as "tap.ini" is found as "TAP.ini",
// a pilot log file in "logs" for a LogPath of "Logs\".
std::filesystem::path localPath(const std::filesystem::path& workDir, std::string_view stored);

}  // namespace aviolog

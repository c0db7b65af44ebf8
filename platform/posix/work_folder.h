#pragma once

// The folder the program works in. Started in a folder that holds the settings (or their
// template), it works there, as on Windows. Installed and started from the desktop's menu
// it usually starts in the home folder, which holds neither: then it works in the pilot's
// data folder ($XDG_DATA_HOME/aviolog, ~/.local/share/aviolog by default), made on the
// first start and seeded with the shipped files the program reads.

#include <filesystem>
#include <string>

namespace aviolog::platform::posix {

// The shipped files a new data folder is given, as they are named in share/aviolog.
inline constexpr const char* kSeedFiles[] = {"aviolog.ori", "apt.txt", "runways.txt"};

// What the choice depends on; currentWorkFolderSetting() reads it from this process.
struct WorkFolderSetting {
    std::filesystem::path startDir;  // where the program was started
    std::filesystem::path shareDir;  // the installed share/aviolog, empty when not installed
    std::string xdgDataHome;         // $XDG_DATA_HOME, "" when not set
    std::string home;                // the home folder
};

struct WorkFolder {
    std::filesystem::path dir;
    std::string error;  // why the data folder could not be made or seeded; "" when it was
};

// The pilot's data folder: $XDG_DATA_HOME/aviolog when that is an absolute path (the
// desktop's rule: a relative one is ignored), otherwise home/.local/share/aviolog.
std::filesystem::path dataFolder(const WorkFolderSetting& setting);

// startDir when it holds aviolog.ori or aviolog.ini, or when the program does not run
// installed; the data folder otherwise.
std::filesystem::path chooseWorkFolder(const WorkFolderSetting& setting);

// Makes dir and copies into it each seed file that shareDir has and dir lacks; what the
// pilot already has there is never replaced. "" on success, else what failed.
std::string seedWorkFolder(const std::filesystem::path& dir, const std::filesystem::path& shareDir);

// Chooses the folder and, when it is the data folder, makes and seeds it.
WorkFolder openWorkFolder(const WorkFolderSetting& setting);

// The running program's share/aviolog (bin/../share/aviolog) when it holds aviolog.ori,
// that is when the program runs installed; empty otherwise.
std::filesystem::path installedShareDir();

// This process: startDir as given, the environment, and share/aviolog beside the folder
// of the running program when it holds aviolog.ori (bin/../share/aviolog).
WorkFolderSetting currentWorkFolderSetting(const std::filesystem::path& startDir);

}  // namespace aviolog::platform::posix

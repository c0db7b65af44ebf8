#include "platform/posix/work_folder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "common/text_file.h"

namespace aviolog::platform::posix {

namespace fs = std::filesystem;

namespace {

bool holdsSettings(const fs::path& dir) {
    std::error_code ec;
    return fs::is_regular_file(dir / "aviolog.ori", ec) ||
           fs::is_regular_file(dir / "aviolog.ini", ec);
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string homeFolder() {
    std::string home = environment("HOME");
    if (!home.empty()) return home;
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr)
        return entry->pw_dir;
    return "";
}

}  // namespace

fs::path dataFolder(const WorkFolderSetting& setting) {
    const fs::path xdg(setting.xdgDataHome);
    if (xdg.is_absolute()) return xdg / "aviolog";
    return fs::path(setting.home) / ".local" / "share" / "aviolog";
}

fs::path chooseWorkFolder(const WorkFolderSetting& setting) {
    if (setting.shareDir.empty() || holdsSettings(setting.startDir)) return setting.startDir;
    return dataFolder(setting);
}

std::string seedWorkFolder(const fs::path& dir, const fs::path& shareDir) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (!fs::is_directory(dir, ec)) return "cannot make the folder " + dir.string();
    for (const char* name : kSeedFiles) {
        const fs::path from = shareDir / name;
        if (!fs::is_regular_file(from, ec) || fs::exists(dir / name, ec)) continue;
        const std::optional<std::string> bytes = readFileBytes(from);
        // Written whole or not at all, so that a broken first start leaves no half file
        // that the next start would keep.
        if (!bytes || !writeFileAtomically(dir / name, *bytes))
            return "cannot copy " + from.string() + " to " + dir.string();
    }
    return "";
}

WorkFolder openWorkFolder(const WorkFolderSetting& setting) {
    WorkFolder folder{.dir = chooseWorkFolder(setting), .error = ""};
    if (folder.dir != setting.startDir) folder.error = seedWorkFolder(folder.dir, setting.shareDir);
    return folder;
}

fs::path installedShareDir() {
    std::error_code ec;
    const fs::path program = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    const fs::path share = program.parent_path().parent_path() / "share" / "aviolog";
    return fs::is_regular_file(share / "aviolog.ori", ec) ? share : fs::path();
}

WorkFolderSetting currentWorkFolderSetting(const fs::path& startDir) {
    return WorkFolderSetting{.startDir = startDir,
                             .shareDir = installedShareDir(),
                             .xdgDataHome = environment("XDG_DATA_HOME"),
                             .home = homeFolder()};
}

}  // namespace aviolog::platform::posix

#include "common/paths.h"

#include <string>
#include <system_error>

#include "common/text_case.h"

namespace aviolog {

namespace {

// The entry of dir whose name matches name without regard to case; nothing when none does.
std::optional<std::filesystem::path> entryIgnoringCase(const std::filesystem::path& dir,
                                                       const std::filesystem::path& name) {
    std::error_code ec;
    const std::string wanted = name.string();
    for (const auto& entry :
         std::filesystem::directory_iterator(dir.empty() ? std::filesystem::path(".") : dir, ec)) {
        const std::filesystem::path found = entry.path().filename();
        if (equalsIgnoringCase(found.string(), wanted)) return found;
    }
    return std::nullopt;
}

}  // namespace

std::filesystem::path localPath(const std::filesystem::path& workDir, std::string_view stored) {
    std::string text(stored);
    for (char& c : text) {
        if (c == '\\') c = '/';
    }
    std::filesystem::path path(text);
    if (path.is_relative()) path = workDir / path;
    path = path.lexically_normal();
    if (!path.has_filename()) return path;

    std::error_code ec;
    if (std::filesystem::exists(path, ec)) return path;
    // Each part that does not exist as written is looked for without regard to case, the
    // folders of a LogPath as well as the file; a part found in no case keeps its name, so
    // that a new file is created as the program names it.
    std::filesystem::path resolved = path.root_path();
    for (const std::filesystem::path& part : path.relative_path()) {
        const std::filesystem::path exact = resolved / part;
        if (part == "." || part == ".." || std::filesystem::exists(exact, ec)) {
            resolved = exact;
            continue;
        }
        const auto found = entryIgnoringCase(resolved, part);
        resolved = found ? resolved / *found : exact;
    }
    return resolved;
}

}  // namespace aviolog

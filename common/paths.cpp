#include "common/paths.h"

#include <string>
#include <system_error>

#include "common/text_case.h"

namespace aviolog {

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
    const std::string wanted = path.filename().string();
    for (const auto& entry : std::filesystem::directory_iterator(path.parent_path(), ec)) {
        if (equalsIgnoringCase(entry.path().filename().string(), wanted)) return entry.path();
    }
    return path;
}

}  // namespace aviolog

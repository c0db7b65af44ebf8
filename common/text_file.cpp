#include "common/text_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>

namespace aviolog {
namespace {

constexpr char kCtrlZ = '\x1A';

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// "." + name + "." + process + "." + counter: the temporary file of one write of name.
std::string temporaryPrefix(const std::filesystem::path& target) {
    return "." + target.filename().string() + ".";
}

// The process number of a temporary name of the target's, or 0 when the name is not one.
pid_t writerOf(const std::string& name, const std::string& prefix) {
    if (!name.starts_with(prefix)) return 0;
    const std::string_view rest = std::string_view(name).substr(prefix.size());
    const std::size_t dot = rest.find('.');
    if (dot == 0 || dot == std::string_view::npos || dot + 1 == rest.size()) return 0;
    const auto digits = [](std::string_view text) {
        return text.find_first_not_of("0123456789") == std::string_view::npos;
    };
    if (!digits(rest.substr(0, dot)) || !digits(rest.substr(dot + 1)) || dot > 9) return 0;
    return static_cast<pid_t>(std::stol(std::string(rest.substr(0, dot))));
}

// A write that was killed leaves its temporary file, as large as the target, for good: the
// next write of the same target removes those whose process no longer runs. A process
// that runs may still be writing, and is left alone.
void removeStaleTemporaries(const std::filesystem::path& dir, const std::filesystem::path& target) {
    const std::string prefix = temporaryPrefix(target);
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        const std::string name = entry.path().filename().string();
        const pid_t writer = writerOf(name, prefix);
        if (writer <= 0 || writer == ::getpid()) continue;
        if (::kill(writer, 0) != 0 && errno == ESRCH) ::unlink(entry.path().c_str());
    }
}

}  // namespace

std::optional<std::string> readFileBytes(const std::filesystem::path& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return std::nullopt;
    std::string bytes;
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) return std::nullopt;
    return bytes;
}

std::string textModeText(std::string_view bytes) {
    if (const auto end = bytes.find(kCtrlZ); end != std::string_view::npos) {
        bytes = bytes.substr(0, end);
    }
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
        text += bytes[i];
    }
    return text;
}

std::string textModeBytes(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size() + text.size() / 16);
    for (const char c : text) {
        if (c == '\n') bytes += '\r';
        bytes += c;
    }
    return bytes;
}

bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
    std::error_code ec;
    std::filesystem::path target = path;
    if (std::filesystem::is_symlink(target, ec)) {
        target = std::filesystem::weakly_canonical(target, ec);
        if (ec) return false;
    }
    // A file marked read-only stays as it is, as it would on Windows (for root, too).
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && ((existing.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0)) {
        return false;
    }
    const std::filesystem::path dir =
        target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");

    removeStaleTemporaries(dir, target);

    // A new file gets the permissions a plain create would give (the kernel applies the
    // umask); a replaced file keeps its own.
    static std::atomic<unsigned> counter{0};
    std::string temp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temp = (dir / (temporaryPrefix(target) + std::to_string(::getpid()) + "." +
                       std::to_string(counter++)))
                   .string();
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;
    if (exists) ::fchmod(fd, existing.st_mode & 07777);
    bool ok = writeAll(fd, bytes) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // The rename itself must reach the disk for the new contents to survive a power cut.
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

bool copyTextFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    const auto bytes = readFileBytes(from);
    if (!bytes) return false;
    return writeFileAtomically(to, textModeBytes(textModeText(*bytes)));
}

}  // namespace aviolog

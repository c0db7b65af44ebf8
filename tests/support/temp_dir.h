#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace aviolog::test {

// A fresh directory for one test, removed with everything in it when the test ends.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

    // Writes the bytes as they are; read() returns the file's bytes ("" when missing).
    void write(std::string_view name, std::string_view bytes) const;
    std::string read(std::string_view name) const;
    bool exists(std::string_view name) const;

  private:
    std::filesystem::path path_;
};

}  // namespace aviolog::test

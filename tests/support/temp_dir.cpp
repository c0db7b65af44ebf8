#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>

#include "common/text_file.h"

namespace aviolog::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "aviolog-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) ADD_FAILURE() << "cannot create a temporary directory";
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void TempDir::write(std::string_view name, std::string_view bytes) const {
    std::ofstream out(path_ / name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) ADD_FAILURE() << "cannot write " << name;
}

std::string TempDir::read(std::string_view name) const {
    return readFileBytes(path_ / name).value_or("");
}

bool TempDir::exists(std::string_view name) const {
    std::error_code ec;
    return std::filesystem::exists(path_ / name, ec);
}

}  // namespace aviolog::test

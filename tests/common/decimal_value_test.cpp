#include "common/decimal_value.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace aviolog {
namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

TEST(DecimalValue, ReadsLikeTheCLibraryWithoutOverflow) {
    struct Row {
        const char* text;
        std::int32_t expected;
    };
    const Row rows[] = {
        {"123", 123},
        {"A12", 0},
        {" -139", -139},
        {"12x", 12},
        {"", 0},
        {"-", 0},
        {"+42", 42},
        {"\t\r\n 7", 7},
        {"- 5", 0},
        {"0012", 12},
        {"2147483647", kMax},
        {"2147483648", kMax},
        {"-2147483648", kMin},
        {"-2147483649", kMin},
        {"99999999999999999999999", kMax},
        {"-99999999999999999999999", kMin},
    };
    for (const Row& row : rows)
        EXPECT_EQ(decimalValue(row.text), row.expected) << '"' << row.text << '"';
}

}  // namespace
}  // namespace aviolog

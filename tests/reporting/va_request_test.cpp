#include "reporting/va_request.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "common/text_format.h"

namespace aviolog::reporting {
namespace {

TEST(PercentEncodeTest, KeepsOnlyTheReadableSetAndEncodesEveryOtherByte) {
    constexpr std::string_view kKept =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~*/:";
    for (int byte = 0; byte < 256; ++byte) {
        const std::string value(1, static_cast<char>(byte));
        const std::string expected =
            kKept.find(value[0]) != std::string_view::npos ? value : format("%%%02X", byte);
        EXPECT_EQ(percentEncode(value), expected) << format("byte 0x%02X", byte);
    }
    EXPECT_EQ(percentEncode("S\xe3o Tom\xe9 & 100%+"), "S%E3o%20Tom%E9%20%26%20100%25%2B");
    EXPECT_EQ(percentEncode(std::string_view("a\0b", 3)), "a%00b");
}

TEST(VaRequestTest, JoinsParametersAfterTheAddressAsScriptsExpect) {
    struct Row {
        const char* name;
        std::string url;
        const char* expected;
    };
    const Row rows[] = {
        {"no parameter", VaRequest("http://va.example/pirep.php").url(),
         "http://va.example/pirep.php?"},
        {"one", VaRequest("http://va.example/p.php").add("pilot", "ABC123").url(),
         "http://va.example/p.php?pilot=ABC123"},
        {"several, values encoded, names not",
         VaRequest("http://va.example/p.php").add("date", "2024/05/01").add("reg", "F-G HI").url(),
         "http://va.example/p.php?date=2024/05/01&reg=F-G%20HI"},
        {"empty value", VaRequest("http://va.example/p.php").add("passwd", "").add("x", "1").url(),
         "http://va.example/p.php?passwd=&x=1"},
        {"address with a query already",
         VaRequest("http://va.example/p.php?va=7").add("pilot", "A1").url(),
         "http://va.example/p.php?va=7?pilot=A1"},
    };
    for (const Row& row : rows) EXPECT_EQ(row.url, row.expected) << row.name;
}

TEST(VaRequestTest, PiecesShareTheBaseWithoutChangingIt) {
    VaRequest base("http://va.example/p.php");
    base.add("pilot", "ABC1");
    EXPECT_EQ(base.urlWith({{"more", "0"}, {"log", "Take off*Climb & 50%"}}),
              "http://va.example/p.php?pilot=ABC1&more=0&log=Take%20off*Climb%20%26%2050%25");
    EXPECT_EQ(base.urlWith({{"more", "1"}, {"log", ""}}),
              "http://va.example/p.php?pilot=ABC1&more=1&log=");
    EXPECT_EQ(base.url(), "http://va.example/p.php?pilot=ABC1");
    // With no parameter selected the piece still starts with "&", as the scripts read it.
    EXPECT_EQ(VaRequest("http://va.example/p.php").urlWith({{"more", "0"}, {"log", "A"}}),
              "http://va.example/p.php?&more=0&log=A");
}

}  // namespace
}  // namespace aviolog::reporting

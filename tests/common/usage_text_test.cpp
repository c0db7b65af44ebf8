#include "common/usage_text.h"

#include <gtest/gtest.h>

#include <string>

namespace aviolog {
namespace {

TEST(UsageText, EntriesKeepTheirColumnAndWidth) {
    const std::string longHelp =
        "stop answering the program when the simulator has sent nothing for N ms (default "
        "1000)";
    const struct {
        const char* name;
        std::string synopsis;
        std::string help;
        const char* expected;
    } rows[] = {
        {"short", "--dir DIR", "working directory",
         "  --dir DIR               working directory\n"},
        {"wrapped under the column", "--stale-ms N", longHelp,
         "  --stale-ms N            stop answering the program when the simulator has sent "
         "nothing\n"
         "                          for N ms (default 1000)\n"},
        {"a synopsis that reaches the column takes its own line", "--set-clock HH:MM[/HH:MM]",
         "the form's UTC clock",
         "  --set-clock HH:MM[/HH:MM]\n"
         "                          the form's UTC clock\n"},
        {"a word longer than the column stays whole", "--x", std::string(70, 'a') + " b",
         "  --x                     aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"
         "aaaaaaaaaa\n"
         "                          b\n"},
    };
    for (const auto& row : rows) {
        std::string out;
        appendUsageEntry(out, row.synopsis, row.help, 2, 26);
        EXPECT_EQ(out, row.expected) << row.name;
    }
}

TEST(UsageText, ParagraphsWrapAtTheWidth) {
    std::string out;
    appendWrapped(out, std::string(50, 'a') + " " + std::string(40, 'b') + "\nsecond", 2);
    EXPECT_EQ(out, "  " + std::string(50, 'a') + "\n  " + std::string(40, 'b') + "\n  second\n");
}

}  // namespace
}  // namespace aviolog

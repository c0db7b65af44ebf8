// The ACARS tab and the gauge's share of it: header rows by marker, one row per line, the
// lines for the gauge's first page and the uplink page on its third.

#include "reporting/acars_view.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/flight_services.h"
#include "reporting/live_link.h"

namespace aviolog::reporting {
namespace {

using Lines = std::vector<std::string>;

struct GaugeSpy final : model::GaugeLink {
    bool isOpen() const override { return connected; }
    void open(const std::string&) override {}
    void page2Lines(const std::string&) override {}
    void page1Lines(const std::string& text) override { page1.push_back(text); }
    void showPage(const model::MenuPage& page) override { pages.push_back(page); }
    void refresh() override {}
    bool connected = true;
    Lines page1;
    std::vector<model::MenuPage> pages;
};

TEST(AcarsView, HeadersByMarkerAndLinesByBreak) {
    struct Row {
        const char* name;
        std::string text;
        Lines headers;
        Lines lines;
    };
    const std::vector<Row> rows = {
        {"no marker", "hello crew\n\n", {"Free text Message"}, {"hello crew"}},
        {"a <br> makes two lines", "one<br>two", {"Free text Message"}, {"one", "two"}},
        {"the pound byte breaks a line",
         "AUTOPOS N38 \xA3/ALT 100 ",
         {"AutoPos Message"},
         {"AUTOPOS N38 ", "/ALT 100 "}},
        {"a marker found twice adds its row twice",
         "LDG 10:05\nLDG again\n",
         {"Landing Message", "Landing Message"},
         {"LDG 10:05", "LDG again"}},
        {"markers in the order found",
         "BLK ON: 10:10\nMETAR X\n",
         {"Block on Message", "Metar Message"},
         {"BLK ON: 10:10", "METAR X"}},
        {"take-off and block off",
         "BLQ OFF 09:27\nT/O 09:35\n",
         {"Block off Message", "Take off Message"},
         {"BLQ OFF 09:27", "T/O 09:35"}},
    };
    for (const Row& r : rows) {
        const AcarsViewEntry entry = readAcarsMessage(r.text);
        EXPECT_EQ(entry.headers, r.headers) << r.name;
        EXPECT_EQ(entry.lines, r.lines) << r.name;
        EXPECT_FALSE(entry.uplink) << r.name;
    }
}

TEST(AcarsView, RowsGoToTheTabAndLinesToTheGaugeOnlyWhileItIsOpen) {
    model::MainWindowModel window;
    GaugeSpy gauge;
    AcarsView view(window, gauge);
    view.addAcarsMessage("first<br>second");
    gauge.connected = false;
    view.addAcarsMessage("third\n");

    const auto* rows = view.rows().rows(kAcarsMessages);
    ASSERT_NE(rows, nullptr);
    const std::vector<model::PropertyRow> expected = {{"Free text Message", ""},
                                                      {"", "first"},
                                                      {"", "second"},
                                                      {"Free text Message", ""},
                                                      {"", "third"}};
    EXPECT_EQ(*rows, expected);
    EXPECT_EQ(gauge.page1, (Lines{"first", "second"}));
    EXPECT_TRUE(gauge.pages.empty()) << "not an uplink message";
}

TEST(AcarsView, UplinkMessageTakesTheGaugesThirdPageIn44CharacterRows) {
    model::MainWindowModel window;
    GaugeSpy gauge;
    AcarsView view(window, gauge);
    const std::string line = "SENDTOTP1944 " + std::string(87, 'x');  // 100 characters
    view.addAcarsMessage("Uplink from dispatch\n" + line + "\n");

    ASSERT_EQ(gauge.pages.size(), 1u);
    const model::MenuPage& page = gauge.pages[0];
    EXPECT_EQ(page.rows[0].left, "Uplink Message");
    EXPECT_EQ(page.rows[1].left, "");
    EXPECT_EQ(page.rows[2].left, line.substr(0, 44));
    EXPECT_EQ(page.rows[3].left, line.substr(44, 44));
    EXPECT_EQ(page.rows[4].left, line.substr(88));
    EXPECT_EQ(page.rows[4].left.size(), 12u);
    EXPECT_EQ(page.rows[5].left, "");
    const auto* rows = view.rows().rows(kAcarsMessages);
    ASSERT_NE(rows, nullptr);
    EXPECT_EQ(rows->front().name, "Uplink Message");
}

TEST(AcarsView, AnUplinkLineLongerThanThePageIsCutAtItsLastRow) {
    const model::MenuPage page = uplinkPage(std::string(400, 'y'));
    for (std::size_t row = 2; row < page.rows.size(); ++row) {
        EXPECT_EQ(page.rows[row].left.size(), 44u) << "row " << row + 1;
    }
}

TEST(UplinkAnswer, MessagesForTheFlightAndTheNewestNumber) {
    struct Row {
        const char* name;
        std::string answer;
        std::string flight;
        Lines messages;
        std::optional<int> number;
    };
    const std::vector<Row> rows = {
        {"the SENDTO example",
         "A SENDTOTAP123 hello%B other%#57\n",
         "TAP123",
         {"A SENDTOTAP123 hello"},
         57},
        {"an answer starting with # shows nothing", "#58\nSENDTOTAP123 x%", "TAP123", {}, 58},
        {"no # keeps the number", "SENDTOTAP123 hi%\n", "TAP123", {"SENDTOTAP123 hi"}, {}},
        {"text after the last % is not a message",
         "SENDTOTAP123 a%SENDTOTAP123 b\n#3\n",
         "TAP123",
         {"SENDTOTAP123 a"},
         3},
        {"a message naming another flight", "SENDTOTAP999 not ours%#4\n", "TAP123", {}, 4},
        {"a longer flight number is another flight's", "SENDTOTAP1234 x%#4\n", "TAP12", {}, 4},
        {"a letter after the key makes another flight's", "SENDTOTAP12B x%#4\n", "TAP12", {}, 4},
        {"the key ends the message", "hello SENDTOTAP12%#4\n", "TAP12", {"hello SENDTOTAP12"}, 4},
        {"punctuation ends the key", "SENDTOTAP12: x%#4\n", "TAP12", {"SENDTOTAP12: x"}, 4},
        {"the flight's key after another's",
         "SENDTOTAP123 and SENDTOTAP12 x%#4\n",
         "TAP12",
         {"SENDTOTAP123 and SENDTOTAP12 x"},
         4},
        {"# without a number keeps the number",
         "SENDTOTAP123 y%#\n",
         "TAP123",
         {"SENDTOTAP123 y"},
         {}},
        {"# without a line feed keeps the number", "#12", "TAP123", {}, {}},
        {"every message for the flight, in order",
         "SENDTOTAP123 1%SENDTOTAP123 2%#9\n",
         "TAP123",
         {"SENDTOTAP123 1", "SENDTOTAP123 2"},
         9},
    };
    for (const Row& r : rows) {
        const UplinkAnswer read = readUplinkAnswer(r.answer, r.flight);
        EXPECT_EQ(read.messages, r.messages) << r.name;
        EXPECT_EQ(read.lastNumber, r.number) << r.name;
    }
}

TEST(UplinkAnswer, ResetNumberFromTheSecondCharacterToTheLineFeed) {
    struct Row {
        const char* name;
        std::string answer;
        std::optional<int> number;
    };
    const std::vector<Row> rows = {
        {"as the script answers", "#42\n", 42},
        {"any first character", "N7\nrest", 7},
        {"no line feed keeps the number", "#42", {}},
        {"no number keeps the number", "#\n", {}},
        {"a number too large for the counter keeps it", "#99999999999\n", {}},
    };
    for (const Row& r : rows) EXPECT_EQ(readUplinkResetAnswer(r.answer), r.number) << r.name;
}

}  // namespace
}  // namespace aviolog::reporting

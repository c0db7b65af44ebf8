#include "model/main_window_model.h"

#include <gtest/gtest.h>

namespace aviolog::model {
namespace {

// The log view's two columns: the time, and the text. The header lines the stop puts in
// front of the log carry no time and must keep every character.
TEST(LogViewRow, TimedLinesSplitAndEveryOtherLineStaysWhole) {
    struct Row {
        const char* name;
        const char* line;
        const char* time;
        const char* text;
    };
    const Row rows[] = {
        {"event line", "09:25  Parking Brakes off", "09:25", "Parking Brakes off"},
        {"start line", "14:00  Start  [2024/03/02 14:00]", "14:00", "Start  [2024/03/02 14:00]"},
        {"time only", "09:25", "09:25", ""},
        {"shorter than eight", "09:25  ", "09:25", ""},
        {"header date", "[2024/03/02 14:00:00]", "", "[2024/03/02 14:00:00]"},
        {"header pilot", "Pilot Number:123", "", "Pilot Number:123"},
        {"header route", "Route:DCT", "", "Route:DCT"},
        {"header online", "Online: VATSIM", "", "Online: VATSIM"},
        {"short header", "PAX", "", "PAX"},
        {"colon elsewhere", "12345:67  x", "", "12345:67  x"},
        {"letters for digits", "ab:cd  text", "", "ab:cd  text"},
        {"empty", "", "", ""},
    };
    for (const Row& row : rows) {
        const PropertyRow shown = logViewRow(row.line);
        EXPECT_EQ(shown.name, row.time) << row.name;
        EXPECT_EQ(shown.value, row.text) << row.name;
    }
}

}  // namespace
}  // namespace aviolog::model

// The ACARS texts byte for byte: the journal's lines and the web form's one line, which keep
// and drop different line feeds and use the pound byte as their own line break.

#include "reporting/acars_format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace aviolog::reporting {
namespace {

AcarsHeader header(const char* label, std::uint16_t blockId, std::uint16_t messageNumber) {
    AcarsHeader h;
    h.day = 14;
    h.month = 6;
    h.year = 2024;
    h.utcHour = 9;
    h.utcMinute = 7;
    h.registration = "CS-TNA";
    h.aircraftType = "A320";
    h.companyIcao = "TAP";
    h.flightNumber = "TP1944";
    h.label = label;
    h.blockId = blockId;
    h.messageNumber = messageNumber;
    return h;
}

const PositionValues kCruise{38.77, -9.13, 19819, 304, 37, -5, 382, 5018};

TEST(AcarsFormat, ContentOfEveryKindInTextAndForm) {
    struct Row {
        const char* name;
        AcarsContent content;
        std::string text;
        std::string form;
    };
    const std::string autopos = "AUTOPOS N38\xBA 46\xB4 12\xB4\xB4 W009\xBA 07\xB4 48\xB4\xB4 ";
    const std::vector<Row> rows = {
        {"block off", outContent(9, 27, 6171, 61965), "BLQ OFF 09:27 /FOB 6171 /TAW 61965\n\n",
         "BLQ OFF 09:27 /FOB 6171 /TAW 61965"},
        {"take-off keeps its N1 line behind a pound byte", offContent(9, 35, 6032, 61826, 86, 85),
         "T/O 09:35 /FOB 6032 /TOW 61826\n/N1/1 86 /N1/2 85\n\n",
         "T/O 09:35 /FOB 6032 /TOW 61826\xA3/N1/1 86 /N1/2 85"},
        {"landing", onContent(10, 5, 4764, 60557), "LDG 10:05 /FOB 4764 /LDW 60557\n\n",
         "LDG 10:05 /FOB 4764 /LDW 60557"},
        {"block on keeps both trailing blanks", inContent(10, 10, 4706, 1474, 0, 43, 0, 30),
         "BLK ON: 10:10 /FOB 4706 /TFB 1474 \n/BBT 00:43 /FT 0030 \n\n",
         "BLK ON: 10:10 /FOB 4706 /TFB 1474 \xA3/BBT 00:43 /FT 0030 "},
        {"METAR keeps its line feeds in the form",
         metarContent("LPPT 140920Z 34010KT CAVOK 21/12 Q1018"),
         "METAR LPPT 140920Z 34010KT CAVOK 21/12 Q1018 \n\n",
         "METAR LPPT 140920Z 34010KT CAVOK 21/12 Q1018 \n\n"},
        {"free text as typed", freeTextContent("50% off & more=+# \xA3"),
         "50% off & more=+# \xA3\n\n", "50% off & more=+# \xA3"},
        {"position report in kilograms", positionContent(kCruise, WeightUnit::Kilograms),
         autopos + "\n/ALT 19819 \n/WND 30437 /TAT -5 /TAS 382 \n/FOB 5018 \n\n",
         autopos + "\xA3/ALT 19819 \xA3/WND 30437 \xA3/TAT -5 /TAS 382 \xA3/FOB 5018"},
        {"position report in pounds ends its form with a blank",
         positionContent(kCruise, WeightUnit::Pounds),
         autopos + "\n/ALT 19819 \n/WND 30437 /TAT -5 /TAS 382 \n/FOB 5018 \n\n",
         autopos + "\xA3/ALT 19819 \xA3/WND 30437 \xA3/TAT -5 /TAS 382 \xA3/FOB 5018 "},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(r.content.text, r.text) << r.name;
        EXPECT_EQ(r.content.form, r.form) << r.name;
    }
}

TEST(AcarsFormat, PositionLineByHemisphere) {
    struct Row {
        const char* name;
        double latDeg, lonDeg;
        std::string line;
    };
    const std::vector<Row> rows = {
        {"Lisbon", 38.77, -9.13, "AUTOPOS N38\xBA 46\xB4 12\xB4\xB4 W009\xBA 07\xB4 48\xB4\xB4 \n"},
        {"south and east", -33.9461, 151.1772,
         "AUTOPOS S33\xBA 56\xB4 45\xB4\xB4 E151\xBA 10\xB4 37\xB4\xB4 \n"},
        {"seconds are cut, never rounded up to 60", 10.0 + 59.999 / 3600, 0.5,
         "AUTOPOS N10\xBA 00\xB4 59\xB4\xB4 E000\xBA 30\xB4 00\xB4\xB4 \n"},
        {"the equator and the prime meridian still get a line", 0.0, 0.0,
         "AUTOPOS N00\xBA 00\xB4 00\xB4\xB4 E000\xBA 00\xB4 00\xB4\xB4 \n"},
    };
    for (const Row& r : rows) EXPECT_EQ(autoposLine(r.latDeg, r.lonDeg), r.line) << r.name;
}

TEST(AcarsFormat, FirstFourLinesLoseTheirLineFeedsInTheFormExceptLabel16sLabel) {
    const AcarsMessage qa = composeAcars(header("QA", 1, 1), outContent(9, 27, 6171, 61965));
    EXPECT_EQ(qa.text,
              "[14-06-2024 09:07]\nACARS mode: C Aircraft reg: CS-TNA [A320 TAP]\n"
              "Message Label: QA Block id: 01 MSg. no: M01A\nFlight id: TP1944\n"
              "Message content: \nBLQ OFF 09:27 /FOB 6171 /TAW 61965\n\n");
    EXPECT_EQ(qa.form.dttm, "[14-06-2024 09:07]");
    EXPECT_EQ(qa.form.acftreg, "ACARS mode: C Aircraft reg: CS-TNA [A320 TAP]");
    EXPECT_EQ(qa.form.mlabel, "Message Label: QA Block id: 01 MSg. no: M01A");
    EXPECT_EQ(qa.form.fltnum, "Flight id: TP1944");
    EXPECT_EQ(qa.form.mcontent,
              "Message content: \xA3"
              "BLQ OFF 09:27 /FOB 6171 /TAW 61965");

    const AcarsMessage metar = composeAcars(header("16", 65535, 12345), metarContent("X"));
    EXPECT_EQ(metar.form.mlabel, "Message Label: 16 Block id: 65535 MSg. no: M12345A\n");
    EXPECT_EQ(metar.form.dttm, "[14-06-2024 09:07]");
    EXPECT_EQ(metar.form.fltnum, "Flight id: TP1944");
}

TEST(AcarsFormat, WeightsInTheCompanysUnitAreTruncated) {
    EXPECT_EQ(weightIn(WeightUnit::Kilograms, 6171.99), 6171);
    EXPECT_EQ(weightIn(WeightUnit::Pounds, 1000.0), 2204);  // 2204.59
}

}  // namespace
}  // namespace aviolog::reporting

#include "mail/smtp_message.h"

#include <gtest/gtest.h>

#include "mail/smtp_connection.h"
#include "platform/unique_ids.h"
#include "tests/support/temp_dir.h"

namespace aviolog::mail {
namespace {

class CountingIds final : public platform::UniqueIds {
  public:
    std::string newUuid() override { return "uuid-" + std::to_string(++count); }
    int count = 0;
};

const platform::CivilTime kMayDay{2004, 5, 1, 14, 3, 9, 0, 6};

TEST(DateLine, ZoneFromTheBias) {
    struct Row {
        const char* name;
        int biasMinutes;
        const char* expected;
    };
    const Row rows[] = {
        {"5 h 30 min east", -330, "Sat, 01 May 2004 14:03:09 +0530"},
        {"3 h west", 180, "Sat, 01 May 2004 14:03:09 -0300"},
        {"UTC", 0, "Sat, 01 May 2004 14:03:09 +0000"},
        {"3 h 30 min west", 210, "Sat, 01 May 2004 14:03:09 -0330"},
        {"12 h 45 min east", -765, "Sat, 01 May 2004 14:03:09 +1245"},
        {"30 min west keeps its sign", 30, "Sat, 01 May 2004 14:03:09 -0030"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(dateLine(kMayDay, row.biasMinutes), row.expected) << row.name;
}

TEST(DataEncoder, DotsAtLineStartsAreDoubledAndLineEndsAreCrLf) {
    struct Row {
        const char* name;
        std::vector<std::string> pieces;
        const char* expected;
    };
    const Row rows[] = {
        {"text starting with a dot", {".hidden"}, "..hidden"},
        {"dot after LF", {"a\n.b"}, "a\r\n..b"},
        {"a lone dot line cannot end the data", {"a\r\n.\r\nb"}, "a\r\n..\r\nb"},
        {"dot inside a line stays", {"a.b\r\nc."}, "a.b\r\nc."},
        {"CR LF split between pieces", {"a\r", "\n.b"}, "a\r\n..b"},
        {"bare CR", {"a\rb"}, "a\r\nb"},
        {"dot in the next piece after a line end", {"a\r\n", ".", "."}, "a\r\n..."},
    };
    for (const Row& row : rows) {
        DataEncoder encoder;
        std::string out;
        for (const std::string& piece : row.pieces) out += encoder.feed(piece);
        EXPECT_EQ(out, row.expected) << row.name;
    }
}

TEST(SmtpMessage, AddressListsSplitAtCommaOrSemicolon) {
    const auto list = SmtpMessage::parseAddressList(
        " ops@va.example; Chief Pilot <chief@va.example>,,\"Ann B\" <ann@x.example> ");
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].address, "ops@va.example");
    EXPECT_EQ(list[0].name, "");
    EXPECT_EQ(list[1].address, "chief@va.example");
    EXPECT_EQ(list[1].name, "Chief Pilot");
    EXPECT_EQ(list[2].address, "ann@x.example");
    EXPECT_EQ(list[2].name, "Ann B");
    EXPECT_TRUE(SmtpMessage::parseAddressList(" ; , ").empty());
}

TEST(SmtpMessage, PlainHeaderInItsOrder) {
    CountingIds ids;
    SmtpMessage m;
    m.from = {"pilot@example.org", "Jo\xe3o"};
    m.to = SmtpMessage::parseAddressList("ops@va.example, log@va.example");
    m.cc = SmtpMessage::parseAddressList("cc@va.example");
    m.bcc = SmtpMessage::parseAddressList("hidden@va.example");
    m.subject = "Log\r\nBcc: injected@evil.example";
    m.xMailer.clear();
    m.replyTo = "reply@example.org";
    m.customHeaders = {"X-Flight: TAP123"};
    m.setTextBody("Flight log is attached");
    const auto rendered = m.render(ids, kMayDay, -60);
    ASSERT_TRUE(rendered);
    EXPECT_EQ(rendered->header,
              "From: =?iso-8859-1?q?Jo=E3o?= <pilot@example.org>\r\n"
              "To: ops@va.example,log@va.example\r\n"
              "Cc: cc@va.example\r\n"
              "Subject: Log  Bcc: injected@evil.example\r\n"
              "Content-Type: text/plain;\r\n\tcharset=iso-8859-1\r\n"
              "Reply-To: reply@example.org\r\n"
              "Date: Sat, 01 May 2004 14:03:09 +0100\r\n"
              "X-Flight: TAP123\r\n");
    EXPECT_EQ(rendered->body, "Flight log is attached");
    EXPECT_EQ(ids.count, 0) << "a single part needs no boundary";
}

TEST(SmtpMessage, AttachmentsMakeAMultipartMessageWithFreshBoundaries) {
    test::TempDir dir;
    dir.write("TAP123.txt", "log");
    CountingIds ids;
    SmtpMessage m;
    m.from = {"pilot@example.org", ""};
    m.to = SmtpMessage::parseAddressList("ops@va.example");
    m.setTextBody("Flight log is attached");
    m.addAttachment(dir / "TAP123.txt");
    const auto first = m.render(ids, kMayDay, 0);
    const auto second = m.render(ids, kMayDay, 0);
    ASSERT_TRUE(first && second);
    EXPECT_NE(first->header.find("From: pilot@example.org\r\n"), std::string::npos)
        << first->header;
    EXPECT_NE(first->header.find("Content-Type: multipart/mixed; boundary=\"uuid-1\"\r\n"),
              std::string::npos);
    EXPECT_EQ(first->body.rfind(kMultipartPreamble, 0), 0u) << "the preamble comes first";
    EXPECT_NE(first->body.find("name=TAP123.txt\r\n"), std::string::npos);
    EXPECT_EQ(first->body.substr(first->body.size() - 12), "\r\n--uuid-1--");
    EXPECT_NE(second->header.find("boundary=\"uuid-2\""), std::string::npos);
}

TEST(SmtpMessage, MissingAttachmentComposesNothing) {
    test::TempDir dir;
    CountingIds ids;
    SmtpMessage m;
    m.addAttachment(dir / "gone.txt");
    std::filesystem::path failed;
    EXPECT_FALSE(m.render(ids, kMayDay, 0, &failed));
    EXPECT_EQ(failed, dir / "gone.txt");
}

TEST(SmtpMessage, LineTooLongForSmtpTravelsQuotedPrintable) {
    CountingIds ids;
    SmtpMessage m;
    m.setTextBody(std::string(19999, 'x'));
    const auto rendered = m.render(ids, kMayDay, 0);
    ASSERT_TRUE(rendered);
    EXPECT_NE(rendered->header.find("Content-Transfer-Encoding: quoted-printable\r\n"),
              std::string::npos);
    EXPECT_NE(rendered->header.find("Content-Type: text/plain; charset=iso-8859-1\r\n"),
              std::string::npos);
    EXPECT_EQ(rendered->body.find(std::string(77, 'x')), std::string::npos);
}

}  // namespace
}  // namespace aviolog::mail

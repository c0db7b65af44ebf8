#include "mail/smtp_connection.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "mail/base64.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_tcp_client.h"
#include "platform/posix/posix_unique_ids.h"
#include "tests/support/scripted_smtp_server.h"

namespace aviolog::mail {
namespace {

using test::ScriptedSmtpServer;
using test::ServerSide;

constexpr const char* kGreeting = "220 test.example ESMTP\r\n";
const std::string kUserPrompt = "334 " + base64Encode("Username:") + "\r\n";
const std::string kPasswordPrompt = "334 " + base64Encode("Password:") + "\r\n";

struct ConnectionRig {
    platform::posix::PosixClock clock;
    platform::posix::PosixTcpConnector connector{clock};
    platform::posix::PosixUniqueIds ids;
    CSMTPConnection connection{connector, clock, ids};
};

std::int64_t msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

TEST(SmtpConnection, MultiLineEhloReplyIsReadToItsLastLine) {
    bool quietAfterFirstLine = false;
    ScriptedSmtpServer server([&](ServerSide& s) {
        s.send(kGreeting);
        s.readLine();
        s.send("250-test.example greets you\r\n");
        // The client must not take the first line for the whole reply.
        quietAfterFirstLine = s.quietFor(300);
        s.send("250-AUTH LOGIN CRAM-MD5\r\n250-SIZE 1000");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        s.send("0\r\n250 HELP\r\n");
        s.readLine();
        s.send(kUserPrompt);
        s.readLine();
        s.send(kPasswordPrompt);
        s.readLine();
        s.send("235 ok\r\n");
        s.readLine();
        s.send("221 bye\r\n");
    });
    ConnectionRig rig;
    rig.connection.setHeloName("cockpit");
    ASSERT_TRUE(
        rig.connection.connect("127.0.0.1", auth_method::kLogin, "pilot", "pw", server.port()))
        << rig.connection.diagnostic();
    rig.connection.disconnect();
    const auto& lines = server.join();
    EXPECT_TRUE(quietAfterFirstLine);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "EHLO cockpit");
    EXPECT_EQ(lines[1], "AUTH LOGIN");
    EXPECT_EQ(lines[2], base64Encode("pilot"));
    EXPECT_EQ(lines[3], base64Encode("pw"));
    EXPECT_EQ(lines[4], "QUIT");
}

TEST(SmtpConnection, PlainTextLoginSendsTheUserNameInClear) {
    ScriptedSmtpServer server([](ServerSide& s) {
        s.send(kGreeting);
        s.readLine();
        s.send("250 test.example\r\n");
        s.readLine();
        s.send("334 username:\r\n");
        s.readLine();
        s.send("334 Password:\r\n");
        s.readLine();
        s.send("235 ok\r\n");
        s.waitForClose();
    });
    ConnectionRig rig;
    ASSERT_TRUE(
        rig.connection.connect("127.0.0.1", auth_method::kLoginPlain, "pilot", "pw", server.port()))
        << rig.connection.diagnostic();
    rig.connection.setResponseTimeoutMs(200);
    rig.connection.disconnect();
    const auto& lines = server.join();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[1], "AUTH LOGIN PLAIN");
    EXPECT_EQ(lines[2], "pilot");
    EXPECT_EQ(lines[3], "pw");
}

TEST(SmtpConnection, CramMd5AnswersTheRfc2195Example) {
    ScriptedSmtpServer server([](ServerSide& s) {
        s.send(kGreeting);
        s.readLine();
        s.send("250 test.example\r\n");
        s.readLine();
        s.send("334 PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+\r\n");
        s.readLine();
        s.send("235 ok\r\n");
        s.waitForClose();
    });
    ConnectionRig rig;
    ASSERT_TRUE(rig.connection.connect("127.0.0.1", auth_method::kCramMd5, "tim",
                                       "tanstaaftanstaaf", server.port()))
        << rig.connection.diagnostic();
    rig.connection.setResponseTimeoutMs(200);
    rig.connection.disconnect();
    const auto& lines = server.join();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[1], "AUTH CRAM-MD5");
    EXPECT_EQ(lines[2], "dGltIGI5MTNhNjAyYzdlZGE3YTQ5NWI0ZTZlNzMzNGQzODkw");
}

TEST(SmtpConnection, ServerThatNeverAnswersCostsOnlyTheTimeOut) {
    struct Row {
        const char* name;
        std::function<void(ServerSide&)> script;
        int expectedError;
    };
    const Row rows[] = {
        {"silent", [](ServerSide& s) { s.waitForClose(); }, 10060},
        {"one byte at a time, never a line end",
         [](ServerSide& s) {
             for (int i = 0; i < 40 && s.quietFor(0); ++i) {
                 s.send("2");
                 std::this_thread::sleep_for(std::chrono::milliseconds(50));
             }
             s.waitForClose();
         },
         10060},
    };
    for (const Row& row : rows) {
        ScriptedSmtpServer server(row.script);
        ConnectionRig rig;
        rig.connection.setResponseTimeoutMs(400);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(rig.connection.connect("127.0.0.1", 0, "", "", server.port())) << row.name;
        EXPECT_LT(msSince(start), 1500) << row.name;
        EXPECT_EQ(rig.connection.diagnostic(),
                  "CSMTPConnection::ReadResponse, Timed Out waiting for response from SMTP server")
            << row.name;
        EXPECT_EQ(rig.connection.lastError(), row.expectedError) << row.name;
    }
}

TEST(SmtpConnection, EndlessLineIsCutOffWithBoundedMemory) {
    ScriptedSmtpServer server([](ServerSide& s) {
        const std::string flood(64 * 1024, 'x');
        for (int i = 0; i < 64 && s.quietFor(0); ++i) s.send(flood);
        s.waitForClose();
    });
    ConnectionRig rig;
    rig.connection.setResponseTimeoutMs(3000);
    EXPECT_FALSE(rig.connection.connect("127.0.0.1", 0, "", "", server.port()));
    EXPECT_EQ(rig.connection.lastError(), 10040);
    EXPECT_LE(rig.connection.lastResponse().size(), 64u * 1024);
    EXPECT_EQ(rig.connection.diagnostic(),
              "CSMTPConnection::Connect, An unexpected SMTP login response was received");
}

TEST(SmtpConnection, EachRefusedStepHasItsDiagnostic) {
    struct Row {
        const char* name;
        int method;
        std::vector<std::pair<std::string, std::string>> replies;
        bool connects;
        const char* diagnostic;
        const char* lastResponse;
    };
    const std::pair<std::string, std::string> ehlo{"EHLO", "250 ok\r\n"};
    const std::pair<std::string, std::string> helo{"HELO", "250 ok\r\n"};
    const std::pair<std::string, std::string> quit{"QUIT", "221 bye\r\n"};
    const Row rows[] = {
        {"HELO refused",
         0,
         {{"HELO", "502 no\r\n"}},
         false,
         "CSMTPConnection::Connect, An unexpected HELO/EHLO response was received",
         "502 no\r\n"},
        {"EHLO refused",
         2,
         {{"EHLO", "502 no\r\n"}},
         false,
         "CSMTPConnection::ConnectESMTP, An unexpected response was received occurred while "
         "sending the EHLO command",
         "502 no\r\n"},
        {"method outside 1 to 3",
         7,
         {ehlo},
         false,
         "CSMTPConnection::Connect, An unexpected HELO/EHLO response was received",
         "250 ok\r\n"},
        {"no AUTH LOGIN",
         2,
         {ehlo, {"AUTH", "504 unknown\r\n"}},
         false,
         "CSMTPConnection::AuthLogin, Server does not support AUTH LOGIN",
         "504 unknown\r\n"},
        {"AUTH LOGIN prompt is not for the user name",
         2,
         {ehlo, {"AUTH", kPasswordPrompt}},
         false,
         "CSMTPConnection::AuthLogin, An unexpected request received when expecting username "
         "request",
         kPasswordPrompt.c_str()},
        {"AUTH LOGIN user name refused",
         2,
         {ehlo, {"AUTH", kUserPrompt}, {"", "535 no such user\r\n"}},
         false,
         "CSMTPConnection::AuthLogin, Server did not respond correctly to AUTH LOGIN username "
         "field",
         "535 no such user\r\n"},
        {"AUTH LOGIN prompt is not for the password",
         2,
         {ehlo, {"AUTH", kUserPrompt}, {"", kUserPrompt}},
         false,
         "CSMTPConnection::AuthLogin, An unexpected request received when expecting password "
         "request",
         kUserPrompt.c_str()},
        {"no CRAM-MD5",
         1,
         {ehlo, {"AUTH", "504 unknown\r\n"}},
         false,
         "CSMTPConnection::CramLogin, Server does not support AUTH CRAM-MD5",
         "504 unknown\r\n"},
        {"no LOGIN PLAIN",
         3,
         {ehlo, {"AUTH", "504 unknown\r\n"}},
         false,
         "CSMTPConnection::AuthLoginPlain, Server does not support AUTH LOGIN PLAIN",
         "504 unknown\r\n"},
        {"LOGIN PLAIN user name refused",
         3,
         {ehlo, {"AUTH", "334 username:\r\n"}, {"", "535 no\r\n"}},
         false,
         "CSMTPConnection::AuthLoginPlain, Server did not response correctly to AUTH LOGIN PLAIN "
         "username field",
         "535 no\r\n"},
        {"MAIL refused",
         0,
         {helo, {"MAIL", "550 not you\r\n"}, quit},
         true,
         "CSMTPConnection::SendMessage, An unexpected MAIL response was received",
         "550 not you\r\n"},
        {"RCPT refused",
         0,
         {helo, {"MAIL", "250 ok\r\n"}, {"RCPT", "550 no such box\r\n"}, quit},
         true,
         "CSMTPConnection::SendRCPTForRecipient, An unexpected RCPT response was received",
         "550 no such box\r\n"},
        {"DATA refused",
         0,
         {helo, {"MAIL", "250 ok\r\n"}, {"RCPT", "250 ok\r\n"}, {"DATA", "554 no\r\n"}, quit},
         true,
         "CSMTPConnection::SendMessage, An unexpected DATA response was received",
         "554 no\r\n"},
        {"message refused",
         0,
         {helo,
          {"MAIL", "250 ok\r\n"},
          {"RCPT", "250 ok\r\n"},
          {"DATA", "354 go\r\n"},
          {".", "552 too big\r\n"},
          quit},
         true,
         "CSMTPConnection::SendMessage, An unexpected end of message response was received",
         "552 too big\r\n"},
        // The code of a multi-line reply is its last line's; earlier lines do not count.
        {"message refused on the last line",
         0,
         {helo,
          {"MAIL", "250 ok\r\n"},
          {"RCPT", "250 ok\r\n"},
          {"DATA", "354 go\r\n"},
          {".", "250-queued\r\n554 rejected\r\n"},
          quit},
         true,
         "CSMTPConnection::SendMessage, An unexpected end of message response was received",
         "250-queued\r\n554 rejected\r\n"},
        {"EHLO refused on the last line",
         2,
         {{"EHLO", "250-hello\r\n250-AUTH LOGIN\r\n421 closing\r\n"}},
         false,
         "CSMTPConnection::ConnectESMTP, An unexpected response was received occurred while "
         "sending the EHLO command",
         "250-hello\r\n250-AUTH LOGIN\r\n421 closing\r\n"},
    };
    for (const Row& row : rows) {
        ScriptedSmtpServer server(
            [&](ServerSide& s) { test::answerFromTable(s, kGreeting, row.replies); });
        ConnectionRig rig;
        rig.connection.setResponseTimeoutMs(2000);
        const bool connected =
            rig.connection.connect("127.0.0.1", row.method, "pilot", "pw", server.port());
        ASSERT_EQ(connected, row.connects) << row.name << ": " << rig.connection.diagnostic();
        if (connected) {
            SmtpMessage message;
            message.from = {"pilot@example.org", ""};
            message.to = SmtpMessage::parseAddressList("a@va.example");
            message.bcc = SmtpMessage::parseAddressList("b@va.example");
            message.setTextBody("text");
            EXPECT_FALSE(rig.connection.sendMessage(message)) << row.name;
        }
        EXPECT_EQ(rig.connection.diagnostic(), row.diagnostic) << row.name;
        EXPECT_EQ(rig.connection.lastResponse(), row.lastResponse) << row.name;
        EXPECT_EQ(rig.connection.lastError(), 10043) << row.name;
        if (!connected) {
            EXPECT_FALSE(rig.connection.isConnected()) << row.name;
        }
        rig.connection.disconnect();
        if (std::string(row.name) == "RCPT refused") {
            const auto& lines = server.join();
            EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                    [](const std::string& l) { return l.rfind("RCPT", 0) == 0; }),
                      1)
                << "the first refused recipient ends the send";
        }
    }
}

TEST(SmtpConnection, ConnectFailuresNameServerPortAndLocalAddress) {
    ConnectionRig rig;
    int freePort = 0;
    {
        ScriptedSmtpServer probe([](ServerSide&) {});
        freePort = probe.port();
        // Unblock the probe's accept so it closes; the port is then free.
        platform::posix::PosixTcpConnector(rig.clock).connect("127.0.0.1", freePort, "", 500);
    }
    EXPECT_FALSE(rig.connection.connect("127.0.0.1", 0, "", "", freePort));
    EXPECT_EQ(rig.connection.diagnostic(),
              "CSMTPConnection::Connect, Could not connect to the SMTP server 127.0.0.1 on port " +
                  std::to_string(freePort) + ", GetLastError returns: 10061");
    EXPECT_EQ(rig.connection.lastError(), 10061);

    ScriptedSmtpServer server([](ServerSide& s) {
        s.send("554 busy\r\n");
        s.waitForClose();
    });
    EXPECT_FALSE(rig.connection.connect("127.0.0.1", 0, "", "", server.port(), "192.0.2.1"));
    EXPECT_EQ(rig.connection.diagnostic(),
              "CSMTPConnection::Connect, Could not connect to the SMTP server 127.0.0.1 on port " +
                  std::to_string(server.port()) +
                  " from LocalAddress:192.0.2.1, GetLastError returns: 10049");
    // Bound to a local address that exists, the connection is made (and refused by the
    // greeting here).
    EXPECT_FALSE(rig.connection.connect("127.0.0.1", 0, "", "", server.port(), "127.0.0.1"));
    EXPECT_EQ(rig.connection.diagnostic(),
              "CSMTPConnection::Connect, An unexpected SMTP login response was received");
    EXPECT_EQ(rig.connection.lastResponse(), "554 busy\r\n");
}

}  // namespace
}  // namespace aviolog::mail

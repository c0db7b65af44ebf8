#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "common/text_format.h"
#include "mail/bug_report.h"
#include "mail/pirep_mail.h"
#include "tests/mail/mail_rig.h"
#include "tests/support/loopback_mail_server.h"
#include "tests/support/wait.h"

namespace aviolog::mail {
namespace {

using test::latin1ToUtf8;
using test::LoopbackMailServer;
using test::MailRig;
using test::ReceivedMail;

constexpr int kMethods[] = {0, 1, 2, 3};
constexpr const char* kMethodNames[] = {"none", "CRAM-MD5", "AUTH LOGIN", "LOGIN PLAIN"};

// What Python hands back for a text: its line ends as they travelled (CR LF), the final
// one added by the end of the message dropped.
std::string asReceived(std::string text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i] == '\r' ? '\n' : text[i];
    }
    return out;
}

std::string trimmedBody(const ReceivedMail& mail, std::size_t index = 0) {
    std::string body = mail.bodies.size() > index ? asReceived(mail.bodies[index].second) : "";
    while (!body.empty() && body.back() == '\n') body.pop_back();
    return body;
}

// Every byte value, and the sequences that would end or change DATA if sent unescaped.
std::string awkwardBytes() {
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
    bytes += "\r\n.\r\n..\r\n.line\n.\rCR only\r\x1a";
    return bytes;
}

class ProgressPilot : public test::ScriptedPilot {
  public:
    void showProgress(const std::string& title, platform::Progress& progress) override {
        titles.push_back(title);
        if (cancelAtOnce) progress.cancel();
        progress.waitUntilFinished();
        finalPercent = progress.percent();
    }
    bool cancelAtOnce = false;
    std::vector<std::string> titles;
    int finalPercent = -1;
};

class MailServerTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { server_ = std::make_unique<LoopbackMailServer>(); }
    static void TearDownTestSuite() { server_.reset(); }
    void SetUp() override {
        ASSERT_TRUE(server_->running()) << "the loopback SMTP server (python3-aiosmtpd) did not "
                                           "start:\n"
                                        << server_->startupOutput();
    }

    static void configure(MailRig& rig, int method,
                          const std::string& password = LoopbackMailServer::kPassword,
                          const std::string& more = "") {
        rig.writeSettings(format("Host=127.0.0.1\nPort=%d\nAddress=pilot@example.org\n"
                                 "Name=Jo\xe3o Pilot\nAuthenticate=%d\nUsername=%s\nPassword=%s\n",
                                 server_->port(), method, LoopbackMailServer::kUser,
                                 password.c_str()) +
                          more);
    }

    // Sends through the mailer; the message the server received, or nothing.
    static std::optional<ReceivedMail> sendOne(const std::function<bool()>& send) {
        const std::size_t before = server_->received();
        if (!send()) return std::nullopt;
        if (server_->received() != before + 1) return std::nullopt;
        return server_->mail(before + 1);
    }

    static void expectClean(const ReceivedMail& mail, const std::string& row) {
        EXPECT_TRUE(mail.parsed) << row << ": " << mail.parseError << "\n" << mail.raw;
        EXPECT_TRUE(mail.defects.empty()) << row << ": " << mail.defects.front();
    }

    static inline std::unique_ptr<LoopbackMailServer> server_;
};

TEST_F(MailServerTest, PirepAttachmentArrivesByteForByteByEachMethod) {
    for (const int method : kMethods) {
        const std::string row = kMethodNames[method];
        MailRig rig;
        configure(rig, method);
        rig.dir.write("TAP1234.txt", awkwardBytes());
        auto mailer = rig.mailer();
        const auto mail = sendOne(
            [&] { return mailer->send(pirepMail("ops@va.example", rig.dir / "TAP1234.txt")); });
        ASSERT_TRUE(mail) << row << ": " << mailer->lastDiagnostic();
        expectClean(*mail, row);
        EXPECT_TRUE(rig.pilot.shown.empty()) << row;
        EXPECT_EQ(mail->from, "pilot@example.org") << row;
        EXPECT_EQ(mail->recipients, std::vector<std::string>{"ops@va.example"}) << row;
        EXPECT_EQ(mail->header("From"), "Jo\xc3\xa3o Pilot <pilot@example.org>") << row;
        EXPECT_EQ(mail->header("Subject"), "Log") << row;
        EXPECT_FALSE(mail->hasHeader("X-Mailer")) << row;
        ASSERT_EQ(mail->bodies.size(), 1u) << row;
        EXPECT_EQ(mail->bodies[0].first, "text/plain") << row;
        EXPECT_EQ(trimmedBody(*mail), "Flight log is attached") << row;
        ASSERT_EQ(mail->attachments.size(), 1u) << row;
        EXPECT_EQ(mail->attachments[0].first, "TAP1234.txt") << row;
        EXPECT_TRUE(mail->attachments[0].second == awkwardBytes()) << row << ": attachment changed";
        if (method != 0) {
            const std::string expectedLog = std::string(method == 1   ? "CRAM-MD5"
                                                        : method == 2 ? "LOGIN"
                                                                      : "LOGIN-PLAIN") +
                                            " 70696c6f74 ok";
            EXPECT_EQ(server_->authLog().back(), expectedLog) << row;
        }
    }
}

TEST_F(MailServerTest, BugReportArrivesAsTypedByEachMethod) {
    const std::string description =
        ".starts with a dot\n.\nA l\xf3ne dot above, ..two dots here\n" + std::string(2500, 'w') +
        "\nlast line ";
    for (const int method : kMethods) {
        const std::string row = kMethodNames[method];
        MailRig rig;
        configure(rig, method);
        auto mailer = rig.mailer();
        const auto mail = sendOne([&] {
            return sendBugReport(*mailer, rig.pilot, "bugs@distributor.example", description,
                                 rig.dir.path()) == BugReportOutcome::Sent;
        });
        ASSERT_TRUE(mail) << row << ": " << mailer->lastDiagnostic();
        expectClean(*mail, row);
        EXPECT_EQ(mail->recipients, std::vector<std::string>{"bugs@distributor.example"}) << row;
        EXPECT_EQ(mail->header("Subject"), "Aviolog Bug Report") << row;
        EXPECT_EQ(trimmedBody(*mail), latin1ToUtf8(description)) << row;
    }
}

TEST_F(MailServerTest, RecipientsSubjectAndDotLinesAsWritten) {
    MailRig rig;
    configure(rig, 0);
    auto mailer = rig.mailer();
    OutgoingMail out;
    out.to = "ops@va.example; chief@va.example";
    out.cc = "Copy Desk <copy@va.example>";
    out.bcc = "hidden@va.example";
    out.subject = "Relat\xf3rio de voo: A\xe7ores \xe0 Madeira, " + std::string(8, '\xe9') + " " +
                  std::string(40, 'x');
    out.body = ".first line\n..second\n.\nend \xe0 la ligne";
    const auto mail = sendOne([&] { return mailer->send(out); });
    ASSERT_TRUE(mail) << mailer->lastDiagnostic();
    expectClean(*mail, "plain message");
    EXPECT_EQ(mail->recipients, (std::vector<std::string>{"ops@va.example", "chief@va.example",
                                                          "copy@va.example", "hidden@va.example"}));
    EXPECT_EQ(mail->header("To"), "ops@va.example, chief@va.example");
    EXPECT_EQ(mail->header("Cc"), "Copy Desk <copy@va.example>");
    EXPECT_EQ(mail->raw.find("hidden"), std::string::npos) << "Bcc appears in no header";
    EXPECT_EQ(mail->header("Subject"), latin1ToUtf8(out.subject));
    EXPECT_NE(mail->raw.find("Subject: =?iso-8859-1?q?Relat=F3rio_de_voo"), std::string::npos);
    ASSERT_EQ(mail->bodies.size(), 1u);
    EXPECT_EQ(trimmedBody(*mail), latin1ToUtf8(out.body));
    EXPECT_FALSE(mail->hasHeader("MIME-Version")) << "MIME is off by default";
}

TEST_F(MailServerTest, DateCarriesTheZone) {
    struct Row {
        const char* name;
        int biasMinutes;
        int offsetMinutes;
    };
    const Row rows[] = {{"+05 30", -330, 330}, {"-03 00", 180, -180}};
    for (const Row& row : rows) {
        MailRig rig;
        configure(rig, 0);
        rig.clock.bias = row.biasMinutes;
        auto mailer = rig.mailer();
        OutgoingMail out;
        out.to = "ops@va.example";
        const auto mail = sendOne([&] { return mailer->send(out); });
        ASSERT_TRUE(mail) << row.name << ": " << mailer->lastDiagnostic();
        expectClean(*mail, row.name);
        EXPECT_EQ(mail->dateOffsetMinutes, row.offsetMinutes)
            << row.name << ": " << mail->header("Date");
    }
}

TEST_F(MailServerTest, WrongPasswordForEachMethod) {
    struct Row {
        int method;
        const char* diagnostic;
    };
    const Row rows[] = {
        {1, "CSMTPConnection::CramLogin, AUTH CRAM-MD5 authentication was unsuccessful"},
        {2, "CSMTPConnection::AuthLogin, AUTH LOGIN authentication was unsuccessful"},
        {3, "CSMTPConnection::AuthLoginPlain, AUTH LOGIN PLAIN authentication was unsuccessful"},
    };
    for (const Row& row : rows) {
        MailRig rig;
        configure(rig, row.method, "wrong");
        auto mailer = rig.mailer();
        const std::size_t before = server_->received();
        OutgoingMail out;
        out.to = "ops@va.example";
        EXPECT_FALSE(mailer->send(out)) << kMethodNames[row.method];
        EXPECT_EQ(mailer->lastDiagnostic(), row.diagnostic) << kMethodNames[row.method];
        EXPECT_EQ(rig.pilot.texts(),
                  std::vector<std::string>{"Couldn't connect to server!, Error:10043"})
            << kMethodNames[row.method];
        EXPECT_EQ(rig.pilot.shown[0].icon, platform::MessageIcon::Error);
        EXPECT_EQ(server_->received(), before) << kMethodNames[row.method];
    }
}

TEST_F(MailServerTest, RefusedMessageShowsTheServersResponse) {
    MailRig rig;
    configure(rig, 0);
    auto mailer = rig.mailer();
    OutgoingMail out;  // no recipient: the server refuses the DATA command
    out.subject = "Log";
    EXPECT_FALSE(mailer->send(out));
    ASSERT_EQ(rig.pilot.texts().size(), 1u);
    EXPECT_EQ(rig.pilot.texts()[0].rfind("Couldn't send message!\nResponse:503", 0), 0u)
        << rig.pilot.texts()[0];
    EXPECT_EQ(mailer->lastDiagnostic(),
              "CSMTPConnection::SendMessage, An unexpected DATA response was received");
}

TEST_F(MailServerTest, HtmlBodyWhenMimeIsOn) {
    MailRig rig;
    configure(rig, 2, LoopbackMailServer::kPassword,
              "Mime=1\nHTML=1\nEncodingCharset=windows-1252\n");
    auto mailer = rig.mailer();
    OutgoingMail out;
    out.to = "ops@va.example";
    out.subject = "Log \x96 LPPT";
    out.body =
        "<p>Landing rate \x96"
        "120 ft/min</p>";
    const auto mail = sendOne([&] { return mailer->send(out); });
    ASSERT_TRUE(mail) << mailer->lastDiagnostic();
    expectClean(*mail, "html");
    ASSERT_EQ(mail->bodies.size(), 1u);
    EXPECT_EQ(mail->bodies[0].first, "text/html");
    EXPECT_EQ(trimmedBody(*mail),
              "<p>Landing rate \xe2\x80\x93"
              "120 ft/min</p>");
    EXPECT_EQ(mail->header("Subject"), "Log \xe2\x80\x93 LPPT");
}

TEST_F(MailServerTest, SendFromDiskSendsTheSavedMessage) {
    MailRig rig;
    configure(rig, 1);
    ProgressPilot pilot;
    auto mailer =
        std::make_unique<SmtpMailer>(rig.account, MailerContext{.workDir = rig.dir.path(),
                                                                .pilot = pilot,
                                                                .dialogs = rig.dialogs,
                                                                .connector = rig.connector,
                                                                .clock = rig.clock,
                                                                .ids = rig.ids});
    rig.dir.write("TAP1234.txt", awkwardBytes());
    OutgoingMail out = pirepMail("ops@va.example", rig.dir / "TAP1234.txt");
    out.body = ".dot line\nsecond";
    pilot.saveFiles.push_back(rig.dir / "pirep.eml");
    ASSERT_TRUE(mailer->saveToDisk(out));

    pilot.openFiles.push_back(rig.dir / "pirep.eml");
    OutgoingMail envelope;
    envelope.to = "archive@va.example";
    const auto mail = sendOne([&] { return mailer->sendFromDisk(envelope); });
    ASSERT_TRUE(mail) << mailer->lastDiagnostic();
    expectClean(*mail, "from disk");
    EXPECT_EQ(mail->recipients, std::vector<std::string>{"archive@va.example"});
    EXPECT_EQ(mail->header("To"), "ops@va.example") << "the header is the saved one";
    EXPECT_EQ(trimmedBody(*mail), ".dot line\nsecond");
    ASSERT_EQ(mail->attachments.size(), 1u);
    EXPECT_TRUE(mail->attachments[0].second == awkwardBytes());
    EXPECT_EQ(pilot.titles, std::vector<std::string>{"Sending Mail"});
    EXPECT_EQ(pilot.finalPercent, 100);
    EXPECT_TRUE(pilot.shown.empty());
}

TEST_F(MailServerTest, SendFromDiskCancelledDeliversNothing) {
    MailRig rig;
    configure(rig, 0);
    ProgressPilot pilot;
    pilot.cancelAtOnce = true;
    auto mailer =
        std::make_unique<SmtpMailer>(rig.account, MailerContext{.workDir = rig.dir.path(),
                                                                .pilot = pilot,
                                                                .dialogs = rig.dialogs,
                                                                .connector = rig.connector,
                                                                .clock = rig.clock,
                                                                .ids = rig.ids});
    std::string big = "From: pilot@example.org\r\nTo: ops@va.example\r\nSubject: big\r\n\r\n";
    for (int i = 0; i < 40000; ++i)
        big += "a line of a large saved message, number " + std::to_string(i) + "\r\n";
    rig.dir.write("big.eml", big);
    pilot.openFiles.push_back(rig.dir / "big.eml");
    OutgoingMail envelope;
    envelope.to = "ops@va.example";
    const std::size_t before = server_->received();
    const std::size_t openedBefore = server_->openedConnections();
    const int attemptsBefore = rig.connector.attempts;
    EXPECT_FALSE(mailer->sendFromDisk(envelope));
    // Whatever was sent has arrived once the server has seen each connection end.
    const auto connections = static_cast<std::size_t>(rig.connector.attempts - attemptsBefore);
    EXPECT_TRUE(test::waitFor([&] {
        const std::size_t opened = server_->openedConnections();
        return opened >= openedBefore + connections && server_->closedConnections() == opened;
    }));
    EXPECT_EQ(server_->received(), before);
    EXPECT_TRUE(pilot.shown.empty()) << "a cancel needs no message";

    pilot.openFiles.push_back(rig.dir / "missing.eml");
    const int attempts = rig.connector.attempts;
    EXPECT_FALSE(mailer->sendFromDisk(envelope));
    EXPECT_EQ(pilot.texts(), std::vector<std::string>{"Failed to open the file"});
    EXPECT_EQ(rig.connector.attempts, attempts) << "nothing to send, no connection";
}

}  // namespace
}  // namespace aviolog::mail

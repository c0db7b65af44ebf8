#include <gtest/gtest.h>

#include <chrono>

#include "common/text_file.h"
#include "common/text_format.h"
#include "config/ini_file.h"
#include "mail/bug_report.h"
#include "mail/mail_configuration.h"
#include "mail/mail_settings.h"
#include "mail/pirep_mail.h"
#include "tests/mail/mail_rig.h"
#include "tests/support/recording_mailer.h"
#include "tests/support/scripted_smtp_server.h"
#include "tests/support/temp_dir.h"

namespace aviolog::mail {
namespace {

using test::MailRig;

TEST(Mailer, WithoutServerOrSenderItWarnsAndOpensTheConfiguration) {
    struct Row {
        const char* name;
        const char* settings;
    };
    const Row rows[] = {
        {"nothing configured", ""},
        {"no server", "Address=pilot@example.org\n"},
        {"no sender address", "Host=127.0.0.1\n"},
    };
    for (const Row& row : rows) {
        MailRig rig;
        rig.writeSettings(row.settings);
        auto mailer = rig.mailer();
        EXPECT_FALSE(mailer->send(pirepMail("ops@va.example", rig.dir / "TAP1.txt"))) << row.name;
        EXPECT_FALSE(mailer->sendFromDisk({})) << row.name;
        EXPECT_EQ(rig.pilot.texts(),
                  (std::vector<std::string>{kNotConfiguredMessage, kNotConfiguredMessage}))
            << row.name;
        EXPECT_EQ(rig.pilot.shown[0].icon, platform::MessageIcon::Warning) << row.name;
        EXPECT_EQ(rig.dialogs.configureCalls, 2) << row.name;
        EXPECT_EQ(rig.connector.attempts, 0) << row.name << ": no network access";
    }
}

TEST(Mailer, ServerSilentAfterDataCostsOneTimeOut) {
    test::ScriptedSmtpServer server([](test::ServerSide& s) {
        test::answerFromTable(s, "220 ok\r\n",
                              {{"HELO", "250 ok\r\n"},
                               {"MAIL", "250 ok\r\n"},
                               {"RCPT", "250 ok\r\n"},
                               {"DATA", "354 go\r\n"},
                               {".", ""}});
    });
    MailRig rig;
    rig.writeSettings(
        "Host=127.0.0.1\nAddress=pilot@example.org\nPort=" + std::to_string(server.port()) + "\n");
    auto mailer = rig.mailer();
    mailer->setResponseTimeoutMs(500);
    const auto start = std::chrono::steady_clock::now();
    OutgoingMail mail;
    mail.to = "ops@va.example";
    EXPECT_FALSE(mailer->send(mail));
    mailer.reset();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    EXPECT_LT(ms, 900) << "no second wait for a QUIT the server would take as message text";
    EXPECT_EQ(rig.pilot.texts(), std::vector<std::string>{"Couldn't send message!\nResponse:"});
}

TEST(Mailer, ComposeFormNeedsARecipient) {
    for (const char* to : {"", " ; , "}) {
        test::ScriptedPilot pilot;
        OutgoingMail mail;
        mail.to = to;
        EXPECT_FALSE(composeFormOk(mail, pilot)) << "\"" << to << "\"";
        EXPECT_EQ(pilot.texts(), std::vector<std::string>{"To: address is empty !"});
    }
    test::ScriptedPilot pilot;
    EXPECT_TRUE(composeFormOk(pirepMail("ops@va.example", {}), pilot));
    EXPECT_TRUE(pilot.shown.empty());
}

TEST(Mailer, UnreadableAttachmentIsReportedBeforeConnecting) {
    MailRig rig;
    rig.writeSettings("Host=127.0.0.1\nAddress=pilot@example.org\n");
    auto mailer = rig.mailer();
    EXPECT_FALSE(mailer->send(pirepMail("ops@va.example", rig.dir / "TAP1.txt")));
    EXPECT_EQ(rig.pilot.texts(), std::vector<std::string>{kFileOpenFailedMessage});
    EXPECT_EQ(rig.connector.attempts, 0);
}

TEST(MailSettings, ReadWithTheirLimitsAndDefaults) {
    MailRig rig;
    const std::string long60(60, 'p');
    rig.writeSettings(
        "Port=40000\nAddress=pilot@example.org\nHost=smtp.example.org\nName=Jo\n"
        "Authenticate=3\nUsername=jo\nPassword=" +
        long60 + "\nAutodial=1\nBoundIP=10.0.0.2\nMime=1\nHTML=0\n");
    auto mailer = rig.mailer();
    EXPECT_EQ(mailer->options().Port, 25) << "a port outside 1 to 32000 reads as 25";
    EXPECT_EQ(rig.account.Password, std::string(49, 'p'));
    EXPECT_EQ(rig.account.Authenticate, 3);
    EXPECT_EQ(rig.account.Host, "smtp.example.org");
    EXPECT_TRUE(mailer->options().Autodial);
    EXPECT_EQ(mailer->options().BoundIP, "10.0.0.2");
    EXPECT_TRUE(mailer->options().Mime);
    EXPECT_EQ(mailer->options().EncodingCharset, "iso-8859-1") << "missing keys keep the default";
    EXPECT_EQ(mailer->options().EncodingFriendly, "Western European (ISO)");
}

TEST(MailConfiguration, OkChecksInOrder) {
    struct Row {
        const char* name;
        std::function<void(MailConfiguration&)> change;
        ConfigurationField focus;
        const char* message;  // nullptr: none
    };
    const Row rows[] = {
        {"empty sender address",
         [](MailConfiguration& f) {
             f.address.clear();
             f.host.clear();
         },
         ConfigurationField::Address, kNoAddressMessage},
        {"empty server",
         [](MailConfiguration& f) {
             f.host.clear();
             f.username.clear();
         },
         ConfigurationField::Host, kNoHostMessage},
        {"login without user name", [](MailConfiguration& f) { f.username.clear(); },
         ConfigurationField::Username, kNoUsernameMessage},
        {"None needs no user name",
         [](MailConfiguration& f) {
             f.authentication = 0;
             f.username.clear();
         },
         ConfigurationField::None, nullptr},
        {"port 0", [](MailConfiguration& f) { f.port = 0; }, ConfigurationField::Port,
         kPortRangeMessage},
        {"port 32001", [](MailConfiguration& f) { f.port = 32001; }, ConfigurationField::Port,
         kPortRangeMessage},
        {"port 32000", [](MailConfiguration& f) { f.port = 32000; }, ConfigurationField::None,
         nullptr},
    };
    for (const Row& row : rows) {
        MailConfiguration form;
        form.address = "pilot@example.org";
        form.host = "smtp.example.org";
        form.authentication = 2;
        form.username = "pilot";
        row.change(form);
        test::ScriptedPilot pilot;
        EXPECT_EQ(form.ok(pilot), row.focus) << row.name;
        EXPECT_EQ(pilot.texts(),
                  row.message ? std::vector<std::string>{row.message} : std::vector<std::string>{})
            << row.name;
    }
}

TEST(MailConfiguration, OkWritesEveryKeyToTheSettingsFile) {
    MailRig rig;
    rig.writeSettings("Host=old.example.org\nAddress=old@example.org\n");
    rig.dialogs.onConfigure = [&](MailConfiguration& form) {
        EXPECT_EQ(form.boundAddress, kAnyIpAddress) << "an empty bound address is shown so";
        form.name = "Jo\xe3o";
        form.address = "joao@example.org";
        form.host = "smtp.example.org";
        form.port = 587;
        form.authentication = 3;  // "Plain Login"
        form.username = "joao";
        form.password = std::string(60, 'w');
        form.encoding = "Western European (Windows)";
        return form.ok(rig.pilot) == ConfigurationField::None;
    };
    auto mailer = rig.mailer();
    mailer->configure();
    EXPECT_TRUE(rig.pilot.shown.empty());
    EXPECT_EQ(rig.account.Authenticate, 3);
    EXPECT_EQ(mailer->options().EncodingCharset, "windows-1252");
    const config::IniFile ini(rig.dir / "aviolog.ini");
    auto get = [&](const char* key) {
        return ini.getString(kMailSettingsSection, key, "<missing>", 999);
    };
    EXPECT_EQ(get("Port"), "587");
    EXPECT_EQ(get("Address"), "joao@example.org");
    EXPECT_EQ(get("Host"), "smtp.example.org");
    EXPECT_EQ(get("Name"), "Jo\xe3o");
    EXPECT_EQ(get("Authenticate"), "3");
    EXPECT_EQ(get("Username"), "joao");
    EXPECT_EQ(get("Password"), std::string(49, 'w')) << "what the next start reads back";
    EXPECT_EQ(get("Autodial"), "0");
    EXPECT_EQ(get("BoundIP"), "");
    EXPECT_EQ(get("EncodingFriendly"), "Western European (Windows)");
    EXPECT_EQ(get("EncodingCharset"), "windows-1252");
    EXPECT_EQ(get("Mime"), "0");
    EXPECT_EQ(get("HTML"), "0");
    EXPECT_EQ(ini.getString("Aviolog", "UseDB", "", 9), "1") << "other sections stay";

    // Cancelled, nothing changes.
    rig.dialogs.onConfigure = [](MailConfiguration& form) {
        form.host = "changed.example.org";
        return false;
    };
    mailer->configure();
    EXPECT_EQ(rig.account.Host, "smtp.example.org");
}

TEST(BugReport, RecipientComesFromTheDistributorsKey) {
    MailRig rig;
    EXPECT_EQ(bugReportRecipient(rig.dir.path()), "");
    rig.dir.write("aviolog.ori", "[Support]\r\nBugReportMail=support@distributor.example\r\n");
    rig.dir.write("aviolog.ini", "[Support]\r\nBugReportMail=\r\n");
    EXPECT_EQ(bugReportRecipient(rig.dir.path()), "support@distributor.example")
        << "an empty key in the settings falls back to the template";
    rig.dir.write("aviolog.ini", "[Support]\r\nBugReportMail=other@distributor.example\r\n");
    EXPECT_EQ(bugReportRecipient(rig.dir.path()), "other@distributor.example");
}

// A report that was not sent keeps the pilot's text beside the program, and says where.
TEST(BugReport, WithoutRecipientThePilotIsToldWhereToReportAndTheTextIsKept) {
    test::TempDir dir;
    test::RecordingMailer mailer;
    test::ScriptedPilot pilot;
    const std::string file = (dir / "bugreport.txt").string();
    EXPECT_EQ(sendBugReport(mailer, pilot, "", "it crashed\nat take-off", dir.path()),
              BugReportOutcome::NoRecipient);
    EXPECT_TRUE(mailer.sent.empty());
    EXPECT_EQ(pilot.texts(),
              std::vector<std::string>{format(kNoBugReportAddressKeptMessage, file.c_str())});
    EXPECT_EQ(dir.read("bugreport.txt"), "it crashed\r\nat take-off");

    const std::string description(25000, 'd');
    mailer.outcomes = {false};
    EXPECT_EQ(sendBugReport(mailer, pilot, "bugs@example.org", description, dir.path()),
              BugReportOutcome::NotSent);
    ASSERT_EQ(mailer.sent.size(), 1u);
    EXPECT_EQ(mailer.sent[0].to, "bugs@example.org");
    EXPECT_EQ(mailer.sent[0].subject, "Aviolog Bug Report");
    EXPECT_EQ(mailer.sent[0].body.size(), 19999u);
    EXPECT_TRUE(mailer.sent[0].attachments.empty());
    EXPECT_EQ(pilot.texts().back(), format(kBugReportKeptMessage, file.c_str()));
    EXPECT_EQ(dir.read("bugreport.txt"), std::string(19999, 'd'));

    // Sent: nothing is kept, nothing more said.
    mailer.outcomes = {true};
    const std::size_t said = pilot.texts().size();
    EXPECT_EQ(sendBugReport(mailer, pilot, "bugs@example.org", "again", dir.path()),
              BugReportOutcome::Sent);
    EXPECT_EQ(pilot.texts().size(), said);
}

TEST(BugReport, ShippedTemplateCarriesAnEmptyKey) {
    const auto text = readFileBytes(std::filesystem::path(AVIOLOG_DATA_DIR) / "aviolog.ori");
    ASSERT_TRUE(text);
    const config::IniDocument ori(*text);
    const auto value = ori.find(kBugReportSection, kBugReportKey);
    ASSERT_TRUE(value) << "the distributor's key is in the template";
    EXPECT_EQ(*value, "") << "no made-up address ships";
    EXPECT_EQ(text->find("\n"), text->find("\r\n") + 1) << "the template keeps CR LF";
}

TEST(Mailer, SaveToDiskWritesTheComposedMessage) {
    MailRig rig;
    rig.writeSettings("Address=pilot@example.org\n");
    rig.pilot.saveFiles.push_back(rig.dir / "saved.eml");
    auto mailer = rig.mailer();
    OutgoingMail mail;
    mail.to = "ops@va.example";
    mail.subject = "Log";
    mail.body = "line one\n.line two";
    ASSERT_TRUE(mailer->saveToDisk(mail))
        << (rig.pilot.texts().empty() ? "" : rig.pilot.texts()[0]);
    ASSERT_EQ(rig.pilot.saveRequests.size(), 1u);
    EXPECT_EQ(rig.pilot.saveRequests[0].filter, kMailFileFilter);
    const std::string saved = rig.dir.read("saved.eml");
    EXPECT_EQ(saved.rfind("From: pilot@example.org\r\nTo: ops@va.example\r\nSubject: Log\r\n", 0),
              0u)
        << "an empty name gives the bare address; no X-Mailer line:\n"
        << saved;
    EXPECT_NE(saved.find("\r\n\r\nline one\r\n.line two"), std::string::npos)
        << "the file holds the message as written, not dot-stuffed";

    mail.attachments = {rig.dir / "missing.txt"};
    rig.pilot.saveFiles.push_back(rig.dir / "saved.eml");
    EXPECT_FALSE(mailer->saveToDisk(mail));
    EXPECT_EQ(rig.pilot.texts(), std::vector<std::string>{"Couldn't save to disk!, Error:2"});
}

}  // namespace
}  // namespace aviolog::mail

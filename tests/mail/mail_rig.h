#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "config/settings.h"
#include "mail/mail_configuration.h"
#include "mail/mail_dialogs.h"
#include "mail/smtp_mailer.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_tcp_client.h"
#include "platform/posix/posix_unique_ids.h"
#include "tests/support/scripted_pilot.h"
#include "tests/support/temp_dir.h"

namespace aviolog::test {

// The wall clock for waits, with a local time and zone that a test sets.
class ZoneClock final : public platform::Clock {
  public:
    std::int64_t monotonicMs() override { return wall_.monotonicMs(); }
    platform::CivilTime utcTime() override { return local; }
    platform::CivilTime localTime() override { return local; }
    int zoneBiasMinutes() override { return bias; }
    void sleepMs(int ms) override { wall_.sleepMs(ms); }

    platform::CivilTime local{2004, 5, 1, 14, 3, 9, 0, 6};
    int bias = 0;

  private:
    platform::posix::PosixClock wall_;
};

// The mailer's dialogs as a test scripts them. Unscripted, Configuration is cancelled.
class ScriptedMailDialogs : public mail::MailDialogs {
  public:
    bool configure(mail::MailConfiguration& form) override {
        ++configureCalls;
        return onConfigure ? onConfigure(form) : false;
    }

    std::function<bool(mail::MailConfiguration&)> onConfigure;
    int configureCalls = 0;
};

// Counts connection attempts and hands them to the real connector.
class CountingConnector final : public platform::TcpConnector {
  public:
    explicit CountingConnector(platform::Clock& clock) : real_(clock) {}
    platform::ConnectResult connect(const std::string& host, int port,
                                    const std::string& localAddress, int timeoutMs) override {
        ++attempts;
        return real_.connect(host, port, localAddress, timeoutMs);
    }
    std::string localHostName() override { return real_.localHostName(); }

    int attempts = 0;

  private:
    platform::posix::PosixTcpConnector real_;
};

// A working directory with "aviolog.ini" holding [MailSettings], and a mailer on it.
struct MailRig {
    // The [MailSettings] lines, each "Key=value".
    void writeSettings(const std::string& lines) {
        std::string text = "[Aviolog]\r\nUseDB=1\r\n[MailSettings]\r\n";
        for (char c : lines) text += c == '\n' ? std::string("\r\n") : std::string(1, c);
        dir.write("aviolog.ini", text);
    }
    std::unique_ptr<mail::SmtpMailer> mailer() {
        auto m =
            std::make_unique<mail::SmtpMailer>(account, mail::MailerContext{.workDir = dir.path(),
                                                                            .pilot = pilot,
                                                                            .dialogs = dialogs,
                                                                            .connector = connector,
                                                                            .clock = clock,
                                                                            .ids = ids});
        m->setResponseTimeoutMs(5000);
        return m;
    }

    TempDir dir;
    ScriptedPilot pilot;
    ScriptedMailDialogs dialogs;
    ZoneClock clock;
    CountingConnector connector{clock};
    platform::posix::PosixUniqueIds ids;
    config::MailSection account;
};

}  // namespace aviolog::test

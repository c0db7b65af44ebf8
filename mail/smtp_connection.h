#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "mail/smtp_message.h"
#include "platform/clock.h"
#include "platform/tcp_client.h"

namespace aviolog::platform {
class Progress;
class UniqueIds;
}  // namespace aviolog::platform

namespace aviolog::mail {

// How the client logs in after EHLO; 0 logs in with HELO and no authentication.
namespace auth_method {
inline constexpr int kNone = 0;
inline constexpr int kCramMd5 = 1;
inline constexpr int kLogin = 2;       // AUTH LOGIN, base64 prompts and answers
inline constexpr int kLoginPlain = 3;  // "AUTH LOGIN PLAIN": prompts and answers in clear
}  // namespace auth_method

enum class FileSendOutcome { Sent, OpenFailed, ReadFailed, SendFailed, Cancelled };

// Sends e-mail to one SMTP server over plain TCP. Every failure returns false and records
// one diagnostic naming the step, the server's last response and the socket error code
// (10060 when the server did not answer in time, 10043 when it answered with another
// code). One thread at a time; the connection is closed (with QUIT) when the object dies.
class CSMTPConnection {
  public:
    static constexpr int kDefaultResponseTimeoutMs = 60000;

    CSMTPConnection(platform::TcpConnector& connector, platform::Clock& clock,
                    platform::UniqueIds& ids);
    ~CSMTPConnection();
    CSMTPConnection(const CSMTPConnection&) = delete;
    CSMTPConnection& operator=(const CSMTPConnection&) = delete;

    // Connects, reads the greeting and introduces itself (HELO for method 0, EHLO and the
    // method's login for 1 to 3). An empty localAddress binds to any.
    bool connect(const std::string& host, int method, const std::string& username,
                 const std::string& password, int port = 25, const std::string& localAddress = "");
    bool sendMessage(const SmtpMessage& message);
    // Sends a prepared message file as the DATA content, with the message's sender and
    // recipients as the envelope. Progress gets the share sent; a cancel closes the
    // connection before the end of the message, so the server delivers nothing.
    FileSendOutcome sendMessageFile(const std::filesystem::path& file, const SmtpMessage& envelope,
                                    platform::Progress* progress);
    bool disconnect();
    bool isConnected() const { return stream_ != nullptr; }

    const std::string& lastResponse() const { return lastResponse_; }
    int lastResponseCode() const { return lastResponseCode_; }
    int lastError() const { return lastError_; }
    const std::string& diagnostic() const { return diagnostic_; }

    void setResponseTimeoutMs(int ms) { responseTimeoutMs_ = ms; }
    // "auto" (the default) introduces the client by this computer's host name.
    void setHeloName(std::string name) { heloName_ = std::move(name); }

  private:
    bool send(std::string_view bytes);
    bool sendOrFail(std::string_view bytes, const std::string& diagnostic);
    bool expect(int code, const char* diagnostic);
    bool fail(std::string diagnostic, int error);
    void closeSocket() { stream_.reset(); }
    bool greetAndLogin(int method, const std::string& username, const std::string& password);
    bool cramLogin(const std::string& username, const std::string& password);
    bool authLogin(const std::string& username, const std::string& password);
    bool authLoginPlain(const std::string& username, const std::string& password);
    bool sendEnvelope(const SmtpMessage& message);
    // The text of the first line after "334 ", without its line end.
    std::string challengeText() const;

    platform::TcpConnector& connector_;
    platform::Clock& clock_;
    platform::UniqueIds& ids_;
    std::unique_ptr<platform::TcpStream> stream_;
    int responseTimeoutMs_ = kDefaultResponseTimeoutMs;
    std::string heloName_ = "auto";
    std::string lastResponse_;
    int lastResponseCode_ = 0;
    int lastError_ = 0;
    std::string diagnostic_;
};

// Turns message text into the DATA stream: every line end CR LF, and a "." that starts a
// line doubled, so that no line of the message can end the DATA early. Keeps its state
// between pieces, so a file can be fed in chunks.
class DataEncoder {
  public:
    std::string feed(std::string_view text);

  private:
    bool atLineStart_ = true;
    bool afterCr_ = false;
};

}  // namespace aviolog::mail

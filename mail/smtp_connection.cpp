#include "mail/smtp_connection.h"

#include <algorithm>
#include <fstream>
#include <system_error>

#include "common/text_case.h"
#include "common/text_format.h"
#include "mail/base64.h"
#include "mail/hmac_md5.h"
#include "platform/progress.h"

namespace aviolog::mail {
namespace {

using namespace platform::socket_error;

// A reply longer than this is no SMTP reply; reading stops there instead of growing.
constexpr std::size_t kMaxResponseBytes = 64 * 1024;
constexpr std::size_t kReadChunkBytes = 4096;
constexpr std::size_t kFileChunkBytes = 16 * 1024;
constexpr int kNotConnected = 10057;  // WSAENOTCONN

constexpr const char* kTimedOutDiagnostic =
    "CSMTPConnection::ReadResponse, Timed Out waiting for response from SMTP server";
constexpr const char* kCreateSocketFailed =
    "CSMTPConnection::Connect, Failed to create client socket, GetLastError returns: %d\n";
constexpr const char* kConnectFailed =
    "CSMTPConnection::Connect, Could not connect to the SMTP server %s on port %d, GetLastError "
    "returns: %d";
constexpr const char* kConnectFromFailed =
    "CSMTPConnection::Connect, Could not connect to the SMTP server %s on port %d from "
    "LocalAddress:%s, GetLastError returns: %d";
constexpr const char* kUnexpectedLogin =
    "CSMTPConnection::Connect, An unexpected SMTP login response was received";
constexpr const char* kUnexpectedHeloEhlo =
    "CSMTPConnection::Connect, An unexpected HELO/EHLO response was received";
constexpr const char* kHeloSendFailed =
    "CSMTPConnection::ConnectSMTP, An unexpected error occurred while sending the HELO command";
constexpr const char* kEhloSendFailed =
    "CSMTPConnection::ConnectESMTP, An unexpected error occurred while sending the EHLO command";
constexpr const char* kEhloUnexpected =
    "CSMTPConnection::ConnectESMTP, An unexpected response was received occurred while sending "
    "the EHLO command";

constexpr const char* kLoginAuthSendFailed =
    "CSMTPConnection::AuthLogin, An unexpected error occurred while sending the AUTH command";
constexpr const char* kLoginUnsupported =
    "CSMTPConnection::AuthLogin, Server does not support AUTH LOGIN";
constexpr const char* kLoginNotUsernamePrompt =
    "CSMTPConnection::AuthLogin, An unexpected request received when expecting username request";
constexpr const char* kLoginUsernameSendFailed =
    "CSMTPConnection::AuthLogin, An unexpected error occurred while sending the username";
constexpr const char* kLoginUsernameRefused =
    "CSMTPConnection::AuthLogin, Server did not respond correctly to AUTH LOGIN username field";
constexpr const char* kLoginNotPasswordPrompt =
    "CSMTPConnection::AuthLogin, An unexpected request received when expecting password request";
constexpr const char* kLoginPasswordSendFailed =
    "CSMTPConnection::AuthLogin, An unexpected error occurred while sending the password";
constexpr const char* kLoginFailed =
    "CSMTPConnection::AuthLogin, AUTH LOGIN authentication was unsuccessful";

constexpr const char* kPlainAuthSendFailed =
    "CSMTPConnection::AuthLoginPlain, An unexpected error occurred while sending the AUTH command";
constexpr const char* kPlainUnsupported =
    "CSMTPConnection::AuthLoginPlain, Server does not support AUTH LOGIN PLAIN";
constexpr const char* kPlainUsernameSendFailed =
    "CSMTPConnection::AuthLoginPlain, An unexpected error occurred while sending the username";
constexpr const char* kPlainUsernameRefused =
    "CSMTPConnection::AuthLoginPlain, Server did not response correctly to AUTH LOGIN PLAIN "
    "username field";
constexpr const char* kPlainPasswordSendFailed =
    "CSMTPConnection::AuthLoginPlain, An unexpected error occurred while sending the password";
constexpr const char* kPlainFailed =
    "CSMTPConnection::AuthLoginPlain, AUTH LOGIN PLAIN authentication was unsuccessful";

constexpr const char* kCramAuthSendFailed =
    "CSMTPConnection::CramLogin, An unexpected error occurred while sending the AUTH command";
constexpr const char* kCramUnsupported =
    "CSMTPConnection::CramLogin, Server does not support AUTH CRAM-MD5";
constexpr const char* kCramUsernameSendFailed =
    "CSMTPConnection::CramLogin, An unexpected error occurred while sending the username";
constexpr const char* kCramFailed =
    "CSMTPConnection::CramLogin, AUTH CRAM-MD5 authentication was unsuccessful";

constexpr const char* kMailSendFailed =
    "CSMTPConnection::SendMessage, Failed in call to send MAIL command, GetLastError returns: %d";
constexpr const char* kUnexpectedMail =
    "CSMTPConnection::SendMessage, An unexpected MAIL response was received";
constexpr const char* kRcptSendFailed =
    "CSMTPConnection::SendRCPTForRecipient, Failed in call to send RCPT command, GetLastError "
    "returns: %d";
constexpr const char* kUnexpectedRcpt =
    "CSMTPConnection::SendRCPTForRecipient, An unexpected RCPT response was received";
constexpr const char* kUnexpectedData =
    "CSMTPConnection::SendMessage, An unexpected DATA response was received";
constexpr const char* kHeaderSendFailed =
    "CSMTPConnection::SendMessage, Failed in call to send the header, GetLastError returns: %d";
constexpr const char* kSeparatorSendFailed =
    "CSMTPConnection::SendMessage, Failed in call to send the header / body separator, "
    "GetLastError returns: %d";
constexpr const char* kBodySendFailed =
    "CSMTPConnection::SendBodyPart, Failed in call to send body parts body, GetLastError "
    "returns: %d";
constexpr const char* kEndSendFailed =
    "CSMTPConnection::SendMessage, Failed in call to send end of message indicator, GetLastError "
    "returns: %d";
constexpr const char* kUnexpectedEnd =
    "CSMTPConnection::SendMessage, An unexpected end of message response was received";
constexpr const char* kFileOpenFailed =
    "CSMTPConnection::SendMessage, Could not open the file to send %s";
constexpr const char* kFileReadFailed =
    "CSMTPConnection::SendMessage, An error occurred reading from the file to send %s";
constexpr const char* kFileLengthFailed =
    "CSMTPConnection::SendMessage, Failed to get the length of the file, %s";
constexpr const char* kMessageSendFailed =
    "CSMTPConnection::SendMessage, Failed in call to send the message, GetLastError returns: %d";
constexpr const char* kQuitSendFailed =
    "CSMTPConnection::Disconnect, Failed in call to send QUIT command, GetLastError returns: %d";
constexpr const char* kUnexpectedQuit =
    "CSMTPConnection::Disconnect, An unexpected QUIT response was received";

constexpr const char* kEndOfMessage = "\r\n.\r\n";

// A reply is complete when its last line has arrived: a line whose code is not followed by
// "-". This also waits out a multi-line EHLO reply split across reads.
bool replyComplete(std::string_view data) {
    if (data.empty() || data.back() != '\n') return false;
    std::string_view body = data.substr(0, data.size() - 1);
    if (!body.empty() && body.back() == '\r') body.remove_suffix(1);
    const std::size_t start = body.rfind('\n');
    const std::string_view last = start == std::string_view::npos ? body : body.substr(start + 1);
    return last.size() < 4 || last[3] != '-';
}

// The code of a reply is the first three characters of its last line (RFC 5321): the
// lines before it only continue the reply, so "250-queued" followed by "554 rejected" is a
// refusal. A last line without three digits has no code.
std::optional<int> replyCode(std::string_view data) {
    if (!data.empty() && data.back() == '\n') data.remove_suffix(1);
    if (!data.empty() && data.back() == '\r') data.remove_suffix(1);
    const std::size_t start = data.rfind('\n');
    const std::string_view last = start == std::string_view::npos ? data : data.substr(start + 1);
    if (last.size() < 3 ||
        !std::all_of(last.begin(), last.begin() + 3, [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    return (last[0] - '0') * 100 + (last[1] - '0') * 10 + (last[2] - '0');
}

}  // namespace

std::string DataEncoder::feed(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32 + 2);
    for (const char c : text) {
        if (afterCr_) {
            afterCr_ = false;
            if (c == '\n') continue;
        }
        if (c == '\r' || c == '\n') {
            out += "\r\n";
            afterCr_ = c == '\r';
            atLineStart_ = true;
            continue;
        }
        if (atLineStart_ && c == '.') out += '.';
        out += c;
        atLineStart_ = false;
    }
    return out;
}

CSMTPConnection::CSMTPConnection(platform::TcpConnector& connector, platform::Clock& clock,
                                 platform::UniqueIds& ids)
    : connector_(connector), clock_(clock), ids_(ids) {}

CSMTPConnection::~CSMTPConnection() {
    disconnect();
}

bool CSMTPConnection::fail(std::string diagnostic, int error) {
    diagnostic_ = std::move(diagnostic);
    lastError_ = error;
    return false;
}

bool CSMTPConnection::send(std::string_view bytes) {
    if (!stream_) {
        lastError_ = kNotConnected;
        return false;
    }
    if (stream_->sendAll(bytes, responseTimeoutMs_)) return true;
    lastError_ = stream_->error();
    return false;
}

bool CSMTPConnection::sendOrFail(std::string_view bytes, const std::string& diagnostic) {
    if (send(bytes)) return true;
    diagnostic_ = diagnostic;
    return false;
}

bool CSMTPConnection::expect(int code, const char* diagnostic) {
    std::string data;
    const std::int64_t deadline = clock_.monotonicMs() + responseTimeoutMs_;
    // One deadline for the whole reply: a server that trickles bytes cannot hold us longer.
    while (!replyComplete(data)) {
        if (!stream_) return fail(diagnostic, kNotConnected);
        if (data.size() >= kMaxResponseBytes) {
            lastResponse_ = data;
            closeSocket();
            return fail(diagnostic, kMessageTooLong);
        }
        const std::int64_t leftMs = std::max<std::int64_t>(0, deadline - clock_.monotonicMs());
        const auto result =
            stream_->receive(data, std::min(kReadChunkBytes, kMaxResponseBytes - data.size()),
                             static_cast<int>(leftMs));
        // A server that failed to answer cannot be trusted with QUIT either: the
        // connection is closed, so that disconnecting costs no second time-out.
        if (result == platform::ReceiveResult::TimedOut) {
            lastResponse_ = data;
            closeSocket();
            return fail(kTimedOutDiagnostic, kTimedOut);
        }
        if (result != platform::ReceiveResult::Data) {
            lastResponse_ = data;
            const int error = stream_->error();
            closeSocket();
            return fail(diagnostic, error);
        }
    }
    lastResponse_ = data;
    const std::optional<int> received = replyCode(data);
    if (received) lastResponseCode_ = *received;
    if (received == code) return true;
    return fail(diagnostic, kProtocolNotSupported);
}

std::string CSMTPConnection::challengeText() const {
    std::string_view data = lastResponse_;
    const std::size_t at = data.find("334 ");
    if (at == std::string_view::npos) return {};
    data.remove_prefix(at + 4);
    const std::size_t end = data.find_first_of("\r\n");
    return std::string(data.substr(0, end));
}

bool CSMTPConnection::connect(const std::string& host, int method, const std::string& username,
                              const std::string& password, int port,
                              const std::string& localAddress) {
    if (stream_) disconnect();
    lastResponse_.clear();
    lastResponseCode_ = 0;
    platform::ConnectResult result =
        connector_.connect(host, port, localAddress, responseTimeoutMs_);
    if (result.step == platform::ConnectStep::CreateSocket) {
        return fail(format(kCreateSocketFailed, result.error), result.error);
    }
    if (result.step != platform::ConnectStep::Done) {
        if (localAddress.empty()) {
            return fail(format(kConnectFailed, host.c_str(), port, result.error), result.error);
        }
        return fail(
            format(kConnectFromFailed, host.c_str(), port, localAddress.c_str(), result.error),
            result.error);
    }
    stream_ = std::move(result.stream);
    if (greetAndLogin(method, username, password)) {
        lastError_ = 0;
        return true;
    }
    // The diagnostic and the server's answer stay as the failed step left them.
    closeSocket();
    return false;
}

bool CSMTPConnection::greetAndLogin(int method, const std::string& username,
                                    const std::string& password) {
    if (!expect(220, kUnexpectedLogin)) return false;
    const std::string helo = heloName_ == "auto" ? connector_.localHostName() : heloName_;
    if (method == auth_method::kNone) {
        if (!sendOrFail(format("HELO %s\r\n", helo.c_str()), kHeloSendFailed)) return false;
        return expect(250, kUnexpectedHeloEhlo);
    }
    if (!sendOrFail(format("EHLO %s\r\n", helo.c_str()), kEhloSendFailed)) return false;
    if (!expect(250, kEhloUnexpected)) return false;
    switch (method) {
        case auth_method::kCramMd5:
            return cramLogin(username, password);
        case auth_method::kLogin:
            return authLogin(username, password);
        case auth_method::kLoginPlain:
            return authLoginPlain(username, password);
        default:
            return fail(kUnexpectedHeloEhlo, kProtocolNotSupported);
    }
}

bool CSMTPConnection::cramLogin(const std::string& username, const std::string& password) {
    if (!sendOrFail("AUTH CRAM-MD5\r\n", kCramAuthSendFailed)) return false;
    if (!expect(334, kCramUnsupported)) return false;
    const std::optional<std::string> challenge = base64Decode(challengeText());
    if (!challenge) return fail(kCramUnsupported, kProtocolNotSupported);
    const std::string answer = username + " " + lowerHex(hmacMd5(password, *challenge));
    if (!sendOrFail(base64Encode(answer) + "\r\n", kCramUsernameSendFailed)) return false;
    return expect(235, kCramFailed);
}

bool CSMTPConnection::authLogin(const std::string& username, const std::string& password) {
    if (!sendOrFail("AUTH LOGIN\r\n", kLoginAuthSendFailed)) return false;
    if (!expect(334, kLoginUnsupported)) return false;
    if (!equalsIgnoringCase(base64Decode(challengeText()).value_or(""), "username:")) {
        return fail(kLoginNotUsernamePrompt, kProtocolNotSupported);
    }
    if (!sendOrFail(base64Encode(username) + "\r\n", kLoginUsernameSendFailed)) return false;
    if (!expect(334, kLoginUsernameRefused)) return false;
    if (!equalsIgnoringCase(base64Decode(challengeText()).value_or(""), "password:")) {
        return fail(kLoginNotPasswordPrompt, kProtocolNotSupported);
    }
    if (!sendOrFail(base64Encode(password) + "\r\n", kLoginPasswordSendFailed)) return false;
    return expect(235, kLoginFailed);
}

bool CSMTPConnection::authLoginPlain(const std::string& username, const std::string& password) {
    if (!sendOrFail("AUTH LOGIN PLAIN\r\n", kPlainAuthSendFailed)) return false;
    if (!expect(334, kPlainUnsupported)) return false;
    if (!equalsIgnoringCase(challengeText(), "username:")) {
        return fail(kPlainUnsupported, kProtocolNotSupported);
    }
    if (!sendOrFail(username + "\r\n", kPlainUsernameSendFailed)) return false;
    if (!expect(334, kPlainUsernameRefused)) return false;
    if (!equalsIgnoringCase(challengeText(), "password:")) {
        return fail(kPlainUsernameRefused, kProtocolNotSupported);
    }
    if (!sendOrFail(password + "\r\n", kPlainPasswordSendFailed)) return false;
    return expect(235, kPlainFailed);
}

bool CSMTPConnection::sendEnvelope(const SmtpMessage& message) {
    // An address is one line: a line break in it would smuggle in a command of its own.
    auto envelopeAddress = [](std::string address) {
        std::erase_if(address, [](char c) { return c == '\r' || c == '\n'; });
        return address;
    };
    if (!send(format("MAIL FROM:<%s>\r\n", envelopeAddress(message.from.address).c_str()))) {
        return fail(format(kMailSendFailed, lastError_), lastError_);
    }
    if (!expect(250, kUnexpectedMail)) return false;
    for (const auto* list : {&message.to, &message.cc, &message.bcc}) {
        for (const MailAddress& who : *list) {
            if (!send(format("RCPT TO:<%s>\r\n", envelopeAddress(who.address).c_str()))) {
                return fail(format(kRcptSendFailed, lastError_), lastError_);
            }
            if (!expect(250, kUnexpectedRcpt)) return false;
        }
    }
    if (!send("DATA\r\n")) return fail(kUnexpectedData, lastError_);
    return expect(354, kUnexpectedData);
}

bool CSMTPConnection::sendMessage(const SmtpMessage& message) {
    if (!stream_) return fail(format(kMailSendFailed, kNotConnected), kNotConnected);
    // Composed first, so that a missing attachment sends nothing at all.
    std::filesystem::path failedFile;
    const std::optional<RenderedMessage> rendered =
        message.render(ids_, clock_.localTime(), clock_.zoneBiasMinutes(), &failedFile);
    if (!rendered) {
        return fail(format(kFileOpenFailed, failedFile.string().c_str()), kAddressNotAvailable);
    }
    if (!sendEnvelope(message)) return false;
    // The header goes through the encoder too: the body's first line follows the blank
    // line, so it is at a line start like every other.
    DataEncoder encoder;
    const char* failure = nullptr;
    if (!send(encoder.feed(rendered->header))) {
        failure = kHeaderSendFailed;
    } else if (!send(encoder.feed("\r\n"))) {
        failure = kSeparatorSendFailed;
    } else if (!send(encoder.feed(rendered->body))) {
        failure = kBodySendFailed;
    } else if (!send(kEndOfMessage)) {
        failure = kEndSendFailed;
    }
    if (failure != nullptr) {
        // Half a message is on the wire; only closing keeps the server from taking a
        // later QUIT as part of it.
        closeSocket();
        return fail(format(failure, lastError_), lastError_);
    }
    return expect(250, kUnexpectedEnd);
}

FileSendOutcome CSMTPConnection::sendMessageFile(const std::filesystem::path& file,
                                                 const SmtpMessage& envelope,
                                                 platform::Progress* progress) {
    const std::string name = file.string();
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        fail(format(kFileOpenFailed, name.c_str()), kAddressNotAvailable);
        return FileSendOutcome::OpenFailed;
    }
    std::error_code ec;
    const std::uintmax_t total = std::filesystem::file_size(file, ec);
    if (ec) {
        fail(format(kFileLengthFailed, name.c_str()), ec.value());
        return FileSendOutcome::ReadFailed;
    }
    if (!stream_) {
        fail(format(kMailSendFailed, kNotConnected), kNotConnected);
        return FileSendOutcome::SendFailed;
    }
    if (!sendEnvelope(envelope)) return FileSendOutcome::SendFailed;

    DataEncoder encoder;
    std::string chunk(kFileChunkBytes, '\0');
    std::uintmax_t sent = 0;
    while (in) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (in.bad()) {
            fail(format(kFileReadFailed, name.c_str()), kAddressNotAvailable);
            closeSocket();
            return FileSendOutcome::ReadFailed;
        }
        if (progress != nullptr && progress->cancelled()) {
            // Without the end of message the server drops what it has received.
            closeSocket();
            return FileSendOutcome::Cancelled;
        }
        if (!send(encoder.feed(std::string_view(chunk).substr(0, got)))) {
            closeSocket();
            fail(format(kMessageSendFailed, lastError_), lastError_);
            return FileSendOutcome::SendFailed;
        }
        sent += got;
        if (progress != nullptr && total > 0) {
            progress->setPercent(
                static_cast<int>(std::min<std::uintmax_t>(100, sent * 100 / total)));
        }
    }
    if (!send(kEndOfMessage)) {
        closeSocket();
        fail(format(kEndSendFailed, lastError_), lastError_);
        return FileSendOutcome::SendFailed;
    }
    return expect(250, kUnexpectedEnd) ? FileSendOutcome::Sent : FileSendOutcome::SendFailed;
}

bool CSMTPConnection::disconnect() {
    // Not connected: nothing to do, and the diagnostic of the failure that closed the
    // connection stays readable.
    if (!stream_) return true;
    bool ok = send("QUIT\r\n");
    if (!ok) {
        fail(format(kQuitSendFailed, lastError_), lastError_);
    } else {
        ok = expect(221, kUnexpectedQuit);
    }
    closeSocket();
    return ok;
}

}  // namespace aviolog::mail

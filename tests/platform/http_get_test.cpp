#include "platform/http_get.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/text_format.h"
#include "platform/posix/curl_http_client.h"
#include "reporting/va_request.h"
#include "tests/support/loopback_va_server.h"
#include "tests/support/scripted_smtp_server.h"

namespace aviolog::reporting {
namespace {

using platform::httpGet;
using platform::posix::CurlHttpClient;
using test::LoopbackVaServer;

// Each byte as "\xNN", so a failing row shows where two texts part.
std::string visible(const std::string& bytes) {
    std::string out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        out += u >= 0x20 && u < 0x7f ? std::string(1, c) : format("\\x%02X", u);
    }
    return out;
}

class HttpGetTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // A proxy set for the developer's own browsing must not stand between us and loopback.
        ::setenv("no_proxy", "127.0.0.1", 1);
        server_ = std::make_unique<LoopbackVaServer>();
    }
    static void TearDownTestSuite() { server_.reset(); }
    void SetUp() override {
        ASSERT_TRUE(server_->running()) << "the loopback VA server did not start:\n"
                                        << server_->startupOutput();
        server_->setAnswers({});
    }

    // The request that the last GET made, checked to be the only new one.
    static test::ReceivedRequest lastRequest(std::size_t before) {
        const auto requests = server_->requests();
        EXPECT_EQ(requests.size(), before + 1);
        return requests.empty() ? test::ReceivedRequest{} : requests.back();
    }

    CurlHttpClient client_;
    static inline std::unique_ptr<LoopbackVaServer> server_;
};

TEST_F(HttpGetTest, AnswerIsEveryKeptLineFollowedByALineFeed) {
    struct Row {
        const char* name;
        std::string body;
        std::string answer;
        std::vector<std::string> reported;
    };
    const std::string longest(18999, 'y');
    const Row rows[] = {
        {"line feeds", "OK\nsecond\n", "OK\nsecond\n", {"OK", "second"}},
        {"CR LF", "OK\r\nsecond\r\n", "OK\nsecond\n", {"OK", "second"}},
        {"last line without a line feed", "OK\nlast", "OK\nlast\n", {"OK", "last"}},
        {"empty body", "", "", {}},
        {"empty lines count", "\n\r\nA", "\n\nA\n", {"", "", "A"}},
        {"a lone CR is part of the line", "a\rb\r\r\n", "a\rb\r\n", {"a\rb\r"}},
        {"19 000 characters cut to 18 999 in their place, 18 999 kept",
         std::string(19000, 'y') + "\r\nOK\n" + longest + "\n",
         longest + "\nOK\n" + longest + "\n",
         {longest, "OK", longest}},
        {"long last line without a line feed",
         "OK\n" + std::string(20000, 'y'),
         "OK\n" + longest + "\n",
         {"OK", longest}},
        {"bytes as they came",
         std::string("\xe9t\xe9\0z\x80\n", 7),
         std::string("\xe9t\xe9\0z\x80\n", 7),
         {std::string("\xe9t\xe9\0z\x80", 6)}},
    };
    for (const Row& row : rows) {
        server_->setAnswers({{200, row.body}});
        std::vector<std::string> reported;
        const auto answer = httpGet(client_, server_->url("/pirep.php"),
                                    [&](std::string_view line) { reported.emplace_back(line); });
        ASSERT_TRUE(answer) << row.name;
        EXPECT_EQ(visible(*answer), visible(row.answer)) << row.name;
        EXPECT_EQ(reported, row.reported) << row.name;
    }
}

TEST_F(HttpGetTest, AnHttpErrorPageIsAnAnswer) {
    server_->setAnswers({{404, "Not here\r\n"}, {500, "Data base down"}});
    EXPECT_EQ(httpGet(client_, server_->url("/missing.php")), "Not here\n");
    EXPECT_EQ(httpGet(client_, server_->url("/missing.php")), "Data base down\n");
}

TEST_F(HttpGetTest, AddressesThatCannotBeOpenedFailAtOnce) {
    const std::string port = std::to_string(server_->port());
    const struct {
        const char* name;
        std::string url;
    } rows[] = {
        {"closed port", format("http://127.0.0.1:%d/pirep.php", test::closedLoopbackPort())},
        {"empty", ""},
        {"no scheme", "127.0.0.1:" + port + "/pirep.php"},
        {"no host", "http:///pirep.php"},
        {"blank inside", "http://127.0.0.1:" + port + "/pirep.php?pilot=A B"},
        {"line feed inside", "http://127.0.0.1:" + port + "/pirep.php?log=A\nB"},
        {"local file", "file:///etc/hostname"},
    };
    const std::size_t before = server_->requests().size();
    for (const auto& row : rows) {
        bool reported = false;
        const auto start = std::chrono::steady_clock::now();
        const auto answer = httpGet(client_, row.url, [&](std::string_view) { reported = true; });
        const auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_FALSE(answer) << row.name << ": " << visible(answer.value_or(""));
        EXPECT_FALSE(reported) << row.name;
        EXPECT_LT(elapsed, std::chrono::seconds(5)) << row.name;
    }
    EXPECT_EQ(server_->requests().size(), before) << "a malformed address reached the server";
}

TEST_F(HttpGetTest, RequestsIdentifyAsTheProgramAndBypassCaches) {
    const std::size_t before = server_->requests().size();
    ASSERT_EQ(httpGet(client_, server_->url("/scripts/uplink.php?acarsid=7")), "OK\n");
    const auto request = lastRequest(before);
    EXPECT_EQ(request.target, "/scripts/uplink.php?acarsid=7");
    EXPECT_EQ(request.path, "/scripts/uplink.php");
    EXPECT_EQ(request.userAgent, "just an empty space");
    EXPECT_EQ(request.cacheControl, "no-cache");
    EXPECT_EQ(request.pragma, "no-cache");
}

TEST_F(HttpGetTest, RequestsInARowShareOneConnection) {
    const std::size_t before = server_->requests().size();
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(httpGet(client_, server_->url("/pirep.php"))) << i;
    CurlHttpClient other;
    ASSERT_TRUE(httpGet(other, server_->url("/pirep.php")));

    const auto requests = server_->requests();
    ASSERT_EQ(requests.size(), before + 21);
    const std::string first = requests[before].connection;
    for (std::size_t i = before; i < before + 20; ++i) {
        EXPECT_EQ(requests[i].connection, first) << "request " << i - before + 1;
    }
    EXPECT_NE(requests.back().connection, first) << "another client, another connection";
}

// A script that dies with the request in hand may have done its work (a PIREP piece
// stored, a message taken): sending the request again would deliver it twice.
TEST_F(HttpGetTest, AKeptConnectionThatDiesUnansweredCarriesTheRequestOnce) {
    server_->setAnswers({{200, "OK\n"}, {0, ""}, {200, "OK\n"}});
    const std::size_t before = server_->requests().size();
    ASSERT_EQ(httpGet(client_, server_->url("/pirep.php?piece=1")), "OK\n");
    EXPECT_FALSE(httpGet(client_, server_->url("/pirep.php?piece=2")))
        << "a request without an answer failed";
    auto requests = server_->requests();
    ASSERT_EQ(requests.size(), before + 2) << "the second request went out once";
    EXPECT_EQ(requests.back().param("piece"), "2");
    EXPECT_EQ(requests.back().connection, requests[before].connection) << "on the kept one";

    ASSERT_EQ(httpGet(client_, server_->url("/pirep.php?piece=3")), "OK\n")
        << "the next request finds a new connection";
    requests = server_->requests();
    ASSERT_EQ(requests.size(), before + 3);
    EXPECT_EQ(requests.back().param("piece"), "3");
    EXPECT_NE(requests.back().connection, requests[before].connection);
}

TEST_F(HttpGetTest, ValuesReachTheScriptUnchangedAndInOrder) {
    std::string everyByte;
    for (int byte = 1; byte < 256; ++byte) everyByte += static_cast<char>(byte);
    const std::vector<std::pair<std::string, std::string>> sent = {
        {"blank", "Jo Pilot"},      {"amp", "a&b"},       {"equals", "a=b"},
        {"percent", "100%"},        {"plus", "1+1"},      {"hash", "#1"},
        {"question", "why?"},       {"star", "A*B"},      {"slash", "2024/05/01"},
        {"colon", "12:30"},         {"linefeed", "A\nB"}, {"crlf", "A\r\nB"},
        {"high", "S\xe3o Tom\xe9"}, {"e-acute", "\xe9"},  {"euro", "\x80"},
        {"every", everyByte},       {"empty", ""},        {"blank", "second of a name"},
    };
    VaRequest request(server_->url("/pirep.php"));
    for (const auto& [name, value] : sent) request.add(name, value);

    const std::size_t before = server_->requests().size();
    ASSERT_EQ(httpGet(client_, request.url()), "OK\n");
    const auto received = lastRequest(before);
    ASSERT_EQ(received.params.size(), sent.size()) << visible(received.target);
    for (std::size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(received.params[i].first, sent[i].first) << i;
        EXPECT_EQ(visible(received.params[i].second), visible(sent[i].second)) << sent[i].first;
    }
    EXPECT_EQ(received.param("blank"), "Jo Pilot");

    // A PIREP piece on the same base.
    const std::size_t piece = server_->requests().size();
    ASSERT_EQ(httpGet(client_, request.urlWith({{"more", "0"}, {"log", "ABC*10:30 & 5%*"}})),
              "OK\n");
    const auto pieceRequest = lastRequest(piece);
    ASSERT_EQ(pieceRequest.params.size(), sent.size() + 2);
    EXPECT_EQ(pieceRequest.params[sent.size()],
              std::make_pair(std::string("more"), std::string("0")));
    EXPECT_EQ(pieceRequest.params.back().second, "ABC*10:30 & 5%*");
}

// A web server from a script, for the answers no real one gives: it reads the request,
// then plays the script's part.
// The time the request took goes to tookMs.
std::optional<std::string> getFrom(const std::function<void(test::ServerSide&)>& answer,
                                   platform::posix::HttpLimits limits,
                                   std::int64_t* tookMs = nullptr) {
    test::ScriptedSmtpServer server([&](test::ServerSide& side) {
        while (side.readLine().value_or("") != "") {
        }
        answer(side);
    });
    CurlHttpClient client(limits);
    const auto start = std::chrono::steady_clock::now();
    auto body = client.get(format("http://127.0.0.1:%d/pirep.php", server.port()));
    if (tookMs) {
        *tookMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count();
    }
    return body;
}

TEST(HttpGetLimits, AnAnswerPastTheCapFailsWhateverItsFraming) {
    constexpr std::size_t kCap = 4096;
    const struct {
        const char* name;
        std::size_t bytes;
        bool lengthGiven;
        bool answered;
    } rows[] = {
        {"at the cap, with a length", kCap, true, true},
        {"at the cap, to the end of the connection", kCap, false, true},
        {"one byte more, with a length", kCap + 1, true, false},
        {"one byte more, to the end of the connection", kCap + 1, false, false},
        {"endless", 64 * kCap, false, false},
    };
    for (const auto& row : rows) {
        const auto answer = getFrom(
            [&](test::ServerSide& side) {
                side.send(row.lengthGiven
                              ? format("HTTP/1.1 200 OK\r\nContent-Length: %zu\r\n\r\n", row.bytes)
                              : std::string("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n"));
                side.send(std::string(row.bytes, 'x'));
            },
            {30000, 60000, kCap});
        EXPECT_EQ(answer.has_value(), row.answered) << row.name;
        if (answer) {
            EXPECT_EQ(answer->size(), row.bytes) << row.name;
        }
    }
}

// A redirect is an answer: the request it asks for goes out, on the same connection.
TEST(HttpGetLimits, ARedirectIsFollowedOnTheKeptConnection) {
    std::vector<std::string> secondRequest;
    const auto answer = getFrom(
        [&](test::ServerSide& side) {
            side.send("HTTP/1.1 302 Found\r\nLocation: /moved.php\r\nContent-Length: 0\r\n\r\n");
            while (const auto line = side.readLine()) {
                if (line->empty()) break;
                secondRequest.push_back(*line);
            }
            side.send("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nOK\n");
        },
        {30000, 60000, std::size_t{1} << 20});
    EXPECT_EQ(answer, "OK\n");
    ASSERT_FALSE(secondRequest.empty());
    EXPECT_EQ(secondRequest.front(), "GET /moved.php HTTP/1.1");
}

TEST(HttpGetLimits, AScriptThatDripsItsAnswerIsLeftAtTheTimeOut) {
    std::int64_t tookMs = 0;
    const auto answer = getFrom(
        [](test::ServerSide& side) {
            side.send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n");
            // Two bytes every 100 ms: never slow enough to look stalled, never done in time.
            for (int i = 0; i < 40; ++i) {
                side.send("OK");
                if (!side.quietFor(100)) break;
            }
        },
        {30000, 1000, std::size_t{1} << 20}, &tookMs);
    EXPECT_FALSE(answer);
    EXPECT_GE(tookMs, 900);
    EXPECT_LT(tookMs, 2500);
}

TEST(HttpGetLimits, TheProgramsLimitsAreThirtySecondsToConnectAndAMinuteToAnswer) {
    const platform::posix::HttpLimits limits;
    EXPECT_EQ(limits.connectTimeoutMs, 30000);
    EXPECT_EQ(limits.answerTimeoutMs, 60000);
    EXPECT_EQ(limits.maxAnswerBytes, std::size_t{1} << 20);
}

}  // namespace
}  // namespace aviolog::reporting

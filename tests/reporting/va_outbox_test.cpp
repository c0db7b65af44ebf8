#include "reporting/va_outbox.h"

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "common/text_file.h"
#include "platform/background_gets.h"
#include "reporting/va_traffic.h"
#include "tests/support/temp_dir.h"

namespace aviolog::reporting {
namespace {

using Requests = std::deque<std::string>;

TEST(VaOutboxTest, ReadsWholeRecordsAndStopsAtTheFirstCut) {
    const std::string two = outboxBytes({"http://a/x?m=1", "http://a/x?m=2 & more"});
    struct Row {
        const char* name;
        std::string bytes;
        Requests expected;
        bool cut;
    };
    const Row rows[] = {
        {"empty", "", {}, false},
        {"two whole", two, {"http://a/x?m=1", "http://a/x?m=2 & more"}, false},
        {"empty request kept", outboxBytes({""}), {""}, false},
        {"cut inside the second", two.substr(0, two.size() - 5), {"http://a/x?m=1"}, true},
        {"cut before its CR LF", two.substr(0, two.size() - 1), {"http://a/x?m=1"}, true},
        {"cut in the length", two.substr(0, 20), {"http://a/x?m=1"}, true},
        {"length longer than the file", "99 http://a\r\n", {}, true},
        {"length shorter than the request", "3 http://a\r\n", {}, true},
        {"no length", "http://a\r\n", {}, true},
        {"huge length", "184467440737095516150 x\r\n", {}, true},
    };
    for (const Row& row : rows) {
        const OutboxRecords read = readOutbox(row.bytes);
        EXPECT_EQ(read.requests, row.expected) << row.name;
        EXPECT_EQ(read.cut, row.cut) << row.name;
    }
}

TEST(VaOutboxTest, KeepsItsRequestsInOrderAcrossARestartAndGoesWhenEmpty) {
    test::TempDir dir;
    const auto path = dir.path() / "outbox-TAP-primary.txt";
    {
        VaOutbox box(path);
        EXPECT_TRUE(box.empty());
        ASSERT_TRUE(box.append("one"));
        ASSERT_TRUE(box.append("two"));
        ASSERT_TRUE(box.append("three"));
        ASSERT_TRUE(box.removeOldest());
    }
    VaOutbox again(path);
    EXPECT_EQ(again.requests(), (Requests{"two", "three"}));
    again.removeOldest();
    again.removeOldest();
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(VaOutbox(path).empty());
}

TEST(VaOutboxTest, ACutFileGivesItsWholeRecordsAndKeepsItsBytesAside) {
    test::TempDir dir;
    const auto path = dir.path() / "outbox-TAP-status.txt";
    const std::string bytes = outboxBytes({"first", "second"});
    const std::string cut = bytes.substr(0, bytes.size() - 3);
    ASSERT_TRUE(writeFileAtomically(path, cut));
    VaOutbox box(path);
    EXPECT_EQ(box.requests(), (Requests{"first"}));
    auto damaged = path;
    damaged += ".damaged";
    EXPECT_EQ(readFileBytes(damaged), cut);
    box.append("third");
    EXPECT_EQ(readOutbox(*readFileBytes(path)).requests, (Requests{"first", "third"}));
}

// Answers given by the test, one request at a time, as a lane of the program's workers
// delivers them.
class HeldGets final : public platform::BackgroundGets {
  public:
    void get(int, std::string url, Done done) override {
        held.push_back({std::move(url), std::move(done)});
    }
    void dropPending(int) override {
        // Only what has not gone out: the one under way (the first) still answers.
        if (held.size() > 1) held.erase(held.begin() + 1, held.end());
    }
    std::string answer(std::optional<std::string> body) {
        auto request = std::move(held.front());
        held.pop_front();
        request.done(std::move(body));
        return request.url;
    }
    struct Held {
        std::string url;
        Done done;
    };
    std::deque<Held> held;
};

TEST(VaOutboxTest, ADestinationSendsItsOutboxOldestFirstAndNothingTwice) {
    test::TempDir dir;
    const auto path = dir.path() / "outbox-TAP-primary.txt";
    std::vector<std::string> received;
    {
        HeldGets gets;
        VaDestination site(gets, 1);
        site.keepOutbox(path);
        site.sendKept("m1");
        site.sendKept("m2");  // waits behind m1
        ASSERT_EQ(gets.held.size(), 1u);
        EXPECT_EQ(gets.answer(std::nullopt), "m1");  // down: 1 failure
        site.sendKept("m3");                         // m1 goes again, first
        EXPECT_EQ(gets.answer(std::nullopt), "m1");  // 2 in a row: given up
        EXPECT_TRUE(site.givenUp());
        site.sendKept("m4");  // kept, not sent
        EXPECT_TRUE(gets.held.empty());
        EXPECT_EQ(site.waiting(), 4u);
    }
    // The next start: the site answers again, and every request arrives in order.
    HeldGets gets;
    VaDestination site(gets, 1);
    site.keepOutbox(path);
    site.restoreFailures(2);  // as a resumed flight finds it
    site.resendOutbox();
    while (!gets.held.empty()) received.push_back(gets.answer("OK\n"));
    EXPECT_EQ(received, (std::vector<std::string>{"m1", "m2", "m3", "m4"}));
    EXPECT_TRUE(site.givenUp()) << "the restored counter still holds for this run";
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(VaOutboxTest, AnAnswerToAnotherRequestSendsWhatWaited) {
    test::TempDir dir;
    HeldGets gets;
    VaDestination site(gets, 1);
    site.keepOutbox(dir.path() / "outbox-TAP-primary.txt");
    site.sendKept("m1");
    gets.answer(std::nullopt);  // 1 failure; m1 waits
    site.send("poll");
    EXPECT_EQ(gets.answer("#3\n"), "poll");
    ASSERT_EQ(gets.held.size(), 1u);
    EXPECT_EQ(gets.answer("OK\n"), "m1");
    EXPECT_EQ(site.waiting(), 0u);
    EXPECT_EQ(site.failures(), 0);
}

TEST(VaOutboxTest, TheStartUpPassStopsAtTheFirstFailureAndCountsIt) {
    test::TempDir dir;
    const auto path = dir.path() / "outbox-TAP-status.txt";
    ASSERT_TRUE(writeFileAtomically(path, outboxBytes({"r1", "r2"})));
    HeldGets gets;
    VaDestination site(gets, 3);
    site.keepOutbox(path);
    site.resendOutbox();
    EXPECT_EQ(gets.answer("OK\n"), "r1");
    EXPECT_EQ(gets.answer(std::nullopt), "r2");
    EXPECT_TRUE(gets.held.empty());
    EXPECT_EQ(site.failures(), 1);
    EXPECT_EQ(readOutbox(*readFileBytes(path)).requests, (Requests{"r2"}));
}

}  // namespace
}  // namespace aviolog::reporting

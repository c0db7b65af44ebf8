#include "reporting/phpvms_outbox.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <string>

#include "common/text_file.h"
#include "reporting/va_outbox.h"
#include "tests/support/temp_dir.h"

namespace aviolog::reporting {
namespace {

using Kind = PhpVmsCall::Kind;

bool sameCall(const PhpVmsCall& a, const PhpVmsCall& b) {
    return a.kind == b.kind && a.method == b.method && a.path == b.path && a.body == b.body &&
           a.flight == b.flight;
}

TEST(PhpVmsOutboxTest, EveryCallReadsBackAsItWasWritten) {
    const PhpVmsCall rows[] = {
        {Kind::User, "GET", "/api/user", "", ""},
        {Kind::Fleet, "GET", "/api/user/fleet", "", ""},
        {Kind::Prefile, "POST", "/api/pireps/prefile", "", ""},
        {Kind::Plain, "POST", "/api/pireps/{pirep}/acars/logs",
         "{\"logs\":[{\"log\":\"line\\r\\n with a break\"}]}", ""},
        // A body with raw line breaks and a record's own separators inside.
        {Kind::Plain, "POST", "/api/pireps/12/acars/events", "a\nb\r\n7 c\r\n", ""},
        {Kind::File, "POST", "/api/pireps/12/file", "{\"distance\":80}",
         "[\"09/12/2026\",\"10:05\",\"VAX 123\"]"},
        {Kind::Cancel, "PUT", "/api/pireps/12/cancel", "", ""},
    };
    for (const PhpVmsCall& call : rows) {
        const auto read = readCallRecord(callRecord(call));
        ASSERT_TRUE(read) << call.path;
        EXPECT_TRUE(sameCall(*read, call)) << call.path << "\n" << callRecord(call);
    }
}

TEST(PhpVmsOutboxTest, ARecordThatIsNoCallIsNotRead) {
    const char* rows[] = {
        "",
        "Plain POST",
        "Plain POST /api/x",          // no flight line
        "Sometimes POST /api/x\n\n",  // no such kind
        "Plain POST api/x\n\n",       // not a path
        "Plain  /api/x\n\n",          // no method
    };
    for (const char* record : rows) EXPECT_FALSE(readCallRecord(record)) << record;
}

TEST(PhpVmsOutboxTest, WaitingCallsOutliveTheProgramAndTheFileGoesWhenAllAreTaken) {
    test::TempDir dir;
    const auto path = phpVmsOutboxPath(dir.path(), "VAX");
    EXPECT_EQ(path.filename(), "outbox-VAX-phpvms.txt");
    {
        PhpVmsDiskOutbox box;
        box.keep(path);
        box.push({Kind::Plain, "POST", "/api/pireps/{pirep}/acars/logs", "one", ""});
        // On disk before anything is sent.
        EXPECT_EQ(readOutbox(*readFileBytes(path)).requests.size(), 1u);
        box.push({Kind::File, "POST", "/api/pireps/{pirep}/file", "two", "key"});
        std::deque<PhpVmsCall> filled = box.calls();
        for (PhpVmsCall& call : filled) call.path.replace(12, 7, "5");
        box.replace(std::move(filled));
    }
    PhpVmsDiskOutbox again;
    again.keep(path);
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again.front()->path, "/api/pireps/5/acars/logs");
    EXPECT_EQ(again.calls().back().flight, "key");
    again.pop();
    EXPECT_TRUE(std::filesystem::exists(path));
    again.pop();
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(PhpVmsOutboxTest, ADamagedFileGivesItsWholeCallsAndIsKeptAside) {
    test::TempDir dir;
    const auto path = phpVmsOutboxPath(dir.path(), "VAX");
    const std::string bytes = outboxBytes(
        {callRecord({Kind::Plain, "POST", "/api/pireps/5/acars/logs", "a", ""}), "not a call",
         callRecord({Kind::File, "POST", "/api/pireps/5/file", "b", "k"})});
    const std::string cut = bytes.substr(0, bytes.size() - 4);
    ASSERT_TRUE(writeFileAtomically(path, cut));
    PhpVmsDiskOutbox box;
    box.keep(path);
    ASSERT_EQ(box.size(), 1u);
    EXPECT_EQ(box.front()->body, "a");
    auto damaged = path;
    damaged += ".damaged";
    EXPECT_EQ(readFileBytes(damaged), cut);
}

}  // namespace
}  // namespace aviolog::reporting

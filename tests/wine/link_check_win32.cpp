// aviolog-link-check.exe: the simulator link through the Win32 calls, one step per line
// of standard input, one line of results per step on standard output. The wine tests on
// Linux drive it against aviolog-sim.exe in the same prefix and read what each step gave.
//   open [VERSION]   open the link; prints "open RESULT"
//   exchange         read the parking brake and process; "exchange RESULT BRAKE FAILURES"
//   empty            process with nothing queued; "empty RESULT"
//   read BYTES       queue a read of BYTES at offset 0; "read RESULT"
//   time N           N exchanges; "time DONE MEDIAN_NS"
//   take             hold a mapping under the name the next open will ask for
//   timing MS WAIT   shorten the send time-out and the wait between attempts
//   close, quit

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_sim_ipc.h"
#include "simlink/sim_link.h"
#include "wire/sim_ipc_wire.h"
#include "wire/sim_offsets.h"

namespace {

using namespace aviolog;
using simlink::SimLink;

// Counts losses as the program does: the fourth failure closes the link.
class LossCounter final : public simlink::LinkLossObserver {
  public:
    void simulatorLost() override { ++losses; }
    int losses = 0;
};

}  // namespace

int main() {
    platform::win32::Win32Clock clock;
    platform::win32::Win32SimIpc ipc;
    SimLink link(ipc, clock);
    LossCounter loss;
    link.setLossObserver(&loss);
    std::vector<HANDLE> taken;
    std::vector<std::byte> big(wire::kBlockSize);
    std::uint32_t opens = 0;
    char text[256];
    while (std::fgets(text, sizeof text, stdin) != nullptr) {
        std::istringstream line(text);
        std::string step;
        line >> step;
        if (step == "open") {
            std::uint32_t version = 0;
            line >> version;
            ++opens;
            link.open(version);
            std::printf("open %u\n", link.lastResult());
        } else if (step == "exchange") {
            std::int16_t brake = -1;
            const bool ok = link.read(wire::var::ParkingBrake.offset, 2, &brake) && link.process();
            std::printf("exchange %u %d %u %d\n", link.lastResult(), ok ? brake : -1,
                        link.failureCount(), loss.losses);
        } else if (step == "time") {
            // The median cost of an exchange through the Win32 calls, for the benchmark.
            int count = 0;
            line >> count;
            std::vector<std::int64_t> ns;
            std::int16_t brake = -1;
            LARGE_INTEGER frequency, before, after;
            QueryPerformanceFrequency(&frequency);
            for (int i = 0; i < count; ++i) {
                QueryPerformanceCounter(&before);
                const bool ok =
                    link.read(wire::var::ParkingBrake.offset, 2, &brake) && link.process();
                QueryPerformanceCounter(&after);
                if (!ok) break;
                ns.push_back((after.QuadPart - before.QuadPart) * 1000000000 / frequency.QuadPart);
            }
            std::sort(ns.begin(), ns.end());
            std::printf("time %zu %lld\n", ns.size(),
                        ns.empty() ? -1LL : static_cast<long long>(ns[ns.size() / 2]));
        } else if (step == "empty") {
            link.process();
            std::printf("empty %u\n", link.lastResult());
        } else if (step == "read") {
            std::uint32_t bytes = 0;
            line >> bytes;
            link.read(0, bytes, bytes <= big.size() ? big.data() : nullptr);
            std::printf("read %u\n", link.lastResult());
        } else if (step == "take") {
            char name[64];
            std::snprintf(name, sizeof name, wire::kBlockNameFormat,
                          static_cast<unsigned>(GetCurrentProcessId()), opens + 1);
            taken.push_back(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                               wire::kBlockSize, name));
            std::printf("take %s\n", taken.back() != nullptr ? "held" : "failed");
        } else if (step == "timing") {
            int timeoutMs = SimLink::kDefaultSendTimeoutMs;
            int waitMs = SimLink::kDefaultWaitMs;
            line >> timeoutMs >> waitMs;
            link.setTimingForTests(timeoutMs, waitMs);
            std::printf("timing %d %d\n", timeoutMs, waitMs);
        } else if (step == "close") {
            link.close();
            std::printf("close\n");
        } else if (step == "quit") {
            break;
        } else {
            std::printf("unknown %s\n", step.c_str());
        }
        std::fflush(stdout);
    }
    for (HANDLE h : taken) {
        if (h != nullptr) CloseHandle(h);
    }
    return 0;
}

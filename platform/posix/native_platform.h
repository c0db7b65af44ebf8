#pragma once

#include <string>

#include "platform/posix/curl_http_client.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_library_loader.h"
#include "platform/posix/posix_nonblocking_tcp.h"
#include "platform/posix/posix_sim_ipc.h"
#include "platform/posix/posix_sound.h"
#include "platform/posix/posix_tcp_client.h"
#include "platform/posix/posix_unique_ids.h"
#include "platform/posix/threaded_gets.h"
#include "platform/posix/wine_registry.h"

namespace aviolog::platform::posix {

// The operating system's side of the program on Linux, put together once for the window
// and the flight runner. Each of them adds what is its own (the timers, the pilot, the
// runner's stand-ins) and wires the program from these by name. Another system's set is
// a file of its own beside this one.
struct NativePlatform {
    // The simulator's sockets are looked for under the prefix (see PosixSimIpc).
    explicit NativePlatform(std::string ipcPrefix = {});
    NativePlatform(const NativePlatform&) = delete;
    NativePlatform& operator=(const NativePlatform&) = delete;

    // The wall clock. The program's recorder runs on it too; in virtual time only mail does.
    PosixClock clock;
    PosixSimIpc ipc;
    PosixSound sound;
    PosixLibraryLoader libraries;
    CurlHttpClient http;
    PosixTcpConnector connector{clock};
    PosixUniqueIds ids;
    // The VA's requests, each site on a worker of its own with its own web client; the
    // answers wait at vaGets.readyFd() for the owner's event loop.
    ThreadedGets vaGets;
    PosixNonBlockingNetwork network;  // the cockpit terminal's link
    // Where the pilot's Windows programs are: the Wine prefix of the environment.
    WineRegistry registry;
};

}  // namespace aviolog::platform::posix

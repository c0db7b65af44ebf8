// aviolog-fsuipc-relay.exe: runs inside the simulator's Wine or Proton prefix, beside
// FSUIPC, and passes each request block that aviolog-bridge sends over TCP to FSUIPC's
// window through the Win32 calls, then sends the block back as FSUIPC left it. The program
// on Linux keeps its own link, with its time-outs and failure counting; the relay only
// carries blocks.

#include <winsock2.h>
#include <ws2tcpip.h>
// winsock2.h first: windows.h would bring the old winsock.
#include <windows.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/win32_sim_ipc.h"
#include "wire/relay_wire.h"
#include "wire/sim_ipc_wire.h"

namespace {

using namespace aviolog;
namespace relay = wire::relay;

constexpr const char* kUsage =
    "usage: aviolog-fsuipc-relay.exe [options]\n"
    "  --listen ADDRESS   address to take aviolog-bridge's connection on (default 127.0.0.1;\n"
    "                     * for all)\n"
    "  --port PORT        TCP port (default 7147)\n"
    "Start it inside the simulator's prefix, then aviolog-bridge --fsuipc HOST:PORT on Linux.\n";

struct Options {
    std::string listen = "127.0.0.1";
    int port = relay::kDefaultPort;
};

bool parseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        }
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        char* end = nullptr;
        if (arg == "--listen" && value != nullptr) {
            options->listen = value;
        } else if (arg == "--port" && value != nullptr &&
                   (options->port = static_cast<int>(std::strtol(value, &end, 10)),
                    *end == '\0' && options->port > 0 && options->port < 65536)) {
        } else {
            std::fprintf(stderr, "aviolog-fsuipc-relay: bad option %s\n%s", argv[i], kUsage);
            return false;
        }
        ++i;
    }
    return true;
}

// The relay's own link to the simulator interface in this prefix: the window, the
// message, and a block named by an atom, found again whenever the window has gone.
class FsuipcPassage {
  public:
    // Sends the block to the window and copies its answer back into it.
    relay::AnswerHeader exchange(std::span<std::byte> block, int timeoutMs) {
        relay::AnswerHeader answer;
        answer.length = static_cast<std::uint32_t>(block.size());
        if (!ready() && !connect()) {
            answer.status = relay::kFailed;
            answer.systemError = ERROR_INVALID_WINDOW_HANDLE;
            return answer;
        }
        std::memcpy(view_, block.data(), block.size());
        const platform::SendOutcome outcome = ipc_.send(window_, message_, atom_, 0, timeoutMs);
        std::memcpy(block.data(), view_, block.size());
        answer.reply = outcome.reply;
        answer.systemError = outcome.systemError;
        answer.status = outcome.status == platform::SendStatus::Answered   ? relay::kAnswered
                        : outcome.status == platform::SendStatus::TimedOut ? relay::kTimedOut
                                                                           : relay::kFailed;
        // The window is gone (the simulator closed): look for it again next time.
        if (answer.status == relay::kFailed) disconnect();
        return answer;
    }

    ~FsuipcPassage() { disconnect(); }

  private:
    bool ready() const { return view_ != nullptr && IsWindow(reinterpret_cast<HWND>(window_)); }

    bool connect() {
        disconnect();
        window_ = ipc_.findWindow(wire::kWindowClass);
        if (window_ == 0) window_ = ipc_.findWindow(wire::kLegacyWindowClass);
        if (window_ == 0) return false;
        message_ = ipc_.registerMessage(wire::kMessageName);
        char name[64];
        std::snprintf(name, sizeof name, wire::kBlockNameFormat, ipc_.processId(), ++opens_);
        atom_ = ipc_.addAtom(name);
        block_ = ipc_.createBlock(name, wire::kBlockSize);
        view_ = block_ ? block_->map() : nullptr;
        if (message_ == 0 || atom_ == 0 || view_ == nullptr) {
            disconnect();
            return false;
        }
        std::printf("aviolog-fsuipc-relay: found the simulator interface\n");
        std::fflush(stdout);
        return true;
    }

    void disconnect() {
        if (atom_ != 0) ipc_.deleteAtom(atom_);
        atom_ = 0;
        view_ = nullptr;
        block_.reset();
        window_ = 0;
    }

    platform::win32::Win32SimIpc ipc_;
    platform::WindowHandle window_ = 0;
    std::uint32_t message_ = 0;
    std::uint16_t atom_ = 0;
    std::unique_ptr<platform::SharedBlock> block_;
    std::byte* view_ = nullptr;
    std::uint32_t opens_ = 0;
};

bool sendAll(SOCKET s, const std::byte* data, std::size_t size) {
    while (size > 0) {
        const int sent = send(s, reinterpret_cast<const char*>(data), static_cast<int>(size), 0);
        if (sent <= 0) return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

// Serves one connection until the bridge hangs up or breaks the protocol.
void serveConnection(SOCKET s, FsuipcPassage& passage) {
    // The request and its block come in one segment, and each receive costs Wine a round
    // trip to its server: they are taken in one receive when they can be.
    std::vector<std::byte> in(relay::kRequestHeaderBytes + wire::kBlockSize);
    std::vector<std::byte> out(relay::kAnswerHeaderBytes + wire::kBlockSize);
    std::size_t have = 0;
    for (;;) {
        std::optional<relay::RequestHeader> request;
        while (have < relay::kRequestHeaderBytes ||
               have < relay::kRequestHeaderBytes + request->length) {
            const int got = recv(s, reinterpret_cast<char*>(in.data() + have),
                                 static_cast<int>(in.size() - have), 0);
            if (got <= 0) return;
            have += static_cast<std::size_t>(got);
            if (!request && have >= relay::kRequestHeaderBytes) {
                request =
                    relay::decodeRequest(std::span<const std::byte, relay::kRequestHeaderBytes>(
                        in.data(), relay::kRequestHeaderBytes));
                if (!request) {
                    std::printf(
                        "aviolog-fsuipc-relay: not a request from aviolog-bridge; "
                        "hanging up\n");
                    return;
                }
            }
        }
        const std::size_t used = relay::kRequestHeaderBytes + request->length;
        // One request at a time: the bridge sends nothing more before our answer.
        if (have != used) return;
        std::byte* block = out.data() + relay::kAnswerHeaderBytes;
        std::memcpy(block, in.data() + relay::kRequestHeaderBytes, request->length);
        const relay::AnswerHeader answer =
            passage.exchange({block, request->length}, static_cast<int>(request->timeoutMs));
        relay::encodeAnswer(answer, std::span<std::byte, relay::kAnswerHeaderBytes>(
                                        out.data(), relay::kAnswerHeaderBytes));
        if (!sendAll(s, out.data(), relay::kAnswerHeaderBytes + request->length)) return;
        have = 0;
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, &options)) return 2;
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 1;
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(options.port));
    if (options.listen == "*") {
        address.sin_addr.s_addr = htonl(INADDR_ANY);
    } else if (inet_pton(AF_INET, options.listen.c_str(), &address.sin_addr) != 1) {
        std::fprintf(stderr, "aviolog-fsuipc-relay: cannot use the address %s\n",
                     options.listen.c_str());
        return 2;
    }
    BOOL exclusive = TRUE;
    setsockopt(listener, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
               sizeof exclusive);
    if (listener == INVALID_SOCKET ||
        bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 1) != 0) {
        std::fprintf(stderr, "aviolog-fsuipc-relay: cannot listen on %s:%d (error %d)\n",
                     options.listen.c_str(), options.port, WSAGetLastError());
        return 1;
    }
    std::printf("aviolog-fsuipc-relay: listening on %s:%d for aviolog-bridge --fsuipc\n",
                options.listen.c_str(), options.port);
    std::fflush(stdout);
    FsuipcPassage passage;
    for (;;) {
        SOCKET s = accept(listener, nullptr, nullptr);
        if (s == INVALID_SOCKET) continue;
        BOOL noDelay = TRUE;
        setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
                   sizeof noDelay);
        std::printf("aviolog-fsuipc-relay: aviolog-bridge connected\n");
        std::fflush(stdout);
        serveConnection(s, passage);
        closesocket(s);
        std::printf("aviolog-fsuipc-relay: aviolog-bridge disconnected\n");
        std::fflush(stdout);
    }
}

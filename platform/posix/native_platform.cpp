#include "platform/posix/native_platform.h"

#include <atomic>
#include <memory>
#include <utility>

namespace aviolog::platform::posix {

namespace {

// A worker's own web client: it gives up as soon as its request is abandoned.
std::unique_ptr<HttpClient> workerClient(const std::atomic<bool>& abandon) {
    return std::make_unique<CurlHttpClient>(HttpLimits{}, &abandon);
}

}  // namespace

NativePlatform::NativePlatform(std::string ipcPrefix)
    : ipc(std::move(ipcPrefix)), vaGets(workerClient), registry(WineRegistry::fromEnvironment()) {}

}  // namespace aviolog::platform::posix

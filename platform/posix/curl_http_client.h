#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "platform/http_client.h"

namespace aviolog::platform::posix {

// GET over libcurl, as a web browser's platform call fetches a page: user agent
// "just an empty space", the proxy the environment names (http_proxy, https_proxy,
// no_proxy), redirects followed, nothing answered from a cache. One curl handle lives as
// long as the object, so requests to the same host reuse its open connection; a PIREP is
// dozens of requests in a row.
class CurlHttpClient final : public HttpClient {
  public:
    static constexpr const char* kUserAgent = "just an empty space";
    static constexpr long kConnectTimeoutMs = 30000;
    // A server that stops sending mid-answer would otherwise hold the pilot's window
    // forever: a transfer slower than this many bytes a second for this long is dropped.
    static constexpr long kStallBytesPerSecond = 1;
    static constexpr long kStallTimeoutS = 60;

    // A transfer under way is given up as soon as abandon turns true (a worker thread that
    // is being stopped).
    explicit CurlHttpClient(const std::atomic<bool>* abandon = nullptr);
    ~CurlHttpClient() override;
    CurlHttpClient(const CurlHttpClient&) = delete;
    CurlHttpClient& operator=(const CurlHttpClient&) = delete;

    std::optional<std::string> get(const std::string& url) override;

  private:
    struct Handle;
    std::unique_ptr<Handle> handle_;
    const std::atomic<bool>* abandon_;
};

}  // namespace aviolog::platform::posix

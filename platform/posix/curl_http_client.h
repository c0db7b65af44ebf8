#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "platform/http_client.h"

namespace aviolog::platform::posix {

// What one request may take. A script that drips its answer, or sends without end, would
// otherwise hold the pilot's window forever or fill the memory; every answer the program
// reads is a few lines.
struct HttpLimits {
    long connectTimeoutMs = 30000;
    // Once the request has gone out, the whole answer must arrive within this time, as a
    // mail server's reply must.
    long answerTimeoutMs = 60000;
    // A longer answer fails the request, as one that cannot be read.
    std::size_t maxAnswerBytes = std::size_t{1} << 20;
};

// GET over libcurl, as a web browser's platform call fetches a page: user agent
// "just an empty space", the proxy the environment names (http_proxy, https_proxy,
// no_proxy), redirects followed, nothing answered from a cache. One curl handle lives as
// long as the object, so requests to the same host reuse its open connection; a PIREP is
// dozens of requests in a row.
class CurlHttpClient final : public HttpClient {
  public:
    static constexpr const char* kUserAgent = "just an empty space";

    // A transfer under way is given up as soon as abandon turns true (a worker thread that
    // is being stopped).
    explicit CurlHttpClient(HttpLimits limits = {}, const std::atomic<bool>* abandon = nullptr);
    ~CurlHttpClient() override;
    CurlHttpClient(const CurlHttpClient&) = delete;
    CurlHttpClient& operator=(const CurlHttpClient&) = delete;

    std::optional<std::string> get(const std::string& url) override;
    // Any method, with the request's headers and body; the same limits as get, and no
    // redirect followed (a web API answers where it is asked). A request goes out once.
    std::optional<WebAnswer> send(const WebRequest& request) override;

  private:
    struct Handle;
    HttpLimits limits_;
    std::unique_ptr<Handle> handle_;
    const std::atomic<bool>* abandon_;
};

}  // namespace aviolog::platform::posix

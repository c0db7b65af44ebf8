#include "platform/posix/curl_http_client.h"

#include <curl/curl.h>

#include <new>

namespace aviolog::platform::posix {
namespace {

constexpr long kMaxRedirects = 20;
// The pages of a web script: local files and other protocols are never fetched, however
// the address or a redirect reads.
constexpr const char* kProtocols = "http,https";

// libcurl's process-wide set-up is not thread-safe; a function-local static runs it
// exactly once, on first use, whichever thread gets there.
void initialiseCurlOnce() {
    struct Global {
        Global() { curl_global_init(CURL_GLOBAL_DEFAULT); }
        ~Global() { curl_global_cleanup(); }
    };
    static const Global global;
}

// The address as a browser's platform call would take it: with its scheme and without
// blanks or control characters. libcurl alone would guess "http://" for an address
// without one.
bool wellFormed(const std::string& url) {
    CURLU* parsed = curl_url();
    if (!parsed) return false;
    const bool ok = curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK;
    curl_url_cleanup(parsed);
    return ok;
}

size_t appendBody(char* data, size_t size, size_t count, void* body) {
    try {
        static_cast<std::string*>(body)->append(data, size * count);
        return size * count;
    } catch (const std::bad_alloc&) {
        return 0;  // less than was offered: libcurl ends the transfer with an error
    }
}

int abandonWhenAsked(void* abandon, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const std::atomic<bool>*>(abandon)->load() ? 1 : 0;
}

}  // namespace

// The easy handle keeps its connection cache across curl_easy_reset, so it is made once.
struct CurlHttpClient::Handle {
    Handle() : easy(curl_easy_init()) {
        headers = curl_slist_append(headers, "Cache-Control: no-cache");
        headers = curl_slist_append(headers, "Pragma: no-cache");
    }
    ~Handle() {
        if (easy) curl_easy_cleanup(easy);
        curl_slist_free_all(headers);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    CURL* easy;
    curl_slist* headers = nullptr;
};

CurlHttpClient::CurlHttpClient(const std::atomic<bool>* abandon) : abandon_(abandon) {
    initialiseCurlOnce();
    handle_ = std::make_unique<Handle>();
}

CurlHttpClient::~CurlHttpClient() = default;

std::optional<std::string> CurlHttpClient::get(const std::string& url) {
    CURL* easy = handle_->easy;
    if (!easy || !handle_->headers || !wellFormed(url)) return std::nullopt;
    curl_easy_reset(easy);  // per-request options only; open connections stay

    std::string body;
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, kProtocols);
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, kProtocols);
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, handle_->headers);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, kStallBytesPerSecond);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, kStallTimeoutS);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
    // Time-outs by signal would reach threads that are not ours.
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    if (abandon_ != nullptr) {
        curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, abandonWhenAsked);
        curl_easy_setopt(easy, CURLOPT_XFERINFODATA, abandon_);
        curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    }

    if (curl_easy_perform(easy) != CURLE_OK) return std::nullopt;
    return body;
}

}  // namespace aviolog::platform::posix

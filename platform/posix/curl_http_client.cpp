#include "platform/posix/curl_http_client.h"

#include <curl/curl.h>

#include <chrono>
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

struct Answer {
    std::string body;
    std::size_t maxBytes;
    long answerTimeoutMs;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    CURL* easy;
    const std::atomic<bool>* abandon;  // a worker being stopped gives up at once
    int requestsSent = 0;
    bool answerBegun = false;  // since the last request went out
};

// libcurl sends a request once more, on a new connection, when a kept connection closes
// before any of the answer arrived. The script may have acted on the first one already
// (a PIREP piece stored, an ACARS message taken), so a request goes out only once: a
// second start with nothing answered in between ends the transfer as failed. A redirect
// was answered, and its new request goes on.
int beforeEachRequest(void* target, char*, char*, int, int) {
    auto& answer = *static_cast<Answer*>(target);
    if (answer.requestsSent > 0 && !answer.answerBegun) return CURL_PREREQFUNC_ABORT;
    ++answer.requestsSent;
    answer.answerBegun = false;
    return CURL_PREREQFUNC_OK;
}

size_t noteHeader(char*, size_t size, size_t count, void* target) {
    static_cast<Answer*>(target)->answerBegun = true;
    return size * count;
}

// Once the request is on its way (a new or a kept connection), the answer has its own
// deadline; until then the connect time-out rules. Non-zero ends the transfer.
int checkAnswerTime(void* target, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto& answer = *static_cast<Answer*>(target);
    if (answer.abandon != nullptr && answer.abandon->load()) return 1;
    curl_off_t requestSentUs = 0;
    if (curl_easy_getinfo(answer.easy, CURLINFO_PRETRANSFER_TIME_T, &requestSentUs) != CURLE_OK ||
        requestSentUs <= 0) {
        return 0;
    }
    const auto elapsedUs = std::chrono::duration_cast<std::chrono::microseconds>(
                               std::chrono::steady_clock::now() - answer.start)
                               .count();
    return elapsedUs - requestSentUs > curl_off_t{answer.answerTimeoutMs} * 1000 ? 1 : 0;
}

size_t appendBody(char* data, size_t size, size_t count, void* target) {
    auto& answer = *static_cast<Answer*>(target);
    const std::size_t bytes = size * count;
    // Less than was offered ends the transfer with an error.
    if (bytes > answer.maxBytes - answer.body.size()) return 0;
    try {
        answer.body.append(data, bytes);
        return bytes;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

// What every request sets the same way: where it goes, who asks, its limits, and where its
// answer is kept.
void setRequestOptions(CURL* easy, const std::string& url, curl_slist* headers,
                       const HttpLimits& limits, Answer& answer) {
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, kProtocols);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, CurlHttpClient::kUserAgent);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, limits.connectTimeoutMs);
    // The answer's own deadline, and behind it one for the whole request.
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, checkAnswerTime);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &answer);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, limits.connectTimeoutMs + limits.answerTimeoutMs);
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(limits.maxAnswerBytes));
    // Time-outs by signal would reach threads that are not ours.
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &answer);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, noteHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &answer);
    curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, beforeEachRequest);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, &answer);
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

CurlHttpClient::CurlHttpClient(HttpLimits limits, const std::atomic<bool>* abandon)
    : limits_(limits), abandon_(abandon) {
    initialiseCurlOnce();
    handle_ = std::make_unique<Handle>();
}

CurlHttpClient::~CurlHttpClient() = default;

std::optional<std::string> CurlHttpClient::get(const std::string& url) {
    CURL* easy = handle_->easy;
    if (!easy || !handle_->headers || !wellFormed(url)) return std::nullopt;
    curl_easy_reset(easy);  // per-request options only; open connections stay

    Answer answer{{},
                  limits_.maxAnswerBytes,
                  limits_.answerTimeoutMs,
                  std::chrono::steady_clock::now(),
                  easy,
                  abandon_};
    setRequestOptions(easy, url, handle_->headers, limits_, answer);
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, kProtocols);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);

    if (curl_easy_perform(easy) != CURLE_OK) return std::nullopt;
    return std::move(answer.body);
}

std::optional<WebAnswer> CurlHttpClient::send(const WebRequest& request) {
    CURL* easy = handle_->easy;
    if (!easy || !wellFormed(request.url)) return std::nullopt;
    curl_easy_reset(easy);

    curl_slist* headers = nullptr;
    for (const std::string& header : request.headers) {
        curl_slist* more = curl_slist_append(headers, header.c_str());
        if (!more) {
            curl_slist_free_all(headers);
            return std::nullopt;
        }
        headers = more;
    }
    // Frees the list whichever way the request ends.
    struct HeaderList {
        curl_slist* list;
        ~HeaderList() { curl_slist_free_all(list); }
    } headerList{headers};

    Answer answer{{},
                  limits_.maxAnswerBytes,
                  limits_.answerTimeoutMs,
                  std::chrono::steady_clock::now(),
                  easy,
                  abandon_};
    setRequestOptions(easy, request.url, headerList.list, limits_, answer);
    if (request.method == "GET") {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    } else {
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str());
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body.c_str());
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request.body.size()));
    }

    const CURLcode result = curl_easy_perform(easy);
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    // The handle keeps pointers into this call's header list and body.
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, nullptr);
    if (result != CURLE_OK || status == 0) return std::nullopt;
    return WebAnswer{status, std::move(answer.body)};
}

}  // namespace aviolog::platform::posix

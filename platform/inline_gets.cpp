#include "platform/inline_gets.h"

#include "platform/http_get.h"

namespace aviolog::platform {

void InlineGets::get(int, std::string url, Done done) {
    std::optional<std::string> answer = httpGet(client_, url);
    if (done) done(std::move(answer));
}

void InlineGets::send(int, WebRequest request, SendDone done) {
    std::optional<WebAnswer> answer = client_.send(request);
    if (done) done(std::move(answer));
}

}  // namespace aviolog::platform

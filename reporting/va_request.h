#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace aviolog::reporting {

// Percent-encodes every byte except the unreserved characters A-Z a-z 0-9 - . _ ~ and
// "*", "/", ":", which a query value carries as they are and which keep requests readable
// (a log piece's line feeds travel as "*"). Everything else, "+", "&", "=", "#", "%", "?",
// the blank, control characters and bytes of 0x80 and above included, becomes "%XX" with
// upper-case hex, so the script decodes exactly the Windows-1252 bytes it was given.
std::string percentEncode(std::string_view value);

// The address of one request to a VA script: address + "?" + name=value pairs joined by
// "&" (no "&" before the first; when none, nothing follows the "?"). Values are
// percent-encoded; names are the program's own fixed ASCII and go as they are. An address
// that already holds a "?" still gets one appended, as VA scripts have always been
// addressed.
class VaRequest {
  public:
    using Parameter = std::pair<std::string_view, std::string_view>;

    explicit VaRequest(std::string address);

    VaRequest& add(std::string_view name, std::string_view value);
    std::string url() const { return url_; }

    // url() followed by "&" + name + "=" + encoded value for each parameter given, the
    // request itself left as it is: a PIREP's pieces share one base and differ only in
    // "more" and "log".
    std::string urlWith(std::initializer_list<Parameter> parameters) const;

  private:
    std::string url_;
    bool hasParameters_ = false;
};

}  // namespace aviolog::reporting

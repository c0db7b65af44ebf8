#pragma once

#include <optional>
#include <string>

namespace aviolog::reporting {

// The dialogs of storing and reporting flights. The desktop shell shows them; tests and
// the flight runner answer them. Each call returns when its dialog has closed.
class ReportingDialogs {
  public:
    virtual ~ReportingDialogs() = default;
    // "Send Log Parameters": the "Pilot Number:" field (at most 9 characters) pre-filled.
    // The field's text when OK was pressed; nothing when the dialog was closed otherwise.
    virtual std::optional<std::string> sendLogParameters(const std::string& pilotNumber) = 0;
    // "Browser": the VA's PIREP page in an embedded browser; true for OK, false for Cancel.
    virtual bool browse(const std::string& url) = 0;
};

}  // namespace aviolog::reporting

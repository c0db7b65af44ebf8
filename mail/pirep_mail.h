#pragma once

#include <filesystem>
#include <string>

#include "mail/mailer.h"

namespace aviolog::mail {

inline constexpr const char* kPirepSubject = "Log";
inline constexpr const char* kPirepBody = "Flight log is attached";

// The PIREP by e-mail: to the company's [Log] Mail address, the attachment file written
// for the flight.
OutgoingMail pirepMail(const std::string& recipient, const std::filesystem::path& attachment);

}  // namespace aviolog::mail

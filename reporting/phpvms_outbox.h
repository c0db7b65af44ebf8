#pragma once

// The phpVMS calls not yet taken by the site, kept in the working folder in the record
// file every VA outbox uses, so that a program that dies or exits sends them at its next
// start.

#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "reporting/phpvms_flight.h"

namespace aviolog::reporting {

class VaOutbox;

// ".\outbox-" + company ICAO + "-phpvms.txt".
std::filesystem::path phpVmsOutboxPath(const std::filesystem::path& workDir,
                                       const std::string& companyIcao);

// A call as one record: "kind method path", the stored flight it files, then the body,
// separated by line feeds (the body may hold any byte). Never the pilot's key: that is
// added when the call goes out.
std::string callRecord(const PhpVmsCall& call);
std::optional<PhpVmsCall> readCallRecord(std::string_view record);

class PhpVmsDiskOutbox final : public PhpVmsOutbox {
  public:
    PhpVmsDiskOutbox();
    ~PhpVmsDiskOutbox() override;

    // From now on kept in this file; what an earlier run left there comes first. What was
    // waiting before (nothing, at start-up) is dropped.
    void keep(std::filesystem::path path);

    void push(PhpVmsCall call) override;
    const PhpVmsCall* front() const override { return calls_.empty() ? nullptr : &calls_.front(); }
    void pop() override;
    std::size_t size() const override { return calls_.size(); }
    void clear() override { replace({}); }
    const std::deque<PhpVmsCall>& calls() const override { return calls_; }
    void replace(std::deque<PhpVmsCall> calls) override;

  private:
    std::unique_ptr<VaOutbox> file_;
    std::deque<PhpVmsCall> calls_;
};

}  // namespace aviolog::reporting

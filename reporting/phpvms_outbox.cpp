#include "reporting/phpvms_outbox.h"

#include <utility>

#include "reporting/va_outbox.h"
#include "reporting/va_traffic.h"

namespace aviolog::reporting {
namespace {

using Kind = PhpVmsCall::Kind;

constexpr std::pair<Kind, std::string_view> kKindNames[] = {
    {Kind::User, "User"},   {Kind::Fleet, "Fleet"}, {Kind::Prefile, "Prefile"},
    {Kind::Plain, "Plain"}, {Kind::File, "File"},   {Kind::Cancel, "Cancel"},
};

std::string_view kindName(Kind kind) {
    for (const auto& [k, name] : kKindNames) {
        if (k == kind) return name;
    }
    return "Plain";
}

// The next field up to a separator, taken off the text; nothing when there is none.
std::optional<std::string_view> takeUntil(std::string_view& text, char separator) {
    const std::size_t at = text.find(separator);
    if (at == std::string_view::npos) return std::nullopt;
    const std::string_view field = text.substr(0, at);
    text.remove_prefix(at + 1);
    return field;
}

}  // namespace

std::filesystem::path phpVmsOutboxPath(const std::filesystem::path& workDir,
                                       const std::string& companyIcao) {
    return outboxPath(workDir, companyIcao, "phpvms");
}

std::string callRecord(const PhpVmsCall& call) {
    std::string record(kindName(call.kind));
    record += ' ';
    record += call.method;
    record += ' ';
    record += call.path;
    record += '\n';
    record += call.flight;
    record += '\n';
    record += call.body;
    return record;
}

std::optional<PhpVmsCall> readCallRecord(std::string_view record) {
    const auto kind = takeUntil(record, ' ');
    const auto method = takeUntil(record, ' ');
    const auto path = takeUntil(record, '\n');
    const auto flight = takeUntil(record, '\n');
    if (!kind || !method || !path || !flight || method->empty() || !path->starts_with('/')) {
        return std::nullopt;
    }
    for (const auto& [k, name] : kKindNames) {
        if (name != *kind) continue;
        return PhpVmsCall{.kind = k,
                          .method = std::string(*method),
                          .path = std::string(*path),
                          .body = std::string(record),
                          .flight = std::string(*flight)};
    }
    return std::nullopt;
}

PhpVmsDiskOutbox::PhpVmsDiskOutbox() = default;
PhpVmsDiskOutbox::~PhpVmsDiskOutbox() = default;

void PhpVmsDiskOutbox::keep(std::filesystem::path path) {
    file_ = std::make_unique<VaOutbox>(std::move(path));
    calls_.clear();
    // A record that is whole but no call (edited by hand) cannot be sent; it goes with the
    // next change of the file.
    for (const std::string& record : file_->requests()) {
        if (auto call = readCallRecord(record)) calls_.push_back(std::move(*call));
    }
}

void PhpVmsDiskOutbox::push(PhpVmsCall call) {
    if (file_) file_->append(callRecord(call));
    calls_.push_back(std::move(call));
}

void PhpVmsDiskOutbox::pop() {
    if (calls_.empty()) return;
    calls_.pop_front();
    if (!file_) return;
    // The file is written from the calls, so that a record that could not be read as one
    // does not shift which record goes.
    replace(std::move(calls_));
}

void PhpVmsDiskOutbox::replace(std::deque<PhpVmsCall> calls) {
    calls_ = std::move(calls);
    if (!file_) return;
    std::deque<std::string> records;
    for (const PhpVmsCall& call : calls_) records.push_back(callRecord(call));
    file_->replace(std::move(records));
}

}  // namespace aviolog::reporting

#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "model/flight_services.h"
#include "reporting/acars_format.h"
#include "reporting/pilot_log_book.h"  // the journal's name

namespace aviolog::config {
struct Settings;
}
namespace aviolog::model {
struct FlightRecord;
}
namespace aviolog::simlink {
class SimLink;
}

namespace aviolog::reporting {

class AcarsDisplay;
struct VaTraffic;

struct AcarsContext {
    simlink::SimLink& link;
    const config::Settings& settings;
    const model::FlightRecord& record;
    AcarsDisplay& display;
    VaTraffic& traffic;
    std::filesystem::path workDir;  // where the journal is
};

// The ACARS messages of the flight: each is composed from the simulator's clock and the
// caller's values, sent to the VA's ACARS sites when the pilot has ACARS online, appended
// to the journal and shown. A message whose simulator values cannot be read is dropped
// without a trace: no counter moves.
class AcarsMessenger final : public model::AcarsComposer {
  public:
    explicit AcarsMessenger(AcarsContext context) : c_(std::move(context)) {}

    void outMessage(int hour, int minute, double fuelKg, double grossWeightKg) override;
    void offMessage(int hour, int minute, double fuelKg, double grossWeightKg) override;
    void onMessage(int hour, int minute, double fuelKg, double grossWeightKg) override;
    void inMessage(const model::BlocksOnReport& report) override;
    void positionReport() override;
    void metarMessage(const std::string& metar) override;
    // The pilot's text, label QD. The message time is the simulator's like every other
    // message's; the hour and minute of the caller are not shown.
    void freeTextMessage(int hour, int minute, const std::string& text) override;

    std::uint16_t messageNumber() const { return messageNumber_; }

    // The message counter and the block ids, kept across a restart of the program so
    // that the messages of the resumed flight go on numbering where they were.
    struct Counters {
        std::uint16_t messageNumber = 0;
        std::array<std::uint16_t, 6> blockIds{};
    };
    Counters counters() const { return {messageNumber_, blockIds_}; }
    void restoreCounters(const Counters& counters) {
        messageNumber_ = counters.messageNumber;
        blockIds_ = counters.blockIds;
    }

  private:
    // The block ids: label 16 (position and METAR), QA, QB, QC, QD block on, QD free text.
    enum class Block { Sixteen, QA, QB, QC, QD, FreeText, Count };
    struct Clock;

    std::optional<Clock> readClock();
    WeightUnit unit() const;
    // The header of the next message of that block.
    AcarsHeader nextHeader(const Clock& clock, Block block) const;
    // Counts, composes, sends, journals and shows one message whose values were read.
    void deliver(const Clock& clock, Block block, const AcarsContent& content);
    // A METAR or free text cut so that the whole text of the next message of the block
    // stays within its 400 characters, closing blank line included.
    std::string fitted(const Clock& clock, Block block, const std::string& value,
                       const AcarsContent& withoutValue) const;
    void send(const AcarsMessage& message);
    void appendToJournal(const std::string& text) const;

    AcarsContext c_;
    std::uint16_t messageNumber_ = 0;
    std::array<std::uint16_t, static_cast<int>(Block::Count)> blockIds_{};
};

}  // namespace aviolog::reporting

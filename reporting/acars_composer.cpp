#include "reporting/acars_composer.h"

#include <fstream>

#include "common/paths.h"
#include "common/text_file.h"
#include "config/settings.h"
#include "model/flight_record.h"
#include "reporting/acars_view.h"
#include "reporting/va_request.h"
#include "reporting/va_traffic.h"
#include "simlink/sim_time.h"
#include "simlink/sim_variables.h"

namespace aviolog::reporting {

using simlink::ReadBatch;
namespace convert = simlink::convert;
namespace var = simlink::var;

struct AcarsMessenger::Clock {
    int day = 0;
    int month = 0;
    int year = 0;
    int utcHour = 0;
    int utcMinute = 0;
};

namespace {

const char* labelOf(int block) {
    constexpr const char* kLabels[] = {"16", "QA", "QB", "QC", "QD", "QD"};
    return kLabels[block];
}

struct RawClock {
    std::uint16_t dayOfYear = 0;
    std::uint16_t year = 0;
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;

    void queue(ReadBatch& batch) {
        batch.add(var::ZuluDayOfYear, dayOfYear)
            .add(var::ZuluYear, year)
            .add(var::ZuluHour, hour)
            .add(var::ZuluMinute, minute);
    }
};

}  // namespace

WeightUnit AcarsMessenger::unit() const {
    return c_.settings.company.UnitSystem;
}

std::optional<AcarsMessenger::Clock> AcarsMessenger::readClock() {
    RawClock raw;
    ReadBatch batch(c_.link);
    raw.queue(batch);
    if (!batch.process()) return std::nullopt;
    const simlink::CivilDate date = simlink::dateFromDayOfYear(raw.year, raw.dayOfYear);
    return Clock{date.day, date.month, date.year, raw.hour, raw.minute};
}

void AcarsMessenger::outMessage(int hour, int minute, double fuelKg, double grossWeightKg) {
    const auto clock = readClock();
    if (!clock) return;
    deliver(*clock, Block::QA,
            outContent(hour, minute, weightIn(unit(), fuelKg), weightIn(unit(), grossWeightKg)));
}

void AcarsMessenger::offMessage(int hour, int minute, double fuelKg, double grossWeightKg) {
    RawClock raw;
    std::uint16_t n1Engine1 = 0;
    std::uint16_t n1Engine2 = 0;
    ReadBatch batch(c_.link);
    raw.queue(batch);
    batch.add(var::Engine1N1, n1Engine1).add(var::Engine2N1, n1Engine2);
    if (!batch.process()) return;
    const simlink::CivilDate date = simlink::dateFromDayOfYear(raw.year, raw.dayOfYear);
    deliver({date.day, date.month, date.year, raw.hour, raw.minute}, Block::QB,
            offContent(hour, minute, weightIn(unit(), fuelKg), weightIn(unit(), grossWeightKg),
                       static_cast<int>(convert::n1Percent(n1Engine1)),
                       static_cast<int>(convert::n1Percent(n1Engine2))));
}

void AcarsMessenger::onMessage(int hour, int minute, double fuelKg, double grossWeightKg) {
    const auto clock = readClock();
    if (!clock) return;
    deliver(*clock, Block::QC,
            onContent(hour, minute, weightIn(unit(), fuelKg), weightIn(unit(), grossWeightKg)));
}

void AcarsMessenger::inMessage(const model::BlocksOnReport& r) {
    const auto clock = readClock();
    if (!clock) return;
    deliver(*clock, Block::QD,
            inContent(r.hour, r.minute, weightIn(unit(), r.fuelKg), weightIn(unit(), r.fuelSpentKg),
                      r.blockHours, r.blockMinutes, r.flightHours, r.flightMinutes));
}

void AcarsMessenger::positionReport() {
    RawClock raw;
    std::int32_t latitude = 0;
    std::uint32_t longitude = 0;
    std::int32_t altitudeM = 0;
    std::uint16_t windDirection = 0;
    std::uint16_t windSpeedKt = 0;
    std::int16_t temperature = 0;
    std::uint32_t trueAirspeed = 0;
    ReadBatch batch(c_.link);
    raw.queue(batch);
    batch.add(var::Latitude, latitude)
        .add(var::Longitude, longitude)
        .add(var::Altitude, altitudeM)
        .add(var::WindDirection, windDirection)
        .add(var::WindSpeed, windSpeedKt)
        .add(var::TotalAirTemperature, temperature)
        .add(var::TrueAirspeed, trueAirspeed);
    if (!batch.process()) return;
    // A failed fuel read would otherwise be reported as -1 on board.
    const double fuelKg = simlink::readFuelOnBoardKg(c_.link);
    if (fuelKg < 0.0) return;

    PositionValues v;
    v.latitudeDeg = convert::latitudeDegrees(latitude);
    v.longitudeDeg = convert::longitudeDegrees(longitude);
    v.altitudeFt = static_cast<int>(convert::altitudeFeet(altitudeM));
    v.windDirectionDeg = static_cast<int>(convert::windDirectionDegrees(windDirection));
    v.windSpeedKt = windSpeedKt;
    v.totalAirTemperatureC = static_cast<int>(convert::totalAirTemperatureC(temperature));
    v.trueAirspeedKt = static_cast<int>(convert::trueAirspeedKnots(trueAirspeed));
    v.fuel = weightIn(unit(), fuelKg);
    const simlink::CivilDate date = simlink::dateFromDayOfYear(raw.year, raw.dayOfYear);
    deliver({date.day, date.month, date.year, raw.hour, raw.minute}, Block::Sixteen,
            positionContent(v, unit()));
}

void AcarsMessenger::metarMessage(const std::string& metar) {
    const auto clock = readClock();
    if (!clock) return;
    const std::string value = fitted(*clock, Block::Sixteen, metar, metarContent(""));
    deliver(*clock, Block::Sixteen, metarContent(value));
}

void AcarsMessenger::freeTextMessage(int, int, const std::string& text) {
    const auto clock = readClock();
    if (!clock) return;
    const std::string value = fitted(*clock, Block::FreeText, text, freeTextContent(""));
    deliver(*clock, Block::FreeText, freeTextContent(value));
}

AcarsHeader AcarsMessenger::nextHeader(const Clock& clock, Block block) const {
    AcarsHeader h;
    h.day = clock.day;
    h.month = clock.month;
    h.year = clock.year;
    h.utcHour = clock.utcHour;
    h.utcMinute = clock.utcMinute;
    h.registration = c_.record.registration;
    h.aircraftType = c_.record.aircraftType;
    h.companyIcao = c_.settings.company.CompanyICAO;
    h.flightNumber = c_.record.flightNumber;
    h.label = labelOf(static_cast<int>(block));
    h.blockId = static_cast<std::uint16_t>(blockIds_[static_cast<int>(block)] + 1);
    h.messageNumber = static_cast<std::uint16_t>(messageNumber_ + 1);
    return h;
}

std::string AcarsMessenger::fitted(const Clock& clock, Block block, const std::string& value,
                                   const AcarsContent& withoutValue) const {
    const std::size_t others = composeAcars(nextHeader(clock, block), withoutValue).text.size();
    const std::size_t room = others < kAcarsTextLimit ? kAcarsTextLimit - others : 0;
    return value.substr(0, room);
}

void AcarsMessenger::deliver(const Clock& clock, Block block, const AcarsContent& content) {
    const AcarsHeader header = nextHeader(clock, block);
    blockIds_[static_cast<int>(block)] = header.blockId;
    messageNumber_ = header.messageNumber;

    AcarsMessage message = composeAcars(header, content);
    if (message.text.size() > kAcarsTextLimit) message.text.resize(kAcarsTextLimit);
    if (c_.settings.aviolog.AcarsEvent) send(message);
    appendToJournal(message.text);
    c_.display.show(message.text);
}

void AcarsMessenger::send(const AcarsMessage& message) {
    auto request = [&](const std::string& site) {
        const AcarsForm& f = message.form;
        return VaRequest(site)
            .add("dttm", f.dttm)
            .add("acftreg", f.acftreg)
            .add("mlabel", f.mlabel)
            .add("fltnum", f.fltnum)
            .add("mcontent", f.mcontent)
            .url();
    };
    c_.traffic.primary.sendKept(request(c_.settings.log.AcarsSite));
    if (!c_.settings.company.AcarsSite.empty()) {
        c_.traffic.alternate.sendKept(request(c_.settings.company.AcarsSite));
    }
}

void AcarsMessenger::appendToJournal(const std::string& text) const {
    // Appended as every text file is written, with CR LF line ends. A journal that cannot
    // be written costs the record of the message, never the message itself.
    std::ofstream journal(localPath(c_.workDir, kAcarsJournal), std::ios::binary | std::ios::app);
    const std::string bytes = textModeBytes(text);
    journal.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace aviolog::reporting

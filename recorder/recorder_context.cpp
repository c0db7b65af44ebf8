#include "recorder/recorder_context.h"

#include <algorithm>
#include <cstdint>

#include "config/settings.h"
#include "model/flight_services.h"
#include "model/main_window_model.h"
#include "simlink/sim_link.h"
#include "simlink/sim_variables.h"

namespace aviolog::recorder {

using namespace simlink;
using namespace wire;
using namespace model;

namespace {
std::optional<LogTime> readClock(SimLink& link, SimVariable hourVar, SimVariable minuteVar) {
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;
    if (!link.read(hourVar.offset, hourVar.size, &hour) ||
        !link.read(minuteVar.offset, minuteVar.size, &minute) || !link.process()) {
        return std::nullopt;
    }
    return LogTime{hour, minute};
}
}  // namespace

int dumpIntervalMs(const config::Settings& settings) {
    return std::clamp<int>(settings.flightInfo.LogUpdate, kMinDumpSeconds, kMaxDumpSeconds) * 1000;
}

CockpitCheckMinutes cockpitCheckMinutes(const config::RealismSection& realism) {
    return {std::max<int>(realism.MinReset, 1), std::max<int>(realism.MaxReset, 1)};
}

bool usesKilograms(const config::Settings& settings) {
    return settings.company.UnitSystem == WeightUnit::Kilograms;
}

std::optional<LogTime> LogLines::readLogTime() const {
    if (settings.company.UseLocal) return readClock(link, var::LocalHour, var::LocalMinute);
    return readUtcTime();
}

std::optional<LogTime> LogLines::readUtcTime() const {
    return readClock(link, var::ZuluHour, var::ZuluMinute);
}

void LogLines::appendLog(const std::string& text) const {
    if (gauge.isOpen()) gauge.page2Lines(text);
    window.appendDisplay(Channel::Log, text);
}

}  // namespace aviolog::recorder

#include "planning/flight_form.h"

#include <algorithm>

#include "config/settings.h"
#include "model/main_window_model.h"

namespace aviolog::planning {

namespace {

using model::FlightRecord;

constexpr FieldInfo kFields[kFormFieldCount] = {
    {"Depart. Airport", "Departing Airport ICAO", 4, false, &FlightRecord::departureIcao},
    {"Arrival Airport", "Arriving Airport ICAO", 4, false, &FlightRecord::arrivalIcao},
    {"Alternate Airport", "Alternate Airport ICAO", 9, false, &FlightRecord::alternateIcao},
    {"Flight Level", "Flight Level in format FLxxx", 7, false, &FlightRecord::flightLevel},
    {"Aircraft Type", "Aircraft type like B734 or A320", 9, false, &FlightRecord::aircraftType},
    {"Pilot Number", "VA Pilot Number", 9, false, &FlightRecord::pilotNumber},
    {"Flight  IATA", "Flight Number", 9, false, &FlightRecord::flightNumber},
    {"Regist", "Aircraft Registration Plate", 9, false, &FlightRecord::registration},
    {"Selcal", "", 9, false, &FlightRecord::selcal},
    {"Callsign", "Callsign in use", 9, false, &FlightRecord::callsign},
    {"Route", "Route", 254, false, &FlightRecord::route},
    {"PAX", "Number of passengers", 9, true, &FlightRecord::passengers},
    {"Cargo", "Plane Cargo", 9, true, &FlightRecord::cargo},
    {"Remarks", "", 199, false, &FlightRecord::remarks},
};

// What the control accepts of a text: digits only where the edit takes numbers, cut to
// its length.
std::string accepted(FormField field, std::string_view text) {
    const FieldInfo& info = fieldInfo(field);
    std::string out;
    for (const char c : text) {
        if (out.size() == info.maxChars) break;
        if (info.digitsOnly && (c < '0' || c > '9')) continue;
        out += c;
    }
    return out;
}

void copyWhenNotEmpty(std::string& to, const std::string& from, std::size_t maxChars) {
    if (!from.empty()) to = from.substr(0, maxChars);
}

// The selector in exactly lower or exactly upper case; the lower one is searched first.
std::size_t findSelector(std::string_view setting, std::string_view lower, std::string_view upper) {
    const std::size_t at = setting.find(lower);
    return at != std::string_view::npos ? at : setting.find(upper);
}

}  // namespace

const FieldInfo& fieldInfo(FormField field) {
    return kFields[static_cast<std::size_t>(field)];
}

std::string buildRemarks(std::string_view setting, const FlightRecord& record,
                         std::string_view companyName) {
    std::string remarks;
    if (record.onlineNetwork.find("VATSIM") != std::string::npos) {
        remarks += record.voiceMode == "Text" ? "/T" : "/V";
    }
    if (!setting.empty() && setting.front() == '0') return remarks;
    if (findSelector(setting, "reg", "REG") != std::string_view::npos) {
        remarks += "+REG/" + record.registration;
    }
    if (findSelector(setting, "opr", "OPR") != std::string_view::npos) {
        remarks += "+OPR/" + std::string(companyName);
    }
    if (findSelector(setting, "sel", "SEL") != std::string_view::npos) {
        remarks += "+SEL/" + record.selcal;
    }
    if (const std::size_t at = findSelector(setting, "rmk", "RMK"); at != std::string_view::npos) {
        std::string_view free;
        if (at + 4 <= setting.size()) {
            free = setting.substr(at + 4);
            free = free.substr(0, free.find('+'));
        }
        remarks += "+RMK/" + std::string(free);
    }
    return remarks;
}

FlightFormModel::FlightFormModel(FormContext context) : context_(std::move(context)) {}

void FlightFormModel::initialise() {
    const config::Settings& s = context_.settings;
    FlightRecord& record = context_.record;
    paxShown_ = !s.events.UseCargo;
    if (record.pilotNumber.empty()) record.pilotNumber = s.company.PilotNumber;
    for (std::size_t i = 0; i < kFormFieldCount; ++i) {
        const auto field = static_cast<FormField>(i);
        texts_[i] = accepted(field, record.*fieldInfo(field).member);
    }
    online_ = 0;
    voice_ = 0;
    voiceEnabled_ = false;

    aircraft_.load(context_.workDir, s.company.CompanyICAO);
    if (!aircraft_.empty()) aircraftChosen(0);

    if (s.company.CallsignUses == "Pilot") {
        setField(FormField::Callsign, s.company.CompanyICAO + s.company.PilotNumber);
    }
    setField(FormField::FlightNumber, s.company.CompanyIATA);
    notifyLayout();
    buildRemarks();
}

void FlightFormModel::edit(FormField field, std::string_view text) {
    control(field) = accepted(field, text);
    notifyField(field);
    if (field == FormField::FlightNumber) flightNumberChanged();
    // The record's pilot number is the profile's: Save writes what the pilot typed.
    if (field == FormField::PilotNumber && !control(field).empty()) {
        context_.settings.company.PilotNumber = control(field);
    }
    changed();
}

void FlightFormModel::setField(FormField field, std::string_view text) {
    control(field) = accepted(field, text);
    context_.record.*fieldInfo(field).member = control(field);
    notifyField(field);
}

void FlightFormModel::clearControl(FormField field) {
    control(field).clear();
    notifyField(field);
}

void FlightFormModel::readCallsign() {
    copyWhenNotEmpty(context_.record.callsign, text(FormField::Callsign),
                     fieldInfo(FormField::Callsign).maxChars);
}

const std::string& FlightFormModel::text(FormField field) const {
    return texts_[static_cast<std::size_t>(field)];
}

void FlightFormModel::flightNumberChanged() {
    const config::CompanySection& c = context_.settings.company;
    if (c.CallsignUses != "Flight") return;
    const std::string& number = text(FormField::FlightNumber);
    control(FormField::Callsign) =
        accepted(FormField::Callsign, c.CompanyICAO + (number.size() > 2 ? number.substr(2) : ""));
    notifyField(FormField::Callsign);
}

void FlightFormModel::selectOnline(std::size_t index) {
    if (index >= kOnlineNetworks.size()) return;
    online_ = index;
    voiceEnabled_ = index == 1;
    notifyLayout();
    changed();
}

void FlightFormModel::selectVoice(std::size_t index) {
    if (index >= kVoiceModes.size()) return;
    voice_ = index;
    notifyLayout();
    changed();
}

std::vector<std::string> FlightFormModel::registrationRows() const {
    std::vector<std::string> rows;
    if (aircraft_.empty()) return rows;
    const AircraftType& type = aircraft_.types()[selectedAircraft_];
    for (std::size_t n = 0; n < type.rowCount(); ++n) rows.push_back(type.registration(n));
    return rows;
}

std::vector<std::string> FlightFormModel::selcalRows() const {
    std::vector<std::string> rows;
    if (aircraft_.empty()) return rows;
    const AircraftType& type = aircraft_.types()[selectedAircraft_];
    for (std::size_t n = 0; n < type.rowCount(); ++n) rows.push_back(type.selcal(n));
    return rows;
}

void FlightFormModel::aircraftChosen(std::size_t index) {
    selectedAircraft_ = index;
    selectedRow_ = 0;
    const AircraftType& type = aircraft_.types()[index];
    FlightRecord& record = context_.record;
    record.registration = type.registration(0).substr(0, kListMaxChars);
    record.selcal = type.selcal(0).substr(0, kListMaxChars);
    record.aircraftType = type.name.substr(0, kListMaxChars);
    notifyLayout();
}

void FlightFormModel::selectAircraft(std::size_t index) {
    if (index >= aircraft_.types().size()) return;
    aircraftChosen(index);
    buildRemarks();
}

bool FlightFormModel::selectAircraftNamed(std::string_view name) {
    const auto index = aircraft_.find(name);
    if (!index) return false;
    selectAircraft(*index);
    return true;
}

void FlightFormModel::selectRegistration(std::size_t row) {
    if (aircraft_.empty() || row >= aircraft_.types()[selectedAircraft_].rowCount()) return;
    selectedRow_ = row;
    const AircraftType& type = aircraft_.types()[selectedAircraft_];
    context_.record.registration = type.registration(row).substr(0, kListMaxChars);
    context_.record.selcal = type.selcal(row).substr(0, kListMaxChars);
    notifyLayout();
    buildRemarks();
}

void FlightFormModel::readInto(FlightRecord& record) {
    auto copy = [&](FormField field) {
        copyWhenNotEmpty(record.*fieldInfo(field).member, text(field), fieldInfo(field).maxChars);
    };
    copy(FormField::Departure);
    copy(FormField::Arrival);
    copy(FormField::FlightLevel);
    copy(FormField::Route);
    copy(FormField::Callsign);
    copy(FormField::PilotNumber);
    copy(FormField::FlightNumber);
    copy(FormField::Selcal);
    if (listsShown()) {
        const AircraftType& type = aircraft_.types()[selectedAircraft_];
        copyWhenNotEmpty(record.registration, type.registration(selectedRow_), kListMaxChars);
        copyWhenNotEmpty(record.aircraftType, type.name, kListMaxChars);
        copyWhenNotEmpty(record.selcal, type.selcal(selectedRow_), kListMaxChars);
    } else {
        copy(FormField::Registration);
        copy(FormField::AircraftType);
        copy(FormField::Selcal);
    }
    copy(FormField::Passengers);
    copy(FormField::Cargo);
    copy(FormField::Alternate);
    record.onlineNetwork = kOnlineNetworks[online_];
    record.voiceMode = kVoiceModes[voice_];
    copy(FormField::Remarks);
    if (model::readyToStart(record)) context_.window.meet(model::StartNeed::FormFilled);
}

void FlightFormModel::setCargo(const std::string& cargo) {
    control(FormField::Cargo) = accepted(FormField::Cargo, cargo);
    notifyField(FormField::Cargo);
}

void FlightFormModel::buildRemarks() {
    const config::CompanySection& c = context_.settings.company;
    control(FormField::Remarks) = accepted(
        FormField::Remarks, planning::buildRemarks(c.Remarks, context_.record, c.CompanyName));
    notifyField(FormField::Remarks);
}

std::string FlightFormModel::builtRemarks() const {
    const config::CompanySection& c = context_.settings.company;
    return planning::buildRemarks(c.Remarks, context_.record, c.CompanyName);
}

void FlightFormModel::changed() {
    readForm();
    buildRemarks();
}

void FlightFormModel::fillDateTime(BoxDate utcDate, int utcHour, int utcMinute, BoxDate localDate,
                                   int localHour, int localMinute, int offsetMinutes) {
    dateTime_.fill(utcDate, utcHour, utcMinute, localDate, localHour, localMinute, offsetMinutes);
    dateTimeEdited(true);
}

void FlightFormModel::fillDateTime(const SimulatorClock& clock) {
    dateTime_.fill(clock);
    dateTimeEdited(true);
}

bool FlightFormModel::dateTimeEdited(bool accepted) {
    if (accepted) {
        for (FlightFormObserver* o : observers_) o->dateTimeChanged();
    }
    return accepted;
}

void FlightFormModel::removeObserver(FlightFormObserver* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void FlightFormModel::notifyField(FormField field) {
    for (FlightFormObserver* o : observers_) o->fieldChanged(field);
}

void FlightFormModel::notifyLayout() {
    for (FlightFormObserver* o : observers_) o->layoutChanged();
}

}  // namespace aviolog::planning

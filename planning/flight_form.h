#pragma once

// The flight data form as data: every control's text, the aircraft lists, the online and
// voice lists and the date and time box. The pilot's typing and the importers change it;
// whoever draws the form observes it.

#include <array>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "model/flight_record.h"
#include "planning/aircraft_list.h"
#include "planning/date_time_box.h"

namespace aviolog::config {
struct Settings;
}
namespace aviolog::model {
class MainWindowModel;
}

namespace aviolog::planning {

enum class FormField {
    Departure,
    Arrival,
    Alternate,
    FlightLevel,
    AircraftType,
    PilotNumber,
    FlightNumber,
    Registration,
    Selcal,
    Callsign,
    Route,
    Passengers,
    Cargo,
    Remarks,
};
inline constexpr std::size_t kFormFieldCount = 14;

struct FieldInfo {
    const char* label;
    const char* tooltip;  // empty: none
    std::size_t maxChars;
    bool digitsOnly;
    std::string model::FlightRecord::*member;
};
const FieldInfo& fieldInfo(FormField field);

// The aircraft lists hold longer texts than the edits they replace.
inline constexpr std::size_t kListMaxChars = 99;

inline constexpr std::array<const char*, 4> kOnlineNetworks{"No", "VATSIM", "IVAO", "FPI"};
inline constexpr std::array<const char*, 2> kVoiceModes{"Voice", "Text"};
inline constexpr const char* kOnlineTooltip = "Online Status";
inline constexpr const char* kServinfoButtonTooltip = "Get values from Servinfo put Callsign first";

class FlightFormObserver {
  public:
    virtual ~FlightFormObserver() = default;
    virtual void fieldChanged(FormField) {}
    // Which controls are shown or enabled, the aircraft lists' rows or selections.
    virtual void layoutChanged() {}
    virtual void dateTimeChanged() {}
};

struct FormContext {
    config::Settings& settings;
    model::FlightRecord& record;
    model::MainWindowModel& window;
    std::filesystem::path workDir;
};

class FlightFormModel final : public model::FlightForm {
  public:
    explicit FlightFormModel(FormContext context);

    // When the view is created: the profile's values, the aircraft list, callsign and
    // remarks, "No" and "Voice".
    void initialise();

    // The pilot types into a control (cut to its length; PAX and Cargo keep digits only).
    // Ends by reading the form and rebuilding the remarks.
    void edit(FormField field, std::string_view text);
    // An importer's or the VA's value: the record field and its control, cut to the
    // control's length. Observers are told; the remarks are not rebuilt.
    void setField(FormField field, std::string_view text);
    const std::string& text(FormField field) const;
    const model::FlightRecord& record() const { return context_.record; }
    // Empties a control, leaving the record as it is (the Servinfo import starts so).
    void clearControl(FormField field);
    // The callsign control into the record, when not empty.
    void readCallsign();

    void selectOnline(std::size_t index);
    void selectVoice(std::size_t index);
    std::size_t online() const { return online_; }
    std::size_t voice() const { return voice_; }
    bool voiceEnabled() const { return voiceEnabled_; }
    bool paxShown() const { return paxShown_; }
    // The aircraft, registration and SELCAL lists replace their edits.
    bool listsShown() const { return !aircraft_.empty(); }

    const AircraftList& aircraftList() const { return aircraft_; }
    std::size_t selectedAircraft() const { return selectedAircraft_; }
    std::size_t selectedRow() const { return selectedRow_; }
    // The rows of the registration and SELCAL lists for the selected aircraft.
    std::vector<std::string> registrationRows() const;
    std::vector<std::string> selcalRows() const;
    void selectAircraft(std::size_t index);
    // The VA names an aircraft: the list's entry of exactly that name, when there is one.
    bool selectAircraftNamed(std::string_view name);
    void selectRegistration(std::size_t row);
    void selectSelcal(std::size_t row) { selectRegistration(row); }
    model::FlapNames& flapNames() { return flapNames_; }

    // model::FlightForm
    void readInto(model::FlightRecord& record) override;
    const model::DateTimeBox& dateTimeBox() const override { return dateTime_.box(); }
    void setCargo(const std::string& cargo) override;

    void readForm() { readInto(context_.record); }
    void buildRemarks();
    // The remarks as the profile's Remarks setting builds them for this record.
    std::string builtRemarks() const;

    // The date and time box: the simulator's clock fills it, the pilot edits its rows.
    const DateTimeBox& dateTime() const { return dateTime_; }
    void fillDateTime(BoxDate utcDate, int utcHour, int utcMinute, BoxDate localDate, int localHour,
                      int localMinute, int offsetMinutes);
    void fillDateTime(const SimulatorClock& clock);
    bool editUtcDate(BoxDate date) { return dateTimeEdited(dateTime_.editUtcDate(date)); }
    bool editLocalDate(BoxDate date) { return dateTimeEdited(dateTime_.editLocalDate(date)); }
    bool editUtcTime(int hour, int minute) {
        return dateTimeEdited(dateTime_.editUtcTime(hour, minute));
    }
    bool editLocalTime(int hour, int minute) {
        return dateTimeEdited(dateTime_.editLocalTime(hour, minute));
    }

    // The weight text a VA's flight plan carries (its line 13); not shown.
    const std::string& weightText() const { return weightText_; }
    void setWeightText(std::string text) { weightText_ = std::move(text); }

    void addObserver(FlightFormObserver* observer) { observers_.push_back(observer); }
    void removeObserver(FlightFormObserver* observer);

  private:
    std::string& control(FormField field) { return texts_[static_cast<std::size_t>(field)]; }
    void flightNumberChanged();
    void aircraftChosen(std::size_t index);
    void changed();  // read the form, rebuild the remarks
    void notifyField(FormField field);
    void notifyLayout();
    bool dateTimeEdited(bool accepted);

    FormContext context_;
    std::array<std::string, kFormFieldCount> texts_;
    std::size_t online_ = 0;
    std::size_t voice_ = 0;
    bool voiceEnabled_ = false;
    bool paxShown_ = true;
    AircraftList aircraft_;
    std::size_t selectedAircraft_ = 0;
    std::size_t selectedRow_ = 0;
    SelectedFlapNames flapNames_{aircraft_, selectedAircraft_};
    DateTimeBox dateTime_;
    std::string weightText_;
    std::vector<FlightFormObserver*> observers_;
};

// The remarks of Build remarks: "/V" or "/T" on VATSIM (the record's voice mode), then
// unless the setting begins with "0" its selectors in this order, each in lower or upper
// case only: reg, opr, sel, rmk (the free text from four characters after the selector up
// to the next "+").
std::string buildRemarks(std::string_view setting, const model::FlightRecord& record,
                         std::string_view companyName);

}  // namespace aviolog::planning

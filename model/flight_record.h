#pragma once

#include <string>

namespace aviolog::model {

// The flight about to be flown, as the pilot or an importer filled the form. All text.
struct FlightRecord {
    std::string departureIcao;
    std::string arrivalIcao;
    std::string alternateIcao;
    std::string flightLevel;
    std::string aircraftType;
    std::string pilotNumber;
    std::string flightNumber;
    std::string registration;
    std::string selcal;
    std::string callsign;
    std::string route;
    std::string passengers;
    std::string cargo;
    std::string onlineNetwork = "No";  // "No", "VATSIM", "IVAO" or "FPI"
    std::string voiceMode = "Voice";   // "Voice" or "Text"
    std::string remarks;
};

// A log starts only for a flight that says where from, where to and which way.
inline bool readyToStart(const FlightRecord& r) {
    return !r.departureIcao.empty() && !r.arrivalIcao.empty() && !r.route.empty();
}

// The form's date and time box: when the pilot edited it, the log start sets the
// simulator's clock and date from it.
struct DateTimeBox {
    // The local date: what a log kept in local time is dated with.
    int year = 0;
    int month = 0;
    int day = 0;
    // The UTC date: what the simulator's day of the year is set to. Near midnight it is a
    // day before or after the local one.
    int utcYear = 0;
    int utcMonth = 0;
    int utcDay = 0;
    int utcHour = 0;
    int utcMinute = 0;
    int localHour = 0;
    int localMinute = 0;
    bool setClock = false;
    bool setDate = false;
};

// What the recorder needs of the flight data form.
class FlightForm {
  public:
    virtual ~FlightForm() = default;
    // Copies the controls into the record; an emptied control keeps the record's value.
    virtual void readInto(FlightRecord& record) = 0;
    virtual const DateTimeBox& dateTimeBox() const = 0;
    // The cargo box, written by the cargo plug-in.
    virtual void setCargo(const std::string& cargo) = 0;
};

}  // namespace aviolog::model

#pragma once

// What the recorder calls out to, shared by it and the subsystems that answer: ACARS messages,
// weather, the cockpit gauge, the live link to the airline, the aircraft list and the store of
// accepted flights. Each is an interface here so that the recorder runs and is tested
// without them.

#include <array>
#include <optional>
#include <string>

#include "model/airports.h"
#include "model/flight_phase.h"

namespace aviolog::config {
struct Settings;
}
namespace aviolog::model {

struct FlightRecord;
struct FlightSummary;
class MainWindowModel;

// What the blocks-on message reports, at the log time: the fuel left and spent, the block
// time and the flight time.
struct BlocksOnReport {
    int hour = 0;
    int minute = 0;
    double fuelKg = 0.0;
    int fuelSpentKg = 0;
    int blockHours = 0;
    int blockMinutes = 0;
    int flightHours = 0;
    int flightMinutes = 0;
};

// The four moments of the flight, position reports and METARs as ACARS messages.
class AcarsComposer {
  public:
    virtual ~AcarsComposer() = default;
    // Label QA, at blocks off, with the simulator's UTC time.
    virtual void outMessage(int utcHour, int utcMinute, double fuelKg, double grossWeightKg) = 0;
    // Label QB, at take-off, with the log time.
    virtual void offMessage(int hour, int minute, double fuelKg, double grossWeightKg) = 0;
    // Label QC, at landing.
    virtual void onMessage(int hour, int minute, double fuelKg, double grossWeightKg) = 0;
    // Label QD, at blocks on.
    virtual void inMessage(const BlocksOnReport& report) = 0;
    virtual void positionReport() = 0;
    virtual void metarMessage(const std::string& metar) = 0;
    // A comment the pilot typed on the cockpit terminal or in the "Commands" dialog.
    virtual void freeTextMessage(int hour, int minute, const std::string& text) = 0;
};

// The configured METAR service.
class MetarFetcher {
  public:
    virtual ~MetarFetcher() = default;
    // The METAR text, or nothing when the service had none or could not be reached.
    virtual std::optional<std::string> fetch(const std::string& icao) = 0;
};

// One screen of the gauge's third page: nine rows from the top, each with a label flush
// left and one flush right.
struct MenuRow {
    std::string left;
    std::string right;
};
struct MenuPage {
    std::array<MenuRow, 9> rows;
};

// The connection to the cockpit gauge.
class GaugeLink {
  public:
    virtual ~GaugeLink() = default;
    virtual bool isOpen() const = 0;
    // Connects to the gauge on the machine named by the settings and sends it its pages.
    virtual void open(const std::string& machine) = 0;
    // Flight log lines for the gauge's second page.
    virtual void page2Lines(const std::string& text) = 0;
    // A line of an ACARS message for the gauge's first page.
    virtual void page1Lines(const std::string& text) = 0;
    // Shows the page on the gauge's third page.
    virtual void showPage(const MenuPage& page) = 0;
    virtual void refresh() = 0;
};

// The airline's live scripts.
class LiveLink {
  public:
    virtual ~LiveLink() = default;
    virtual void sendPosition() = 0;
    virtual void pollUplink() = 0;
};

// Names of the flap detents of the aircraft chosen on the form.
class FlapNames {
  public:
    virtual ~FlapNames() = default;
    virtual std::optional<std::string> name(int detent) const = 0;
};

// The flight the pilot accepted, and the records it was flown with.
struct AcceptedFlight {
    const model::FlightSummary& summary;
    const model::FlightRecord& record;
    config::Settings& settings;      // the log folder may change when it cannot be written
    model::MainWindowModel& window;  // the flight log view, which the database copies
};

// Keeps the flight the pilot accepted.
class FlightStore {
  public:
    virtual ~FlightStore() = default;
    // True when the flight is kept and the summary window closes; otherwise the pilot
    // has been told why and the window stays open.
    virtual bool store(const AcceptedFlight& flight) = 0;
};

// What the live position report reads of the flight under way; the recorder keeps it.
class FlightUnderWay {
  public:
    virtual ~FlightUnderWay() = default;
    virtual FlightPhase phase() const = 0;
    // The dump's last ground speed figure.
    virtual int groundSpeedKt() const = 0;
    // Looked up at Start; nothing when the airport list does not know the airport.
    virtual const std::optional<Airport>& departure() const = 0;
    virtual const std::optional<Airport>& arrival() const = 0;
};

struct FlightServices {
    AcarsComposer& acars;
    MetarFetcher& metar;
    GaugeLink& gauge;
    LiveLink& live;
    FlapNames& flapNames;
    FlightStore& store;
};

}  // namespace aviolog::model

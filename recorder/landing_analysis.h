#pragma once

// The landing as the 100 ms sampler saw it: armed below 1000 ft on the way down, it keeps
// each sample until the aircraft has rolled on the ground for 10 s after its last contact,
// and then tells the rate and load of every contact, the bounces, the attitude and speeds
// at the first contact, the last 50 ft and 20 ft, and where on the runway the wheels met
// it. It reads nothing itself: the sampler hands it what the simulator answered, so it is
// tested with sample sequences alone.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace aviolog::model {
struct FlightSummary;
}

namespace aviolog::recorder {

// One answer of the simulator to the sampler, in engineering units.
struct LandingSample {
    double heightFt = 0.0;  // above the ground
    double verticalSpeedFpm = 0.0;
    // The simulator's rate at the wheels' contact (it stops following the vertical speed
    // while on the ground); 0 where the simulator does not serve it.
    double touchdownVerticalSpeedFpm = 0.0;
    bool onGround = false;
    double indicatedAirspeedKt = 0.0;
    double groundSpeedKt = 0.0;
    double noseUpDeg = 0.0;
    double bankRightDeg = 0.0;
    double gForce = 0.0;  // 0 where the simulator does not serve it
    double latitudeDeg = 0.0;
    double longitudeDeg = 0.0;
    double headingTrueDeg = 0.0;
    bool paused = false;
    bool slewed = false;
    double simulationRate = 1.0;
};

// A runway end as a runway list gives it: the threshold and the direction of landing.
struct RunwayEnd {
    std::string ident;  // "35", "04L"
    double thresholdLatitudeDeg = 0.0;
    double thresholdLongitudeDeg = 0.0;
    double headingTrueDeg = 0.0;
    double lengthM = 0.0;
};

// The runways of an airport, where the airport list knows them.
class RunwayLookup {
  public:
    virtual ~RunwayLookup() = default;
    virtual std::vector<RunwayEnd> runwayEnds(std::string_view icao) const = 0;
};

// The runway end whose direction is closest to the heading, within 30 degrees, and that
// lies near the point (within 5 km); none otherwise.
std::optional<RunwayEnd> runwayLandedOn(const std::vector<RunwayEnd>& ends, double latitudeDeg,
                                        double longitudeDeg, double headingTrueDeg);

struct LandingContact {
    double atSec = 0.0;            // since the analysis was armed
    int rateFpm = 0;               // negative when descending
    bool rateFromContact = false;  // the simulator's own rate at contact, not the last sample
    std::optional<double> gForce;  // the peak over the contact
};

struct GateFigures {
    int sinkRateFpm = 0;  // negative when descending
    int indicatedAirspeedKt = 0;
    int groundSpeedKt = 0;
};

// One point of the trace the landing page draws.
struct TracePoint {
    double atSec = 0.0;
    double heightFt = 0.0;
    double verticalSpeedFpm = 0.0;
    double indicatedAirspeedKt = 0.0;
    bool onGround = false;
};

struct LandingReport {
    enum class Status { NotArmed, Observed, NotObserved };
    Status status = Status::NotArmed;
    std::string notObservedReason;  // why, when not observed

    std::vector<LandingContact> contacts;  // the first is the touchdown
    int bounces() const { return contacts.empty() ? 0 : int(contacts.size()) - 1; }
    // At the first contact.
    double noseUpDeg = 0.0;
    double bankRightDeg = 0.0;
    int indicatedAirspeedKt = 0;
    int groundSpeedKt = 0;
    std::optional<GateFigures> at50Ft;
    std::optional<GateFigures> at20Ft;
    // Where the runway is known: along the runway from its threshold, and off its centre
    // line (positive to the right).
    std::optional<std::string> runwayIdent;
    std::optional<double> fromThresholdM;
    std::optional<double> fromCentreLineM;
    // What a VA wants to know of the moment.
    bool pausedAtContact = false;
    bool slewedAtContact = false;
    std::optional<double> simulationRateAtContact;  // when other than 1

    std::vector<TracePoint> trace;  // the last 60 s up to the end of the roll-out
};

inline constexpr const char* kLinkLostReason = "the simulator was not answering";
inline constexpr const char* kNotSeenReason = "the approach was not seen below 1000 ft";
inline constexpr const char* kRestartedReason = "Aviolog was restarted during the landing";

// The report as the flight log says it, a line each without the time, and the flight
// summary's figures of it.
std::vector<std::string> landingReportLines(const LandingReport& report);
// The figures for the cockpit terminal's ACARS page, each line within its 45 characters.
std::vector<std::string> landingGaugeLines(const LandingReport& report);

// What a VA should know about the landing beside its figures: why there are none, or a
// contact while paused, slewed or at another simulation rate. Empty when nothing.
std::string landingNote(const LandingReport& report);

// Fills the summary's landing keys; a landing not observed leaves every figure empty.
void fillLandingSummary(const LandingReport& report, model::FlightSummary& summary);

class LandingAnalysis {
  public:
    static constexpr double kArmHeightFt = 1000.0;
    static constexpr double kSampleSec = 0.1;
    static constexpr double kBounceAirborneSec = 0.2;
    static constexpr double kRollOutSec = 10.0;
    static constexpr double kContactLoadSec = 1.0;
    static constexpr double kTraceSec = 60.0;

    // The runways of the arrival airport, when a runway list knows them.
    void setRunways(std::vector<RunwayEnd> ends) { runways_ = std::move(ends); }

    // One run of the sampler: its answer, or nothing when the exchange failed. linkLost
    // says that the simulator link has been declared lost.
    void sample(const LandingSample& s);
    void sampleFailed(bool linkLost);

    bool armed() const { return armed_; }
    // Done once the aircraft has rolled for kRollOutSec after its last contact, or once the
    // landing can no longer be observed.
    bool finished() const { return finished_; }
    // The report so far; NotObserved also when it ends before the roll-out did.
    const LandingReport& report() const { return report_; }
    // Ends a landing whose roll-out the sampler did not see to its end: not observed.
    void giveUp();
    // Ends a landing that began before the program was restarted: not observed.
    void restarted();

  private:
    double nowSec() const { return samples_ * kSampleSec; }
    void onTheGround(const LandingSample& s);
    void contact(const LandingSample& s);
    void placeOnRunway(const LandingSample& s);
    void keepTrace(const LandingSample& s);
    void notObserved(std::string_view reason);

    std::vector<RunwayEnd> runways_;
    LandingReport report_;
    bool armed_ = false;
    bool finished_ = false;
    bool sawFailure_ = false;
    // Counted in sampler runs since the analysis was armed, so that 0.2 s is two runs
    // exactly and never a rounding question.
    int samples_ = 0;
    bool lastSampleFresh_ = false;
    LandingSample last_;
    bool onGround_ = false;    // as the contacts count it
    int airborneSamples_ = 0;  // since the wheels left the ground after a contact
    int rolledSamples_ = 0;    // on the ground since the last contact
    int loadSamplesLeft_ = 0;  // the last contact's peak load is still being taken
};

}  // namespace aviolog::recorder

#include "recorder/landing_analysis.h"

#include <algorithm>
#include <cmath>

#include "common/text_format.h"
#include "model/flight_summary.h"
#include "recorder/recorder_context.h"

namespace aviolog::recorder {

namespace {

constexpr double kMetresPerDegreeLatitude = 60.0 * 1852.0;
constexpr double kRadPerDeg = 0.017453292519943295;
constexpr double kRunwayHeadingToleranceDeg = 30.0;
constexpr double kRunwayNearM = 5000.0;
constexpr int kBounceAirborneSamples = 2;
constexpr int kRollOutSamples = 100;
constexpr int kContactLoadSamples = 10;
constexpr int kTraceSamples = 600;

double angleBetweenDeg(double a, double b) {
    const double d = std::fmod(std::abs(a - b), 360.0);
    return d > 180.0 ? 360.0 - d : d;
}

// Along the runway from its threshold and across it (positive to the right of the
// direction of landing), in metres: a flat earth is exact enough within a few kilometres.
struct RunwayOffset {
    double alongM;
    double acrossM;
};
RunwayOffset offsetFrom(const RunwayEnd& end, double latitudeDeg, double longitudeDeg) {
    const double northM = (latitudeDeg - end.thresholdLatitudeDeg) * kMetresPerDegreeLatitude;
    const double eastM = (longitudeDeg - end.thresholdLongitudeDeg) * kMetresPerDegreeLatitude *
                         std::cos(end.thresholdLatitudeDeg * kRadPerDeg);
    const double h = end.headingTrueDeg * kRadPerDeg;
    return {eastM * std::sin(h) + northM * std::cos(h), eastM * std::cos(h) - northM * std::sin(h)};
}

GateFigures figuresOf(const LandingSample& s) {
    return {whole(s.verticalSpeedFpm), whole(s.indicatedAirspeedKt), whole(s.groundSpeedKt)};
}

}  // namespace

std::optional<RunwayEnd> runwayLandedOn(const std::vector<RunwayEnd>& ends, double latitudeDeg,
                                        double longitudeDeg, double headingTrueDeg) {
    std::optional<RunwayEnd> best;
    double bestDeg = kRunwayHeadingToleranceDeg;
    for (const RunwayEnd& end : ends) {
        const double deg = angleBetweenDeg(end.headingTrueDeg, headingTrueDeg);
        if (deg > bestDeg) continue;
        const RunwayOffset o = offsetFrom(end, latitudeDeg, longitudeDeg);
        if (std::hypot(o.alongM, o.acrossM) > kRunwayNearM) continue;
        best = end;
        bestDeg = deg;
    }
    return best;
}

void LandingAnalysis::sample(const LandingSample& s) {
    if (finished_) return;
    if (!armed_) {
        // On the way down through 1000 ft: a sampler that starts on the ground (a resume
        // after the wheels touched) has no approach to show.
        if (s.onGround || s.heightFt >= kArmHeightFt) return;
        armed_ = true;
        report_.status = LandingReport::Status::Observed;
    }
    ++samples_;
    keepTrace(s);
    if (report_.contacts.empty() && !s.onGround) {
        if (!report_.at50Ft && s.heightFt <= 50.0) report_.at50Ft = figuresOf(s);
        if (!report_.at20Ft && s.heightFt <= 20.0) report_.at20Ft = figuresOf(s);
    }
    if (s.onGround) {
        onTheGround(s);
    } else {
        if (onGround_) airborneSamples_ = 0;
        onGround_ = false;
        ++airborneSamples_;
        loadSamplesLeft_ = 0;
    }
    last_ = s;
    lastSampleFresh_ = true;
}

void LandingAnalysis::onTheGround(const LandingSample& s) {
    if (!onGround_) {
        onGround_ = true;
        // A skip shorter than a bounce belongs to the contact before it.
        if (report_.contacts.empty() || airborneSamples_ >= kBounceAirborneSamples) {
            contact(s);
            if (finished_) return;
        }
    }
    ++rolledSamples_;
    if (loadSamplesLeft_ > 0 && s.gForce > 0.0) {
        LandingContact& c = report_.contacts.back();
        c.gForce = std::max(c.gForce.value_or(0.0), s.gForce);
        --loadSamplesLeft_;
    }
    if (rolledSamples_ >= kRollOutSamples) finished_ = true;
}

void LandingAnalysis::contact(const LandingSample& s) {
    LandingContact c;
    c.atSec = nowSec();
    if (!lastSampleFresh_ || last_.onGround) {
        // The wheels met the ground while the simulator was not answering: what it holds
        // now may come from another moment (or another simulator), so no figure is taken.
        notObserved(kLinkLostReason);
        return;
    }
    if (s.touchdownVerticalSpeedFpm != 0.0) {
        c.rateFpm = whole(s.touchdownVerticalSpeedFpm);
        c.rateFromContact = true;
    } else {
        c.rateFpm = whole(last_.verticalSpeedFpm);
    }
    const bool first = report_.contacts.empty();
    report_.contacts.push_back(c);
    rolledSamples_ = 0;
    loadSamplesLeft_ = kContactLoadSamples;
    if (!first) return;
    report_.noseUpDeg = s.noseUpDeg;
    report_.bankRightDeg = s.bankRightDeg;
    report_.indicatedAirspeedKt = whole(s.indicatedAirspeedKt);
    report_.groundSpeedKt = whole(s.groundSpeedKt);
    report_.pausedAtContact = s.paused;
    report_.slewedAtContact = s.slewed;
    if (s.simulationRate != 1.0) report_.simulationRateAtContact = s.simulationRate;
    placeOnRunway(s);
}

void LandingAnalysis::placeOnRunway(const LandingSample& s) {
    const auto end = runwayLandedOn(runways_, s.latitudeDeg, s.longitudeDeg, s.headingTrueDeg);
    if (!end) return;
    const RunwayOffset o = offsetFrom(*end, s.latitudeDeg, s.longitudeDeg);
    report_.runwayIdent = end->ident;
    report_.fromThresholdM = o.alongM;
    report_.fromCentreLineM = o.acrossM;
}

void LandingAnalysis::keepTrace(const LandingSample& s) {
    report_.trace.push_back(
        {nowSec(), s.heightFt, s.verticalSpeedFpm, s.indicatedAirspeedKt, s.onGround});
    // Kept a little past the page's 60 s, and trimmed in blocks so it costs nothing a run.
    if (report_.trace.size() >= std::size_t{2 * kTraceSamples}) {
        report_.trace.erase(report_.trace.begin(), report_.trace.end() - kTraceSamples);
    }
}

void LandingAnalysis::sampleFailed(bool linkLost) {
    if (finished_) return;
    sawFailure_ = true;
    lastSampleFresh_ = false;
    if (!armed_) return;
    ++samples_;
    if (linkLost) notObserved(kLinkLostReason);
}

void LandingAnalysis::giveUp() {
    if (finished_) return;
    notObserved(sawFailure_ ? kLinkLostReason : kNotSeenReason);
}

void LandingAnalysis::restarted() {
    if (!finished_) notObserved(kRestartedReason);
}

void LandingAnalysis::notObserved(std::string_view reason) {
    report_.status = LandingReport::Status::NotObserved;
    report_.notObservedReason = reason;
    finished_ = true;
}

namespace {

std::string rateAndLoad(const LandingContact& c) {
    return c.gForce ? format("%d ft/min %.2f G", c.rateFpm, *c.gForce)
                    : format("%d ft/min", c.rateFpm);
}

// One decimal, without the "-0.0" of a value just below zero.
double tenths(double value) {
    const double r = std::round(value * 10.0) / 10.0;
    return r == 0.0 ? 0.0 : r;
}

std::string gateText(const GateFigures& g) {
    return format("%d ft/min %d Knots", g.sinkRateFpm, g.indicatedAirspeedKt);
}

}  // namespace

std::vector<std::string> landingReportLines(const LandingReport& r) {
    if (r.status != LandingReport::Status::Observed || r.contacts.empty()) {
        const std::string why = r.notObservedReason.empty() ? kNotSeenReason : r.notObservedReason;
        return {"Touchdown: not observed, " + why};
    }
    std::vector<std::string> lines;
    const int bounces = r.bounces();
    lines.push_back(format("Touchdown: %s, %d %s", rateAndLoad(r.contacts.front()).c_str(), bounces,
                           bounces == 1 ? "bounce" : "bounces"));
    for (int i = 1; i < int(r.contacts.size()); ++i) {
        lines.push_back(format("Bounce %d: %s", i, rateAndLoad(r.contacts[i]).c_str()));
    }
    lines.push_back(format("At contact: Pitch %.1f Bank %.1f IAS %d Knots GS %d Knots",
                           tenths(r.noseUpDeg), tenths(r.bankRightDeg), r.indicatedAirspeedKt,
                           r.groundSpeedKt));
    if (r.at50Ft || r.at20Ft) {
        std::string gates;
        if (r.at50Ft) gates = "Last 50 ft: " + gateText(*r.at50Ft);
        if (r.at20Ft) gates += (gates.empty() ? "Last 20 ft: " : ", 20 ft: ") + gateText(*r.at20Ft);
        lines.push_back(gates);
    }
    if (r.runwayIdent && r.fromThresholdM && r.fromCentreLineM) {
        lines.push_back(format("Runway %s: %d m from the threshold, %.1f m %s of the centre line",
                               r.runwayIdent->c_str(), whole(*r.fromThresholdM),
                               tenths(std::abs(*r.fromCentreLineM)),
                               *r.fromCentreLineM < 0 ? "left" : "right"));
    }
    if (r.pausedAtContact) lines.emplace_back("Touchdown while paused");
    if (r.slewedAtContact) lines.emplace_back("Touchdown while slewed");
    if (r.simulationRateAtContact) {
        lines.push_back(format("Touchdown at simulation rate %g", *r.simulationRateAtContact));
    }
    return lines;
}

std::vector<std::string> landingGaugeLines(const LandingReport& r) {
    if (r.status != LandingReport::Status::Observed || r.contacts.empty()) {
        return {"LANDING NOT OBSERVED"};
    }
    const LandingContact& first = r.contacts.front();
    std::vector<std::string> lines;
    lines.push_back(first.gForce ? format("LANDING %d FPM %.2fG %d BNC", first.rateFpm,
                                          *first.gForce, r.bounces())
                                 : format("LANDING %d FPM %d BNC", first.rateFpm, r.bounces()));
    lines.push_back(format("PITCH %.1f BANK %.1f IAS %d GS %d", tenths(r.noseUpDeg),
                           tenths(r.bankRightDeg), r.indicatedAirspeedKt, r.groundSpeedKt));
    if (r.at50Ft) {
        lines.push_back(
            format("50FT %d FPM %d KT", r.at50Ft->sinkRateFpm, r.at50Ft->indicatedAirspeedKt));
    }
    if (r.at20Ft) {
        lines.push_back(
            format("20FT %d FPM %d KT", r.at20Ft->sinkRateFpm, r.at20Ft->indicatedAirspeedKt));
    }
    if (r.fromThresholdM && r.fromCentreLineM) {
        lines.push_back(format("THR %d M CL %.1f M %s", whole(*r.fromThresholdM),
                               tenths(std::abs(*r.fromCentreLineM)),
                               *r.fromCentreLineM < 0 ? "L" : "R"));
    }
    if (const std::string note = landingNote(r); !note.empty()) lines.push_back(note.substr(0, 45));
    return lines;
}

std::string landingNote(const LandingReport& r) {
    if (r.status == LandingReport::Status::NotObserved)
        return "not observed, " + r.notObservedReason;
    std::string note;
    auto add = [&note](const std::string& what) { note += (note.empty() ? "" : "; ") + what; };
    if (r.pausedAtContact) add("touchdown while paused");
    if (r.slewedAtContact) add("touchdown while slewed");
    if (r.simulationRateAtContact) add(format("simulation rate %g", *r.simulationRateAtContact));
    return note;
}

void fillLandingSummary(const LandingReport& r, model::FlightSummary& m) {
    m.LandingNote = landingNote(r);
    if (r.status != LandingReport::Status::Observed || r.contacts.empty()) return;
    const LandingContact& first = r.contacts.front();
    m.TouchdownG = first.gForce ? format("%.2f", *first.gForce) : "";
    m.Bounces = format("%d", r.bounces());
    m.BounceRates.clear();
    for (std::size_t i = 1; i < r.contacts.size(); ++i) {
        m.BounceRates += (i > 1 ? ";" : "") + format("%d", r.contacts[i].rateFpm);
    }
    m.TouchdownPitch = format("%.1f", tenths(r.noseUpDeg));
    m.TouchdownBank = format("%.1f", tenths(r.bankRightDeg));
    m.TouchdownGS = format("%d", r.groundSpeedKt);
    m.Sink50ft = r.at50Ft ? format("%d", r.at50Ft->sinkRateFpm) : "";
    m.Sink20ft = r.at20Ft ? format("%d", r.at20Ft->sinkRateFpm) : "";
    m.ThresholdDist = r.fromThresholdM ? format("%d", whole(*r.fromThresholdM)) : "";
    m.CentreLineDist = r.fromCentreLineM ? format("%.1f", tenths(*r.fromCentreLineM)) : "";
}

}  // namespace aviolog::recorder

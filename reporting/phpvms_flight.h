#pragma once

// A flight as a phpVMS 7 site follows it: the PIREP prefiled at Start, positions, status
// changes, log lines and events while it flies, then filed or cancelled. Every call goes
// out on a lane of its own off the recorder's thread, one after the other, and waits in an
// outbox until the site took it: a site that is slow or away never holds up the recorder.

#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/flight_services.h"
#include "model/journal_section.h"
#include "model/main_window_model.h"
#include "platform/http_client.h"

namespace aviolog::config {
struct Settings;
}
namespace aviolog::model {
struct FlightRecord;
struct FlightSummary;
}  // namespace aviolog::model
namespace aviolog::platform {
class BackgroundGets;
}
namespace aviolog::simlink {
class SimLink;
}

namespace aviolog::reporting {

class AcarsView;

// A call waiting for the site. Only data, so that a store on disk can keep it: the path
// holds "{pirep}" until the prefile's answer gives the PIREP's number, which every call
// waiting for it then takes.
struct PhpVmsCall {
    enum class Kind { User, Fleet, Prefile, Plain, File, Cancel };
    Kind kind = Kind::Plain;
    std::string method;
    std::string path;
    std::string body;
    // A file: the stored flight it files (storedFlightKey), which leaves the pilot log file
    // once the site took it, in whichever run that is.
    std::string flight;
};

// The calls not yet taken by the site, oldest first.
class PhpVmsOutbox {
  public:
    virtual ~PhpVmsOutbox() = default;
    virtual void push(PhpVmsCall call) = 0;
    virtual const PhpVmsCall* front() const = 0;
    virtual void pop() = 0;
    virtual std::size_t size() const = 0;
    virtual void clear() = 0;
    virtual const std::deque<PhpVmsCall>& calls() const = 0;
    virtual void replace(std::deque<PhpVmsCall> calls) = 0;
};

// Kept for the run only.
class MemoryOutbox final : public PhpVmsOutbox {
  public:
    void push(PhpVmsCall call) override { calls_.push_back(std::move(call)); }
    const PhpVmsCall* front() const override { return calls_.empty() ? nullptr : &calls_.front(); }
    void pop() override { calls_.pop_front(); }
    std::size_t size() const override { return calls_.size(); }
    void clear() override { calls_.clear(); }
    const std::deque<PhpVmsCall>& calls() const override { return calls_; }
    void replace(std::deque<PhpVmsCall> calls) override { calls_ = std::move(calls); }

  private:
    std::deque<PhpVmsCall> calls_;
};

struct PhpVmsFlightContext {
    simlink::SimLink& link;
    const config::Settings& settings;
    const model::FlightRecord& record;
    // Of the flight's progress: when the log started (which makes the position ids of the
    // flight its own) and the distance flown so far.
    const std::string& startDate;
    const std::string& startTime;
    const float& flightLengthNm;
    platform::BackgroundGets& gets;
    model::MainWindowModel& window;
    AcarsView& view;  // where the pilot reads the site's refusals, and the gauge shows them
    PhpVmsOutbox& outbox;
};

class PhpVmsFlight final : public model::MainWindowObserver, public model::JournalSection {
  public:
    static constexpr int kLane = 4;
    // The longest a failed call waits before it is tried again, in beats (30 s).
    static constexpr int kLongestBackoffTicks = 8;

    explicit PhpVmsFlight(PhpVmsFlightContext context) : c_(context) {}

    // Called once the site took a filed PIREP, with the stored flight it filed.
    void setFiledHandler(std::function<void(const std::string& storedFlight)> handler) {
        onFiled_ = std::move(handler);
    }
    // The ids "Flight from VA" found, used by the prefile.
    void useBid(std::string airlineId, std::string aircraftId);

    // Start LOG: a new PIREP is prefiled.
    void begin();
    // The flight's 30 s tick: a position sampled and sent.
    void tick();
    // The program's 30 s beat, with or without a flight: a failed call's wait counted down
    // and what waits sent.
    void beat();
    // Start-up: what an earlier run left is sent before anything new. Calls of a flight
    // that was not resumed and never had its PIREP number cannot go and are dropped.
    void resendOutbox();
    // "Send LOG": what waits is tried at once, without waiting out a failure's pause.
    void sendNow();
    // The moments of the flight: a status update and an event.
    void moment(const char* status, std::string_view event);
    // "Flight Summary" OK and Cancel.
    void file(const model::FlightSummary& summary);
    void cancel();

    // Every flight-log line goes to the site's ACARS log while a PIREP is being flown.
    void lineAdded(model::Channel channel, const std::string& line) override;

    // What the flight needs to go on after a restart, as "phpvms." lines of the journal.
    void writeJournal(model::JournalValues& out) const override;
    void restoreJournal(const model::JournalValues& values) override;
    bool journalDue() override { return std::exchange(journalDue_, false); }
    // A resumed flight the site had already heard of.
    bool resumed() const { return resumed_; }

    bool active() const { return active_; }
    const std::optional<std::string>& pirepId() const { return pirepId_; }
    // The site's last refusal as the pilot was told it.
    const std::string& lastRefusal() const { return lastRefusal_; }
    std::size_t waiting() const { return c_.outbox.size(); }
    // The stored flights whose file waits in the outbox: "Send LOG" leaves them to it.
    std::vector<std::string> filesWaiting() const;

  private:
    void push(PhpVmsCall::Kind kind, std::string method, std::string path, std::string body = {});
    // The calls that make the site know the flight: the ids it needs, then the prefile.
    void queuePrefile(bool inFront);
    void samplePosition();
    // The positions sampled and not yet in a call, as one batch.
    void sendPositions();
    void pump();
    void answered(const PhpVmsCall& call, std::optional<platform::WebAnswer> answer);
    void taken(const PhpVmsCall& call, const std::string& body);
    void refused(const PhpVmsCall& call, const platform::WebAnswer& answer);
    // Of the flight being flown: waiting for its PIREP's number, or carrying it.
    bool ours(const PhpVmsCall& call) const;
    bool positionCallWaiting() const;
    std::optional<std::string> resolve(const std::string& path) const;
    // Forgets what waits of this flight; the answer to a call under way then takes nothing
    // off the outbox. An earlier flight's file still goes.
    void dropQueued();
    bool frontGone_ = false;
    bool cancelWanted_ = false;  // Dismiss came while the prefile was on its way

    PhpVmsFlightContext c_;
    bool active_ = false;
    bool resumed_ = false;
    bool journalDue_ = false;
    bool sending_ = false;
    int backoffTicks_ = 0;  // beats still to wait before the next try
    int failedInARow_ = 0;
    int positionNumber_ = 0;
    std::vector<std::string> positions_;  // sampled (JSON objects), not yet in a call
    std::string flightKey_;               // makes the position ids of this flight its own
    std::string airlineId_;
    std::string aircraftId_;
    std::optional<std::string> pirepId_;
    std::string lastRefusal_;
    std::function<void(const std::string&)> onFiled_;
};

// The stored flight a file stands for: the date, hour and flight number by which the pilot
// log file finds it.
std::string storedFlightKey(const model::FlightSummary& summary);

// The event a realism line of the flight log stands for (its text without the time), or
// nothing for any other line.
std::optional<std::string_view> realismEvent(std::string_view line);

// The ACARS composer as the recorder calls it, telling the phpVMS flight the four moments.
class PhpVmsMoments final : public model::AcarsComposer {
  public:
    // begin is asked first at every moment: a log that starts in the tick of its blocks off
    // (the parking brake's automated start) must have its PIREP before that moment.
    PhpVmsMoments(model::AcarsComposer& inner, PhpVmsFlight& flight, const config::Settings& s,
                  std::function<void()> begin)
        : inner_(inner), flight_(flight), settings_(s), begin_(std::move(begin)) {}
    void outMessage(int h, int m, double fuelKg, double weightKg) override;
    void offMessage(int h, int m, double fuelKg, double weightKg) override;
    void onMessage(int h, int m, double fuelKg, double weightKg) override;
    void inMessage(const model::BlocksOnReport& report) override;
    void positionReport() override { inner_.positionReport(); }
    void metarMessage(const std::string& metar) override { inner_.metarMessage(metar); }
    void freeTextMessage(int h, int m, const std::string& text) override {
        inner_.freeTextMessage(h, m, text);
    }

  private:
    void tell(const char* status, std::string_view event);
    model::AcarsComposer& inner_;
    PhpVmsFlight& flight_;
    const config::Settings& settings_;
    std::function<void()> begin_;
};

// The live link as the recorder calls it; the uplink's 30 s beat also carries the phpVMS
// positions.
class PhpVmsBeat final : public model::LiveLink {
  public:
    PhpVmsBeat(model::LiveLink& inner, PhpVmsFlight& flight) : inner_(inner), flight_(flight) {}
    void sendPosition() override { inner_.sendPosition(); }
    void pollUplink() override {
        inner_.pollUplink();
        flight_.tick();
    }

  private:
    model::LiveLink& inner_;
    PhpVmsFlight& flight_;
};

}  // namespace aviolog::reporting

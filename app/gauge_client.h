#pragma once

#include <string>
#include <string_view>

#include "platform/nonblocking_tcp.h"
#include "platform/record_channel.h"
#include "wire/gauge_record.h"

namespace aviolog::app {

// The program's end of the gauge link: a non-blocking client that the gauge timer polls.
// It never waits: the connect completes between ticks, sends that the system cannot take
// at once wait in order for the next tick, and a terminal that goes away (closed or
// broken) is looked for again every few ticks while the log runs, so a restarted
// terminal picks up the flight.
class GaugeClient {
  public:
    enum class Event { Nothing, Connected, Record };
    // Ticks between two attempts to reach a terminal that is not there (2 s at 400 ms).
    static constexpr int kReconnectTicks = 5;

    explicit GaugeClient(platform::NonBlockingNetwork& network);

    // Starts a connect to the terminal, dropping any earlier connection; true when it
    // completed at once (a terminal on this machine), so the pages can go now.
    bool open(const std::string& host, int port);
    // Opened for this log (connected, connecting or looking for the terminal again).
    bool active() const { return active_; }
    // The terminal takes records now.
    bool connected() const { return connected_; }

    // One record, if connected; skipped otherwise.
    void send(wire::GaugeRecordType type, std::string_view text);
    // One tick: Connected once a connection has just been made (the caller sends its
    // pages), Record with the record when one arrived whole; at most one read.
    Event poll(wire::GaugeRecord& record);

  private:
    void connect();

    platform::NonBlockingNetwork& network_;
    platform::RecordChannel channel_;
    std::string host_;
    int port_ = wire::kGaugeDefaultPort;
    bool active_ = false;
    bool connected_ = false;
    int ticksSinceDrop_ = 0;
};

}  // namespace aviolog::app

#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "recorder/recorder_context.h"

namespace aviolog::recorder {

// What the dump uses: the simulator, the settings of its file and columns, the flight so
// far, the information views and the airports of the flight.
struct DumpContext {
    SimLink& link;
    const config::Settings& settings;
    FlightProgress& progress;  // keeps the remaining distance and the last ground speed
    MainWindowModel& window;
    const std::optional<model::Airport>& departure;
    const std::optional<model::Airport>& arrival;
    std::string workDir;

    bool kilograms() const { return usesKilograms(settings); }
};

// The en-route figures every few seconds after take-off: shown in the information
// views, kept as the remaining distance, and, while the pilot has switched it on,
// written as one comma-separated row of the dump file.
class FlightInfoDump {
  public:
    explicit FlightInfoDump(DumpContext context) : c_(std::move(context)) {}

    void update();
    // "Start LOG Dump": opens the file named by the settings, emptying it.
    void start();
    // "Stop LOG Dump".
    void stop();
    // After a restart of the program: the dump goes on, appending to its file.
    void resume(int rowCount);
    bool isOn() const { return on_; }
    int rowCount() const { return rowCounter_; }

  private:
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    class Row;
    // Stops at the first failed exchange; the row keeps what was read.
    void fill(Row& row);

    DumpContext c_;
    bool on_ = false;
    std::unique_ptr<std::FILE, FileCloser> file_;
    int rowCounter_ = 0;
};

}  // namespace aviolog::recorder

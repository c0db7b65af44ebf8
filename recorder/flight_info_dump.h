#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace aviolog::recorder {

struct RecorderContext;

// The en-route figures every few seconds after take-off: shown in the information
// views, kept as the remaining distance, and, while the pilot has switched it on,
// written as one comma-separated row of the dump file.
class FlightInfoDump {
  public:
    explicit FlightInfoDump(RecorderContext& context) : c_(context) {}

    void update();
    // "Start LOG Dump": opens the file named by the settings, emptying it.
    void start();
    // "Stop LOG Dump".
    void stop();
    bool isOn() const { return on_; }
    int rowCount() const { return rowCounter_; }

  private:
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    class Row;
    // Stops at the first failed exchange; the row keeps what was read.
    void fill(Row& row);

    RecorderContext& c_;
    bool on_ = false;
    std::unique_ptr<std::FILE, FileCloser> file_;
    int rowCounter_ = 0;
};

}  // namespace aviolog::recorder

#pragma once

namespace aviolog::recorder {

// The main window's timers; every periodic job of the program is one of them.
enum TimerId : int {
    kMonitorTimer = 1,     // 1000 ms: realism checks and the phase step
    kConnectTimer = 3,     // 2000 ms: connect and resume procedure
    kTouchdownTimer = 4,   // 100 ms: touchdown sampler
    kDumpTimer = 5,        // flight information dump
    kPositionTimer = 7,    // 120000 ms: live position reports
    kGaugeTimer = 8,       // 400 ms: gauge link refresh
    kUplinkTimer = 9,      // 30000 ms: uplink polling
    kAutoStartTimer = 11,  // 2000 ms: automated-start watch
    kPhpVmsTimer = 12,     // 30000 ms: phpVMS calls waiting for the site, flight or not
};

inline constexpr int kConnectIntervalMs = 2000;
inline constexpr int kPhpVmsBeatMs = 30000;

}  // namespace aviolog::recorder

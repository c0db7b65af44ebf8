#pragma once

// Waiting in tests without hoping the machine is fast: a condition is polled until it holds
// or a deadline passes. The deadline is only ever reached when something is wrong, so it
// can be generous; a test that passes returns as soon as its condition holds.

#include <chrono>
#include <functional>
#include <thread>

namespace aviolog::test {

// True as soon as the condition holds; false when it still does not at the deadline.
inline bool waitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds limit = std::chrono::seconds(10),
                    std::chrono::milliseconds every = std::chrono::milliseconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return condition();
        std::this_thread::sleep_for(every);
    }
}

// For what must not happen within a stated time: true when the condition held at every
// look for the whole span, false at once when it fails.
inline bool holdsFor(const std::function<bool()>& condition, std::chrono::milliseconds span,
                     std::chrono::milliseconds every = std::chrono::milliseconds(10)) {
    const auto end = std::chrono::steady_clock::now() + span;
    while (std::chrono::steady_clock::now() < end) {
        if (!condition()) return false;
        std::this_thread::sleep_for(every);
    }
    return condition();
}

}  // namespace aviolog::test

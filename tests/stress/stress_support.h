// Shared by the stress tests: bounded waits for conditions that nothing signals, and a
// small deterministic random source for timing and chunk sizes.
#pragma once

#include <chrono>
#include <cstdint>
#include <thread>

inline std::chrono::steady_clock::time_point stressDeadline(int seconds) {
    return std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
}

inline std::chrono::steady_clock::time_point stressDeadlineMs(int milliseconds) {
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
}

// Polls condition, yielding in between, until it holds (true) or the deadline passes (false).
// For state that only a callback thread changes and nothing announces, such as eventCount.
template <typename Condition>
bool awaitUntil(Condition condition, std::chrono::steady_clock::time_point deadline) {
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return condition();
        }
        std::this_thread::yield();
    }
    return true;
}

// The next value of a linear congruential sequence; the same seed gives the same run.
inline uint32_t nextRandom(uint32_t& seed) {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
}

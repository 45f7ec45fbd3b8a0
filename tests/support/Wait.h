#pragma once
// Waiting for another thread without depending on the machine's speed: poll a condition under a
// generous deadline that only a broken program reaches. Any thread.

#include <chrono>
#include <thread>

namespace testsupport {

template <typename Condition>
bool waitUntil(Condition condition, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

} // namespace testsupport

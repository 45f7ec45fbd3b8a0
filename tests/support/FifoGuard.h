#pragma once
// For tests that hand a FIFO to code that must not wait for it: the call runs on a thread of its own,
// and should it still be blocked after a generous deadline (in open(), waiting for a writer), a writer
// end comes and goes so that the call returns and the test can fail instead of hanging. POSIX only.
// Test thread.

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>
#include <utility>

namespace testsupport {

template <typename T> struct GuardedCall {
    bool blocked = false;
    T result;
};

template <typename Call>
auto callGuardedAgainstFifo(const std::string& fifo, Call call) -> GuardedCall<decltype(call())> {
    auto running = std::async(std::launch::async, std::move(call));
    bool blocked = false;
    while (running.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
        blocked = true;
        const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (writer >= 0) ::close(writer);
    }
    return {blocked, running.get()};
}

} // namespace testsupport

#pragma once
// Game controllers through SDL2's game-controller layer.

#include "platform/system/GameControllerBackend.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace platform {

class DispatchQueue;

// Reads game controllers with SDL2, events from the background included. SDL's event and joystick state
// must be driven from one thread, and the main thread must never wait for a device, so every SDL call
// happens on an event thread of this back end: it initialises SDL, pumps its events every poll interval and
// posts the reports to the delivery queue (the main queue by default). At most one instance runs per process,
// since SDL's state is global. start(), stop() and performOnEventThread() are main-thread calls.
class SdlGameControllerBackend final : public GameControllerBackend {
public:
    struct Options {
        // Must run its work on the thread that calls start(); null means the main queue.
        DispatchQueue* deliveryQueue = nullptr;
        std::chrono::milliseconds pollInterval{10};
        // How long start() waits for SDL to list the controllers already connected; those found later
        // are reported through the queue.
        std::chrono::milliseconds startTimeout{2000};
    };

    SdlGameControllerBackend();
    explicit SdlGameControllerBackend(Options options);
    ~SdlGameControllerBackend() override;
    SdlGameControllerBackend(const SdlGameControllerBackend&) = delete;
    SdlGameControllerBackend& operator=(const SdlGameControllerBackend&) = delete;

    bool start(Sink& sink) override;
    void stop() override;

    // Why the last start() failed (SDL's message), empty after a successful start.
    const std::string& startError() const { return startError_; }

    // Runs work on the event thread between two pumps and waits for it: for callers that must call SDL
    // themselves, such as tests that attach virtual joysticks. False when the thread is not running.
    bool performOnEventThread(const std::function<void()>& work);

private:
    struct Shared;
    struct SinkSlot;

    Options options_;
    std::shared_ptr<Shared> shared_;
    std::shared_ptr<SinkSlot> sinkSlot_;
    std::thread thread_;
    std::string startError_;
    bool ownsSdl_ = false;
};

} // namespace platform

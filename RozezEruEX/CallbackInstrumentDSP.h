#pragma once
// The "clbk" kernel: an instrument that makes no sound and hands the three-byte MIDI messages it receives
// to a callback, away from the render thread. The render thread copies each message, with the sample time
// it applied at, into a ring of 1024 entries; a 10 ms timer on the queue "rozez.eru.timer.queue" empties
// the ring and calls the callback for each message in arrival order. A full ring drops the newest
// messages; the first time that happens is logged (once per instrument). Messages that find no callback
// are dropped.
//
// Threads: the render thread renders and receives MIDI; the callback runs on a thread of the shared queue
// (neither the render nor the main thread), one drain at a time per instrument. setCallback and the
// destructor: any thread but the render thread and the callback itself; they wait for a drain under way,
// so no callback runs once they have returned (the destructor also stops the timer for good).

#include "RozezEruEX/DSPBase.h"
#include "platform/dispatch/TimerScheduler.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace platform {
class ConcurrentQueue;
} // namespace platform

namespace rozezeru {

// Status byte, first and second data byte as received, and the sample time at which the message applied
// in the render (the render's sample time line).
using CallbackInstrumentCallback =
    std::function<void(std::uint8_t status, std::uint8_t data1, std::uint8_t data2, AUEventSampleTime time)>;

class CallbackInstrumentDSP final : public DSPBase {
public:
    // Entries of the ring; one always stays free, so it holds 1023 messages.
    static constexpr std::size_t capacity = 1024;
    static constexpr double drainInterval = 0.010;

    // The drain runs on the process-wide real-time timer scheduler.
    CallbackInstrumentDSP();
    // The drain runs when `scheduler` fires (tests move a manual clock); the scheduler must outlive the
    // kernel.
    explicit CallbackInstrumentDSP(platform::TimerScheduler& scheduler);
    ~CallbackInstrumentDSP() override;

    // Writes silence: the instrument makes no sound.
    void process(FrameRange range) override;
    // Keeps three-byte messages for the callback; shorter ones are ignored.
    void handleMIDIEvent(const AUMIDIEvent& midiEvent) override;

    // Replaces the callback for the drains to come; an empty one drops the messages.
    void setCallback(CallbackInstrumentCallback callback);

private:
    struct Ring;

    std::shared_ptr<Ring> ring_;
    platform::DispatchTimer timer_;
};

// The shared queue the instruments' drains run on, made on first use.
platform::ConcurrentQueue& callbackInstrumentQueue();

// Sets the callback of a "clbk" kernel; a kernel of another class is a programming error that stops the
// program.
void rzCallbackInstrumentSetCallback(DSPBase* dsp, CallbackInstrumentCallback callback);

} // namespace rozezeru

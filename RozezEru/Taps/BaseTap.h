#pragma once
// The base of the toolkit's analysis taps: puts a platform tap on one output bus of a node and hands
// each buffer of `bufferSize` frames, on the owner's callback queue and under the tap's lock, to
// handleBuffer() while the tap is started. Make taps with std::make_shared (deliveries reach them
// through a weak reference). start(), stop() and the setters: any thread, but not from inside
// handleBuffer() of the same tap.

#include "platform/audio/AudioTime.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/dispatch/DispatchQueue.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

namespace rozezeru {

class Node;

class BaseTap : public std::enable_shared_from_this<BaseTap> {
public:
    using Buffer = std::shared_ptr<platform::PcmBuffer>;

    // `callbackQueue` must outlive the tap and the work it was given.
    BaseTap(std::shared_ptr<Node> input, std::uint32_t bufferSize, platform::DispatchQueue& callbackQueue);
    virtual ~BaseTap();
    BaseTap(const BaseTap&) = delete;
    BaseTap& operator=(const BaseTap&) = delete;

    std::uint32_t bufferSize() const { return bufferSize_; }
    bool isStarted() const { return isStarted_.load(); }
    std::int64_t bus() const { return bus_.load(); }
    void setBus(std::int64_t bus);
    std::shared_ptr<Node> input() const;
    void setInput(std::shared_ptr<Node> input);

    // Installs the tap; nothing while started. On a node without an engine it logs and stays stopped.
    virtual void start();
    // Removes the tap and marks it stopped; no handleBuffer() starts after it returns. Overrides call
    // this first, then clear their results.
    virtual void stop();
    void stopIfStarted();
    // Removes whatever tap the input's bus carries.
    void removeTap();

    // Tap thread: brings a delivered buffer to `bufferSize` frames (a longer one in consecutive
    // pieces, a shorter one padded with silence) and submits it to the callback queue.
    void receiveTapBuffer(const Buffer& buffer, const platform::AudioTime& when);

protected:
    // Callback queue, with the tap's lock held, only while started; frameLength() == bufferSize().
    virtual void handleBuffer(const Buffer& buffer, const platform::AudioTime& when);

private:
    void submit(Buffer buffer, const platform::AudioTime& when);
    void removeTapLocked(const std::shared_ptr<Node>& input);

    platform::DispatchQueue& callbackQueue_;
    const std::uint32_t bufferSize_;
    std::atomic<bool> isStarted_{false};
    std::atomic<std::int64_t> bus_{0};
    mutable std::mutex inputMutex_;
    std::shared_ptr<Node> input_;
    // The route from the platform tap into this object; the tap thread reads it without the lock.
    std::atomic<bool> handleBlock_{false};
    std::mutex unfairLock_;
};

} // namespace rozezeru

#include "RozezEru/Taps/BaseTap.h"

#include "RozezEru/Internals/Log.h"
#include "RozezEru/Nodes/Node.h"
#include "platform/audio/AudioNode.h"

#include <algorithm>
#include <cstring>

namespace rozezeru {

namespace {
constexpr const char* notAttached = "The tapped node isn't attached to the engine";
}

BaseTap::BaseTap(std::shared_ptr<Node> input, std::uint32_t bufferSize,
                 platform::DispatchQueue& callbackQueue)
    : callbackQueue_(callbackQueue), bufferSize_(bufferSize), input_(std::move(input)) {}

BaseTap::~BaseTap() = default;

std::shared_ptr<Node> BaseTap::input() const {
    std::lock_guard lock(inputMutex_);
    return input_;
}

void BaseTap::setBus(std::int64_t bus) {
    if (!isStarted()) {
        bus_ = bus;
        return;
    }
    stop();
    bus_ = bus;
    start();
}

void BaseTap::setInput(std::shared_ptr<Node> input) {
    if (input == this->input()) return;
    const bool restart = isStarted();
    if (restart) stop();
    {
        std::lock_guard lock(inputMutex_);
        input_ = std::move(input);
    }
    if (restart) start();
}

void BaseTap::start() {
    std::lock_guard lock(unfairLock_);
    if (isStarted_) return;
    const std::shared_ptr<Node> node = input();
    removeTapLocked(node);
    platform::AudioNode* platformNode = node ? node->avAudioNode().get() : nullptr;
    if (!platformNode || !platformNode->engine()) {
        // Reporting started here would hide that nothing will ever arrive.
        Log(LogSite("start()"), notAttached);
        return;
    }
    const auto bus = std::uint32_t(bus_.load());
    std::weak_ptr<BaseTap> weak = weak_from_this();
    handleBlock_ = true;
    const bool installed =
        platformNode->taps().install(bus, bufferSize_, platformNode->outputFormat(bus),
                                     [weak](Buffer buffer, const platform::AudioTime& when) {
                                         if (auto tap = weak.lock(); tap && tap->handleBlock_)
                                             tap->receiveTapBuffer(buffer, when);
                                     });
    if (!installed) {
        handleBlock_ = false;
        Log(LogSite("start()"), "Unable to install a tap on bus", bus);
        return;
    }
    isStarted_ = true;
}

void BaseTap::stop() {
    handleBlock_ = false;
    std::lock_guard lock(unfairLock_);
    removeTapLocked(input());
    isStarted_ = false;
}

void BaseTap::stopIfStarted() {
    if (isStarted()) stop();
}

void BaseTap::removeTap() {
    removeTapLocked(input());
}

void BaseTap::removeTapLocked(const std::shared_ptr<Node>& node) {
    platform::AudioNode* platformNode = node ? node->avAudioNode().get() : nullptr;
    if (!platformNode || !platformNode->engine()) {
        Log(LogSite("removeTap()"), notAttached);
        return;
    }
    const std::int64_t bus = bus_.load();
    if (bus >= 0) platformNode->taps().remove(std::uint32_t(bus));
}

void BaseTap::receiveTapBuffer(const Buffer& buffer, const platform::AudioTime& when) {
    if (!buffer || bufferSize_ == 0) return;
    const std::uint32_t length = buffer->frameLength();
    if (length == bufferSize_) {
        submit(buffer, when);
        return;
    }
    const platform::AudioFormat& format = buffer->format();
    const std::uint32_t channels = format.bufferCount();
    const std::uint32_t bytesPerFrame = format.bytesPerFrame();
    // A short delivery is padded with silence (fresh buffers are zeroed), never lengthened over
    // frames that were not delivered; a long one is cut into consecutive pieces so nothing is lost.
    for (std::uint32_t offset = 0; offset < std::max(length, 1u); offset += bufferSize_) {
        std::shared_ptr<platform::PcmBuffer> piece = platform::PcmBuffer::make(format, bufferSize_);
        if (!piece) return;
        const std::uint32_t count = std::min(bufferSize_, length - std::min(offset, length));
        for (std::uint32_t c = 0; c < channels; ++c)
            std::memcpy(static_cast<std::uint8_t*>(piece->bufferData(c)),
                        static_cast<const std::uint8_t*>(buffer->bufferData(c)) +
                            std::size_t(offset) * bytesPerFrame,
                        std::size_t(count) * bytesPerFrame);
        piece->setFrameLength(bufferSize_);
        platform::AudioTime at = when;
        if (offset > 0 && when.isSampleTimeValid())
            at =
                when.isHostTimeValid()
                    ? platform::AudioTime::withBoth(when.hostTime() + platform::AudioTime::hostTimeForSeconds(
                                                                          offset / when.sampleRate()),
                                                    when.sampleTime() + offset, when.sampleRate())
                    : platform::AudioTime::withSampleTime(when.sampleTime() + offset, when.sampleRate());
        submit(std::move(piece), at);
    }
}

void BaseTap::submit(Buffer buffer, const platform::AudioTime& when) {
    callbackQueue_.async([tap = shared_from_this(), buffer = std::move(buffer), when] {
        std::lock_guard lock(tap->unfairLock_);
        if (tap->isStarted_) tap->handleBuffer(buffer, when);
    });
}

void BaseTap::handleBuffer(const Buffer&, const platform::AudioTime&) {}

} // namespace rozezeru

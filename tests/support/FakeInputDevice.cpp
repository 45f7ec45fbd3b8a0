#include "tests/support/FakeInputDevice.h"

#include "platform/audio/CaptureRing.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

namespace testsupport {

using namespace platform;

namespace {

NullAudioDevice::Configuration fakeOutputConfiguration(const FakeInputDevice::Configuration& configuration) {
    NullAudioDevice::Configuration output;
    output.sampleRate = configuration.sampleRate;
    output.outputChannels = configuration.outputChannels;
    output.inputChannels = std::uint32_t(configuration.inputs.size());
    output.framesPerPeriod = configuration.framesPerPeriod;
    output.pacing = configuration.pacing;
    output.name = configuration.name;
    output.deviceID = configuration.deviceID;
    return output;
}

} // namespace

FakeInputDevice::Signal FakeInputDevice::samples(std::vector<float> values) {
    return [values = std::move(values)](std::uint64_t first, float* out, std::uint32_t frames) {
        for (std::uint32_t i = 0; i < frames; ++i)
            out[i] = first + i < values.size() ? values[first + i] : 0.0f;
    };
}

FakeInputDevice::Signal FakeInputDevice::perFrame(std::function<float(std::uint64_t frame)> sample) {
    return [sample = std::move(sample)](std::uint64_t first, float* out, std::uint32_t frames) {
        for (std::uint32_t i = 0; i < frames; ++i)
            out[i] = sample(first + i);
    };
}

FakeInputDevice::FakeInputDevice(Configuration configuration)
    : configuration_(std::move(configuration)), output_(fakeOutputConfiguration(configuration_)) {
    input_ = AudioFormat::standard(output_.outputFormat().sampleRate(),
                                   std::uint32_t(configuration_.inputs.size()))
                 .value_or(AudioFormat());
    const double outputRate = output_.outputFormat().sampleRate();
    inputRate_ = configuration_.inputSampleRate > 0.0 ? configuration_.inputSampleRate : outputRate;
    // Room for a period at the input's rate, with a frame to spare for the rounding.
    const auto period = std::uint32_t(std::ceil(output_.framesPerPeriod() * inputRate_ / outputRate)) + 1;
    scratch_.assign(configuration_.inputs.size(), std::vector<float>(period, 0.0f));
    for (const auto& channel : scratch_)
        pointers_.push_back(channel.data());
    capturer_.device = this;
}

FakeInputDevice::~FakeInputDevice() {
    stop();
    stopCapture();
}

Result<void> FakeInputDevice::start(Client& client) {
    capturer_.client = &client;
    return output_.start(capturer_);
}

void FakeInputDevice::stop() {
    output_.stop();
}

Result<void> FakeInputDevice::startCapture(CaptureRing& ring) {
    if (!input_.isValid()) return noAudioInputError(name());
    if (ring.channelCount() != input_.channelCount())
        return Error::make("FakeInputDevice", "The capture ring's channel count is not the input's");
    const double outputRate = output_.outputFormat().sampleRate();
    converter_.reset();
    if (inputRate_ != outputRate) {
        converter_ = CaptureRateConverter::make(inputRate_, outputRate, ring.channelCount());
        if (!converter_) return Error::make("FakeInputDevice", "The input's rate cannot be converted");
    }
    due_ = double(captured_.load());
    ring_.store(&ring);
    return Result<void>();
}

std::uint32_t FakeInputDevice::captureLead() const {
    return inputRate_ != output_.outputFormat().sampleRate() ? 2 * output_.framesPerPeriod() : 0;
}

void FakeInputDevice::stopCapture() {
    ring_.store(nullptr);
    // The render thread may have taken the ring just before: wait until it has put it down.
    while (capturing_.load())
        std::this_thread::yield();
}

void FakeInputDevice::Capturer::renderDevicePeriod(std::uint32_t frames, AudioBufferList& out,
                                                   std::uint64_t hostTime) {
    device->capture(frames);
    client->renderDevicePeriod(frames, out, hostTime);
}

void FakeInputDevice::capture(std::uint32_t frames) {
    capturing_.store(true);
    if (CaptureRing* ring = ring_.load()) {
        if (configuration_.capturedFramesPerPeriod > 0)
            frames = std::min(frames, configuration_.capturedFramesPerPeriod);
        const std::uint64_t first = captured_.load(std::memory_order_relaxed);
        // At another input rate, a period's worth of input at that rate.
        due_ += double(frames) * inputRate_ / output_.outputFormat().sampleRate();
        frames = std::uint32_t(std::max(0.0, std::floor(due_) - double(first)));
        for (std::size_t c = 0; c < configuration_.inputs.size(); ++c) {
            if (configuration_.inputs[c])
                configuration_.inputs[c](first, scratch_[c].data(), frames);
            else
                std::memset(scratch_[c].data(), 0, frames * sizeof(float));
        }
        if (converter_)
            converter_->write(*ring, pointers_.data(), std::uint32_t(pointers_.size()), frames);
        else
            ring->write(pointers_.data(), std::uint32_t(pointers_.size()), frames);
        captured_.store(first + frames, std::memory_order_relaxed);
    }
    capturing_.store(false);
}

} // namespace testsupport

#include "platform/audio/VarispeedUnit.h"

#include "platform/audio/StretchCycle.h"

#include <samplerate.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

namespace platform {

namespace {

constexpr std::uint32_t varispeedFourCC(const char (&code)[5]) {
    return std::uint32_t(std::uint8_t(code[0])) << 24 | std::uint32_t(std::uint8_t(code[1])) << 16 |
           std::uint32_t(std::uint8_t(code[2])) << 8 | std::uint32_t(std::uint8_t(code[3]));
}

// A rate change glides across one render cycle in steps of this many frames.
constexpr std::uint32_t varispeedStep = 64;
// Input frames kept ahead of the position being played: the resampler's filter reaches about 46 input
// frames ahead at rates up to 1 and proportionally further above (its filter widens as it decimates).
constexpr double varispeedLookAhead(double rate) {
    return 64.0 + 64.0 * std::max(1.0, rate);
}
// The largest share by which one cycle's pull may differ from what its frames consume at their rates.
constexpr double varispeedMaximumCorrection = 0.1;

} // namespace

// The render state: the resampler, the input it has not taken yet (interleaved, as libsamplerate
// wants it), and the books. libsamplerate's sinc converters delay nothing: output frame k comes from
// input position sum of the rates of the frames before it, so the position being heard is exact.
// Made on the configuring thread; then used by the render thread only (or while it is shut out).
class VarispeedUnit::Kernel {
public:
    Kernel(std::size_t channels, double sampleRate, std::size_t inputCapacity)
        : channels_(channels), sampleRate_(sampleRate), capacity_(inputCapacity) {
        input_.assign(channels * inputCapacity, 0.0f);
        output_.assign(channels * varispeedStep, 0.0f);
        int error = 0;
        resampler_ = src_new(SRC_SINC_MEDIUM_QUALITY, int(channels), &error);
    }
    ~Kernel() {
        if (resampler_) src_delete(resampler_);
    }
    Kernel(const Kernel&) = delete;
    Kernel& operator=(const Kernel&) = delete;

    bool valid() const { return resampler_ != nullptr; }
    double sampleRate() const { return sampleRate_; }
    std::int64_t inputFrames() const { return pulled_; }
    std::int64_t outputFrames() const { return rendered_; }
    double heardInputFrame() const { return heard_; }

    // Starts afresh at the current input position.
    void restart(float rate) {
        src_reset(resampler_);
        stored_ = 0;
        heard_ = double(pulled_);
        pullRemainder_ = 0.0;
        appliedRate_ = rate;
    }

    void countBypassed(AUAudioFrameCount frames) {
        pulled_ += frames;
        rendered_ += frames;
    }

    RenderStatus render(AUAudioFrameCount frames, AudioBufferList& output, const AudioUnitPullInput& source,
                        float rate, std::uint64_t& underruns) {
        const double from = appliedRate_;
        const double to = rate;
        const std::uint32_t steps = (frames + varispeedStep - 1) / varispeedStep;
        auto rateOfStep = [&](std::uint32_t step) {
            return from + (to - from) * double(step + 1) / double(steps);
        };

        // What the cycle consumes at its rates, corrected towards the look-ahead the resampler needs.
        double consumed = 0.0;
        for (std::uint32_t step = 0, done = 0; step < steps; ++step) {
            const std::uint32_t count = std::min(varispeedStep, frames - done);
            consumed += double(count) * rateOfStep(step);
            done += count;
        }
        const double inHand = double(pulled_) - heard_;
        const double correction =
            std::clamp(varispeedLookAhead(std::max(from, to)) - inHand,
                       -varispeedMaximumCorrection * consumed, varispeedLookAhead(std::max(from, to)));
        const double wanted = std::max(0.0, pullRemainder_ + consumed + correction);
        std::size_t count = std::min(std::size_t(wanted), capacity_ - stored_);
        pullRemainder_ = wanted - double(std::size_t(wanted));
        const RenderStatus status = pull(count, source);

        float* out[AudioFormat::maxChannels] = {};
        for (std::uint32_t c = 0; c < output.numberBuffers; ++c) {
            out[c] = output.floatData(c);
            output.buffers[c].dataByteSize = frames * sizeof(float);
        }
        std::size_t taken = 0;
        std::uint32_t played = 0;
        for (std::uint32_t step = 0; step < steps; ++step) {
            const std::uint32_t want = std::min(varispeedStep, frames - played);
            const double stepRate = rateOfStep(step);
            src_set_ratio(resampler_, 1.0 / stepRate);
            SRC_DATA data{};
            data.data_in = input_.data() + taken * channels_;
            data.input_frames = long(stored_ - taken);
            data.data_out = output_.data();
            data.output_frames = long(want);
            data.src_ratio = 1.0 / stepRate;
            if (src_process(resampler_, &data) != 0) break;
            taken += std::size_t(data.input_frames_used);
            const std::uint32_t made = std::uint32_t(data.output_frames_gen);
            const float* interleaved = output_.data();
            for (std::uint32_t i = 0; i < made; ++i)
                for (std::size_t c = 0; c < channels_; ++c)
                    out[c][played + i] = *interleaved++;
            played += made;
            heard_ += double(made) * stepRate;
            if (made < want) break;
        }
        if (played < frames) {
            ++underruns;
            for (std::uint32_t c = 0; c < output.numberBuffers; ++c)
                std::memset(out[c] + played, 0, (frames - played) * sizeof(float));
        }
        // Keep what the resampler has not taken at the front.
        stored_ -= taken;
        std::memmove(input_.data(), input_.data() + taken * channels_, stored_ * channels_ * sizeof(float));
        appliedRate_ = to;
        rendered_ += frames;
        return status;
    }

private:
    RenderStatus pull(std::size_t count, const AudioUnitPullInput& source) {
        if (count == 0) return RenderStatus::success;
        const AudioBufferList* data = nullptr;
        const RenderStatus status = source.pull(0, AUAudioFrameCount(count), data);
        float* to = input_.data() + stored_ * channels_;
        for (std::size_t i = 0; i < count; ++i)
            for (std::size_t c = 0; c < channels_; ++c)
                *to++ = data && c < data->numberBuffers ? data->floatData(std::uint32_t(c))[i] : 0.0f;
        stored_ += count;
        pulled_ += std::int64_t(count);
        return status == RenderStatus::error ? RenderStatus::error : RenderStatus::success;
    }

    const std::size_t channels_;
    const double sampleRate_;
    const std::size_t capacity_;
    SRC_STATE* resampler_ = nullptr;
    std::vector<float> input_;
    std::vector<float> output_;
    std::size_t stored_ = 0;
    double appliedRate_ = 1.0;
    double pullRemainder_ = 0.0;
    std::int64_t pulled_ = 0;
    std::int64_t rendered_ = 0;
    double heard_ = 0.0;
};

// The unit ------------------------------------------------------------------------------------------

AudioComponentDescription VarispeedUnit::componentDescription() {
    return {varispeedFourCC("aufc"), varispeedFourCC("vari"), varispeedFourCC("appl"), 0, 0};
}

VarispeedUnit::VarispeedUnit(const AudioComponentDescription& description)
    : AudioUnit(description, 1, 1, *AudioFormat::standard(44100.0, 2)) {
    rateParameter_ = AUParameterTree::createParameter(
        "rate", "Rate", rateAddress, minimumRate, maximumRate, AudioUnitParameterUnit::rate,
        AudioUnitParameterFlag::isReadable | AudioUnitParameterFlag::isWritable);
    auto tree = AUParameterTree::createTree({rateParameter_});
    tree->setImplementorValueObserver([this](const AUParameter& parameter, AUValue value) {
        if (parameter.address() == rateAddress && !std::isnan(value))
            rate_.store(std::clamp(value, minimumRate, maximumRate), std::memory_order_relaxed);
    });
    tree->setImplementorValueProvider([this](const AUParameter&) { return rate(); });
    setParameterTree(tree);
}

VarispeedUnit::~VarispeedUnit() {
    deallocateRenderResources();
}

void VarispeedUnit::setRate(float rate) {
    rateParameter_->setValue(rate);
}

double VarispeedUnit::latencySeconds() const {
    const auto timing = timing_.read();
    return timing ? timing->latencySeconds() : 0.0;
}

AUAudioFrameCount VarispeedUnit::maximumFramesToPull(std::uint32_t, AUAudioFrameCount outputFrames) const {
    return AUAudioFrameCount(
        std::ceil(double(outputFrames) * maximumRate * (1.0 + varispeedMaximumCorrection)) +
        varispeedLookAhead(maximumRate) + 2.0);
}

Result<void> VarispeedUnit::allocateInternalRenderResources() {
    const AudioFormat& format = outputBus(0).format();
    const std::size_t capacity = std::size_t(maximumFramesToPull(0, maximumFramesToRender())) +
                                 2 * std::size_t(varispeedLookAhead(maximumRate));
    auto kernel = std::make_unique<Kernel>(format.channelCount(), format.sampleRate(), capacity);
    if (!kernel->valid()) return Error::make("VarispeedUnit", "The resampler could not be made");
    kernel->restart(rate());
    kernel_ = std::move(kernel);
    timing_.clear();
    return Result<void>();
}

void VarispeedUnit::deallocateInternalRenderResources() {
    kernel_.reset();
    timing_.clear();
}

void VarispeedUnit::resetInternalRenderState() {
    if (kernel_) kernel_->restart(rate());
    timing_.clear();
}

RenderStatus VarispeedUnit::internalRender(const AudioTime& timestamp, AUAudioFrameCount frames,
                                           std::uint32_t, AudioBufferList& output,
                                           const AURenderEvent* events, const AudioUnitPullInput& input) {
    Kernel& kernel = *kernel_;
    // Events apply from the start of the cycle, across which the rate glides anyway.
    for (const AURenderEvent* event = events; event; event = event->next)
        if (event->eventType != AURenderEventType::midi && event->parameter.parameterAddress == rateAddress &&
            !std::isnan(event->parameter.value))
            rate_.store(std::clamp(event->parameter.value, minimumRate, maximumRate),
                        std::memory_order_relaxed);

    StretchTiming timing = stretchTimingAtCycleStart(timestamp, kernel);
    if (shouldBypassEffect()) {
        bypassed_ = true;
        return renderStretchBypassed(kernel, timing, timing_, frames, output, input);
    }
    if (bypassed_) {
        bypassed_ = false;
        kernel.restart(rate());
    }
    timing.heardInputFrame = kernel.heardInputFrame();
    std::uint64_t underruns = 0;
    const RenderStatus status = kernel.render(frames, output, input, rate(), underruns);
    if (underruns) underruns_.fetch_add(underruns, std::memory_order_relaxed);
    timing_.publish(timing);
    return status;
}

} // namespace platform

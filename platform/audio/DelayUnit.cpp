#include "platform/audio/DelayUnit.h"

#include "Sigpro/modules/DelayCubic.h"
#include "Sigpro/modules/sp_butlp.h"
#include "platform/audio/SigproModule.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace platform {

namespace {

using Unit = AudioUnitParameterUnit;

constexpr EffectParameterRow delayRows[] = {
    {"dryWetMix", "Dry-Wet Mix", DelayUnit::dryWetMix, 100, 0, 100, Unit::generic},
    {"time", "Delay time (Seconds)", DelayUnit::delayTime, 1, 0, 2, Unit::seconds},
    {"feedback", "Feedback (%)", DelayUnit::feedback, 50, -100, 100, Unit::generic},
    {"lowPassCutoff", "Low Pass Cutoff Frequency", DelayUnit::lowPassCutoff, 15000, 10, 22050, Unit::hertz},
};

using DelayLowPass = SigproRecord<sigpro::sp_butlp, sigpro::sp_butlp_destroy>;

} // namespace

struct DelayUnit::State {
    struct Channel {
        std::vector<float> line;
        DelayLowPass lowPass;
    };
    SigproContext context;
    std::vector<Channel> channels;
    std::size_t write = 0; // the line position frame n is written to
    double sampleRate = 44100.0;
};

AudioComponentDescription DelayUnit::componentDescription() {
    return appleEffectDescription("dely");
}

DelayUnit::DelayUnit(const AudioComponentDescription& description)
    : ParameterEffectUnit(description, delayRows) {}

DelayUnit::~DelayUnit() {
    deallocateRenderResources();
}

Result<void> DelayUnit::prepareRender(std::uint32_t channels, double sampleRate) {
    auto state = std::make_unique<State>();
    state->sampleRate = sampleRate;
    state->context = makeSigproContext(sampleRate);
    // Room for the longest delay, the interpolation's outer neighbours and the frame being written.
    const auto length = std::size_t(std::ceil(maximumDelayTime * sampleRate)) + 4;
    for (std::uint32_t c = 0; c < channels; ++c) {
        State::Channel channel{
            std::vector<float>(length, 0.0f),
            makeSigproRecord<sigpro::sp_butlp, sigpro::sp_butlp_create, sigpro::sp_butlp_destroy>()};
        if (!state->context || !channel.lowPass)
            return Error::make("DelayUnit", "The delay's low-pass filters could not be made");
        sigpro::sp_butlp_init(state->context.get(), channel.lowPass.get());
        state->channels.push_back(std::move(channel));
    }
    state_ = std::move(state);
    return Result<void>();
}

void DelayUnit::releaseRender() {
    state_.reset();
}

void DelayUnit::clearRender() {
    for (auto& channel : state_->channels) {
        std::fill(channel.line.begin(), channel.line.end(), 0.0f);
        sigpro::sp_butlp_init(state_->context.get(), channel.lowPass.get());
    }
    state_->write = 0;
}

void DelayUnit::processSlice(AudioBufferList& io, AUAudioFrameCount offset, AUAudioFrameCount frames) {
    State& state = *state_;
    if (state.channels.empty()) return;
    const std::size_t length = state.channels[0].line.size();
    const float mix = current(0) * 0.01f;
    const float loop = current(2) * 0.01f;
    const float cutoff = std::min(current(3), float(0.49 * state.sampleRate));
    const double delay = std::clamp(double(current(1)) * state.sampleRate, 2.0, double(length - 3));
    const auto whole = std::size_t(delay);
    const auto fraction = float(delay - double(whole));
    const std::uint32_t channels =
        std::min<std::uint32_t>(io.numberBuffers, std::uint32_t(state.channels.size()));
    std::size_t write = state.write;
    for (std::uint32_t c = 0; c < channels; ++c) {
        State::Channel& channel = state.channels[c];
        float* samples = io.floatData(c) + offset;
        float* line = channel.line.data();
        channel.lowPass->frequency = cutoff;
        write = state.write;
        for (AUAudioFrameCount i = 0; i < frames; ++i) {
            // n - delay lies between the frames n - whole - 1 (older) and n - whole (newer); the one after
            // newer is written already, as whole is at least 2.
            const std::size_t newer = (write + length - whole) % length;
            const std::size_t older = newer == 0 ? length - 1 : newer - 1;
            float echo = fraction == 0.0f
                             ? line[newer]
                             : sigpro::delayCubic(1.0f - fraction, line[(older + length - 1) % length],
                                                  line[older], line[newer], line[(newer + 1) % length]);
            float filtered = 0.0f;
            sigpro::sp_butlp_compute(state.context.get(), channel.lowPass.get(), &echo, &filtered);
            const float dry = samples[i];
            line[write] = flushTiny(dry + loop * filtered);
            samples[i] = (1.0f - mix) * dry + mix * filtered;
            write = write + 1 == length ? 0 : write + 1;
        }
    }
    state.write = write;
}

} // namespace platform

#include "platform/audio/EnvironmentNode.h"

#include "Sigpro/modules/sp_data.h"
#include "Sigpro/modules/sp_revsc.h"
#include "platform/audio/AudioEngine.h"
#include "platform/audio/InputConverter.h"
#include "platform/audio/RenderContext.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace platform {

namespace {

struct EnvironmentVector {
    float x, y, z;
};

EnvironmentVector environmentCross(EnvironmentVector a, EnvironmentVector b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float environmentDot(EnvironmentVector a, EnvironmentVector b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
float environmentLength(EnvironmentVector a) {
    return std::sqrt(environmentDot(a, a));
}

constexpr float environmentDegrees = 180.0f / std::numbers::pi_v<float>;

float environmentDecibelGain(float decibels) {
    return std::pow(10.0f, decibels / 20.0f);
}

// The listener's axes for an angular orientation: yaw about up, then pitch, then roll about forward.
struct EnvironmentAxes {
    EnvironmentVector forward, up, right;
};
EnvironmentAxes environmentAxes(float yaw, float pitch, float roll) {
    const EnvironmentVector forward{std::sin(yaw) * std::cos(pitch), std::sin(pitch),
                                    -std::cos(yaw) * std::cos(pitch)};
    const EnvironmentVector levelRight{std::cos(yaw), 0.0f, std::sin(yaw)};
    const EnvironmentVector levelUp = environmentCross(levelRight, forward);
    const float c = std::cos(roll), s = std::sin(roll);
    const EnvironmentVector up{levelUp.x * c + levelRight.x * s, levelUp.y * c + levelRight.y * s,
                               levelUp.z * c + levelRight.z * s};
    return {forward, up, environmentCross(forward, up)};
}

// A gain that moves to each new target in a straight line over a fixed number of frames.
struct EnvironmentGlide {
    float value = 0.0f;
    float target = 0.0f;
    float step = 0.0f;
    std::uint32_t remaining = 0;

    void aim(float to, std::uint32_t frames) {
        if (to == target) return;
        target = to;
        step = (to - value) / float(frames);
        remaining = frames;
    }
    float next() {
        if (remaining > 0) value = --remaining > 0 ? value + step : target;
        return value;
    }
    bool silent() const { return value == 0.0f && target == 0.0f; }
};

// One source's converter and gains, kept from plan to plan while the source stays on its bus.
struct EnvironmentVoice {
    std::unique_ptr<InputConverter> converter;
    std::vector<float> mono;
    EnvironmentGlide left, right, send;
};

struct EnvironmentSource {
    std::uint32_t bus = 0;
    const AudioNode* node = nullptr;
    std::uint32_t nodeBus = 0;
    std::shared_ptr<const Audio3DMixingValues> mixing;
    std::shared_ptr<EnvironmentVoice> voice;
};

// What lives as long as the output's rate: the reverb and the output gains.
struct EnvironmentBus {
    explicit EnvironmentBus(double rate) : rate(rate) {
        sigpro::sp_create(&sp);
        sp->sample_rate = std::int32_t(std::lround(rate));
        sigpro::sp_revsc_create(&reverb);
        sigpro::sp_revsc_init(sp, reverb);
        // A room rather than a hall: the send is meant to place sources, not to wash them out.
        reverb->feedback = 0.85f;
        reverb->lowpass_frequency = 8000.0f;
    }
    ~EnvironmentBus() {
        sigpro::sp_revsc_destroy(&reverb);
        sigpro::sp_destroy(&sp);
    }
    EnvironmentBus(const EnvironmentBus&) = delete;
    EnvironmentBus& operator=(const EnvironmentBus&) = delete;

    const double rate;
    sigpro::sp_data* sp = nullptr;
    sigpro::sp_revsc* reverb = nullptr;
    EnvironmentGlide reverbLevel;
    EnvironmentGlide volume{1.0f, 1.0f};
};

struct EnvironmentRenderState final : NodeRenderState {
    std::vector<EnvironmentSource> sources;
    std::shared_ptr<EnvironmentBus> bus;
    std::vector<float> left, right, send;
    std::uint32_t glideFrames = 1;
};

AudioFormat environmentMono(double rate) {
    return AudioFormat::standard(rate, 1).value_or(AudioFormat());
}

const std::shared_ptr<const Audio3DMixingValues>& environmentOriginSource() {
    static const std::shared_ptr<const Audio3DMixingValues> origin = std::make_shared<Audio3DMixingValues>();
    return origin;
}

bool environmentFinite(float a, float b, float c) {
    return std::isfinite(a) && std::isfinite(b) && std::isfinite(c);
}

} // namespace

// Parameters --------------------------------------------------------------------------------------

AudioEnvironmentDistanceAttenuationModel
AudioEnvironmentDistanceAttenuationParameters::distanceAttenuationModel() const {
    return AudioEnvironmentDistanceAttenuationModel(model_.load(std::memory_order_relaxed));
}

void AudioEnvironmentDistanceAttenuationParameters::setDistanceAttenuationModel(
    AudioEnvironmentDistanceAttenuationModel model) {
    model_.store(int(model), std::memory_order_relaxed);
}

void AudioEnvironmentDistanceAttenuationParameters::setReferenceDistance(float metres) {
    if (std::isfinite(metres)) reference_.store(std::max(metres, 0.0f), std::memory_order_relaxed);
}

void AudioEnvironmentDistanceAttenuationParameters::setMaximumDistance(float metres) {
    if (std::isfinite(metres)) maximum_.store(std::max(metres, 0.0f), std::memory_order_relaxed);
}

void AudioEnvironmentDistanceAttenuationParameters::setRolloffFactor(float factor) {
    if (std::isfinite(factor)) rolloff_.store(std::max(factor, 0.0f), std::memory_order_relaxed);
}

float AudioEnvironmentDistanceAttenuationParameters::gain(float distance) const {
    // A reference of 0 would put every source at infinite gain: nothing is nearer than a millimetre.
    const float reference = std::max(referenceDistance(), 0.001f);
    const float maximum = std::max(maximumDistance(), reference);
    const float rolloff = rolloffFactor();
    const float d = std::clamp(distance, reference, maximum);
    switch (distanceAttenuationModel()) {
    case AudioEnvironmentDistanceAttenuationModel::exponential:
        return std::pow(d / reference, -rolloff);
    case AudioEnvironmentDistanceAttenuationModel::inverse:
        return reference / (reference + rolloff * (d - reference));
    case AudioEnvironmentDistanceAttenuationModel::linear:
        return maximum > reference ? std::max(0.0f, 1.0f - rolloff * (d - reference) / (maximum - reference))
                                   : 1.0f;
    }
    return 1.0f;
}

void AudioEnvironmentReverbParameters::setLevel(float decibels) {
    if (!std::isnan(decibels)) level_.store(std::clamp(decibels, -40.0f, 40.0f), std::memory_order_relaxed);
}

// The node ----------------------------------------------------------------------------------------

EnvironmentNode::EnvironmentNode()
    : AudioNode(1, 1), attenuation_(std::make_unique<AudioEnvironmentDistanceAttenuationParameters>()),
      reverb_(std::make_unique<AudioEnvironmentReverbParameters>()) {
    setDefaultInputFormat(0, environmentMono(44100.0));
    setDefaultOutputFormat(0, *AudioFormat::standard(44100.0, 2));
}

EnvironmentNode::~EnvironmentNode() = default;

std::uint32_t EnvironmentNode::nextAvailableInputBus() const {
    std::uint32_t bus = 0;
    if (engine())
        while (bus < numberOfInputs() && engine()->inputConnectionPoint(*this, bus))
            ++bus;
    return bus;
}

Audio3DPoint EnvironmentNode::listenerPosition() const {
    return {listenerX_.load(std::memory_order_relaxed), listenerY_.load(std::memory_order_relaxed),
            listenerZ_.load(std::memory_order_relaxed)};
}

void EnvironmentNode::setListenerPosition(Audio3DPoint position) {
    if (!environmentFinite(position.x, position.y, position.z)) return;
    listenerX_.store(position.x, std::memory_order_relaxed);
    listenerY_.store(position.y, std::memory_order_relaxed);
    listenerZ_.store(position.z, std::memory_order_relaxed);
}

Audio3DVectorOrientation EnvironmentNode::listenerVectorOrientation() const {
    return {{forwardX_.load(std::memory_order_relaxed), forwardY_.load(std::memory_order_relaxed),
             forwardZ_.load(std::memory_order_relaxed)},
            {upX_.load(std::memory_order_relaxed), upY_.load(std::memory_order_relaxed),
             upZ_.load(std::memory_order_relaxed)}};
}

void EnvironmentNode::setListenerVectorOrientation(Audio3DVectorOrientation orientation) {
    EnvironmentVector forward{orientation.forward.x, orientation.forward.y, orientation.forward.z};
    EnvironmentVector up{orientation.up.x, orientation.up.y, orientation.up.z};
    if (!environmentFinite(forward.x, forward.y, forward.z) || !environmentFinite(up.x, up.y, up.z)) return;
    const float length = environmentLength(forward);
    if (!(length > 0.0f)) return;
    forward = {forward.x / length, forward.y / length, forward.z / length};
    const float along = environmentDot(up, forward);
    up = {up.x - along * forward.x, up.y - along * forward.y, up.z - along * forward.z};
    const float upLength = environmentLength(up);
    if (!(upLength > 1e-6f)) return;
    up = {up.x / upLength, up.y / upLength, up.z / upLength};
    forwardX_.store(forward.x, std::memory_order_relaxed);
    forwardY_.store(forward.y, std::memory_order_relaxed);
    forwardZ_.store(forward.z, std::memory_order_relaxed);
    upX_.store(up.x, std::memory_order_relaxed);
    upY_.store(up.y, std::memory_order_relaxed);
    upZ_.store(up.z, std::memory_order_relaxed);
}

Audio3DAngularOrientation EnvironmentNode::listenerAngularOrientation() const {
    const Audio3DVectorOrientation vectors = listenerVectorOrientation();
    const EnvironmentVector forward{vectors.forward.x, vectors.forward.y, vectors.forward.z};
    const EnvironmentVector up{vectors.up.x, vectors.up.y, vectors.up.z};
    const float yaw = std::atan2(forward.x, -forward.z);
    const float pitch = std::asin(std::clamp(forward.y, -1.0f, 1.0f));
    const EnvironmentAxes level = environmentAxes(yaw, pitch, 0.0f);
    const float roll = std::atan2(environmentDot(up, level.right), environmentDot(up, level.up));
    return {yaw * environmentDegrees, pitch * environmentDegrees, roll * environmentDegrees};
}

void EnvironmentNode::setListenerAngularOrientation(Audio3DAngularOrientation orientation) {
    if (!environmentFinite(orientation.yaw, orientation.pitch, orientation.roll)) return;
    const EnvironmentAxes axes =
        environmentAxes(orientation.yaw / environmentDegrees, orientation.pitch / environmentDegrees,
                        orientation.roll / environmentDegrees);
    setListenerVectorOrientation(
        {{axes.forward.x, axes.forward.y, axes.forward.z}, {axes.up.x, axes.up.y, axes.up.z}});
}

void EnvironmentNode::setOutputVolume(float volume) {
    if (!std::isnan(volume)) volume_.store(std::max(volume, 0.0f), std::memory_order_relaxed);
}

AudioEnvironmentOutputType EnvironmentNode::outputType() const {
    return AudioEnvironmentOutputType(outputType_.load(std::memory_order_relaxed));
}

void EnvironmentNode::setOutputType(AudioEnvironmentOutputType type) {
    outputType_.store(int(type), std::memory_order_relaxed);
}

std::vector<Audio3DMixingRenderingAlgorithm> EnvironmentNode::applicableRenderingAlgorithms() const {
    return {Audio3DMixingRenderingAlgorithm::equalPowerPanning};
}

// Rendering ---------------------------------------------------------------------------------------

std::uint32_t EnvironmentNode::maximumFramesToPull(std::uint32_t bus, std::uint32_t outputFrames) const {
    return InputConverter::maximumInputFrames(inputFormat(bus), environmentMono(outputFormat(0).sampleRate()),
                                              outputFrames, Audio3DMixing::maximumRate);
}

std::shared_ptr<NodeRenderState>
EnvironmentNode::makeRenderState(std::uint32_t maximumFrames,
                                 const std::shared_ptr<NodeRenderState>& previous) {
    auto state = std::make_shared<EnvironmentRenderState>();
    const auto* old = dynamic_cast<const EnvironmentRenderState*>(previous.get());
    const double rate = outputFormat(0).sampleRate();
    const AudioFormat mono = environmentMono(rate);
    if (!mono.isValid()) return state;

    state->bus =
        old && old->bus && old->bus->rate == rate ? old->bus : std::make_shared<EnvironmentBus>(rate);
    state->glideFrames = std::max<std::uint32_t>(1, std::uint32_t(std::lround(glideSeconds * rate)));
    state->left.assign(maximumFrames, 0.0f);
    state->right.assign(maximumFrames, 0.0f);
    state->send.assign(maximumFrames, 0.0f);
    for (std::uint32_t bus = 0; bus < numberOfInputs() && engine(); ++bus) {
        const auto point = engine()->inputConnectionPoint(*this, bus);
        if (!point) continue;
        EnvironmentSource source{bus, point->node, point->bus, environmentOriginSource(), nullptr};
        if (const auto* mixing = dynamic_cast<const Audio3DMixing*>(point->node))
            source.mixing = mixing->mixingValues();
        // The same source in the same formats keeps its converter and its gains.
        if (old)
            for (const auto& candidate : old->sources)
                if (candidate.bus == bus && candidate.node == source.node &&
                    candidate.nodeBus == source.nodeBus &&
                    candidate.voice->converter->from() == inputFormat(bus) &&
                    candidate.voice->converter->to() == mono && candidate.voice->mono.size() >= maximumFrames)
                    source.voice = candidate.voice;
        if (!source.voice) {
            // Each source has a resampler of its own from the start, so a new rate needs nothing made.
            auto converter =
                InputConverter::make(inputFormat(bus), mono, maximumFrames, Audio3DMixing::maximumRate);
            if (!converter) continue;
            source.voice = std::make_shared<EnvironmentVoice>();
            source.voice->converter = std::move(converter);
            source.voice->mono.assign(maximumFrames, 0.0f);
        }
        state->sources.push_back(std::move(source));
    }
    return state;
}

RenderStatus EnvironmentNode::render(RenderContext& context, std::uint32_t frames, AudioBufferList& out,
                                     const AudioTime&, std::uint32_t) {
    for (std::uint32_t c = 0; c < out.numberBuffers; ++c)
        std::memset(out.floatData(c), 0, frames * sizeof(float));
    auto* state = static_cast<EnvironmentRenderState*>(context.state());
    if (!state || !state->bus) return RenderStatus::success;
    frames = std::min<std::uint32_t>(frames, std::uint32_t(state->left.size()));
    float* left = state->left.data();
    float* right = state->right.data();
    float* send = state->send.data();
    std::fill(left, left + frames, 0.0f);
    std::fill(right, right + frames, 0.0f);
    std::fill(send, send + frames, 0.0f);

    const EnvironmentVector listener{listenerX_.load(std::memory_order_relaxed),
                                     listenerY_.load(std::memory_order_relaxed),
                                     listenerZ_.load(std::memory_order_relaxed)};
    const Audio3DVectorOrientation axes = listenerVectorOrientation();
    const EnvironmentVector rightAxis =
        environmentCross({axes.forward.x, axes.forward.y, axes.forward.z}, {axes.up.x, axes.up.y, axes.up.z});
    const bool reverbOn = reverb_->enable();
    const std::uint32_t glide = state->glideFrames;

    for (auto& source : state->sources) {
        EnvironmentVoice& voice = *source.voice;
        float* mono = voice.mono.data();
        std::fill(mono, mono + frames, 0.0f);
        AudioBufferList monoList;
        monoList.numberBuffers = 1;
        monoList.buffers[0] = {1, frames * std::uint32_t(sizeof(float)), mono};
        const Audio3DMixingValues& mixing = *source.mixing;
        voice.converter->setSpeed(mixing.rate.load(std::memory_order_relaxed));
        const float unity = 1.0f;
        // A failed input counts as silence; the failure is already on the cycle's record.
        voice.converter->mixInto(context, source.bus, frames, monoList, &unity);

        const EnvironmentVector offset{mixing.x.load(std::memory_order_relaxed) - listener.x,
                                       mixing.y.load(std::memory_order_relaxed) - listener.y,
                                       mixing.z.load(std::memory_order_relaxed) - listener.z};
        const float distance = environmentLength(offset);
        // At the listener's own place a source has no side.
        const float lateral =
            distance > 1e-6f ? std::clamp(environmentDot(offset, rightAxis) / distance, -1.0f, 1.0f) : 0.0f;
        const float angle = (lateral + 1.0f) * std::numbers::pi_v<float> / 4.0f;
        const float attenuation = distanceAttenuationParameters().gain(distance);
        const float occlusion = environmentDecibelGain(mixing.occlusion.load(std::memory_order_relaxed));
        const float obstruction = environmentDecibelGain(mixing.obstruction.load(std::memory_order_relaxed));
        const float blend = reverbOn ? mixing.reverbBlend.load(std::memory_order_relaxed) : 0.0f;
        const float direct = attenuation * occlusion * obstruction * (1.0f - blend);
        voice.left.aim(direct * std::cos(angle), glide);
        voice.right.aim(direct * std::sin(angle), glide);
        voice.send.aim(attenuation * occlusion * blend, glide);
        for (std::uint32_t i = 0; i < frames; ++i) {
            left[i] += voice.left.next() * mono[i];
            right[i] += voice.right.next() * mono[i];
            send[i] += voice.send.next() * mono[i];
        }
    }

    EnvironmentBus& bus = *state->bus;
    bus.reverbLevel.aim(reverbOn ? environmentDecibelGain(reverb_->level()) : 0.0f, glide);
    // Off and faded out, the reverb costs nothing.
    if (!bus.reverbLevel.silent())
        for (std::uint32_t i = 0; i < frames; ++i) {
            float wetLeft = 0.0f, wetRight = 0.0f;
            sigpro::sp_revsc_compute(bus.sp, bus.reverb, &send[i], &send[i], &wetLeft, &wetRight);
            const float level = bus.reverbLevel.next();
            left[i] += level * wetLeft;
            right[i] += level * wetRight;
        }

    bus.volume.aim(outputVolume(), glide);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const float volume = bus.volume.next();
        if (out.numberBuffers == 1) {
            out.floatData(0)[i] = volume * 0.5f * (left[i] + right[i]);
        } else if (out.numberBuffers >= 2) {
            out.floatData(0)[i] = volume * left[i];
            out.floatData(1)[i] = volume * right[i];
        }
    }
    return RenderStatus::success;
}

} // namespace platform

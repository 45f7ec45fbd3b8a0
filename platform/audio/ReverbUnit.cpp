#include "platform/audio/ReverbUnit.h"

#include "Sigpro/modules/sp_zitarev.h"
#include "platform/audio/SigproModule.h"

#include <algorithm>

namespace platform {

namespace {

constexpr EffectParameterRow reverbRows[] = {
    {"wetDryMix", "Wet Dry Mix", ReverbUnit::wetDryMixAddress, 100, 0, 100, AudioUnitParameterUnit::percent},
};

struct ReverbRoom {
    float predelay;  // ms
    float crossover; // Hz
    float lowDecay;  // s, below the crossover
    float midDecay;  // s
    float damping;   // Hz, where the decay starts to shorten
};

// Rooms grow from the small room to the cathedral; the numbered variants sit among their namesakes.
constexpr ReverbRoom reverbRooms[reverbPresetCount] = {
    {5, 200, 0.4f, 0.3f, 7000},   // Small Room
    {8, 200, 0.75f, 0.6f, 6500},  // Medium Room
    {12, 200, 1.0f, 0.85f, 6000}, // Large Room
    {20, 200, 1.4f, 1.15f, 5500}, // Medium Hall
    {30, 180, 1.8f, 1.5f, 5000},  // Large Hall
    {2, 300, 2.2f, 2.2f, 8000},   // Plate
    {15, 250, 2.6f, 2.4f, 6000},  // Medium Chamber
    {20, 250, 3.3f, 3.0f, 5500},  // Large Chamber
    {50, 150, 6.0f, 4.5f, 4500},  // Cathedral
    {15, 200, 1.2f, 1.0f, 6500},  // Large Room 2
    {22, 200, 1.6f, 1.3f, 6000},  // Medium Hall 2
    {25, 200, 1.7f, 1.4f, 6500},  // Medium Hall 3
    {35, 180, 2.5f, 2.1f, 5500},  // Large Hall 2
};

using ZitaReverb = SigproRecord<sigpro::sp_zitarev, sigpro::sp_zitarev_destroy>;

} // namespace

struct ReverbUnit::State {
    SigproContext context;
    ZitaReverb reverb;
    std::int32_t room = -1; // the preset the reverb was last set to
};

AudioComponentDescription ReverbUnit::componentDescription() {
    return appleEffectDescription("rvb2");
}

ReverbUnit::ReverbUnit(const AudioComponentDescription& description)
    : ParameterEffectUnit(description, reverbRows) {}

ReverbUnit::~ReverbUnit() {
    deallocateRenderResources();
}

bool ReverbUnit::loadFactoryPreset(ReverbPreset preset) {
    const auto raw = std::int32_t(preset);
    if (raw < 0 || raw >= reverbPresetCount) return false;
    preset_.store(raw, std::memory_order_relaxed);
    return true;
}

void ReverbUnit::setWetDryMix(float percent) {
    setRow(0, percent);
}

Result<void> ReverbUnit::prepareRender(std::uint32_t, double sampleRate) {
    auto state = std::make_unique<State>();
    state->context = makeSigproContext(sampleRate);
    state->reverb =
        makeSigproRecord<sigpro::sp_zitarev, sigpro::sp_zitarev_create, sigpro::sp_zitarev_destroy>();
    if (!state->context || !state->reverb ||
        !sigpro::sp_zitarev_init(state->context.get(), state->reverb.get()))
        return Error::make("ReverbUnit", "The reverberation could not be made");
    state_ = std::move(state);
    return Result<void>();
}

void ReverbUnit::releaseRender() {
    state_.reset();
}

void ReverbUnit::clearRender() {
    sigpro::sp_zitarev_init(state_->context.get(), state_->reverb.get());
    state_->room = -1;
}

void ReverbUnit::processSlice(AudioBufferList& io, AUAudioFrameCount offset, AUAudioFrameCount frames) {
    State& s = *state_;
    sigpro::sp_zitarev& reverb = *s.reverb;
    const std::int32_t room = preset_.load(std::memory_order_relaxed);
    if (room != s.room) {
        s.room = room;
        const ReverbRoom& r = reverbRooms[room];
        *reverb.predelay = r.predelay;
        *reverb.crossover_frequency = r.crossover;
        *reverb.low_release_time = r.lowDecay;
        *reverb.mid_release_time = r.midDecay;
        *reverb.damping_frequency = r.damping;
    }
    *reverb.dry_wet_mix = current(0) * 0.01f;
    float* left = io.floatData(0) + offset;
    float* right = io.numberBuffers > 1 ? io.floatData(1) + offset : nullptr;
    for (AUAudioFrameCount i = 0; i < frames; ++i) {
        float inLeft = left[i], inRight = right ? right[i] : left[i], outRight = 0.0f;
        sigpro::sp_zitarev_compute(s.context.get(), &reverb, &inLeft, &inRight, &left[i], &outRight);
        if (right) right[i] = outRight;
    }
}

} // namespace platform

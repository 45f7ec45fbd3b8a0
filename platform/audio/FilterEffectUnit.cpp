#include "platform/audio/FilterEffectUnit.h"

#include "Sigpro/modules/sp_pareq.h"
#include "platform/audio/SigproModule.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace platform {

namespace {

using Unit = AudioUnitParameterUnit;

constexpr EffectParameterRow bandPassRows[] = {
    {"centerFrequency", "Center Frequency", 0, 5000, 20, 22050, Unit::hertz},
    {"bandwidth", "Bandwidth", 1, 600, 100, 12000, Unit::cents},
};
constexpr EffectParameterRow passRows[] = {
    {"cutoffFrequency", "Cutoff Frequency", 0, 6900, 10, 22050, Unit::hertz},
    {"resonance", "Resonance", 1, 0, -20, 40, Unit::decibels},
};
constexpr EffectParameterRow highShelfRows[] = {
    {"cutOffFrequency", "Cut Off Frequency", 0, 10000, 10000, 22050, Unit::hertz},
    {"gain", "Gain", 1, 0, -40, 40, Unit::decibels},
};
constexpr EffectParameterRow lowShelfRows[] = {
    {"cutoffFrequency", "Cutoff Frequency", 0, 80, 10, 200, Unit::hertz},
    {"gain", "Gain", 1, 0, -40, 40, Unit::decibels},
};
constexpr EffectParameterRow equalizerRows[] = {
    {"centerFreq", "Center Freq", 0, 2000, 20, 22050, Unit::hertz},
    {"q", "Q", 1, 1, 0.1f, 20, Unit::hertz},
    {"gain", "Gain", 2, 0, -20, 20, Unit::decibels},
};

std::span<const EffectParameterRow> filterRows(FilterEffectUnit::Kind kind) {
    switch (kind) {
    case FilterEffectUnit::Kind::bandPass:
        return bandPassRows;
    case FilterEffectUnit::Kind::highPass:
    case FilterEffectUnit::Kind::lowPass:
        return passRows;
    case FilterEffectUnit::Kind::highShelf:
        return highShelfRows;
    case FilterEffectUnit::Kind::lowShelf:
        return lowShelfRows;
    case FilterEffectUnit::Kind::parametricEQ:
        return equalizerRows;
    }
    return {};
}

using Equalizer = SigproRecord<sigpro::sp_pareq, sigpro::sp_pareq_destroy>;

} // namespace

struct FilterEffectUnit::State {
    // A second-order section in transposed direct form II, normalised by a0.
    struct Section {
        double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
        double z1 = 0, z2 = 0;

        float step(float x) {
            const double y = b0 * x + z1;
            z1 = b1 * x - a1 * y + z2;
            z2 = b2 * x - a2 * y;
            return float(y);
        }
        void set(double n0, double n1, double n2, double d0, double d1, double d2) {
            b0 = n0 / d0, b1 = n1 / d0, b2 = n2 / d0, a1 = d1 / d0, a2 = d2 / d0;
        }
    };
    double sampleRate = 44100.0;
    SigproContext context;
    std::vector<Section> sections;
    std::vector<Equalizer> equalizers;
    float seen[3] = {NAN, NAN, NAN};
};

AudioComponentDescription FilterEffectUnit::componentDescription(Kind kind) {
    switch (kind) {
    case Kind::bandPass:
        return appleEffectDescription("bpas");
    case Kind::highPass:
        return appleEffectDescription("hpas");
    case Kind::lowPass:
        return appleEffectDescription("lpas");
    case Kind::highShelf:
        return appleEffectDescription("hshf");
    case Kind::lowShelf:
        return appleEffectDescription("lshf");
    case Kind::parametricEQ:
        return appleEffectDescription("pmeq");
    }
    return {};
}

FilterEffectUnit::FilterEffectUnit(Kind kind) : FilterEffectUnit(kind, componentDescription(kind)) {}

FilterEffectUnit::FilterEffectUnit(Kind kind, const AudioComponentDescription& description)
    : ParameterEffectUnit(description, filterRows(kind)), kind_(kind) {}

FilterEffectUnit::~FilterEffectUnit() {
    deallocateRenderResources();
}

Result<void> FilterEffectUnit::prepareRender(std::uint32_t channels, double sampleRate) {
    auto state = std::make_unique<State>();
    state->sampleRate = sampleRate;
    const bool shelving = kind_ == Kind::highShelf || kind_ == Kind::lowShelf || kind_ == Kind::parametricEQ;
    if (shelving) {
        state->context = makeSigproContext(sampleRate);
        for (std::uint32_t c = 0; c < channels; ++c) {
            auto equalizer =
                makeSigproRecord<sigpro::sp_pareq, sigpro::sp_pareq_create, sigpro::sp_pareq_destroy>();
            if (!state->context || !equalizer)
                return Error::make("FilterEffectUnit", "The equaliser sections could not be made");
            sigpro::sp_pareq_init(state->context.get(), equalizer.get());
            state->equalizers.push_back(std::move(equalizer));
        }
    } else {
        state->sections.resize(channels);
    }
    state_ = std::move(state);
    return Result<void>();
}

void FilterEffectUnit::releaseRender() {
    state_.reset();
}

void FilterEffectUnit::clearRender() {
    for (auto& section : state_->sections)
        section.z1 = section.z2 = 0.0;
    for (auto& equalizer : state_->equalizers)
        equalizer->x1 = equalizer->x2 = equalizer->y1 = equalizer->y2 = 0.0f;
}

void FilterEffectUnit::processSlice(AudioBufferList& io, AUAudioFrameCount offset, AUAudioFrameCount frames) {
    State& state = *state_;
    const float frequency = std::min(current(0), float(0.49 * state.sampleRate));
    const float second = current(1);
    const float third = kind_ == Kind::parametricEQ ? current(2) : 0.0f;
    const bool changed = frequency != state.seen[0] || second != state.seen[1] || third != state.seen[2];
    state.seen[0] = frequency, state.seen[1] = second, state.seen[2] = third;

    if (!state.equalizers.empty()) {
        const std::uint32_t channels =
            std::min<std::uint32_t>(io.numberBuffers, std::uint32_t(state.equalizers.size()));
        for (std::uint32_t c = 0; c < channels; ++c) {
            sigpro::sp_pareq& equalizer = *state.equalizers[c];
            equalizer.frequency = frequency;
            equalizer.mode = kind_ == Kind::lowShelf ? 1.0f : kind_ == Kind::highShelf ? 2.0f : 0.0f;
            equalizer.gain =
                float(std::pow(10.0, double(kind_ == Kind::parametricEQ ? third : second) / 20.0));
            equalizer.q = kind_ == Kind::parametricEQ ? second : float(std::numbers::sqrt2 / 2.0);
            float* samples = io.floatData(c) + offset;
            for (AUAudioFrameCount i = 0; i < frames; ++i)
                sigpro::sp_pareq_compute(state.context.get(), &equalizer, &samples[i], &samples[i]);
        }
        return;
    }

    if (changed) {
        const double w = 2.0 * std::numbers::pi * frequency / state.sampleRate;
        const double cosine = std::cos(w), sine = std::sin(w);
        State::Section design;
        if (kind_ == Kind::bandPass) {
            const double octaves = second / 1200.0;
            // Bands wider than the spectrum near the top would put the poles on the unit circle.
            const double alpha =
                std::min(1e4, sine * std::sinh(std::numbers::ln2 / 2.0 * octaves * w / sine));
            design.set(alpha, 0.0, -alpha, 1.0 + alpha, -2.0 * cosine, 1.0 - alpha);
        } else {
            const double q = std::pow(10.0, second / 20.0) / std::numbers::sqrt2;
            const double alpha = sine / (2.0 * q);
            const double sign = kind_ == Kind::lowPass ? -1.0 : 1.0;
            const double edge = (1.0 + sign * cosine) / 2.0;
            design.set(edge, -2.0 * sign * edge, edge, 1.0 + alpha, -2.0 * cosine, 1.0 - alpha);
        }
        for (auto& section : state.sections) {
            section.b0 = design.b0, section.b1 = design.b1, section.b2 = design.b2;
            section.a1 = design.a1, section.a2 = design.a2;
        }
    }
    const std::uint32_t channels =
        std::min<std::uint32_t>(io.numberBuffers, std::uint32_t(state.sections.size()));
    for (std::uint32_t c = 0; c < channels; ++c) {
        State::Section& section = state.sections[c];
        float* samples = io.floatData(c) + offset;
        for (AUAudioFrameCount i = 0; i < frames; ++i)
            samples[i] = section.step(samples[i]);
    }
}

} // namespace platform

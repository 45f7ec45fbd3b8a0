#pragma once
// The Sigpro generator kernels that are one row of the generator shape (GeneratorKernelShape.h): which
// module each runs and how its parameters, in address order, drive it. They hold no defaults and clamp
// nothing but where a row says so: every parameter is 0 until the owning node writes it. The dynamic
// oscillator, which swaps tables while it renders, has a header of its own. Threads as DSPBase.

#include "Sigpro/kernels/GeneratorKernelShape.h"
#include "Sigpro/modules/sp_bar.h"
#include "Sigpro/modules/sp_blsquare.h"
#include "Sigpro/modules/sp_brown.h"
#include "Sigpro/modules/sp_fosc.h"
#include "Sigpro/modules/sp_mincer.h"
#include "Sigpro/modules/sp_noise.h"
#include "Sigpro/modules/sp_osc.h"
#include "Sigpro/modules/sp_oscmorph.h"
#include "Sigpro/modules/sp_pdhalf.h"
#include "Sigpro/modules/sp_phasor.h"
#include "Sigpro/modules/sp_pinknoise.h"
#include "Sigpro/modules/sp_pluck.h"
#include "Sigpro/modules/sp_tabread.h"
#include "Sigpro/modules/sp_vocwrapper.h"

#include <array>
#include <limits>
#include <string_view>

namespace sigpro {

using namespace std::string_view_literals;

namespace generatorRows {

// Frequency × DetuningMultiplier + DetuningOffset.
inline float detuned(float frequency, float multiplier, float offset) {
    return frequency * multiplier + offset;
}

// The pulse oscillator keeps its inputs in a state block, reached through pointers that stay null when
// the block could not be made.
inline void setInput(float* input, float value) {
    if (input) *input = value;
}

struct BrownianNoise
    : ModuleRow<sp_brown, sp_brown_create, sp_brown_init, sp_brown_compute, sp_brown_destroy> {
    static constexpr std::array parameterNames{"Amplitude"sv};
    static void setUp(sp_data* sp, sp_brown* m, GeneratorTables<0>&) { sp_brown_init(sp, m); }
    // The module has no level of its own.
    static float render(sp_data* sp, sp_brown& m, const float* v, float) {
        float out = 0.0f;
        sp_brown_compute(sp, &m, nullptr, &out);
        return out * v[0];
    }
};

struct FMOscillator : ModuleRow<sp_fosc, sp_fosc_create, sp_fosc_init, sp_fosc_compute, sp_fosc_destroy> {
    static constexpr std::array parameterNames{"BaseFrequency"sv, "CarrierMultiplier"sv,
                                               "ModulatingMultiplier"sv, "ModulationIndex"sv, "Amplitude"sv};
    static constexpr std::size_t tableCount = 1;
    static void setUp(sp_data* sp, sp_fosc* m, GeneratorTables<1>& tables) {
        sp_fosc_init(sp, m, tables.at[0]);
    }
    static float render(sp_data* sp, sp_fosc& m, const float* v, float) {
        m.frequency = v[0];
        m.carrier = v[1];
        m.modulator = v[2];
        m.index = v[3];
        m.amp = v[4];
        float out = 0.0f;
        sp_fosc_compute(sp, &m, nullptr, &out);
        return out;
    }
};

struct MetalBar : ModuleRow<sp_bar, sp_bar_create, sp_bar_init, sp_bar_compute, sp_bar_destroy> {
    static constexpr std::array parameterNames{"LeftBoundaryCondition"sv,
                                               "RightBoundaryCondition"sv,
                                               "DecayDuration"sv,
                                               "ScanSpeed"sv,
                                               "Position"sv,
                                               "StrikeVelocity"sv,
                                               "StrikeWidth"sv};
    static constexpr bool struck = true;
    // At rest: the bar sounds only when struck (its init alone would strike it).
    static void setUp(sp_data* sp, sp_bar* m, GeneratorTables<0>&) {
        if (sp_bar_init(sp, m, 3.0f, 0.0001f)) m->struck = 1;
    }
    static float render(sp_data* sp, sp_bar& m, const float* v, float trigger) {
        m.left_boundary = v[0];
        m.right_boundary = v[1];
        // A decay of no time, and a strike of no width, would fill the bar with NaN: the shortest decay
        // is one sample, the narrowest strike touches the one grid point under it.
        const float shortestDecay = 1.0f / float(sp->sample_rate);
        m.decay_time = v[2] > shortestDecay ? v[2] : shortestDecay;
        m.scan_speed = v[3];
        m.strike_position = v[4];
        m.strike_velocity = v[5];
        const float narrowest = std::numeric_limits<float>::min();
        m.strike_width = v[6] > narrowest ? v[6] : narrowest;
        // A boundary out of range computes nothing: silence rather than the last sample.
        float out = 0.0f;
        sp_bar_compute(sp, &m, &trigger, &out);
        return out;
    }
};

struct MorphingOscillator
    : ModuleRow<sp_oscmorph, sp_oscmorph_create, sp_oscmorph_init, sp_oscmorph_compute, sp_oscmorph_destroy> {
    static constexpr std::array parameterNames{"Frequency"sv, "Amplitude"sv, "Index"sv, "DetuningOffset"sv,
                                               "DetuningMultiplier"sv};
    static constexpr std::size_t tableCount = 4;
    // Tables of unequal size are refused by the module ("sp_oscmorph: size mismatch"): silence.
    static void setUp(sp_data* sp, sp_oscmorph* m, GeneratorTables<4>& tables) {
        sp_oscmorph_init(sp, m, tables.at.data(), tables.count, 0.0f);
    }
    static float render(sp_data* sp, sp_oscmorph& m, const float* v, float) {
        m.frequency = detuned(v[0], v[4], v[3]);
        m.amp = v[1];
        // Index 0 ... 3 spans the tables; beyond, the first or the last.
        const double position = double(v[2]) / 3.0;
        m.position = float(position > 1.0 ? 1.0 : position >= 0.0 ? position : 0.0);
        float out = 0.0f;
        sp_oscmorph_compute(sp, &m, nullptr, &out);
        return out;
    }
};

struct Oscillator : ModuleRow<sp_osc, sp_osc_create, sp_osc_init, sp_osc_compute, sp_osc_destroy> {
    static constexpr std::array parameterNames{"Frequency"sv, "Amplitude"sv, "DetuningOffset"sv,
                                               "DetuningMultiplier"sv};
    static constexpr std::size_t tableCount = 1;
    static void setUp(sp_data* sp, sp_osc* m, GeneratorTables<1>& tables) {
        sp_osc_init(sp, m, tables.at[0], 0.0f);
    }
    static float render(sp_data* sp, sp_osc& m, const float* v, float) {
        m.frequency = detuned(v[0], v[3], v[2]);
        m.amp = v[1];
        float out = 0.0f;
        sp_osc_compute(sp, &m, nullptr, &out);
        return out;
    }
};

struct PWMOscillator
    : ModuleRow<sp_blsquare, sp_blsquare_create, sp_blsquare_init, sp_blsquare_compute, sp_blsquare_destroy> {
    static constexpr std::array parameterNames{"Frequency"sv, "Amplitude"sv, "PulseWidth"sv,
                                               "DetuningOffset"sv, "DetuningMultiplier"sv};
    static void setUp(sp_data* sp, sp_blsquare* m, GeneratorTables<0>&) { sp_blsquare_init(sp, m); }
    static float render(sp_data* sp, sp_blsquare& m, const float* v, float) {
        setInput(m.frequency, detuned(v[0], v[4], v[3]));
        setInput(m.amp, v[1]);
        setInput(m.width, v[2]);
        float out = 0.0f;
        sp_blsquare_compute(sp, &m, nullptr, &out);
        return out;
    }
};

// A phase ramp, bent by the phase distortion, reads the table: three modules made and freed together.
struct PhaseDistortionChain {
    sp_phasor* phasor;
    sp_pdhalf* distortion;
    sp_tabread* reader;
};
int phaseDistortionChainCreate(PhaseDistortionChain** p);
int phaseDistortionChainDestroy(PhaseDistortionChain** p);

struct PhaseDistortionOscillator {
    using Module = PhaseDistortionChain;
    static constexpr auto create = phaseDistortionChainCreate;
    static constexpr auto destroy = phaseDistortionChainDestroy;
    static constexpr std::array parameterNames{"Frequency"sv, "Amplitude"sv, "PhaseDistortion"sv,
                                               "DetuningOffset"sv, "DetuningMultiplier"sv};
    static constexpr std::size_t tableCount = 1;
    static void setUp(sp_data* sp, PhaseDistortionChain* m, GeneratorTables<1>& tables) {
        sp_phasor_init(sp, m->phasor, 0.0f);
        sp_pdhalf_init(sp, m->distortion);
        sp_tabread_init(sp, m->reader, tables.at[0], 1);
    }
    // Only the distortion starts over; the ramp runs on.
    static void reset(sp_data* sp, PhaseDistortionChain* m, GeneratorTables<1>&) {
        sp_pdhalf_init(sp, m->distortion);
    }
    static float render(sp_data* sp, PhaseDistortionChain& m, const float* v, float) {
        m.phasor->frequency = detuned(v[0], v[4], v[3]);
        float phase = 0.0f;
        sp_phasor_compute(sp, m.phasor, nullptr, &phase);
        m.distortion->amount = v[2];
        float bent = 0.0f;
        sp_pdhalf_compute(sp, m.distortion, &phase, &bent);
        m.reader->index = bent;
        float out = 0.0f;
        sp_tabread_compute(sp, m.reader, nullptr, &out);
        return out * v[1];
    }
};

struct PhaseLockedVocoder
    : ModuleRow<sp_mincer, sp_mincer_create, sp_mincer_init, sp_mincer_compute, sp_mincer_destroy> {
    static constexpr std::array parameterNames{"Position"sv, "Amplitude"sv, "PitchRatio"sv};
    // The table is the audio played; a new one is taken up at once.
    static constexpr std::size_t tableCount = 1;
    static constexpr bool tablesLive = true;
    static constexpr int inputBusCount = 1;
    static constexpr int windowSize = 2048;
    static void setUp(sp_data* sp, sp_mincer* m, GeneratorTables<1>& tables) {
        sp_mincer_init(sp, m, tables.at[0], windowSize);
    }
    static float render(sp_data* sp, sp_mincer& m, const float* v, float) {
        m.time = v[0];
        m.amp = v[1];
        m.pitch = v[2];
        float out = 0.0f;
        sp_mincer_compute(sp, &m, nullptr, &out);
        return out;
    }
};

struct PinkNoise : ModuleRow<sp_pinknoise, sp_pinknoise_create, sp_pinknoise_init, sp_pinknoise_compute,
                             sp_pinknoise_destroy> {
    static constexpr std::array parameterNames{"Amplitude"sv};
    static void setUp(sp_data* sp, sp_pinknoise* m, GeneratorTables<0>&) { sp_pinknoise_init(sp, m); }
    static float render(sp_data* sp, sp_pinknoise& m, const float* v, float) {
        m.amplitude = v[0];
        float out = 0.0f;
        sp_pinknoise_compute(sp, &m, nullptr, &out);
        return out;
    }
};

struct PluckedString
    : ModuleRow<sp_pluck, sp_pluck_create, sp_pluck_init, sp_pluck_compute, sp_pluck_destroy> {
    static constexpr std::array parameterNames{"Frequency"sv, "Amplitude"sv};
    static constexpr bool struck = true;
    static void setUp(sp_data* sp, sp_pluck* m, GeneratorTables<0>&) { sp_pluck_init(sp, m, 110.0f); }
    static float render(sp_data* sp, sp_pluck& m, const float* v, float trigger) {
        m.frequency = v[0];
        m.amplitude = v[1];
        float out = 0.0f;
        sp_pluck_compute(sp, &m, &trigger, &out);
        return out;
    }
};

struct VocalTract : ModuleRow<sp_vocwrapper, sp_vocwrapper_create, sp_vocwrapper_init, sp_vocwrapper_compute,
                              sp_vocwrapper_destroy> {
    static constexpr std::array parameterNames{"Frequency"sv, "TonguePosition"sv, "TongueDiameter"sv,
                                               "Tenseness"sv, "Nasality"sv};
    static void setUp(sp_data* sp, sp_vocwrapper* m, GeneratorTables<0>&) {
        sp_vocwrapper_init(sp, m);
        m->frequency = 160.0f;
        m->position = 0.5f;
        m->diameter = 1.0f;
        m->tenseness = 0.6f;
        m->nasality = 0.0f;
    }
    // The voice runs on.
    static void reset(sp_data*, sp_vocwrapper*, GeneratorTables<0>&) {}
    static float render(sp_data* sp, sp_vocwrapper& m, const float* v, float) {
        m.frequency = v[0];
        m.position = v[1];
        m.diameter = v[2];
        m.tenseness = v[3];
        m.nasality = v[4];
        float out = 0.0f;
        sp_vocwrapper_compute(sp, &m, nullptr, &out);
        return out;
    }
};

struct WhiteNoise : ModuleRow<sp_noise, sp_noise_create, sp_noise_init, sp_noise_compute, sp_noise_destroy> {
    static constexpr std::array parameterNames{"Amplitude"sv};
    static void setUp(sp_data* sp, sp_noise* m, GeneratorTables<0>&) { sp_noise_init(sp, m); }
    static float render(sp_data* sp, sp_noise& m, const float* v, float) {
        m.amp = v[0];
        float out = 0.0f;
        sp_noise_compute(sp, &m, nullptr, &out);
        return out;
    }
};

} // namespace generatorRows

// One class per kernel, so that each code creates a class of its own name.
class BrownianNoiseDSP final : public GeneratorKernel<generatorRows::BrownianNoise> {};
class FMOscillatorDSP final : public GeneratorKernel<generatorRows::FMOscillator> {};
class MorphingOscillatorDSP final : public GeneratorKernel<generatorRows::MorphingOscillator> {};
class OscillatorDSP final : public GeneratorKernel<generatorRows::Oscillator> {};
class PWMOscillatorDSP final : public GeneratorKernel<generatorRows::PWMOscillator> {};
class PhaseDistortionOscillatorDSP final : public GeneratorKernel<generatorRows::PhaseDistortionOscillator> {
};
class PhaseLockedVocoderDSP final : public GeneratorKernel<generatorRows::PhaseLockedVocoder> {};
class PinkNoiseDSP final : public GeneratorKernel<generatorRows::PinkNoise> {};
class PluckedStringDSP final : public GeneratorKernel<generatorRows::PluckedString> {};
class VocalTractDSP final : public GeneratorKernel<generatorRows::VocalTract> {};
class WhiteNoiseDSP final : public GeneratorKernel<generatorRows::WhiteNoise> {};

// Struck by MIDI: every message sets the bar up afresh on its own grid (nothing is allocated), and the
// frame after it strikes the bar with the settings of the moment.
class MetalBarDSP final : public GeneratorKernel<generatorRows::MetalBar> {
public:
    void handleMIDIEvent(const AUMIDIEvent& midiEvent) override;
};

} // namespace sigpro

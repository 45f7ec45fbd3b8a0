#pragma once
// The Sigpro effect kernels that are one row of the pair or stereo shape (SigproKernelShapes.h): which
// module each runs and how its parameters, in address order, drive it. The kernels hold no defaults and
// clamp nothing but where a row says so: every parameter is 0 until the owning node writes it. The
// kernels with behaviour of their own (envelope, auto-panner, balancer, convolution, tremolo) have
// headers of their own. Threads as DSPBase.

#include "Sigpro/kernels/SigproKernelShapes.h"
#include "Sigpro/modules/sp_allpass.h"
#include "Sigpro/modules/sp_atone.h"
#include "Sigpro/modules/sp_autowah.h"
#include "Sigpro/modules/sp_bitcrush.h"
#include "Sigpro/modules/sp_butbp.h"
#include "Sigpro/modules/sp_butbr.h"
#include "Sigpro/modules/sp_buthp.h"
#include "Sigpro/modules/sp_butlp.h"
#include "Sigpro/modules/sp_clip.h"
#include "Sigpro/modules/sp_comb.h"
#include "Sigpro/modules/sp_compressor.h"
#include "Sigpro/modules/sp_dcblock.h"
#include "Sigpro/modules/sp_diode.h"
#include "Sigpro/modules/sp_dist.h"
#include "Sigpro/modules/sp_eqfil.h"
#include "Sigpro/modules/sp_fofilt.h"
#include "Sigpro/modules/sp_jcrev.h"
#include "Sigpro/modules/sp_lpf18.h"
#include "Sigpro/modules/sp_mode.h"
#include "Sigpro/modules/sp_moogladder.h"
#include "Sigpro/modules/sp_panst.h"
#include "Sigpro/modules/sp_pareq.h"
#include "Sigpro/modules/sp_phaser.h"
#include "Sigpro/modules/sp_pshift.h"
#include "Sigpro/modules/sp_reson.h"
#include "Sigpro/modules/sp_revsc.h"
#include "Sigpro/modules/sp_streson.h"
#include "Sigpro/modules/sp_tbvcf.h"
#include "Sigpro/modules/sp_tone.h"
#include "Sigpro/modules/sp_vdelay.h"
#include "Sigpro/modules/sp_wpkorg35.h"
#include "Sigpro/modules/sp_zitarev.h"

#include <array>
#include <string_view>

namespace sigpro {

using namespace std::string_view_literals;

namespace rows {

// The modules that keep their inputs in a state block reach them through pointers, which stay null when
// the block could not be made.
inline void setInput(float* input, float value) {
    if (input) *input = value;
}

struct AutoWah
    : ModuleRow<sp_autowah, sp_autowah_create, sp_autowah_init, sp_autowah_compute, sp_autowah_destroy> {
    static constexpr std::array parameterNames{"Wah"sv, "Mix"sv, "Amplitude"sv};
    static void drive(sp_autowah& m, const float* v) {
        setInput(m.wah, v[0]);
        // The module's mix runs 0 ... 100.
        setInput(m.wet_dry, float(double(v[1]) * 100.0));
        setInput(m.level, v[2]);
    }
};

struct BandPassButterworthFilter
    : ModuleRow<sp_butbp, sp_butbp_create, sp_butbp_init, sp_butbp_compute, sp_butbp_destroy> {
    static constexpr auto computePair = sp_butbp_compute_pair;
    static constexpr std::array parameterNames{"CenterFrequency"sv, "Bandwidth"sv};
    static void drive(sp_butbp& m, const float* v) {
        m.frequency = v[0];
        m.bandwidth = v[1];
    }
};

struct BandRejectButterworthFilter
    : ModuleRow<sp_butbr, sp_butbr_create, sp_butbr_init, sp_butbr_compute, sp_butbr_destroy> {
    static constexpr auto computePair = sp_butbr_compute_pair;
    static constexpr std::array parameterNames{"CenterFrequency"sv, "Bandwidth"sv};
    static void drive(sp_butbr& m, const float* v) {
        m.frequency = v[0];
        m.bandwidth = v[1];
    }
};

struct BitCrusher
    : ModuleRow<sp_bitcrush, sp_bitcrush_create, sp_bitcrush_init, sp_bitcrush_compute, sp_bitcrush_destroy> {
    static constexpr std::array parameterNames{"BitDepth"sv, "SampleRate"sv};
    static void drive(sp_bitcrush& m, const float* v) {
        m.bitdepth = v[0];
        m.srate = v[1];
    }
};

struct ChowningReverb
    : ModuleRow<sp_jcrev, sp_jcrev_create, sp_jcrev_init, sp_jcrev_compute, sp_jcrev_destroy> {
    static constexpr std::array parameterNames{"Balance"sv};
    static constexpr bool dryWetBalance = true;
    static void drive(sp_jcrev&, const float*) {}
};

struct Clipper : ModuleRow<sp_clip, sp_clip_create, sp_clip_init, sp_clip_compute, sp_clip_destroy> {
    static constexpr std::array parameterNames{"Limit"sv};
    static void drive(sp_clip& m, const float* v) { m.limit = v[0]; }
};

struct CombFilterReverb : ModuleRow<sp_comb, sp_comb_create, sp_comb_init, sp_comb_compute, sp_comb_destroy> {
    static constexpr std::array parameterNames{"ReverbDuration"sv};
    static constexpr float initialLength = 0.1f; // loop duration, seconds
    static void drive(sp_comb& m, const float* v, float) { m.reverb_time = v[0]; }
};

struct DCBlock
    : ModuleRow<sp_dcblock, sp_dcblock_create, sp_dcblock_init, sp_dcblock_compute, sp_dcblock_destroy> {
    static constexpr auto computePair = sp_dcblock_compute_pair;
    static constexpr std::array<std::string_view, 0> parameterNames{};
    static void drive(sp_dcblock&, const float*) {}
};

struct DiodeLadderFilter
    : ModuleRow<sp_diode, sp_diode_create, sp_diode_init, sp_diode_compute, sp_diode_destroy> {
    static constexpr std::array parameterNames{"CutoffFrequency"sv, "Resonance"sv};
    static void drive(sp_diode& m, const float* v) {
        m.frequency = v[0];
        m.resonance = v[1];
    }
};

struct DynamicRangeCompressor : ModuleRow<sp_compressor, sp_compressor_create, sp_compressor_init,
                                          sp_compressor_compute, sp_compressor_destroy> {
    static constexpr std::array parameterNames{"Ratio"sv, "Threshold"sv, "AttackDuration"sv,
                                               "ReleaseDuration"sv};
    static void drive(sp_compressor& m, const float* v) {
        setInput(m.ratio, v[0]);
        setInput(m.threshold, v[1]);
        setInput(m.attack, v[2]);
        setInput(m.release, v[3]);
    }
};

struct EqualizerFilter
    : ModuleRow<sp_eqfil, sp_eqfil_create, sp_eqfil_init, sp_eqfil_compute, sp_eqfil_destroy> {
    static constexpr std::array parameterNames{"CenterFrequency"sv, "Bandwidth"sv, "Gain"sv};
    static void drive(sp_eqfil& m, const float* v) {
        m.frequency = v[0];
        m.bandwidth = v[1];
        m.gain = v[2];
    }
};

struct FlatFrequencyResponseReverb
    : ModuleRow<sp_allpass, sp_allpass_create, sp_allpass_init, sp_allpass_compute, sp_allpass_destroy> {
    static constexpr std::array parameterNames{"ReverbDuration"sv};
    static constexpr float initialLength = 0.1f; // loop duration, seconds
    static void drive(sp_allpass& m, const float* v, float) { m.reverb_time = v[0]; }
};

struct FormantFilter
    : ModuleRow<sp_fofilt, sp_fofilt_create, sp_fofilt_init, sp_fofilt_compute, sp_fofilt_destroy> {
    static constexpr std::array parameterNames{"CenterFrequency"sv, "AttackDuration"sv, "DecayDuration"sv};
    static void drive(sp_fofilt& m, const float* v) {
        m.frequency = v[0];
        m.attack = v[1];
        m.decay = v[2];
    }
};

struct HighPassButterworthFilter
    : ModuleRow<sp_buthp, sp_buthp_create, sp_buthp_init, sp_buthp_compute, sp_buthp_destroy> {
    static constexpr auto computePair = sp_buthp_compute_pair;
    static constexpr std::array parameterNames{"CutoffFrequency"sv};
    static void drive(sp_buthp& m, const float* v) { m.frequency = v[0]; }
};

// sp_pareq in one of its three shapes; its init selects the peaking one, so the shape is chosen again
// after every init.
template <int Mode>
struct ParametricEqualizer
    : ModuleRow<sp_pareq, sp_pareq_create, sp_pareq_init, sp_pareq_compute, sp_pareq_destroy> {
    static constexpr auto computePair = sp_pareq_compute_pair;
    static void afterInit(sp_pareq& m) { m.mode = float(Mode); }
    static void drive(sp_pareq& m, const float* v) {
        m.frequency = v[0];
        m.gain = v[1];
        m.q = v[2];
    }
};

struct PeakingParametricEqualizerFilter : ParametricEqualizer<0> {
    static constexpr std::array parameterNames{"CenterFrequency"sv, "Gain"sv, "Q"sv};
};

struct LowShelfParametricEqualizerFilter : ParametricEqualizer<1> {
    static constexpr std::array parameterNames{"CornerFrequency"sv, "Gain"sv, "Q"sv};
};

struct HighShelfParametricEqualizerFilter : ParametricEqualizer<2> {
    static constexpr std::array parameterNames{"CenterFrequency"sv, "Gain"sv, "Q"sv};
};

struct KorgLowPassFilter
    : ModuleRow<sp_wpkorg35, sp_wpkorg35_create, sp_wpkorg35_init, sp_wpkorg35_compute, sp_wpkorg35_destroy> {
    static constexpr std::array parameterNames{"CutoffFrequency"sv, "Resonance"sv, "Saturation"sv};
    static void drive(sp_wpkorg35& m, const float* v) {
        // Just below the value asked for, so that the top of the node's range stays under half the
        // sample rate.
        m.cutoff = float(double(v[0]) - 0.0001);
        m.resonance = v[1];
        m.saturation = v[2];
    }
};

struct LowPassButterworthFilter
    : ModuleRow<sp_butlp, sp_butlp_create, sp_butlp_init, sp_butlp_compute, sp_butlp_destroy> {
    static constexpr auto computePair = sp_butlp_compute_pair;
    static constexpr std::array parameterNames{"CutoffFrequency"sv};
    static void drive(sp_butlp& m, const float* v) { m.frequency = v[0]; }
};

struct ModalResonanceFilter
    : ModuleRow<sp_mode, sp_mode_create, sp_mode_init, sp_mode_compute, sp_mode_destroy> {
    static constexpr std::array parameterNames{"Frequency"sv, "QualityFactor"sv};
    static void drive(sp_mode& m, const float* v) {
        m.frequency = v[0];
        m.q = v[1];
    }
};

struct MoogLadder : ModuleRow<sp_moogladder, sp_moogladder_create, sp_moogladder_init, sp_moogladder_compute,
                              sp_moogladder_destroy> {
    static constexpr std::array parameterNames{"CutoffFrequency"sv, "Resonance"sv};
    static void drive(sp_moogladder& m, const float* v) {
        m.frequency = v[0];
        m.resonance = v[1];
    }
};

struct PitchShifter
    : ModuleRow<sp_pshift, sp_pshift_create, sp_pshift_init, sp_pshift_compute, sp_pshift_destroy> {
    static constexpr std::array parameterNames{"Shift"sv, "WindowSize"sv, "Crossfade"sv};
    static void drive(sp_pshift& m, const float* v) {
        setInput(m.shift, v[0]);
        setInput(m.window, v[1]);
        setInput(m.crossfade, v[2]);
    }
};

struct ResonantFilter
    : ModuleRow<sp_reson, sp_reson_create, sp_reson_init, sp_reson_compute, sp_reson_destroy> {
    static constexpr std::array parameterNames{"Frequency"sv, "Bandwidth"sv};
    static void drive(sp_reson& m, const float* v) {
        m.frequency = v[0];
        m.bandwidth = v[1];
    }
};

struct RolandTB303Filter
    : ModuleRow<sp_tbvcf, sp_tbvcf_create, sp_tbvcf_init, sp_tbvcf_compute, sp_tbvcf_destroy> {
    static constexpr std::array parameterNames{"CutoffFrequency"sv, "Resonance"sv, "Distortion"sv,
                                               "ResonanceAsymmetry"sv};
    static void drive(sp_tbvcf& m, const float* v) {
        m.cutoff = v[0];
        m.resonance = v[1];
        m.distortion = v[2];
        m.asymmetry = v[3];
    }
};

struct StringResonator
    : ModuleRow<sp_streson, sp_streson_create, sp_streson_init, sp_streson_compute, sp_streson_destroy> {
    static constexpr std::array parameterNames{"FundamentalFrequency"sv, "Feedback"sv};
    static void drive(sp_streson& m, const float* v) {
        m.frequency = v[0];
        m.feedback = v[1];
    }
};

struct TanhDistortion : ModuleRow<sp_dist, sp_dist_create, sp_dist_init, sp_dist_compute, sp_dist_destroy> {
    static constexpr std::array parameterNames{"Pregain"sv, "Postgain"sv, "PositiveShapeParameter"sv,
                                               "NegativeShapeParameter"sv};
    static void drive(sp_dist& m, const float* v) {
        m.pregain = v[0];
        m.postgain = v[1];
        m.shape1 = v[2];
        m.shape2 = v[3];
    }
};

struct ThreePoleLowpassFilter
    : ModuleRow<sp_lpf18, sp_lpf18_create, sp_lpf18_init, sp_lpf18_compute, sp_lpf18_destroy> {
    static constexpr std::array parameterNames{"Distortion"sv, "CutoffFrequency"sv, "Resonance"sv};
    static void drive(sp_lpf18& m, const float* v) {
        m.distortion = v[0];
        m.frequency = v[1];
        m.resonance = v[2];
    }
};

struct ToneComplementFilter
    : ModuleRow<sp_atone, sp_atone_create, sp_atone_init, sp_atone_compute, sp_atone_destroy> {
    static constexpr auto computePair = sp_atone_compute_pair;
    static constexpr std::array parameterNames{"HalfPowerPoint"sv};
    static constexpr bool inPlace = false;
    static void drive(sp_atone& m, const float* v) { m.cutoff = v[0]; }
};

struct ToneFilter : ModuleRow<sp_tone, sp_tone_create, sp_tone_init, sp_tone_compute, sp_tone_destroy> {
    static constexpr auto computePair = sp_tone_compute_pair;
    static constexpr std::array parameterNames{"HalfPowerPoint"sv};
    static void drive(sp_tone& m, const float* v) { m.half_power_point = v[0]; }
};

struct VariableDelay
    : ModuleRow<sp_vdelay, sp_vdelay_create, sp_vdelay_init, sp_vdelay_compute, sp_vdelay_destroy> {
    static constexpr std::array parameterNames{"Time"sv, "Feedback"sv};
    static constexpr bool inPlace = false;
    static constexpr float initialLength = 10.0f; // maximum delay, seconds
    static void drive(sp_vdelay& m, const float* v, float maximumTime) {
        // Held at the maximum; a NaN on either side compares unordered and leaves the time as asked.
        m.delay = maximumTime < v[0] ? maximumTime : v[0];
        m.feedback = v[1];
    }
};

// Stereo modules.

struct CostelloReverb
    : ModuleRow<sp_revsc, sp_revsc_create, sp_revsc_init, sp_revsc_compute, sp_revsc_destroy> {
    static constexpr std::array parameterNames{"Feedback"sv, "CutoffFrequency"sv, "Balance"sv};
    static constexpr bool dryWetBalance = true;
    static void drive(sp_revsc& m, const float* v) {
        m.feedback = v[0];
        m.lowpass_frequency = v[1];
    }
};

struct Panner : ModuleRow<sp_panst, sp_panst_create, sp_panst_init, sp_panst_compute, sp_panst_destroy> {
    static constexpr std::array parameterNames{"Pan"sv};
    static void drive(sp_panst& m, const float* v) { m.pan = v[0]; }
};

struct Phaser : ModuleRow<sp_phaser, sp_phaser_create, sp_phaser_init, sp_phaser_compute, sp_phaser_destroy> {
    static constexpr std::array parameterNames{"NotchMinimumFrequency"sv,
                                               "NotchMaximumFrequency"sv,
                                               "NotchWidth"sv,
                                               "NotchFrequency"sv,
                                               "VibratoMode"sv,
                                               "Depth"sv,
                                               "Feedback"sv,
                                               "Inverted"sv,
                                               "LfoBPM"sv};
    // The module's input level is not a parameter: it keeps what init gives it.
    static void drive(sp_phaser& m, const float* v) {
        setInput(m.min_notch1_frequency, v[0]);
        setInput(m.max_notch1_frequency, v[1]);
        setInput(m.notch_width, v[2]);
        setInput(m.notch_frequency, v[3]);
        setInput(m.vibrato_mode, v[4]);
        setInput(m.depth, v[5]);
        setInput(m.feedback_gain, v[6]);
        setInput(m.invert, v[7]);
        setInput(m.lfo_bpm, v[8]);
    }
};

struct ZitaReverb
    : ModuleRow<sp_zitarev, sp_zitarev_create, sp_zitarev_init, sp_zitarev_compute, sp_zitarev_destroy> {
    static constexpr std::array parameterNames{"Predelay"sv,         "CrossoverFrequency"sv,
                                               "LowReleaseTime"sv,   "MidReleaseTime"sv,
                                               "DampingFrequency"sv, "EqualizerFrequency1"sv,
                                               "EqualizerLevel1"sv,  "EqualizerFrequency2"sv,
                                               "EqualizerLevel2"sv,  "DryWetMix"sv};
    // The module's output level is not a parameter: it keeps what init gives it (0 dB).
    static void drive(sp_zitarev& m, const float* v) {
        setInput(m.predelay, v[0]);
        setInput(m.crossover_frequency, v[1]);
        setInput(m.low_release_time, v[2]);
        setInput(m.mid_release_time, v[3]);
        setInput(m.damping_frequency, v[4]);
        setInput(m.equalizer_frequency1, v[5]);
        setInput(m.equalizer_level1, v[6]);
        setInput(m.equalizer_frequency2, v[7]);
        setInput(m.equalizer_level2, v[8]);
        setInput(m.dry_wet_mix, v[9]);
    }
};

} // namespace rows

// One class per kernel, so that each code creates a class of its own name.
class AutoWahDSP final : public PairKernel<rows::AutoWah> {};
class BandPassButterworthFilterDSP final : public PairKernel<rows::BandPassButterworthFilter> {};
class BandRejectButterworthFilterDSP final : public PairKernel<rows::BandRejectButterworthFilter> {};
class BitCrusherDSP final : public PairKernel<rows::BitCrusher> {};
class ChowningReverbDSP final : public PairKernel<rows::ChowningReverb> {};
class ClipperDSP final : public PairKernel<rows::Clipper> {};
class CombFilterReverbDSP final : public PairKernel<rows::CombFilterReverb> {};
class DCBlockDSP final : public PairKernel<rows::DCBlock> {};
class DiodeLadderFilterDSP final : public PairKernel<rows::DiodeLadderFilter> {};
class DynamicRangeCompressorDSP final : public PairKernel<rows::DynamicRangeCompressor> {};
class EqualizerFilterDSP final : public PairKernel<rows::EqualizerFilter> {};
class FlatFrequencyResponseReverbDSP final : public PairKernel<rows::FlatFrequencyResponseReverb> {};
class FormantFilterDSP final : public PairKernel<rows::FormantFilter> {};
class HighPassButterworthFilterDSP final : public PairKernel<rows::HighPassButterworthFilter> {};
class KorgLowPassFilterDSP final : public PairKernel<rows::KorgLowPassFilter> {};
class LowPassButterworthFilterDSP final : public PairKernel<rows::LowPassButterworthFilter> {};
class LowShelfParametricEqualizerFilterDSP final
    : public PairKernel<rows::LowShelfParametricEqualizerFilter> {};
class ModalResonanceFilterDSP final : public PairKernel<rows::ModalResonanceFilter> {};
class MoogLadderDSP final : public PairKernel<rows::MoogLadder> {};
class PeakingParametricEqualizerFilterDSP final : public PairKernel<rows::PeakingParametricEqualizerFilter> {
};
class PitchShifterDSP final : public PairKernel<rows::PitchShifter> {};
class ResonantFilterDSP final : public PairKernel<rows::ResonantFilter> {};
class RolandTB303FilterDSP final : public PairKernel<rows::RolandTB303Filter> {};
class StringResonatorDSP final : public PairKernel<rows::StringResonator> {};
class TanhDistortionDSP final : public PairKernel<rows::TanhDistortion> {};
class ThreePoleLowpassFilterDSP final : public PairKernel<rows::ThreePoleLowpassFilter> {};
class ToneComplementFilterDSP final : public PairKernel<rows::ToneComplementFilter> {};
class ToneFilterDSP final : public PairKernel<rows::ToneFilter> {};
class VariableDelayDSP final : public PairKernel<rows::VariableDelay> {};

class CostelloReverbDSP final : public StereoKernel<rows::CostelloReverb> {};
class PannerDSP final : public StereoKernel<rows::Panner> {};
class PhaserDSP final : public StereoKernel<rows::Phaser> {};
class ZitaReverbDSP final : public StereoKernel<rows::ZitaReverb> {};

} // namespace sigpro

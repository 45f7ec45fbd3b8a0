#include "Sigpro/kernels/SigproKernels.h"

#include "RozezEruEX/DSPRegistry.h"
#include "RozezEruEX/ProgrammingError.h"
#include "Sigpro/kernels/AmplitudeEnvelopeDSP.h"
#include "Sigpro/kernels/AutoPannerDSP.h"
#include "Sigpro/kernels/BalancerDSP.h"
#include "Sigpro/kernels/ConvolutionDSP.h"
#include "Sigpro/kernels/DynamicOscillatorDSP.h"
#include "Sigpro/kernels/EffectKernels.h"
#include "Sigpro/kernels/GeneratorKernels.h"
#include "Sigpro/kernels/HighShelfParametricEqualizerFilterDSP.h"
#include "Sigpro/kernels/TremoloDSP.h"

#include <mutex>
#include <string>
#include <string_view>

namespace sigpro {

namespace {

// `code` creates a Kernel; its parameters are "<nodeClass>Parameter<name>" at 0, 1, 2, ...
template <class Kernel> void registerKernel(std::string_view code, std::string_view nodeClass) {
    rozezeru::addCreateFunction(
        code, []() -> std::unique_ptr<rozezeru::DSPBase> { return std::make_unique<Kernel>(); });
    rozezeru::AUParameterAddress address = 0;
    for (std::string_view name : Kernel::parameterNames) {
        std::string identifier(nodeClass);
        identifier.append("Parameter").append(name);
        rozezeru::addParameter(identifier, address++);
    }
}

void registerEffectKernels() {
    registerKernel<AmplitudeEnvelopeDSP>("adsr", "AmplitudeEnvelope");
    registerKernel<AutoPannerDSP>("apan", "AutoPanner");
    registerKernel<AutoWahDSP>("awah", "AutoWah");
    registerKernel<BalancerDSP>("blnc", "Balancer");
    registerKernel<BandPassButterworthFilterDSP>("btbp", "BandPassButterworthFilter");
    registerKernel<BandRejectButterworthFilterDSP>("btbr", "BandRejectButterworthFilter");
    registerKernel<BitCrusherDSP>("btcr", "BitCrusher");
    registerKernel<ChowningReverbDSP>("jcrv", "ChowningReverb");
    registerKernel<ClipperDSP>("clip", "Clipper");
    registerKernel<CombFilterReverbDSP>("comb", "CombFilterReverb");
    registerKernel<ConvolutionDSP>("conv", "Convolution");
    registerKernel<CostelloReverbDSP>("rvsc", "CostelloReverb");
    registerKernel<DCBlockDSP>("dcbk", "DCBlock");
    registerKernel<DiodeLadderFilterDSP>("diod", "DiodeLadderFilter");
    registerKernel<DynamicRangeCompressorDSP>("cpsr", "DynamicRangeCompressor");
    registerKernel<EqualizerFilterDSP>("eqfl", "EqualizerFilter");
    registerKernel<FlatFrequencyResponseReverbDSP>("alps", "FlatFrequencyResponseReverb");
    registerKernel<FormantFilterDSP>("fofi", "FormantFilter");
    registerKernel<HighPassButterworthFilterDSP>("bthp", "HighPassButterworthFilter");
    registerKernel<HighShelfParametricEqualizerFilterDSP>("peq2", "HighShelfParametricEqualizerFilter");
    registerKernel<KorgLowPassFilterDSP>("klpf", "KorgLowPassFilter");
    registerKernel<LowPassButterworthFilterDSP>("btlp", "LowPassButterworthFilter");
    registerKernel<LowShelfParametricEqualizerFilterDSP>("peq1", "LowShelfParametricEqualizerFilter");
    registerKernel<ModalResonanceFilterDSP>("modf", "ModalResonanceFilter");
    registerKernel<MoogLadderDSP>("mgld", "MoogLadder");
    registerKernel<PannerDSP>("pan2", "Panner");
    registerKernel<PeakingParametricEqualizerFilterDSP>("peq0", "PeakingParametricEqualizerFilter");
    registerKernel<PhaserDSP>("phas", "Phaser");
    registerKernel<PitchShifterDSP>("pshf", "PitchShifter");
    registerKernel<ResonantFilterDSP>("resn", "ResonantFilter");
    registerKernel<RolandTB303FilterDSP>("tb3f", "RolandTB303Filter");
    registerKernel<StringResonatorDSP>("stre", "StringResonator");
    registerKernel<TanhDistortionDSP>("dist", "TanhDistortion");
    registerKernel<ThreePoleLowpassFilterDSP>("lp18", "ThreePoleLowpassFilter");
    registerKernel<ToneComplementFilterDSP>("aton", "ToneComplementFilter");
    registerKernel<ToneFilterDSP>("tone", "ToneFilter");
    registerKernel<TremoloDSP>("trem", "Tremolo");
    registerKernel<VariableDelayDSP>("vdla", "VariableDelay");
    registerKernel<ZitaReverbDSP>("zita", "ZitaReverb");
}

void registerGeneratorKernels() {
    registerKernel<BrownianNoiseDSP>("bron", "BrownianNoise");
    registerKernel<DynamicOscillatorDSP>("csto", "DynamicOscillator");
    registerKernel<FMOscillatorDSP>("fosc", "FMOscillator");
    registerKernel<MetalBarDSP>("mbar", "MetalBar");
    registerKernel<MorphingOscillatorDSP>("morf", "MorphingOscillator");
    registerKernel<OscillatorDSP>("oscl", "Oscillator");
    registerKernel<PWMOscillatorDSP>("pwmo", "PWMOscillator");
    registerKernel<PhaseDistortionOscillatorDSP>("pdho", "PhaseDistortionOscillator");
    registerKernel<PhaseLockedVocoderDSP>("minc", "PhaseLockedVocoder");
    registerKernel<PinkNoiseDSP>("pink", "PinkNoise");
    registerKernel<PluckedStringDSP>("pluk", "PluckedString");
    registerKernel<VocalTractDSP>("vocw", "VocalTract");
    registerKernel<WhiteNoiseDSP>("wnoz", "WhiteNoise");
}

template <class Kernel> Kernel& kernelFor(rozezeru::DSPBase* dsp, std::string_view setter) {
    auto* kernel = dynamic_cast<Kernel*>(dsp);
    if (!kernel) rozezeru::stopOnProgrammingError(std::string(setter) + ": dsp");
    return *kernel;
}

} // namespace

void registerSigproKernels() {
    static std::once_flag registered;
    std::call_once(registered, [] {
        registerEffectKernels();
        registerGeneratorKernels();
    });
}

void rzCombFilterReverbSetLoopDuration(rozezeru::DSPBase* dsp, float duration) {
    kernelFor<CombFilterReverbDSP>(dsp, "rzCombFilterReverbSetLoopDuration").setLength(duration);
}

void rzFlatFrequencyResponseSetLoopDuration(rozezeru::DSPBase* dsp, float duration) {
    kernelFor<FlatFrequencyResponseReverbDSP>(dsp, "rzFlatFrequencyResponseSetLoopDuration")
        .setLength(duration);
}

void rzVariableDelaySetMaximumTime(rozezeru::DSPBase* dsp, float time) {
    kernelFor<VariableDelayDSP>(dsp, "rzVariableDelaySetMaximumTime").setLength(time);
}

void rzConvolutionSetPartitionLength(rozezeru::DSPBase* dsp, std::int32_t length) {
    kernelFor<ConvolutionDSP>(dsp, "rzConvolutionSetPartitionLength").setPartitionLength(length);
}

} // namespace sigpro

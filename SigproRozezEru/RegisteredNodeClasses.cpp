// The registration list: every effect and generator node class with its kernel, registered by
// registerSigproRozezEru().
#include "SigproRozezEru/SigproRozezEruRegistration.h"

#include "RozezEru/Internals/ComponentDescriptions.h"
#include "RozezEru/Internals/Log.h"
#include "RozezEruEX/DSPRegistry.h"
#include "RozezEruEX/ProgrammingError.h"
#include "RozezEruEX/RozezEruAU.h"
#include "Sigpro/kernels/AmplitudeEnvelopeDSP.h"
#include "Sigpro/kernels/AutoPannerDSP.h"
#include "Sigpro/kernels/BalancerDSP.h"
#include "Sigpro/kernels/ConvolutionDSP.h"
#include "Sigpro/kernels/DynamicOscillatorDSP.h"
#include "Sigpro/kernels/EffectKernels.h"
#include "Sigpro/kernels/GeneratorKernels.h"
#include "Sigpro/kernels/HighShelfParametricEqualizerFilterDSP.h"
#include "Sigpro/kernels/KernelLog.h"
#include "Sigpro/kernels/SigproKernels.h"
#include "Sigpro/kernels/TremoloDSP.h"
#include "SigproRozezEru/Effects/AmplitudeEnvelope.h"
#include "SigproRozezEru/Effects/AutoPanner.h"
#include "SigproRozezEru/Effects/AutoWah.h"
#include "SigproRozezEru/Effects/Balancer.h"
#include "SigproRozezEru/Effects/BandPassButterworthFilter.h"
#include "SigproRozezEru/Effects/BandRejectButterworthFilter.h"
#include "SigproRozezEru/Effects/BitCrusher.h"
#include "SigproRozezEru/Effects/ChowningReverb.h"
#include "SigproRozezEru/Effects/Clipper.h"
#include "SigproRozezEru/Effects/CombFilterReverb.h"
#include "SigproRozezEru/Effects/Convolution.h"
#include "SigproRozezEru/Effects/CostelloReverb.h"
#include "SigproRozezEru/Effects/DCBlock.h"
#include "SigproRozezEru/Effects/DiodeLadderFilter.h"
#include "SigproRozezEru/Effects/DynamicRangeCompressor.h"
#include "SigproRozezEru/Effects/EqualizerFilter.h"
#include "SigproRozezEru/Effects/FlatFrequencyResponseReverb.h"
#include "SigproRozezEru/Effects/FormantFilter.h"
#include "SigproRozezEru/Effects/HighPassButterworthFilter.h"
#include "SigproRozezEru/Effects/HighShelfParametricEqualizerFilter.h"
#include "SigproRozezEru/Effects/KorgLowPassFilter.h"
#include "SigproRozezEru/Effects/LowPassButterworthFilter.h"
#include "SigproRozezEru/Effects/LowShelfParametricEqualizerFilter.h"
#include "SigproRozezEru/Effects/ModalResonanceFilter.h"
#include "SigproRozezEru/Effects/MoogLadder.h"
#include "SigproRozezEru/Effects/Panner.h"
#include "SigproRozezEru/Effects/PeakingParametricEqualizerFilter.h"
#include "SigproRozezEru/Effects/Phaser.h"
#include "SigproRozezEru/Effects/PitchShifter.h"
#include "SigproRozezEru/Effects/ResonantFilter.h"
#include "SigproRozezEru/Effects/RolandTB303Filter.h"
#include "SigproRozezEru/Effects/StringResonator.h"
#include "SigproRozezEru/Effects/TanhDistortion.h"
#include "SigproRozezEru/Effects/ThreePoleLowpassFilter.h"
#include "SigproRozezEru/Effects/ToneComplementFilter.h"
#include "SigproRozezEru/Effects/ToneFilter.h"
#include "SigproRozezEru/Effects/Tremolo.h"
#include "SigproRozezEru/Effects/VariableDelay.h"
#include "SigproRozezEru/Effects/ZitaReverb.h"
#include "SigproRozezEru/Generators/BrownianNoise.h"
#include "SigproRozezEru/Generators/DynamicOscillator.h"
#include "SigproRozezEru/Generators/FMOscillator.h"
#include "SigproRozezEru/Generators/MetalBar.h"
#include "SigproRozezEru/Generators/MorphingOscillator.h"
#include "SigproRozezEru/Generators/Oscillator.h"
#include "SigproRozezEru/Generators/PWMOscillator.h"
#include "SigproRozezEru/Generators/PhaseDistortionOscillator.h"
#include "SigproRozezEru/Generators/PhaseLockedVocoder.h"
#include "SigproRozezEru/Generators/PinkNoise.h"
#include "SigproRozezEru/Generators/PluckedString.h"
#include "SigproRozezEru/Generators/VocalTract.h"
#include "SigproRozezEru/Generators/WhiteNoise.h"
#include "SigproRozezEru/NodeParameterTable.h"

#include <mutex>
#include <string>

namespace rozezeru {

namespace {

// Whether the node's rows name the kernel's parameters, address by address: the registry name of row i
// must be the one the kernel registers at address i.
template <class NodeClass, class Kernel> constexpr bool parameterRowsNameKernelParameters() {
    const auto& rows = NodeClass::parameterRows;
    const auto& names = Kernel::parameterNames;
    if (rows.size() != names.size()) return false;
    for (std::size_t address = 0; address < rows.size(); ++address) {
        const std::string_view identifier = rows[address].identifier;
        const std::string_view name = names[address];
        if (identifier.empty() || identifier.size() != name.size() ||
            upperCaseInitial(identifier.front()) != name.front() || identifier.substr(1) != name.substr(1))
            return false;
    }
    return true;
}

template <class NodeClass, class Kernel>
void registerNodeClass(const AudioComponentDescription& description) {
    static_assert(parameterRowsNameKernelParameters<NodeClass, Kernel>(),
                  "a node's parameter table and its kernel's parameter names differ");
    // The kernel's code is written twice, here and where the kernel registers.
    if (!dynamic_cast<Kernel*>(create(NodeClass::componentSubType).get()))
        stopOnProgrammingError(std::string(NodeClass::nodeClassName) + ": \"" +
                               std::string(NodeClass::componentSubType) + "\" creates another kernel.");
    RozezEruAU::registerComponent(description);
}

template <class NodeClass, class Kernel> void registerEffectNodeClass() {
    registerNodeClass<NodeClass, Kernel>(componentDescription::effect(NodeClass::componentSubType));
}

template <class NodeClass, class Kernel> void registerGeneratorNodeClass() {
    registerNodeClass<NodeClass, Kernel>(componentDescription::instrument(NodeClass::componentSubType));
}

} // namespace

void registerSigproRozezEru() {
    static std::once_flag registered;
    std::call_once(registered, [] {
        // The kernels' reports join the toolkit's log, with its switch and its record form.
        sigpro::setKernelLogHandler(
            [](std::string_view function, std::string_view text, const std::source_location& where) {
                Log(LogSite(function, OSLog::general(), LogType::error, where.file_name(), int(where.line())),
                    text);
            });
        sigpro::registerSigproKernels();
        registerEffectNodeClass<AmplitudeEnvelope, sigpro::AmplitudeEnvelopeDSP>();
        registerEffectNodeClass<AutoPanner, sigpro::AutoPannerDSP>();
        registerEffectNodeClass<AutoWah, sigpro::AutoWahDSP>();
        registerEffectNodeClass<Balancer, sigpro::BalancerDSP>();
        registerEffectNodeClass<BandPassButterworthFilter, sigpro::BandPassButterworthFilterDSP>();
        registerEffectNodeClass<BandRejectButterworthFilter, sigpro::BandRejectButterworthFilterDSP>();
        registerEffectNodeClass<BitCrusher, sigpro::BitCrusherDSP>();
        registerEffectNodeClass<ChowningReverb, sigpro::ChowningReverbDSP>();
        registerEffectNodeClass<Clipper, sigpro::ClipperDSP>();
        registerEffectNodeClass<CombFilterReverb, sigpro::CombFilterReverbDSP>();
        registerEffectNodeClass<Convolution, sigpro::ConvolutionDSP>();
        registerEffectNodeClass<CostelloReverb, sigpro::CostelloReverbDSP>();
        registerEffectNodeClass<DCBlock, sigpro::DCBlockDSP>();
        registerEffectNodeClass<DiodeLadderFilter, sigpro::DiodeLadderFilterDSP>();
        registerEffectNodeClass<DynamicRangeCompressor, sigpro::DynamicRangeCompressorDSP>();
        registerEffectNodeClass<EqualizerFilter, sigpro::EqualizerFilterDSP>();
        registerEffectNodeClass<FlatFrequencyResponseReverb, sigpro::FlatFrequencyResponseReverbDSP>();
        registerEffectNodeClass<FormantFilter, sigpro::FormantFilterDSP>();
        registerEffectNodeClass<HighPassButterworthFilter, sigpro::HighPassButterworthFilterDSP>();
        registerEffectNodeClass<HighShelfParametricEqualizerFilter,
                                sigpro::HighShelfParametricEqualizerFilterDSP>();
        registerEffectNodeClass<KorgLowPassFilter, sigpro::KorgLowPassFilterDSP>();
        registerEffectNodeClass<LowPassButterworthFilter, sigpro::LowPassButterworthFilterDSP>();
        registerEffectNodeClass<LowShelfParametricEqualizerFilter,
                                sigpro::LowShelfParametricEqualizerFilterDSP>();
        registerEffectNodeClass<ModalResonanceFilter, sigpro::ModalResonanceFilterDSP>();
        registerEffectNodeClass<MoogLadder, sigpro::MoogLadderDSP>();
        registerEffectNodeClass<Panner, sigpro::PannerDSP>();
        registerEffectNodeClass<PeakingParametricEqualizerFilter,
                                sigpro::PeakingParametricEqualizerFilterDSP>();
        registerEffectNodeClass<Phaser, sigpro::PhaserDSP>();
        registerEffectNodeClass<PitchShifter, sigpro::PitchShifterDSP>();
        registerEffectNodeClass<ResonantFilter, sigpro::ResonantFilterDSP>();
        registerEffectNodeClass<RolandTB303Filter, sigpro::RolandTB303FilterDSP>();
        registerEffectNodeClass<StringResonator, sigpro::StringResonatorDSP>();
        registerEffectNodeClass<TanhDistortion, sigpro::TanhDistortionDSP>();
        registerEffectNodeClass<ThreePoleLowpassFilter, sigpro::ThreePoleLowpassFilterDSP>();
        registerEffectNodeClass<ToneComplementFilter, sigpro::ToneComplementFilterDSP>();
        registerEffectNodeClass<ToneFilter, sigpro::ToneFilterDSP>();
        registerEffectNodeClass<Tremolo, sigpro::TremoloDSP>();
        registerEffectNodeClass<VariableDelay, sigpro::VariableDelayDSP>();
        registerEffectNodeClass<ZitaReverb, sigpro::ZitaReverbDSP>();
        registerGeneratorNodeClass<BrownianNoise, sigpro::BrownianNoiseDSP>();
        registerGeneratorNodeClass<DynamicOscillator, sigpro::DynamicOscillatorDSP>();
        registerGeneratorNodeClass<FMOscillator, sigpro::FMOscillatorDSP>();
        registerGeneratorNodeClass<MetalBar, sigpro::MetalBarDSP>();
        registerGeneratorNodeClass<MorphingOscillator, sigpro::MorphingOscillatorDSP>();
        registerGeneratorNodeClass<Oscillator, sigpro::OscillatorDSP>();
        registerGeneratorNodeClass<PWMOscillator, sigpro::PWMOscillatorDSP>();
        registerGeneratorNodeClass<PhaseDistortionOscillator, sigpro::PhaseDistortionOscillatorDSP>();
        registerGeneratorNodeClass<PhaseLockedVocoder, sigpro::PhaseLockedVocoderDSP>();
        registerGeneratorNodeClass<PinkNoise, sigpro::PinkNoiseDSP>();
        registerGeneratorNodeClass<PluckedString, sigpro::PluckedStringDSP>();
        registerGeneratorNodeClass<VocalTract, sigpro::VocalTractDSP>();
        registerGeneratorNodeClass<WhiteNoise, sigpro::WhiteNoiseDSP>();
    });
}

} // namespace rozezeru

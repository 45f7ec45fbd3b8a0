// Cost per stereo frame of every effect kernel at its node's defaults, rendered through its hosting unit
// in blocks of 512 frames of noise (input pull, render loop, ramp steps, modules), beside the cost of its
// bare modules over the same noise at the same settings (two per frame for the pair kernels, one stereo
// module otherwise; the envelope, panner, balancer, convolution and tremolo as their kernels use them).
// The bridge's own kernels (fader, mixers, limiter) have no module to stand beside. One core; per_frame
// is seconds per stereo frame. The kernel table and defaults are the kernel tests'.

#include "RozezEru/Internals/ComponentDescriptions.h"
#include "RozezEruEX/ExtraNodeKernels.h"
#include "RozezEruEX/RozezEruAU.h"
#include "Sigpro/kernels/EffectKernels.h"
#include "Sigpro/modules/sp_adsr.h"
#include "Sigpro/modules/sp_bal.h"
#include "Sigpro/modules/sp_conv.h"
#include "Sigpro/modules/sp_dynamicosc.h"
#include "Sigpro/modules/sp_osc.h"
#include "platform/audio/PcmBuffer.h"
#include "tests/Sigpro/kernels/EffectKernelRig.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <string>

namespace {

using namespace platform;
using namespace sigpro;

constexpr std::uint32_t effectBlock = 512;

void setPerFrame(benchmark::State& state) {
    state.counters["per_frame"] = benchmark::Counter(
        double(effectBlock), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Stereo noise on every bus, the same block each cycle.
class EffectBenchInput final : public AudioUnitPullInput {
public:
    EffectBenchInput() : buffer_(PcmBuffer::make(*AudioFormat::standard(44100.0, 2), effectBlock)) {
        const effecttest::Stereo signal{effecttest::noise(effectBlock, 3u),
                                        effecttest::noise(effectBlock, 4u)};
        std::copy(signal.left.begin(), signal.left.end(), buffer_->channel(0));
        std::copy(signal.right.begin(), signal.right.end(), buffer_->channel(1));
        list_ = buffer_->bufferList(effectBlock);
    }
    RenderStatus pull(std::uint32_t, AUAudioFrameCount, const AudioBufferList*& data) const override {
        data = &list_;
        return RenderStatus::success;
    }
    float* channel(std::uint32_t c) const { return buffer_->channel(c); }

private:
    std::unique_ptr<PcmBuffer> buffer_;
    AudioBufferList list_;
};

void renderKernelUnit(benchmark::State& state, std::string code, std::vector<float> defaults) {
    sigpro::registerSigproKernels();
    rozezeru::registerExtraNodeKernels();
    auto made = rozezeru::RozezEruAU::make(rozezeru::componentDescription::effect(code));
    if (!made) {
        state.SkipWithError("no unit");
        return;
    }
    rozezeru::RozezEruAU& unit = **made;
    rozezeru::DSPBase* kernel = unit.dsp();
    for (std::size_t address = 0; address < defaults.size(); ++address)
        rozezeru::rzSetParameterValue(kernel, address, defaults[address]);
    if (code == "apan" || code == "trem") unit.setWavetable(effecttest::liftedSine(), 0);
    if (code == "conv") unit.setWavetable(effecttest::noise(44100, 9u), 0);
    (void)unit.allocateRenderResources();
    const EffectBenchInput input;
    auto output = PcmBuffer::make(*AudioFormat::standard(44100.0, 2), effectBlock);
    AudioBufferList list = output->bufferList(effectBlock);
    std::int64_t sampleTime = 0;
    for (auto _ : state) {
        unit.render(AudioTime::withSampleTime(sampleTime, 44100.0), effectBlock, 0, list, input);
        sampleTime += effectBlock;
        benchmark::DoNotOptimize(output->channel(1)[effectBlock - 1]);
    }
    setPerFrame(state);
}

// The modules alone: made, set up and driven as the kernel does, then computed frame by frame.
struct BareModules {
    BareModules() {
        sp_create(&sp);
        sp->sample_rate = 44100;
        sp->channels = 2;
    }
    ~BareModules() { sp_destroy(&sp); }
    template <class Body> void run(benchmark::State& state, Body body) {
        const EffectBenchInput input;
        float* in[2] = {input.channel(0), input.channel(1)};
        std::vector<float> out[2] = {std::vector<float>(effectBlock), std::vector<float>(effectBlock)};
        for (auto _ : state) {
            for (std::uint32_t n = 0; n < effectBlock; ++n)
                body(in[0] + n, in[1] + n, &out[0][n], &out[1][n]);
            benchmark::DoNotOptimize(out[1][effectBlock - 1]);
            benchmark::ClobberMemory();
        }
        setPerFrame(state);
    }
    sp_data* sp = nullptr;
};

template <class Row> void initRow(sp_data* sp, typename Row::Module* module) {
    if constexpr (shape::HasLength<Row>)
        Row::init(sp, module, Row::initialLength);
    else
        Row::init(sp, module);
    if constexpr (requires { Row::afterInit(*module); }) Row::afterInit(*module);
}

template <class Row> void driveRow(typename Row::Module* module, const std::vector<float>& defaults) {
    std::vector<float> values(defaults);
    values.resize(std::max<std::size_t>(values.size(), 1));
    if constexpr (shape::HasLength<Row>)
        Row::drive(*module, values.data(), Row::initialLength);
    else
        Row::drive(*module, values.data());
}

template <class Row> void barePair(benchmark::State& state, std::vector<float> defaults) {
    BareModules bare;
    typename Row::Module* modules[2] = {};
    for (auto*& module : modules) {
        Row::create(&module);
        initRow<Row>(bare.sp, module);
        driveRow<Row>(module, defaults);
    }
    bare.run(state, [&](float* inLeft, float* inRight, float* outLeft, float* outRight) {
        Row::compute(bare.sp, modules[0], inLeft, outLeft);
        Row::compute(bare.sp, modules[1], inRight, outRight);
    });
    for (auto*& module : modules)
        Row::destroy(&module);
}

template <class Row> void bareStereo(benchmark::State& state, std::vector<float> defaults) {
    BareModules bare;
    typename Row::Module* module = nullptr;
    Row::create(&module);
    initRow<Row>(bare.sp, module);
    driveRow<Row>(module, defaults);
    bare.run(state, [&](float* inLeft, float* inRight, float* outLeft, float* outRight) {
        Row::compute(bare.sp, module, inLeft, inRight, outLeft, outRight);
    });
    Row::destroy(&module);
}

sp_ftbl* bareTable(sp_data* sp, const std::vector<float>& values) {
    sp_ftbl* table = nullptr;
    sp_ftbl_create(sp, &table, values.size());
    std::copy(values.begin(), values.end(), table->table);
    return table;
}

void bareEnvelope(benchmark::State& state, std::vector<float> defaults) {
    BareModules bare;
    sp_adsr* envelope = nullptr;
    sp_adsr_create(&envelope);
    sp_adsr_init(bare.sp, envelope);
    envelope->attack = defaults[0];
    envelope->decay = defaults[1];
    envelope->sustain = defaults[2];
    envelope->release = defaults[3];
    float gate = 1.0f;
    bare.run(state, [&](float*, float*, float* outLeft, float*) {
        sp_adsr_compute(bare.sp, envelope, &gate, outLeft);
    });
    sp_adsr_destroy(&envelope);
}

void bareAutoPanner(benchmark::State& state, std::vector<float> defaults) {
    BareModules bare;
    sp_ftbl* table = bareTable(bare.sp, effecttest::liftedSine());
    sp_osc* oscillator = nullptr;
    sp_osc_create(&oscillator);
    sp_osc_init(bare.sp, oscillator, table, 0.0f);
    oscillator->frequency = defaults[0];
    oscillator->amp = 1.0f;
    sp_panst* panner = nullptr;
    sp_panst_create(&panner);
    sp_panst_init(bare.sp, panner);
    bare.run(state, [&](float* inLeft, float* inRight, float* outLeft, float* outRight) {
        float lfo = 0.0f;
        sp_osc_compute(bare.sp, oscillator, nullptr, &lfo);
        panner->pan = 2.0f * lfo - 1.0f;
        sp_panst_compute(bare.sp, panner, inLeft, inRight, outLeft, outRight);
    });
    sp_osc_destroy(&oscillator);
    sp_panst_destroy(&panner);
    sp_ftbl_destroy(&table);
}

void bareBalancer(benchmark::State& state, std::vector<float>) {
    BareModules bare;
    sp_bal* balancer = nullptr;
    sp_bal_create(&balancer);
    sp_bal_init(bare.sp, balancer);
    bare.run(state, [&](float* inLeft, float* inRight, float* outLeft, float* outRight) {
        sp_bal_compute(bare.sp, balancer, inLeft, inLeft, outLeft);
        sp_bal_compute(bare.sp, balancer, inRight, inRight, outRight);
    });
    sp_bal_destroy(&balancer);
}

void bareConvolution(benchmark::State& state, std::vector<float>) {
    BareModules bare;
    sp_ftbl* table = bareTable(bare.sp, effecttest::noise(44100, 9u));
    sp_conv* convolutions[2] = {};
    for (auto*& convolution : convolutions) {
        sp_conv_create(&convolution);
        sp_conv_init(bare.sp, convolution, table, 2048.0f);
    }
    bare.run(state, [&](float* inLeft, float* inRight, float* outLeft, float* outRight) {
        sp_conv_compute(bare.sp, convolutions[0], inLeft, outLeft);
        sp_conv_compute(bare.sp, convolutions[1], inRight, outRight);
    });
    for (auto*& convolution : convolutions)
        sp_conv_destroy(&convolution);
    sp_ftbl_destroy(&table);
}

void bareTremolo(benchmark::State& state, std::vector<float> defaults) {
    BareModules bare;
    sp_ftbl* table = bareTable(bare.sp, effecttest::liftedSine());
    sp_dynamicosc* oscillator = nullptr;
    sp_dynamicosc_create(&oscillator);
    sp_dynamicosc_init(bare.sp, oscillator, 0.0f);
    oscillator->frequency = defaults[0];
    oscillator->amp = defaults[1];
    bare.run(state, [&](float*, float*, float* outLeft, float*) {
        sp_dynamicosc_compute(bare.sp, oscillator, table, nullptr, outLeft, 1);
    });
    sp_dynamicosc_destroy(&oscillator);
    sp_ftbl_destroy(&table);
}

using BareBenchmark = void (*)(benchmark::State&, std::vector<float>);

const std::map<std::string, BareBenchmark>& bareBenchmarks() {
    static const std::map<std::string, BareBenchmark> benchmarks{
        {"adsr", bareEnvelope},
        {"apan", bareAutoPanner},
        {"awah", barePair<rows::AutoWah>},
        {"blnc", bareBalancer},
        {"btbp", barePair<rows::BandPassButterworthFilter>},
        {"btbr", barePair<rows::BandRejectButterworthFilter>},
        {"btcr", barePair<rows::BitCrusher>},
        {"jcrv", barePair<rows::ChowningReverb>},
        {"clip", barePair<rows::Clipper>},
        {"comb", barePair<rows::CombFilterReverb>},
        {"conv", bareConvolution},
        {"rvsc", bareStereo<rows::CostelloReverb>},
        {"dcbk", barePair<rows::DCBlock>},
        {"diod", barePair<rows::DiodeLadderFilter>},
        {"cpsr", barePair<rows::DynamicRangeCompressor>},
        {"eqfl", barePair<rows::EqualizerFilter>},
        {"alps", barePair<rows::FlatFrequencyResponseReverb>},
        {"fofi", barePair<rows::FormantFilter>},
        {"bthp", barePair<rows::HighPassButterworthFilter>},
        {"peq2", barePair<rows::HighShelfParametricEqualizerFilter>},
        {"klpf", barePair<rows::KorgLowPassFilter>},
        {"btlp", barePair<rows::LowPassButterworthFilter>},
        {"peq1", barePair<rows::LowShelfParametricEqualizerFilter>},
        {"modf", barePair<rows::ModalResonanceFilter>},
        {"mgld", barePair<rows::MoogLadder>},
        {"pan2", bareStereo<rows::Panner>},
        {"peq0", barePair<rows::PeakingParametricEqualizerFilter>},
        {"phas", bareStereo<rows::Phaser>},
        {"pshf", barePair<rows::PitchShifter>},
        {"resn", barePair<rows::ResonantFilter>},
        {"tb3f", barePair<rows::RolandTB303Filter>},
        {"stre", barePair<rows::StringResonator>},
        {"dist", barePair<rows::TanhDistortion>},
        {"lp18", barePair<rows::ThreePoleLowpassFilter>},
        {"aton", barePair<rows::ToneComplementFilter>},
        {"tone", barePair<rows::ToneFilter>},
        {"trem", bareTremolo},
        {"vdla", barePair<rows::VariableDelay>},
        {"zita", bareStereo<rows::ZitaReverb>},
    };
    return benchmarks;
}

// The least of the repetitions: the machine is shared, and other load only ever adds time.
benchmark::internal::Benchmark* withMinimum(benchmark::internal::Benchmark* benchmark) {
    return benchmark->ComputeStatistics("min", [](const std::vector<double>& values) {
        return *std::min_element(values.begin(), values.end());
    });
}

// Google Benchmark's own registration runs at load as well; these are made the same way.
const bool effectBenchmarksRegistered = [] {
    for (const effecttest::KernelRow& row : effecttest::effectKernelRows()) {
        std::vector<float> defaults;
        for (const auto& parameter : row.parameters)
            defaults.push_back(parameter.second);
        withMinimum(benchmark::RegisterBenchmark((std::string("kernel/") + row.code).c_str(),
                                                 renderKernelUnit, std::string(row.code), defaults));
        withMinimum(benchmark::RegisterBenchmark((std::string("module/") + row.code).c_str(),
                                                 bareBenchmarks().at(row.code), defaults));
    }
    const std::vector<std::pair<std::string, std::vector<float>>> bridgeKernels{
        {"fder", {1.0f, 1.0f, 0.0f, 0.0f}}, {"sflm", {1.0f}}, {"dwmx", {0.5f}}, {"dwm2", {0.5f, 0.5f}}};
    for (const auto& [code, defaults] : bridgeKernels)
        withMinimum(
            benchmark::RegisterBenchmark(("kernel/" + code).c_str(), renderKernelUnit, code, defaults));
    return true;
}();

} // namespace

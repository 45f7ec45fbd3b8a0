#include "Sigpro/kernels/HighShelfParametricEqualizerFilterDSP.h"

#include "RozezEruEX/DSPRegistry.h"

namespace sigpro {

namespace {
constexpr float highShelfMode = 2.0f;
} // namespace

HighShelfParametricEqualizerFilterDSP::HighShelfParametricEqualizerFilterDSP() : SigproDSPBase(1, true) {
    parameters[centerFrequencyAddress] = &centerFrequencyRamp;
    parameters[gainAddress] = &gainRamp;
    parameters[qAddress] = &qRamp;
}

HighShelfParametricEqualizerFilterDSP::~HighShelfParametricEqualizerFilterDSP() {
    destroyEqualizers();
}

void HighShelfParametricEqualizerFilterDSP::init(int channelCount, double sampleRate) {
    SigproDSPBase::init(channelCount, sampleRate);
    destroyEqualizers();
    // Two channels whatever the channel count: the hosting unit's busses are stereo.
    sp_pareq_create(&leftEqualizer);
    sp_pareq_init(sp, leftEqualizer);
    sp_pareq_create(&rightEqualizer);
    sp_pareq_init(sp, rightEqualizer);
    // sp_pareq_init selects the peaking shape; the shelf has to be chosen again after every init.
    leftEqualizer->mode = highShelfMode;
    rightEqualizer->mode = highShelfMode;
}

void HighShelfParametricEqualizerFilterDSP::deinit() {
    SigproDSPBase::deinit();
    destroyEqualizers();
}

void HighShelfParametricEqualizerFilterDSP::reset() {
    if (!isInitialized || !leftEqualizer) return;
    sp_pareq_init(sp, leftEqualizer);
    sp_pareq_init(sp, rightEqualizer);
    leftEqualizer->mode = highShelfMode;
    rightEqualizer->mode = highShelfMode;
}

void HighShelfParametricEqualizerFilterDSP::destroyEqualizers() {
    if (leftEqualizer) sp_pareq_destroy(&leftEqualizer);
    if (rightEqualizer) sp_pareq_destroy(&rightEqualizer);
}

void HighShelfParametricEqualizerFilterDSP::process(FrameRange range) {
    if (range.count == 0 || !leftEqualizer) return;
    // Only the channels present are touched (a mono list, say); a missing input is silence.
    const rozezeru::AudioBufferList* input = inputBufferLists[0];
    rozezeru::AudioBufferList& output = *outputBufferList;
    const float* inLeft = input && input->numberBuffers > 0 ? input->floatData(0) : nullptr;
    const float* inRight = input && input->numberBuffers > 1 ? input->floatData(1) : nullptr;
    float* outLeft = output.numberBuffers > 0 ? output.floatData(0) : nullptr;
    float* outRight = output.numberBuffers > 1 ? output.floatData(1) : nullptr;

    const std::uint32_t end = range.start + range.count;
    for (std::uint32_t frame = range.start; frame < end; ++frame) {
        const float frequency = centerFrequencyRamp.nextValue();
        leftEqualizer->frequency = rightEqualizer->frequency = frequency;
        const float gain = gainRamp.nextValue();
        leftEqualizer->gain = rightEqualizer->gain = gain;
        const float q = qRamp.nextValue();
        leftEqualizer->q = rightEqualizer->q = q;

        // Copied out before either module writes, so processing in place is safe.
        float left = inLeft ? inLeft[frame] : 0.0f;
        float right = inRight ? inRight[frame] : 0.0f;
        if (outLeft) sp_pareq_compute(sp, leftEqualizer, &left, outLeft + frame);
        if (outRight) sp_pareq_compute(sp, rightEqualizer, &right, outRight + frame);
    }
}

void registerHighShelfParametricEqualizerFilterDSP() {
    rozezeru::registerDSP<HighShelfParametricEqualizerFilterDSP>(
        "peq2",
        {"HighShelfParametricEqualizerFilterParameterCenterFrequency",
         "HighShelfParametricEqualizerFilterParameterGain", "HighShelfParametricEqualizerFilterParameterQ"});
}

} // namespace sigpro

// The stretchers of the time-pitch unit: made and primed on the configuring thread (they allocate),
// where the unit keeps a spare one ready, which the render thread takes up by an atomic exchange.

#include "platform/audio/TimePitchKernel.h"

namespace platform {

double TimePitchStretcher::ratioFor(bool finer, double ratio) {
    if (finer) return std::clamp(ratio, 1.0 / timePitchMaximumRatio, timePitchMaximumRatio);
    if (ratio == 1.0) return timePitchFasterUnity;
    return std::clamp(ratio, 1.0 / timePitchFasterMaximumRatio, timePitchFasterMaximumRatio);
}

std::unique_ptr<TimePitchStretcher> TimePitchStretcher::make(TimePitchEngine engine, std::size_t channels,
                                                             double sampleRate, double wanted) {
    auto stretcher = std::make_unique<TimePitchStretcher>();
    const bool finer = engine != TimePitchEngine::faster;
    stretcher->engine = engine;
    stretcher->finer = finer;
    stretcher->channels = channels;
    const RubberBandStretcher::Options options =
        RubberBandStretcher::OptionProcessRealTime |
        (finer ? RubberBandStretcher::OptionEngineFiner : RubberBandStretcher::OptionEngineFaster) |
        (engine == TimePitchEngine::finerShortWindow ? RubberBandStretcher::OptionWindowShort
                                                     : RubberBandStretcher::OptionWindowStandard);
    stretcher->rubberBand =
        std::make_unique<RubberBandStretcher>(std::size_t(std::lround(sampleRate)), channels, options);
    RubberBandStretcher& band = *stretcher->rubberBand;
    band.setMaxProcessSize(timePitchBlock);
    // Run a block of silence through at both ends of the ratio range, so that every buffer has
    // grown to its largest size before the render thread uses it; reset keeps the buffers.
    std::vector<float> silence(timePitchBlock, 0.0f);
    std::vector<float> sink(1 << 16);
    std::vector<const float*> in(channels, silence.data());
    std::vector<float*> out(channels, sink.data());
    const double top = finer ? timePitchMaximumRatio : timePitchFasterMaximumRatio;
    for (double primingRatio : {top, 1.0 / top, ratioFor(finer, 1.0)}) {
        band.setTimeRatio(primingRatio);
        band.process(in.data(), timePitchBlock, false);
        while (band.available() > 0)
            band.retrieve(out.data(), std::min<std::size_t>(std::size_t(band.available()), sink.size()));
    }
    stretcher->prime(wanted);
    return stretcher;
}

void TimePitchStretcher::prime(double wanted) {
    RubberBandStretcher& band = *rubberBand;
    band.reset();
    primedRatio = ratioFor(wanted);
    band.setTimeRatio(primedRatio);
    startPad = band.getPreferredStartPad();
    startDelay = band.getStartDelay();
    std::vector<float> silence(timePitchBlock, 0.0f);
    std::vector<float> sink(timePitchStepOutput);
    std::vector<const float*> in(channels, silence.data());
    std::vector<float*> out(channels, sink.data());
    std::size_t dropped = 0;
    for (std::size_t done = 0; done < startPad;) {
        const std::size_t run = std::min(timePitchBlock, startPad - done);
        band.process(in.data(), run, false);
        done += run;
        while (band.available() > 0) {
            const std::size_t count = std::min<std::size_t>(std::size_t(band.available()), sink.size());
            band.retrieve(out.data(), count);
            dropped += count;
        }
    }
    startDiscard = startDelay > dropped ? startDelay - dropped : 0;
    fresh = true;
}

} // namespace platform

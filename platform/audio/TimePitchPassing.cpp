// How the time-pitch kernel passes its input through (at rate 1 and pitch 0 with the latency kept,
// while a stretcher gets ready, and as silence while nothing audible comes in) and when it takes
// the stretcher up or leaves it. Render thread.

#include "platform/audio/TimePitchKernel.h"

namespace platform {

bool TimePitchKernel::stretchedAtUnity() const {
    if (!changes_.empty() || ratio_ != stretcher_->ratioFor(1.0) || scale_ != 1.0) return false;
    if (breakpoints_.empty()) return true;
    const Breakpoint& newest = breakpoints_.fromNewest(0);
    return newest.slope == 1.0 && heard_ >= newest.from;
}

void TimePitchKernel::chooseWay(bool unity) {
    if (mode_ == Mode::passing) {
        if (unity) {
            coverLimit_ = timePitchNoLimit;
            idle_ = false;
            idleRemainder_ = 0.0;
        } else if (!priming_ && fadeLeft_ == 0 && coverLimit_ == timePitchNoLimit &&
                   lastAudible_ <= passHeard_ && pulled_ > passHeard_) {
            // Nothing audible ahead: silence passes at the rate, as the stretcher would render it.
            idle_ = true;
        }
        if (priming_ && (unity || leaving_)) priming_ = flushing_ = false;
        return;
    }
    if (fadeLeft_ > 0) return;
    const double heard = heardInputFrame();
    const bool idle = heard >= double(lastAudible_) + timePitchIdleTail;
    if (!(idle || leaving_ || (unity && stretchedAtUnity()))) return;
    auto at = std::int64_t(std::llround(heard));
    if (!input_.holds(at)) {
        // Far beyond rate 1 the input being heard may be gone: another engine then starts from the
        // oldest input kept.
        if (!leaving_) return;
        at = input_.begin();
    }
    // With a pitch shift the input must not be heard as it is: the unit waits in silence there.
    // Leaving for silence, the heard position goes on at the rate, as the stretched silence would.
    const bool coverAudible = cents_ == 0.0f || idle;
    mode_ = Mode::passing;
    idle_ = idle && !unity;
    idleRemainder_ = 0.0;
    if (idle_) {
        passHeard_ = std::int64_t(std::floor(heard));
        idleRemainder_ = heard - std::floor(heard);
    } else {
        passHeard_ = alignedWithStretched(at);
    }
    keptLatency_ = pulled_ - passHeard_;
    coverLimit_ = coverAudible ? timePitchNoLimit : passHeard_;
    fadeLeft_ = timePitchCrossfade;
    fadeFromStretcher_ = true;
}

double TimePitchKernel::startLead(AUAudioFrameCount frames) const {
    const TimePitchStretcher& s = *stretcher_;
    const double ratio = wantedRatio();
    const double pipeline =
        preRollFrames() + double(s.startPad) + s.holdBeyondPad(ratio) +
        (double(s.startDelay) + double(frames) + timePitchMargin + double(timePitchCrossfade)) / ratio;
    return timePitchScale(cents_) * pipeline / catchUpPerFrame();
}

void TimePitchKernel::startStretcher(AUAudioFrameCount frames) {
    const std::int64_t audible = std::max(passHeard_, audibleFrom_);
    const double lead = startLead(frames) + flushLead();
    std::int64_t start = audible;
    // Audio already heard as it is (a key changed while it plays) goes on until the stretcher takes
    // over across the crossfade: waiting in silence would be a gap. Only a start (after a seek or a
    // load) must not let shifted audio be heard unshifted first.
    const bool heardAsItIs = !idle_ && passHeard_ > audibleFrom_;
    if (coverLimit_ != timePitchNoLimit) {
        start = coverLimit_;
    } else if (double(audible) - heardInputFrame() >= lead * passSlope()) {
        coverLimit_ = audible;
    } else if ((cents_ == 0.0f || heardAsItIs) &&
               lead * (1.0 + catchUpPerFrame()) <= double(timePitchHistoryRoom)) {
        idle_ = false;
        idleRemainder_ = 0.0;
        start = passHeard_ + std::int64_t(std::ceil(lead));
    } else {
        coverLimit_ = audible;
    }
    // Started within the audio, a stretcher takes in some of it first: its output swells in over
    // its window, and that part is dropped.
    const std::int64_t preRoll = coverLimit_ == timePitchNoLimit ? std::int64_t(preRollFrames()) : 0;
    primeStart_ = start;
    feed_ = std::max(start - preRoll, input_.begin());
    priming_ = true;
    if (stretcher_->fresh) {
        beginFresh();
    } else if (silentEnough()) {
        splice();
    } else {
        flushing_ = true;
    }
}

void TimePitchKernel::beginFresh() {
    TimePitchStretcher& s = *stretcher_;
    s.fresh = false;
    stretcherInput_ = 0;
    lastAudibleFed_ = -timePitchFlushLength;
    heard_ = 0.0;
    discard_ = s.startDiscard;
    output_.clear();
    changes_.clear();
    breakpoints_.clear();
    scale_ = timePitchScale(cents_);
    resampling_ = scale_ != 1.0;
    src_reset(resampler_);
    src_set_ratio(resampler_, 1.0 / scale_);
    breakpoints_.push({0.0, double(feed_), scale_});
    ratio_ = wantedRatio();
    if (ratio_ != s.primedRatio) s.rubberBand->setTimeRatio(ratio_);
    slope_ = 1.0 / ratio_;
}

void TimePitchKernel::splice() {
    applySettings();
    const double at = double(stretcherInput_);
    dropStretchedBefore(at);
    src_reset(resampler_);
    breakpoints_.push({at, double(feed_), scale_});
}

void TimePitchKernel::passThrough(float* const* out, std::uint32_t buffers, std::size_t offset,
                                  std::size_t frames) {
    if (idle_) {
        // The input is silent here: silence, with the heard position moving at the rate.
        const double heard =
            std::min(heardInputFrame() + double(rate_) * double(frames), double(coverLimit_));
        passHeard_ = std::int64_t(std::floor(heard));
        idleRemainder_ = heard - std::floor(heard);
        for (std::uint32_t c = 0; c < buffers; ++c)
            std::memset(out[c] + offset, 0, frames * sizeof(float));
    } else {
        passRaw(out, buffers, offset, frames);
    }
    blendOutStretched(out, buffers, offset, frames);
}

void TimePitchKernel::passRaw(float* const* out, std::uint32_t buffers, std::size_t offset,
                              std::size_t frames) {
    const std::int64_t limit = std::min(coverLimit_, input_.end());
    const auto passed = std::size_t(std::clamp<std::int64_t>(limit - passHeard_, 0, std::int64_t(frames)));
    input_.copy(passHeard_, passed, out, offset);
    for (std::uint32_t c = 0; c < buffers; ++c)
        std::memset(out[c] + offset + passed, 0, (frames - passed) * sizeof(float));
    passHeard_ += std::int64_t(passed);
}

} // namespace platform

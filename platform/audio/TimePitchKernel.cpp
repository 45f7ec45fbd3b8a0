// The time-pitch kernel's steady cycle, on the render thread (its constructor on the configuring
// thread): pull the input, feed the stretcher, deliver the stretched output and keep the books
// that tie what is heard to the input it came from.

#include "platform/audio/TimePitchKernel.h"

namespace platform {

TimePitchKernel::TimePitchKernel(std::size_t channels, double sampleRate, AUAudioFrameCount maximumFrames,
                                 AUAudioFrameCount maximumPull)
    : channels_(channels), sampleRate_(sampleRate) {
    input_.reset(channels, std::size_t(maximumPull) + timePitchMaximumStep + timePitchHistoryRoom);
    output_.reset(channels, 2 * std::size_t(maximumFrames) + timePitchStepOutput + timePitchBurst +
                                std::size_t(timePitchMargin) + timePitchCrossfade);
    staging_.assign(channels, std::vector<float>(timePitchBlock, 0.0f));
    scratch_.assign(channels, std::vector<float>(timePitchStepOutput, 0.0f));
    fading_.assign(channels, std::vector<float>(std::max<std::size_t>(maximumFrames, 1), 0.0f));
    alignStretched_.assign(
        channels, std::vector<float>(timePitchCrossfade + 2 * std::size_t(timePitchAlignWindow), 0.0f));
    alignInput_.assign(channels,
                       std::vector<float>(timePitchCrossfade + 2 * std::size_t(timePitchAlignWindow), 0.0f));
    silence_.assign(timePitchBlock, 0.0f);
    interleavedIn_.assign(channels * timePitchMaximumStep, 0.0f);
    interleavedOut_.assign(channels * timePitchBlock, 0.0f);
    int error = 0;
    resampler_ = src_new(SRC_SINC_MEDIUM_QUALITY, int(channels), &error);
}

std::unique_ptr<TimePitchStretcher>
TimePitchKernel::swapStretcher(std::unique_ptr<TimePitchStretcher> incoming) {
    std::swap(stretcher_, incoming);
    leaving_ = false;
    return incoming;
}

void TimePitchKernel::restart() {
    mode_ = Mode::passing;
    passHeard_ = pulled_;
    idle_ = false;
    idleRemainder_ = 0.0;
    input_.restartAt(pulled_);
    keptLatency_ = 0;
    coverLimit_ = timePitchNoLimit;
    priming_ = flushing_ = recovering_ = false;
    fadeLeft_ = 0;
    lastAudible_ = audibleFrom_ = pulled_ - timePitchRunGap;
    correction_ = pullRemainder_ = 0.0;
}

RenderStatus TimePitchKernel::render(AUAudioFrameCount frames, AudioBufferList& output,
                                     const AudioUnitPullInput& source, float rate, float cents,
                                     std::uint64_t& underruns) {
    rate_ = rate;
    cents_ = cents;
    const bool unity = rate == 1.0f && cents == 0.0f;
    // A stretcher getting ready keeps the settings it started with: a change in its first frames
    // reaches Rubber Band's output later than its start pad says. The change follows at the switch.
    if (mode_ == Mode::stretching) applySettings();
    chooseWay(unity);
    const RenderStatus status = pull(frames, source);
    if (mode_ == Mode::passing && !priming_ && !unity && !leaving_ && fadeLeft_ == 0 &&
        lastAudible_ > passHeard_)
        startStretcher(frames);
    feed(frames);
    deliver(frames, output, underruns);
    if (mode_ == Mode::stretching) regulate(frames);
    forget();
    rendered_ += frames;
    return status;
}

void TimePitchKernel::applySettings() {
    const double scale = timePitchScale(cents_);
    if (scale != scale_) {
        const bool resampling = scale != 1.0;
        const double t = double(stretcherInput_);
        // Turning the pitch stage on or off drops what it holds: the input continues from the next
        // frame not yet taken.
        const double position = resampling != resampling_ ? double(feed_) : breakpoints_.position(t);
        if (resampling && !resampling_) src_reset(resampler_);
        if (resampling) src_set_ratio(resampler_, 1.0 / scale);
        breakpoints_.push({t, position, scale});
        scale_ = scale;
        resampling_ = resampling;
    }
    const double ratio = wantedRatio();
    if (ratio != ratio_) {
        stretcher_->rubberBand->setTimeRatio(ratio);
        ratio_ = ratio;
        const double from = double(stretcherInput_) - double(stretcher_->startPad);
        if (changes_.size() == timePitchHistory) {
            slope_ = changes_.oldest().slope;
            changes_.popOldest();
        }
        changes_.push({from, 1.0 / ratio});
    }
}

RenderStatus TimePitchKernel::pull(AUAudioFrameCount frames, const AudioUnitPullInput& source) {
    std::int64_t count = 0;
    if (mode_ == Mode::passing) {
        // Keep the latency, and at least the lead a stretcher needs to start without a wait.
        const double slope = passSlope();
        keptLatency_ = std::max(keptLatency_, std::int64_t(std::ceil(startLead(frames) * slope)));
        count = passHeard_ + std::int64_t(std::ceil(double(frames) * slope + idleRemainder_)) + keptLatency_ -
                pulled_;
        if (priming_) count = std::max(count, feed_ + std::int64_t(catchUpBudget(frames)) - pulled_);
        pullRemainder_ = 0.0;
    } else {
        const double wanted = pullRemainder_ + double(frames) * (1.0 + correction_) / outputPerInput();
        count = wanted > 0.0 ? std::int64_t(wanted) : 0;
        pullRemainder_ = wanted - double(count);
        if (recovering_) count = std::max(count, feed_ + std::int64_t(catchUpBudget(frames)) - pulled_);
    }
    // At least a frame every cycle, so that the input's last render and this cycle's timing describe
    // the same cycle (see StretchTiming); never over input still to be stretched or heard.
    const std::int64_t room = std::int64_t(input_.capacity()) - (pulled_ - firstNeeded(false));
    count = std::min({std::max<std::int64_t>(count, 1), room, std::int64_t(timePitchPullLimit(frames))});
    if (count <= 0) return RenderStatus::success;
    const AudioBufferList* data = nullptr;
    const RenderStatus status = source.pull(0, AUAudioFrameCount(count), data);
    std::array<const float*, AudioFormat::maxChannels> channels{};
    const std::size_t available = data ? std::min<std::size_t>(data->numberBuffers, channels_) : 0;
    for (std::size_t c = 0; c < available; ++c)
        channels[c] = data->floatData(std::uint32_t(c));
    noteAudible(channels.data(), available, std::size_t(count));
    input_.append(channels.data(), available, std::size_t(count));
    pulled_ += count;
    return status == RenderStatus::error ? RenderStatus::error : RenderStatus::success;
}

void TimePitchKernel::noteAudible(const float* const* channels, std::size_t available, std::size_t frames) {
    std::int64_t first = -1, last = -1;
    for (std::size_t c = 0; c < available; ++c) {
        const float* samples = channels[c];
        if (!samples) continue;
        for (std::size_t i = 0; i < frames; ++i)
            if (std::abs(samples[i]) > timePitchAudible) {
                if (first < 0 || std::int64_t(i) < first) first = std::int64_t(i);
                break;
            }
        for (std::size_t i = frames; i-- > 0;)
            if (std::abs(samples[i]) > timePitchAudible) {
                last = std::max(last, std::int64_t(i));
                break;
            }
    }
    if (first < 0) return;
    if (pulled_ + first - lastAudible_ >= timePitchRunGap) audibleFrom_ = pulled_ + first;
    lastAudible_ = pulled_ + last + 1;
}

void TimePitchKernel::feed(AUAudioFrameCount frames) {
    if (mode_ == Mode::passing && !priming_) return;
    // Stretching, a steady cycle's input, and beyond it a little of what waited from the time the
    // input passed through (a catch-up's share when the output runs low).
    std::size_t budget = catchUpBudget(frames);
    if (mode_ == Mode::stretching) {
        const bool low = recovering_ || double(output_.size()) < double(frames) + timePitchMargin / 2.0;
        if (!low)
            budget = std::size_t(std::ceil(double(budget) * timePitchBacklogShare / timePitchCatchUpShare));
        budget +=
            std::size_t(std::ceil(double(frames) * (1.0 + timePitchMaximumCorrection) / outputPerInput()));
    }
    if (flushing_) {
        // A used stretcher first takes in silence until nothing of its old audio is left in it.
        std::array<const float*, AudioFormat::maxChannels> pad{};
        for (std::size_t c = 0; c < channels_; ++c)
            pad[c] = silence_.data();
        while (budget > 0 && !silentEnough()) {
            const std::size_t run =
                std::min({budget, timePitchMaximumStep,
                          std::size_t(timePitchFlushLength - (stretcherInput_ - lastAudibleFed_))});
            stretcher_->rubberBand->process(pad.data(), run, false);
            stretcherInput_ += std::int64_t(run);
            stretched_ += run;
            budget -= run;
            collect();
        }
        if (!silentEnough()) return;
        flushing_ = false;
        splice();
    }
    const bool gettingReady = mode_ == Mode::passing;
    std::array<float*, AudioFormat::maxChannels> staging{};
    for (std::size_t c = 0; c < channels_; ++c)
        staging[c] = staging_[c].data();
    const double perInput = outputPerInput();
    const std::size_t step = std::clamp<std::size_t>(std::size_t(double(timePitchStepOutput) / perInput), 16,
                                                     timePitchMaximumStep);
    while (feed_ < pulled_ && budget > 0) {
        if (gettingReady) {
            if (discard_ == 0) dropStretchedBefore(breakpoints_.stretcherPosition(double(primeStart_)));
            if (double(output_.size()) >= double(frames) + timePitchMargin + timePitchCrossfade) break;
        }
        const std::size_t count = std::min({step, std::size_t(pulled_ - feed_), budget});
        if (double(output_.space()) < double(count) * perInput + double(timePitchBurst)) break;
        input_.copy(feed_, count, staging.data(), 0);
        const bool audible = feed_ < lastAudible_;
        feed_ += std::int64_t(count);
        budget -= count;
        if (!resampling_) {
            process(count);
        } else {
            resample(count);
        }
        if (audible) lastAudibleFed_ = stretcherInput_;
    }
}

void TimePitchKernel::resample(std::size_t count) {
    float* interleaved = interleavedIn_.data();
    for (std::size_t i = 0; i < count; ++i)
        for (std::size_t c = 0; c < channels_; ++c)
            *interleaved++ = staging_[c][i];
    SRC_DATA data{};
    data.data_in = interleavedIn_.data();
    data.input_frames = long(count);
    data.data_out = interleavedOut_.data();
    data.output_frames = long(timePitchBlock);
    data.src_ratio = 1.0 / scale_;
    while (data.input_frames > 0) {
        if (src_process(resampler_, &data) != 0) break;
        const std::size_t made = std::size_t(data.output_frames_gen);
        const float* from = interleavedOut_.data();
        for (std::size_t i = 0; i < made; ++i)
            for (std::size_t c = 0; c < channels_; ++c)
                staging_[c][i] = *from++;
        if (made > 0) process(made);
        if (data.input_frames_used == 0 && made == 0) break;
        data.data_in += data.input_frames_used * long(channels_);
        data.input_frames -= data.input_frames_used;
    }
}

void TimePitchKernel::process(std::size_t frames) {
    std::array<const float*, AudioFormat::maxChannels> in{};
    for (std::size_t c = 0; c < channels_; ++c)
        in[c] = staging_[c].data();
    stretcher_->rubberBand->process(in.data(), frames, false);
    stretcherInput_ += std::int64_t(frames);
    stretched_ += frames;
    collect();
}

void TimePitchKernel::collect() {
    RubberBandStretcher& band = *stretcher_->rubberBand;
    std::array<float*, AudioFormat::maxChannels> scratch{};
    std::array<const float*, AudioFormat::maxChannels> kept{};
    for (int ready = band.available(); ready > 0; ready = band.available()) {
        const std::size_t count = std::min<std::size_t>(std::size_t(ready), timePitchStepOutput);
        for (std::size_t c = 0; c < channels_; ++c)
            scratch[c] = scratch_[c].data();
        band.retrieve(scratch.data(), count);
        const std::size_t skip = std::min(discard_, count);
        discard_ -= skip;
        for (std::size_t c = 0; c < channels_; ++c)
            kept[c] = scratch_[c].data() + skip;
        output_.write(kept.data(), channels_, count - skip);
    }
}

double TimePitchKernel::stretchedFramesBefore(double t) const {
    double frames = 0.0;
    double at = heard_;
    double slope = slope_;
    for (std::size_t i = 0; i < changes_.size(); ++i) {
        const RatioChange& change = changes_.fromOldest(i);
        if (change.from > at) {
            if (t <= change.from) break;
            frames += (change.from - at) / slope;
            at = change.from;
        }
        slope = change.slope;
    }
    if (t > at) frames += (t - at) / slope;
    return frames;
}

void TimePitchKernel::dropStretchedBefore(double t) {
    const auto frames = std::size_t(std::max(0.0, std::round(stretchedFramesBefore(t))));
    const std::size_t stored = output_.skip(frames);
    discard_ += frames - stored;
    advance(frames);
}

void TimePitchKernel::deliver(AUAudioFrameCount frames, AudioBufferList& output, std::uint64_t& underruns) {
    std::array<float*, AudioFormat::maxChannels> out{};
    for (std::uint32_t c = 0; c < output.numberBuffers; ++c) {
        out[c] = output.floatData(c);
        output.buffers[c].dataByteSize = frames * sizeof(float);
    }
    std::size_t from = 0;
    if (mode_ == Mode::passing) {
        std::size_t until = frames;
        if (priming_ && stretchedReady(frames)) {
            // The stretched output starts at the start, or where the input passed through is.
            dropStretchedBefore(
                breakpoints_.stretcherPosition(std::max(heardInputFrame(), double(primeStart_))));
            const double distance = (double(primeStart_) - heardInputFrame()) / passSlope();
            if (stretchedReady(frames) && distance <= 0.0)
                until = 0;
            else if (stretchedReady(frames) && distance < double(frames))
                until = std::size_t(std::ceil(distance));
        }
        passThrough(out.data(), output.numberBuffers, 0, until);
        if (until == frames) return;
        // The stretcher takes over: across a crossfade from the input passed through, or at once
        // where the unit was waiting in silence.
        mode_ = Mode::stretching;
        priming_ = false;
        recovering_ = false;
        fadeFromStretcher_ = false;
        fadeLeft_ = coverLimit_ == timePitchNoLimit && !idle_ ? timePitchCrossfade : 0;
        idle_ = false;
        idleRemainder_ = 0.0;
        fadePosition_ = passHeard_;
        if (fadeLeft_ > 0) alignStretchedWith(passHeard_);
        coverLimit_ = timePitchNoLimit;
        from = until;
    }
    playStretched(out.data(), output.numberBuffers, from, frames - from, underruns);
}

void TimePitchKernel::playStretched(float* const* out, std::uint32_t buffers, std::size_t offset,
                                    std::size_t frames, std::uint64_t& underruns) {
    if (recovering_ && double(output_.size()) >= double(frames) + timePitchMargin) recovering_ = false;
    std::size_t played = 0;
    if (!recovering_) {
        std::array<float*, AudioFormat::maxChannels> at{};
        for (std::uint32_t c = 0; c < buffers; ++c)
            at[c] = out[c] + offset;
        played = output_.read(at.data(), 0, frames);
        advance(played);
        if (played < frames) {
            // Ran dry: wait until the margin is back rather than stutter.
            ++underruns;
            recovering_ = true;
        }
    }
    for (std::uint32_t c = 0; c < buffers; ++c)
        std::memset(out[c] + offset + played, 0, (frames - played) * sizeof(float));
    if (fadeLeft_ == 0 || fadeFromStretcher_) return;
    const std::size_t blended = std::min(frames, fadeLeft_);
    const auto passed =
        std::size_t(std::clamp<std::int64_t>(input_.end() - fadePosition_, 0, std::int64_t(blended)));
    input_.copy(fadePosition_, passed, pointers(fading_).data(), 0);
    for (std::size_t c = 0; c < std::min<std::size_t>(buffers, channels_); ++c)
        for (std::size_t k = 0; k < blended; ++k) {
            const float in = timePitchFadeIn(timePitchCrossfade - fadeLeft_ + k);
            const float old = k < passed ? fading_[c][k] : 0.0f;
            out[c][offset + k] = in * out[c][offset + k] + (1.0f - in) * old;
        }
    fadePosition_ += std::int64_t(blended);
    fadeLeft_ -= blended;
}

void TimePitchKernel::advance(std::size_t frames) {
    double left = double(frames);
    while (left > 0.0) {
        if (changes_.empty()) {
            heard_ += left * slope_;
            return;
        }
        const RatioChange& change = changes_.oldest();
        const double until = (change.from - heard_) / slope_;
        if (until <= 0.0) {
            slope_ = change.slope;
            changes_.popOldest();
            continue;
        }
        const double step = std::min(left, std::ceil(until));
        heard_ += step * slope_;
        left -= step;
    }
}

void TimePitchKernel::regulate(AUAudioFrameCount frames) {
    const double error = timePitchMargin - inHand();
    const double beyond = error > timePitchDeadBand    ? error - timePitchDeadBand
                          : error < -timePitchDeadBand ? error + timePitchDeadBand
                                                       : 0.0;
    correction_ = std::clamp(timePitchGain * beyond / double(std::max<AUAudioFrameCount>(frames, 1)),
                             -timePitchMaximumCorrection, timePitchMaximumCorrection);
}

std::int64_t TimePitchKernel::firstNeeded(bool leaving) const {
    std::int64_t first = timePitchNoLimit;
    if (mode_ == Mode::passing && passHeard_ < coverLimit_) first = passHeard_;
    if (mode_ == Mode::stretching || priming_) first = std::min(first, feed_);
    if (mode_ == Mode::stretching && leaving)
        first = std::min(first, std::int64_t(std::floor(heardInputFrame())));
    if (fadeLeft_ > 0 && !fadeFromStretcher_) first = std::min(first, fadePosition_);
    return first == timePitchNoLimit ? input_.end() : first;
}

} // namespace platform

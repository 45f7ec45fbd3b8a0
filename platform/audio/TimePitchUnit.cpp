#include "platform/audio/TimePitchUnit.h"

#include "platform/audio/AudioFrameRing.h"
#include "platform/audio/StretchCycle.h"

#include <rubberband/RubberBandStretcher.h>
#include <samplerate.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

namespace platform {

namespace {

using RubberBand::RubberBandStretcher;

constexpr std::uint32_t timePitchFourCC(const char (&code)[5]) {
    return std::uint32_t(std::uint8_t(code[0])) << 24 | std::uint32_t(std::uint8_t(code[1])) << 16 |
           std::uint32_t(std::uint8_t(code[2])) << 8 | std::uint32_t(std::uint8_t(code[3]));
}

// Input frames taken from the input store per step: the stretched output of one step stays below
// timePitchStepOutput frames, and with the pitch stage's four-fold upsampling below timePitchBlock.
constexpr std::size_t timePitchMaximumStep = 1024;
constexpr std::size_t timePitchStepOutput = 4096;
// Rubber Band's process size limit (the pitch stage may add a few frames to 4 * 1024).
constexpr std::size_t timePitchBlock = 4096 + 64;
// Room kept in the output store for one step's output beyond its nominal size.
constexpr std::size_t timePitchBurst = 8192;
// Stretched frames kept in hand beyond one cycle, against the unevenness of the stretcher's output.
constexpr double timePitchMargin = 1024.0;
// Regulation of the input pull: a dead band, the share of the remaining error corrected per cycle and
// the largest deviation from the nominal rate.
constexpr double timePitchDeadBand = 256.0;
constexpr double timePitchGain = 0.2;
constexpr double timePitchMaximumCorrection = 0.1;
// Stretcher input pulled at a start beyond the estimate of what fills the stretcher.
constexpr double timePitchStartSafety = 1024.0;
// Room for that start beyond the steady pull.
constexpr double timePitchStartAllowance = 16384.0;
// Rubber Band's time ratio (rate and pitch combined) is kept within this with the finer engine, and
// within the smaller range with the faster one, which beyond it switches to longer windows and
// allocates on the render thread.
constexpr double timePitchMaximumRatio = 32.0;
constexpr double timePitchFasterMaximumRatio = 4.0;
// At a ratio of exactly 1 the faster engine takes a shortcut with 2048 frames less delay, and leaving
// it stalls the output; it never gets exactly 1.
constexpr double timePitchFasterUnity = 1.0 + 1.0 / 1048576.0;
// Changes waiting to reach the output and breakpoints of the pitch stage's timeline.
constexpr std::size_t timePitchHistory = 64;

// The most input frames a cycle of `frames` frames pulls.
AUAudioFrameCount timePitchPullLimit(AUAudioFrameCount frames) {
    const double most =
        std::ceil(double(frames) * timePitchMaximumRatio * (1.0 + timePitchMaximumCorrection)) +
        timePitchStartAllowance;
    return AUAudioFrameCount(std::min(most, double(TimePitchUnit::maximumInputFramesPerCycle)));
}

double timePitchScale(float cents) {
    return cents == 0.0f ? 1.0 : std::exp2(double(cents) / 1200.0);
}

} // namespace

// One Rubber Band stretcher with the facts the render thread needs about it.
struct TimePitchUnit::Stretcher {
    std::unique_ptr<RubberBandStretcher> rubberBand;
    bool finer = true;
    std::size_t startPad = 0;
    std::size_t startDelay = 0;

    // Rubber Band's time ratio for an output-to-input ratio.
    static double ratioFor(bool finer, double ratio) {
        if (finer) return std::clamp(ratio, 1.0 / timePitchMaximumRatio, timePitchMaximumRatio);
        if (ratio == 1.0) return timePitchFasterUnity;
        return std::clamp(ratio, 1.0 / timePitchFasterMaximumRatio, timePitchFasterMaximumRatio);
    }
    double ratioFor(double ratio) const { return ratioFor(finer, ratio); }
    // Stretcher input it holds beyond its start pad before output comes out: the faster engine keeps
    // more back than its reported start delay suggests.
    double holdBeyondPad(double ratio) const { return finer ? 0.0 : 1536.0 + 512.0 / ratio; }

    // Configuring thread: made, sized and primed, so that the render thread never makes it allocate.
    static std::unique_ptr<Stretcher> make(bool finer, std::size_t channels, double sampleRate,
                                           double wanted) {
        auto stretcher = std::make_unique<Stretcher>();
        stretcher->finer = finer;
        const RubberBandStretcher::Options options =
            RubberBandStretcher::OptionProcessRealTime |
            (finer ? RubberBandStretcher::OptionEngineFiner : RubberBandStretcher::OptionEngineFaster);
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
        band.reset();
        band.setTimeRatio(ratioFor(finer, wanted));
        stretcher->startPad = band.getPreferredStartPad();
        stretcher->startDelay = band.getStartDelay();
        return stretcher;
    }
};

// The render state: input store, pitch stage, stretcher, output store, and the books that tie what
// is rendered to where it came from. Made on the configuring thread; then used by the render thread
// only (or by the configuring thread while the render thread is shut out).
//
// Positions. I counts input frames pulled. The pitch stage turns input into stretcher input at pitch
// scale p (T counts stretcher input frames); a short history of breakpoints maps T back to input
// positions. Rubber Band, primed with its start pad and with its start delay cut from its output,
// renders output frame k from stretcher input k / ratio; a new ratio reaches the output at the
// stretcher input frame that the analysis had then reached (T - start pad). heard_ is the stretcher
// input position of the next frame to play.
class TimePitchUnit::Kernel {
public:
    Kernel(std::size_t channels, double sampleRate, AUAudioFrameCount maximumFrames,
           AUAudioFrameCount maximumPull)
        : channels_(channels), sampleRate_(sampleRate) {
        input_.reset(channels, std::size_t(maximumPull) + timePitchMaximumStep);
        output_.reset(channels, 2 * std::size_t(maximumFrames) + timePitchStepOutput + timePitchBurst +
                                    std::size_t(timePitchMargin));
        staging_.assign(channels, std::vector<float>(timePitchBlock, 0.0f));
        scratch_.assign(channels, std::vector<float>(timePitchStepOutput, 0.0f));
        silence_.assign(timePitchBlock, 0.0f);
        interleavedIn_.assign(channels * timePitchMaximumStep, 0.0f);
        interleavedOut_.assign(channels * timePitchBlock, 0.0f);
        int error = 0;
        resampler_ = src_new(SRC_SINC_MEDIUM_QUALITY, int(channels), &error);
    }
    ~Kernel() {
        if (resampler_) src_delete(resampler_);
    }
    Kernel(const Kernel&) = delete;
    Kernel& operator=(const Kernel&) = delete;

    bool valid() const { return resampler_ != nullptr; }
    double sampleRate() const { return sampleRate_; }
    std::int64_t inputFrames() const { return pulled_; }
    std::int64_t outputFrames() const { return rendered_; }

    std::unique_ptr<Stretcher> releaseStretcher() { return std::move(stretcher_); }

    // Takes up a stretcher and starts from silence at the current input position.
    void adopt(std::unique_ptr<Stretcher> stretcher, float rate, float cents) {
        stretcher_ = std::move(stretcher);
        restart(rate, cents);
    }

    void restart(float rate, float cents) {
        RubberBandStretcher& band = *stretcher_->rubberBand;
        band.reset();
        scale_ = timePitchScale(cents);
        resampling_ = scale_ != 1.0;
        src_reset(resampler_);
        src_set_ratio(resampler_, 1.0 / scale_);
        ratio_ = stretcher_->ratioFor(scale_ / double(rate));
        band.setTimeRatio(ratio_);
        input_.clear();
        output_.clear();
        started_ = false;
        primed_ = false;
        correction_ = 0.0;
        pullRemainder_ = 0.0;
        stretcherInput_ = 0;
        heard_ = 0.0;
        slope_ = 1.0 / ratio_;
        changes_.clear();
        breakpoints_.clear();
        breakpoints_.push({0.0, double(pulled_), scale_});
        discard_ = stretcher_->startDelay;
        std::array<const float*, AudioFormat::maxChannels> pad{};
        for (std::size_t c = 0; c < channels_; ++c)
            pad[c] = silence_.data();
        for (std::size_t done = 0; done < stretcher_->startPad;) {
            const std::size_t run = std::min(timePitchBlock, stretcher_->startPad - done);
            band.process(pad.data(), run, false);
            done += run;
        }
        collect();
    }

    // Render thread: a passed-through cycle.
    void countBypassed(AUAudioFrameCount frames) {
        pulled_ += frames;
        rendered_ += frames;
    }

    // The input position heard at the next output frame.
    double heardInputFrame() const { return breakpoints_.position(heard_); }

    // Render thread: one cycle at `rate` and `cents`.
    RenderStatus render(AUAudioFrameCount frames, AudioBufferList& output, const AudioUnitPullInput& source,
                        float rate, float cents, std::uint64_t& underruns) {
        applySettings(rate, cents);
        const RenderStatus status = pull(frames, source);
        stretch();
        deliver(frames, output, underruns);
        regulate(frames);
        rendered_ += frames;
        return status;
    }

private:
    // A change of the stretcher's ratio on its way to the output.
    struct RatioChange {
        double from = 0.0;  // stretcher input position where it applies
        double slope = 1.0; // stretcher input frames per output frame from there
    };
    // From stretcher input position `from` on, input position `position` + (t - from) * slope.
    struct Breakpoint {
        double from = 0.0;
        double position = 0.0;
        double slope = 1.0;
    };
    template <typename T> class History {
    public:
        void clear() { first_ = count_ = 0; }
        bool empty() const { return count_ == 0; }
        std::size_t size() const { return count_; }
        const T& oldest() const { return items_[first_]; }
        void popOldest() {
            first_ = (first_ + 1) % timePitchHistory;
            --count_;
        }
        // When full, the oldest entry goes.
        void push(const T& item) {
            if (count_ == timePitchHistory) popOldest();
            items_[(first_ + count_) % timePitchHistory] = item;
            ++count_;
        }
        const T& fromNewest(std::size_t back) const {
            return items_[(first_ + count_ - 1 - back) % timePitchHistory];
        }

    private:
        std::array<T, timePitchHistory> items_{};
        std::size_t first_ = 0;
        std::size_t count_ = 0;
    };
    struct Breakpoints : History<Breakpoint> {
        double position(double t) const {
            for (std::size_t back = 0; back < size(); ++back) {
                const Breakpoint& b = fromNewest(back);
                if (b.from <= t || back + 1 == size()) return b.position + (t - b.from) * b.slope;
            }
            return t;
        }
    };

    void applySettings(float rate, float cents) {
        const double scale = timePitchScale(cents);
        if (scale != scale_) {
            const bool resampling = scale != 1.0;
            const double t = double(stretcherInput_);
            // Turning the pitch stage on or off drops what it holds: the input continues from the next
            // frame not yet taken from the store.
            const double position = resampling != resampling_ ? double(pulled_ - std::int64_t(input_.size()))
                                                              : breakpoints_.position(t);
            if (resampling && !resampling_) src_reset(resampler_);
            if (resampling) src_set_ratio(resampler_, 1.0 / scale);
            breakpoints_.push({t, position, scale});
            scale_ = scale;
            resampling_ = resampling;
        }
        const double ratio = stretcher_->ratioFor(scale_ / double(rate));
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

    // Output frames per input frame taken from the store.
    double outputPerInput() const { return ratio_ / scale_; }

    RenderStatus pull(AUAudioFrameCount frames, const AudioUnitPullInput& source) {
        const double wanted = pullRemainder_ + double(frames) * (1.0 + correction_) / outputPerInput();
        std::size_t count = wanted > 0.0 ? std::size_t(wanted) : 0;
        pullRemainder_ = wanted - double(count);
        if (!started_) {
            // Take at once what fills the stretcher and the margin, so that the first output frame
            // plays the first input frame instead of the start being silent: after its start pad of
            // silence the stretcher wants about as much input again before its start delay comes out.
            const double pipeline = primed_ ? 0.0
                                            : double(stretcher_->startPad) +
                                                  stretcher_->holdBeyondPad(ratio_) + timePitchStartSafety;
            const double missing = double(discard_) + double(frames) + timePitchMargin - inHand();
            const double needed = scale_ * (pipeline + std::max(0.0, missing) / ratio_);
            count = std::max(count, std::size_t(std::ceil(needed)));
            primed_ = true;
        }
        count = std::min({count, input_.space(), std::size_t(timePitchPullLimit(frames))});
        if (count == 0) return RenderStatus::success;
        const AudioBufferList* data = nullptr;
        const RenderStatus status = source.pull(0, AUAudioFrameCount(count), data);
        std::array<const float*, AudioFormat::maxChannels> channels{};
        const std::size_t available = data ? std::min<std::size_t>(data->numberBuffers, channels_) : 0;
        for (std::size_t c = 0; c < available; ++c)
            channels[c] = data->floatData(std::uint32_t(c));
        input_.write(channels.data(), available, count);
        pulled_ += std::int64_t(count);
        return status == RenderStatus::error ? RenderStatus::error : RenderStatus::success;
    }

    // Feeds the stored input through the pitch stage and the stretcher while the output store has room.
    void stretch() {
        std::array<float*, AudioFormat::maxChannels> staging{};
        for (std::size_t c = 0; c < channels_; ++c)
            staging[c] = staging_[c].data();
        const double perInput = outputPerInput();
        const std::size_t step = std::clamp<std::size_t>(std::size_t(double(timePitchStepOutput) / perInput),
                                                         16, timePitchMaximumStep);
        while (input_.size() > 0) {
            const std::size_t count = std::min(step, input_.size());
            if (double(output_.space()) < double(count) * perInput + double(timePitchBurst)) break;
            input_.read(staging.data(), 0, count);
            if (!resampling_) {
                process(count);
                continue;
            }
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
    }

    void process(std::size_t frames) {
        std::array<const float*, AudioFormat::maxChannels> in{};
        for (std::size_t c = 0; c < channels_; ++c)
            in[c] = staging_[c].data();
        stretcher_->rubberBand->process(in.data(), frames, false);
        stretcherInput_ += std::int64_t(frames);
        collect();
    }

    // Moves what the stretcher has ready into the output store, less the start delay.
    void collect() {
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

    void deliver(AUAudioFrameCount frames, AudioBufferList& output, std::uint64_t& underruns) {
        std::array<float*, AudioFormat::maxChannels> out{};
        for (std::uint32_t c = 0; c < output.numberBuffers; ++c) {
            out[c] = output.floatData(c);
            output.buffers[c].dataByteSize = frames * sizeof(float);
        }
        if (!started_ && double(output_.size()) >= double(frames) + timePitchMargin) started_ = true;
        std::size_t played = 0;
        if (started_) {
            played = output_.read(out.data(), 0, frames);
            advance(played);
            if (played < frames) {
                // Ran dry: wait until the margin is back rather than stutter.
                ++underruns;
                started_ = false;
            }
        }
        for (std::uint32_t c = 0; c < output.numberBuffers; ++c)
            std::memset(out[c] + played, 0, (frames - played) * sizeof(float));
    }

    // Moves the heard position over `frames` played frames, letting ratio changes take over in turn.
    void advance(std::size_t frames) {
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

    // Output frames in hand: stretched, and still to stretch.
    double inHand() const { return double(output_.size()) + double(input_.size()) * outputPerInput(); }

    // Keeps what is in hand after a cycle near the margin by pulling a little more or less next time.
    void regulate(AUAudioFrameCount frames) {
        const double error = timePitchMargin - inHand();
        const double beyond = error > timePitchDeadBand    ? error - timePitchDeadBand
                              : error < -timePitchDeadBand ? error + timePitchDeadBand
                                                           : 0.0;
        correction_ = std::clamp(timePitchGain * beyond / double(std::max<AUAudioFrameCount>(frames, 1)),
                                 -timePitchMaximumCorrection, timePitchMaximumCorrection);
    }

    const std::size_t channels_;
    const double sampleRate_;
    std::unique_ptr<Stretcher> stretcher_;
    SRC_STATE* resampler_ = nullptr;
    AudioFrameRing input_;
    AudioFrameRing output_;
    std::vector<std::vector<float>> staging_;
    std::vector<std::vector<float>> scratch_;
    std::vector<float> silence_;
    std::vector<float> interleavedIn_;
    std::vector<float> interleavedOut_;

    double scale_ = 1.0;
    bool resampling_ = false;
    double ratio_ = 1.0;
    bool started_ = false;
    bool primed_ = false;
    double correction_ = 0.0;
    double pullRemainder_ = 0.0;
    std::size_t discard_ = 0;

    std::int64_t pulled_ = 0;
    std::int64_t rendered_ = 0;
    std::int64_t stretcherInput_ = 0;
    double heard_ = 0.0;
    double slope_ = 1.0;
    History<RatioChange> changes_;
    Breakpoints breakpoints_;
};

// The unit ------------------------------------------------------------------------------------------

AudioComponentDescription TimePitchUnit::componentDescription() {
    return {timePitchFourCC("aufc"), timePitchFourCC("tmpt"), timePitchFourCC("appl"), 0, 0};
}

TimePitchUnit::TimePitchUnit(const AudioComponentDescription& description)
    : AudioUnit(description, 1, 1, *AudioFormat::standard(44100.0, 2)) {
    const AudioUnitParameterOptions flags =
        AudioUnitParameterFlag::isReadable | AudioUnitParameterFlag::isWritable;
    rateParameter_ = AUParameterTree::createParameter("rate", "Rate", rateAddress, minimumRate, maximumRate,
                                                      AudioUnitParameterUnit::rate, flags);
    pitchParameter_ = AUParameterTree::createParameter("pitch", "Pitch", pitchAddress, minimumPitch,
                                                       maximumPitch, AudioUnitParameterUnit::cents, flags);
    overlapParameter_ =
        AUParameterTree::createParameter("overlap", "Overlap", overlapAddress, minimumOverlap, maximumOverlap,
                                         AudioUnitParameterUnit::generic, flags);
    auto tree = AUParameterTree::createTree({rateParameter_, pitchParameter_, overlapParameter_});
    tree->setImplementorValueObserver([this](const AUParameter& parameter, AUValue value) {
        if (std::isnan(value)) return;
        switch (parameter.address()) {
        case rateAddress:
            rate_.store(std::clamp(value, minimumRate, maximumRate), std::memory_order_relaxed);
            break;
        case pitchAddress:
            pitch_.store(std::clamp(value, minimumPitch, maximumPitch), std::memory_order_relaxed);
            break;
        case overlapAddress:
            storeOverlap(std::clamp(value, minimumOverlap, maximumOverlap));
            break;
        default:
            break;
        }
    });
    tree->setImplementorValueProvider([this](const AUParameter& parameter) -> AUValue {
        switch (parameter.address()) {
        case rateAddress:
            return rate();
        case pitchAddress:
            return pitch();
        case overlapAddress:
            return overlap();
        default:
            return 0.0f;
        }
    });
    setParameterTree(tree);
}

TimePitchUnit::~TimePitchUnit() {
    deallocateRenderResources();
}

void TimePitchUnit::setRate(float rate) {
    rateParameter_->setValue(rate);
}

void TimePitchUnit::setPitch(float cents) {
    pitchParameter_->setValue(cents);
}

void TimePitchUnit::setOverlap(float overlap) {
    overlapParameter_->setValue(overlap);
}

void TimePitchUnit::storeOverlap(float overlap) {
    overlap_.store(overlap, std::memory_order_relaxed);
    const bool finer = overlap >= finerEngineOverlap;
    std::lock_guard lock(engineMutex_);
    reclaimStretchers();
    if (!kernel_ || finer == kernelFiner_) return;
    // Built here, off the render thread; the render thread swaps it in at its next cycle and hands the
    // old one back through the retired slot.
    auto stretcher = Stretcher::make(finer, outputBus(0).format().channelCount(), kernel_->sampleRate(),
                                     timePitchScale(pitch()) / double(rate()));
    kernelFiner_ = finer;
    delete pendingStretcher_.exchange(stretcher.release(), std::memory_order_acq_rel);
}

void TimePitchUnit::reclaimStretchers() {
    delete retiredStretcher_.exchange(nullptr, std::memory_order_acq_rel);
}

double TimePitchUnit::latencySeconds() const {
    const auto timing = timing_.read();
    return timing ? timing->latencySeconds() : 0.0;
}

AUAudioFrameCount TimePitchUnit::maximumFramesToPull(std::uint32_t, AUAudioFrameCount outputFrames) const {
    return timePitchPullLimit(outputFrames);
}

Result<void> TimePitchUnit::allocateInternalRenderResources() {
    std::lock_guard lock(engineMutex_);
    const AudioFormat& format = outputBus(0).format();
    const bool finer = usesFinerEngine();
    const double ratio = timePitchScale(pitch()) / double(rate());
    auto kernel =
        std::make_unique<Kernel>(format.channelCount(), format.sampleRate(), maximumFramesToRender(),
                                 maximumFramesToPull(0, maximumFramesToRender()));
    if (!kernel->valid())
        return Error::make("TimePitchUnit", "The resampler of the pitch stage could not be made");
    kernel->adopt(Stretcher::make(finer, format.channelCount(), format.sampleRate(), ratio), rate(), pitch());
    kernel_ = std::move(kernel);
    kernelFiner_ = finer;
    timing_.clear();
    return Result<void>();
}

void TimePitchUnit::deallocateInternalRenderResources() {
    std::lock_guard lock(engineMutex_);
    kernel_.reset();
    delete pendingStretcher_.exchange(nullptr, std::memory_order_acq_rel);
    reclaimStretchers();
    timing_.clear();
}

void TimePitchUnit::resetInternalRenderState() {
    std::lock_guard lock(engineMutex_);
    if (kernel_) kernel_->restart(rate(), pitch());
    timing_.clear();
}

RenderStatus TimePitchUnit::internalRender(const AudioTime& timestamp, AUAudioFrameCount frames,
                                           std::uint32_t, AudioBufferList& output,
                                           const AURenderEvent* events, const AudioUnitPullInput& input) {
    Kernel& kernel = *kernel_;
    // Events apply at the start of the cycle: the stretcher takes one ratio per cycle anyway. The overlap
    // chooses the engine, which is built off the render thread: it is set through the tree or setOverlap.
    for (const AURenderEvent* event = events; event; event = event->next) {
        if (event->eventType == AURenderEventType::midi) continue;
        const AUValue value = event->parameter.value;
        if (std::isnan(value)) continue;
        if (event->parameter.parameterAddress == rateAddress)
            rate_.store(std::clamp(value, minimumRate, maximumRate), std::memory_order_relaxed);
        else if (event->parameter.parameterAddress == pitchAddress)
            pitch_.store(std::clamp(value, minimumPitch, maximumPitch), std::memory_order_relaxed);
    }

    // Take up a stretcher built for another engine once the previous hand-back has been collected.
    if (!retiredStretcher_.load(std::memory_order_acquire))
        if (Stretcher* incoming = pendingStretcher_.exchange(nullptr, std::memory_order_acq_rel)) {
            retiredStretcher_.store(kernel.releaseStretcher().release(), std::memory_order_release);
            kernel.adopt(std::unique_ptr<Stretcher>(incoming), rate(), pitch());
        }

    StretchTiming timing = stretchTimingAtCycleStart(timestamp, kernel);
    if (shouldBypassEffect()) {
        bypassed_ = true;
        return renderStretchBypassed(kernel, timing, timing_, frames, output, input);
    }
    if (bypassed_) {
        bypassed_ = false;
        kernel.restart(rate(), pitch());
    }

    timing.heardInputFrame = kernel.heardInputFrame();
    std::uint64_t underruns = 0;
    const RenderStatus status = kernel.render(frames, output, input, rate(), pitch(), underruns);
    if (underruns) underruns_.fetch_add(underruns, std::memory_order_relaxed);
    timing_.publish(timing);
    return status;
}

} // namespace platform

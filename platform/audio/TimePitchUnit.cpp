#include "platform/audio/TimePitchUnit.h"

#include "platform/audio/AudioFrameRing.h"
#include "platform/audio/StretchCycle.h"

#include <rubberband/RubberBandStretcher.h>
#include <samplerate.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
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
// Room for a start beyond the steady pull.
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
// Frames over which the output crosses between the stretched audio and the input passed through, and
// how far the input may be moved for the two to line up (the stretched audio's phase is its own).
constexpr std::size_t timePitchCrossfade = 256;
constexpr std::int64_t timePitchAlignWindow = 256;
// The share of its start pad a stretcher started within audio takes in before the start.
constexpr double timePitchPreRollShare = 0.5;
// What a starting stretcher takes in per cycle, in steady cycles' input (at rate 1, or at the rate when
// faster). This, not the length of the stretcher's pipeline, bounds a cycle's work after a seek or a
// start; above 1, the stretcher catches up with input passed through beyond its start.
constexpr double timePitchCatchUpShare = 1.25;
// The share of a steady cycle's input that a stretching cycle takes in beyond its own, of the input
// that waited while a stretcher got ready.
constexpr double timePitchBacklogShare = 0.25;
// Input frames after the last audible one that are heard before the unit stops stretching: the
// stretcher's output has died away by then.
constexpr double timePitchIdleTail = 4096.0;
// Frames of silence a stretcher must have taken in since its last audible input before it may go on
// with input from elsewhere: its windows then hold nothing of the old audio.
constexpr std::int64_t timePitchFlushLength = 8192;
// Input kept beyond what the largest pull needs, so that the unit can pass its input through from the
// frame being heard when it leaves the stretcher.
constexpr std::size_t timePitchHistoryRoom = std::size_t(1) << 16;
// A frame with every sample below this counts as silence.
constexpr float timePitchAudible = 1.0e-6f;
// A gap of silence at least this long starts a new run of audio.
constexpr std::int64_t timePitchRunGap = 64;
constexpr std::int64_t timePitchNoLimit = std::numeric_limits<std::int64_t>::max();

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

// The weight of the incoming audio at frame `k` of a crossfade.
float timePitchFadeIn(std::size_t k) {
    return float(0.5 - 0.5 * std::cos(M_PI * (double(k) + 0.5) / double(timePitchCrossfade)));
}

} // namespace

// Input frames by their position in the input (the count of frames pulled before them), from the oldest
// still needed to the newest. Sized on the configuring thread; then render thread only.
class TimePitchInput {
public:
    void reset(std::size_t channels, std::size_t capacity) {
        data_.assign(channels, std::vector<float>(capacity, 0.0f));
        capacity_ = capacity;
        begin_ = end_ = 0;
    }
    void restartAt(std::int64_t position) { begin_ = end_ = position; }
    std::int64_t begin() const { return begin_; }
    std::int64_t end() const { return end_; }
    std::size_t capacity() const { return capacity_; }
    bool holds(std::int64_t position) const { return position >= begin_ && position < end_; }

    // Appends `frames` frames (missing channels are silent), forgetting the oldest when full.
    void append(const float* const* channels, std::size_t available, std::size_t frames) {
        for (std::size_t done = 0; done < frames;) {
            const auto at = std::size_t((end_ + std::int64_t(done)) % std::int64_t(capacity_));
            const std::size_t run = std::min(frames - done, capacity_ - at);
            for (std::size_t c = 0; c < data_.size(); ++c) {
                if (c < available && channels[c])
                    std::memcpy(data_[c].data() + at, channels[c] + done, run * sizeof(float));
                else
                    std::memset(data_[c].data() + at, 0, run * sizeof(float));
            }
            done += run;
        }
        end_ += std::int64_t(frames);
        begin_ = std::max(begin_, end_ - std::int64_t(capacity_));
    }

    // Copies `frames` frames from `from` (within begin()..end()) into `out` from `offset` on.
    void copy(std::int64_t from, std::size_t frames, float* const* out, std::size_t offset) const {
        for (std::size_t done = 0; done < frames;) {
            const auto at = std::size_t((from + std::int64_t(done)) % std::int64_t(capacity_));
            const std::size_t run = std::min(frames - done, capacity_ - at);
            for (std::size_t c = 0; c < data_.size(); ++c)
                std::memcpy(out[c] + offset + done, data_[c].data() + at, run * sizeof(float));
            done += run;
        }
    }

    // Forgets the frames before `position`.
    void release(std::int64_t position) { begin_ = std::clamp(position, begin_, end_); }

private:
    std::vector<std::vector<float>> data_;
    std::size_t capacity_ = 0;
    std::int64_t begin_ = 0;
    std::int64_t end_ = 0;
};

// One Rubber Band stretcher with the facts the render thread needs about it.
struct TimePitchUnit::Stretcher {
    std::unique_ptr<RubberBandStretcher> rubberBand;
    bool finer = true;
    std::size_t channels = 0;
    std::size_t startPad = 0;
    std::size_t startDelay = 0;
    // The ratio it was primed at, and the output still to drop before that of the first frame after
    // the start pad.
    double primedRatio = 1.0;
    std::size_t startDiscard = 0;
    // Primed and not fed since: it can start on any input at once.
    bool fresh = false;

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
        stretcher->channels = channels;
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
        stretcher->prime(wanted);
        return stretcher;
    }

    // Configuring thread (never the render thread: it allocates): empties the stretcher and feeds it
    // its start pad of silence, dropping what that gives out.
    void prime(double wanted) {
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
};

// The render state: the input kept, the pitch stage, the stretcher, its output store, and the books
// that tie what is rendered to where it came from. Made on the configuring thread; then used by the
// render thread only (or by the configuring thread while the render thread is shut out).
//
// Two ways through. Passing, the output is the input itself, some frames late: at rate 1 and pitch 0
// (the stretcher is bypassed, its latency kept), while a stretcher gets ready, and, as silence moving
// at the rate, while nothing audible comes in (a player stopped: the stretcher is left alone).
// Stretching, Rubber Band renders the output. A starting stretcher takes in a share of a steady
// cycle's input per cycle; once its output reaches the frame being heard, the output crosses over to
// it. It crosses back, at the frame being heard, when the stretcher has come to rate 1 and pitch 0 or
// has had nothing audible to play for a while. Crossfades line the two sounds up within a few
// milliseconds; heard positions never jump further, and no cycle does a pipeline's work at once.
//
// Positions. I counts input frames pulled. The pitch stage turns input into stretcher input at pitch
// scale p (T counts stretcher input frames); a short history of breakpoints maps T back to input
// positions. Rubber Band, primed with its start pad and with its start delay cut from its output,
// renders output frame k from stretcher input k / ratio; a new ratio reaches the output at the
// stretcher input frame that the analysis had then reached (T - start pad). heard_ is the stretcher
// input position of the next stretched frame to play. A stretcher that has taken in enough silence may
// go on with input from anywhere: a breakpoint ties its next frame to that input, and its output up
// to there is dropped.
class TimePitchUnit::Kernel {
public:
    Kernel(std::size_t channels, double sampleRate, AUAudioFrameCount maximumFrames,
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
        alignInput_.assign(
            channels, std::vector<float>(timePitchCrossfade + 2 * std::size_t(timePitchAlignWindow), 0.0f));
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
    std::uint64_t stretchedFrames() const { return stretched_; }

    // The stretcher in use, and whether it may be swapped now: nothing of it is playing or starting.
    const Stretcher& stretcher() const { return *stretcher_; }
    bool stretcherUnused() const { return mode_ == Mode::passing && !priming_ && fadeLeft_ == 0; }
    // Gives up the stretcher at the next chance (another engine is waiting).
    void leaveStretcher() { leaving_ = true; }
    // Configuring thread, the render thread shut out: empties the stretcher and primes it afresh.
    void primeStretcher(double wanted) { stretcher_->prime(wanted); }
    std::unique_ptr<Stretcher> swapStretcher(std::unique_ptr<Stretcher> incoming) {
        std::swap(stretcher_, incoming);
        leaving_ = false;
        return incoming;
    }

    // Starts afresh at the next input frame: nothing held, nothing heard yet (allocation, reset, the end
    // of a bypass). The stretcher's own books are kept: a used one is continued or replaced later.
    void restart() {
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

    // Render thread: a passed-through cycle.
    void countBypassed(AUAudioFrameCount frames) {
        pulled_ += frames;
        rendered_ += frames;
    }

    // The input position heard at the next output frame.
    double heardInputFrame() const {
        if (mode_ == Mode::passing) return double(passHeard_) + idleRemainder_;
        return breakpoints_.position(heard_);
    }

    // Render thread: one cycle at `rate` and `cents`.
    RenderStatus render(AUAudioFrameCount frames, AudioBufferList& output, const AudioUnitPullInput& source,
                        float rate, float cents, std::uint64_t& underruns) {
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

private:
    enum class Mode { passing, stretching };

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
        const T& fromOldest(std::size_t index) const { return items_[(first_ + index) % timePitchHistory]; }
        const T& fromNewest(std::size_t back) const { return fromOldest(count_ - 1 - back); }

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
        // The stretcher input position that the input position `input` entered as.
        double stretcherPosition(double input) const {
            for (std::size_t back = 0; back < size(); ++back) {
                const Breakpoint& b = fromNewest(back);
                if (b.position <= input || back + 1 == size()) return b.from + (input - b.position) / b.slope;
            }
            return input;
        }
    };

    // Output frames per input frame taken from the store.
    double outputPerInput() const { return ratio_ / scale_; }
    double wantedRatio() const { return stretcher_->ratioFor(timePitchScale(cents_) / double(rate_)); }
    // What a starting stretcher takes in per cycle: a share of a steady cycle's input at the rate wanted
    // (never less than at rate 1).
    double catchUpPerFrame() const {
        return timePitchCatchUpShare * std::max(1.0, timePitchScale(cents_) / wantedRatio());
    }
    std::size_t catchUpBudget(AUAudioFrameCount frames) const {
        return std::size_t(std::ceil(catchUpPerFrame() * double(frames)));
    }

    // Input frames that pass while a starting stretcher takes in, at its share per cycle, what it needs
    // for its output to cover a cycle and the margin: how far ahead of the frame being heard it starts.
    double preRollFrames() const { return double(stretcher_->startPad) * timePitchPreRollShare; }
    double startLead(AUAudioFrameCount frames) const {
        const Stretcher& s = *stretcher_;
        const double ratio = wantedRatio();
        const double pipeline =
            preRollFrames() + double(s.startPad) + s.holdBeyondPad(ratio) +
            (double(s.startDelay) + double(frames) + timePitchMargin + double(timePitchCrossfade)) / ratio;
        return timePitchScale(cents_) * pipeline / catchUpPerFrame();
    }

    // The input frames that pass while a used stretcher first takes in silence (see feed).
    double flushLead() const {
        if (stretcher_->fresh || silentEnough()) return 0.0;
        return double(timePitchFlushLength - (stretcherInput_ - lastAudibleFed_)) / catchUpPerFrame();
    }

    // True once the stretched output has come to rate 1 and pitch 0 at the frame being heard.
    bool stretchedAtUnity() const {
        if (!changes_.empty() || ratio_ != stretcher_->ratioFor(1.0) || scale_ != 1.0) return false;
        if (breakpoints_.empty()) return true;
        const Breakpoint& newest = breakpoints_.fromNewest(0);
        return newest.slope == 1.0 && heard_ >= newest.from;
    }

    // Input frames the heard position moves per output frame while passing.
    double passSlope() const { return idle_ ? double(rate_) : 1.0; }

    bool silentEnough() const { return stretcherInput_ - lastAudibleFed_ >= timePitchFlushLength; }

    // Leaves the stretcher, or a stretcher that is getting ready, when that is wanted.
    void chooseWay(bool unity) {
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

    // Sets a stretcher going on the input from a frame chosen so that its output is ready when that
    // frame is heard. With the time to get ready, that is the first audible frame, and the silence
    // before it passes at the rate. Audio that is about to be heard already passes through as it is
    // while the stretcher gets ready a lead ahead, or, with a pitch shift (or far beyond rate 1, where
    // the input the stretcher takes in meanwhile would not all be kept), waits in silence for it.
    void startStretcher(AUAudioFrameCount frames) {
        const std::int64_t audible = std::max(passHeard_, audibleFrom_);
        const double lead = startLead(frames) + flushLead();
        std::int64_t start = audible;
        if (coverLimit_ != timePitchNoLimit) {
            start = coverLimit_;
        } else if (double(audible) - heardInputFrame() >= lead * passSlope()) {
            coverLimit_ = audible;
        } else if (cents_ == 0.0f && lead * (1.0 + catchUpPerFrame()) <= double(timePitchHistoryRoom)) {
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

    // A primed stretcher takes the start as its first frame after the pad.
    void beginFresh() {
        Stretcher& s = *stretcher_;
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

    // A stretcher that has taken in enough silence goes on with the start as its next frame.
    void splice() {
        applySettings();
        const double at = double(stretcherInput_);
        dropStretchedBefore(at);
        src_reset(resampler_);
        breakpoints_.push({at, double(feed_), scale_});
    }

    // Output frames the stretcher renders, from heard_ on, before stretcher input `t`.
    double stretchedFramesBefore(double t) const {
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

    // Drops the stretched output of stretcher input before `t`: what the store holds, then what the
    // stretcher is still to give.
    void dropStretchedBefore(double t) {
        const auto frames = std::size_t(std::max(0.0, std::round(stretchedFramesBefore(t))));
        const std::size_t stored = output_.skip(frames);
        discard_ += frames - stored;
        advance(frames);
    }

    void applySettings() {
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

    RenderStatus pull(AUAudioFrameCount frames, const AudioUnitPullInput& source) {
        std::int64_t count = 0;
        if (mode_ == Mode::passing) {
            // Keep the latency, and at least the lead a stretcher needs to start without a wait.
            const double slope = passSlope();
            keptLatency_ = std::max(keptLatency_, std::int64_t(std::ceil(startLead(frames) * slope)));
            count = passHeard_ + std::int64_t(std::ceil(double(frames) * slope + idleRemainder_)) +
                    keptLatency_ - pulled_;
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

    // Keeps track of where the audible input starts and ends.
    void noteAudible(const float* const* channels, std::size_t available, std::size_t frames) {
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

    // Feeds the stretcher from the input kept, within the cycle's share of work: all that is waiting
    // while stretching, a catch-up's worth while it gets ready.
    void feed(AUAudioFrameCount frames) {
        if (mode_ == Mode::passing && !priming_) return;
        // Stretching, a steady cycle's input, and beyond it a little of what waited from the time the
        // input passed through (a catch-up's share when the output runs low).
        std::size_t budget = catchUpBudget(frames);
        if (mode_ == Mode::stretching) {
            const bool low = recovering_ || double(output_.size()) < double(frames) + timePitchMargin / 2.0;
            if (!low)
                budget =
                    std::size_t(std::ceil(double(budget) * timePitchBacklogShare / timePitchCatchUpShare));
            budget += std::size_t(
                std::ceil(double(frames) * (1.0 + timePitchMaximumCorrection) / outputPerInput()));
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
        const std::size_t step = std::clamp<std::size_t>(std::size_t(double(timePitchStepOutput) / perInput),
                                                         16, timePitchMaximumStep);
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

    // Runs `count` staged frames through the pitch stage into the stretcher.
    void resample(std::size_t count) {
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

    void process(std::size_t frames) {
        std::array<const float*, AudioFormat::maxChannels> in{};
        for (std::size_t c = 0; c < channels_; ++c)
            in[c] = staging_[c].data();
        stretcher_->rubberBand->process(in.data(), frames, false);
        stretcherInput_ += std::int64_t(frames);
        stretched_ += frames;
        collect();
    }

    // Moves what the stretcher has ready into the output store, less what is to be dropped.
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

    // The lag, from 0 to `lags`, at which `sliding` best matches the `frames` frames of `fixed`
    // (normalised cross-correlation), `preferred` unless another is better.
    std::int64_t bestLag(const std::vector<std::vector<float>>& fixed,
                         const std::vector<std::vector<float>>& sliding, std::int64_t frames,
                         std::int64_t lags, std::int64_t preferred) const {
        auto score = [&](std::int64_t lag) {
            double dot = 0.0, energy = 0.0;
            for (std::size_t c = 0; c < channels_; ++c)
                for (std::int64_t k = 0; k < frames; ++k) {
                    const double x = sliding[c][std::size_t(lag + k)];
                    dot += x * fixed[c][std::size_t(k)];
                    energy += x * x;
                }
            return energy > 0.0 ? dot / std::sqrt(energy) : 0.0;
        };
        std::int64_t best = preferred;
        double bestScore = score(preferred);
        for (std::int64_t lag = 0; lag <= lags; ++lag) {
            const double candidate = score(lag);
            if (candidate > bestScore * 1.000001 + 1e-12) {
                best = lag;
                bestScore = candidate;
            }
        }
        return best;
    }

    std::array<float*, AudioFormat::maxChannels> pointers(std::vector<std::vector<float>>& buffers) const {
        std::array<float*, AudioFormat::maxChannels> to{};
        for (std::size_t c = 0; c < channels_; ++c)
            to[c] = buffers[c].data();
        return to;
    }

    // Leaving the stretcher: the input position within timePitchAlignWindow of `position` whose audio
    // best matches the stretched audio about to fade out, so that the crossfade does not cancel itself
    // out (the stretched sound's phase is its own).
    std::int64_t alignedWithStretched(std::int64_t position) {
        const auto n = std::int64_t(output_.peek(pointers(alignStretched_).data(), 0, timePitchCrossfade));
        const std::int64_t from = std::max(position - timePitchAlignWindow, input_.begin());
        const std::int64_t to = std::min(position + timePitchAlignWindow + n, input_.end());
        if (n == 0 || position < from || position + n > to) return position;
        input_.copy(from, std::size_t(to - from), pointers(alignInput_).data(), 0);
        return from + bestLag(alignStretched_, alignInput_, n, to - from - n, position - from);
    }

    // Taking up the stretcher: drops up to half timePitchAlignWindow of its first frames so that it
    // matches the input about to fade out from `position`.
    void alignStretchedWith(std::int64_t position) {
        const std::int64_t n = timePitchCrossfade;
        if (!input_.holds(position) || position + n > input_.end()) return;
        input_.copy(position, std::size_t(n), pointers(alignInput_).data(), 0);
        const auto stretched = std::int64_t(
            output_.peek(pointers(alignStretched_).data(), 0, std::size_t(n + timePitchAlignWindow / 2)));
        if (stretched < n) return;
        const std::int64_t lag = bestLag(alignInput_, alignStretched_, n, stretched - n, 0);
        output_.skip(std::size_t(lag));
        advance(std::size_t(lag));
    }

    bool stretchedReady(AUAudioFrameCount frames) const {
        return !flushing_ && discard_ == 0 && double(output_.size()) >= double(frames) + timePitchMargin;
    }

    void deliver(AUAudioFrameCount frames, AudioBufferList& output, std::uint64_t& underruns) {
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

    // The input from the frame being heard, up to where it must not be heard as it is; silence beyond,
    // where the heard position waits. Blends out what the stretcher still plays after leaving it.
    void passThrough(float* const* out, std::uint32_t buffers, std::size_t offset, std::size_t frames) {
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

    void passRaw(float* const* out, std::uint32_t buffers, std::size_t offset, std::size_t frames) {
        const std::int64_t limit = std::min(coverLimit_, input_.end());
        const auto passed =
            std::size_t(std::clamp<std::int64_t>(limit - passHeard_, 0, std::int64_t(frames)));
        input_.copy(passHeard_, passed, out, offset);
        for (std::uint32_t c = 0; c < buffers; ++c)
            std::memset(out[c] + offset + passed, 0, (frames - passed) * sizeof(float));
        passHeard_ += std::int64_t(passed);
    }

    void blendOutStretched(float* const* out, std::uint32_t buffers, std::size_t offset, std::size_t frames) {
        if (fadeLeft_ == 0 || !fadeFromStretcher_) return;
        const std::size_t blended = std::min(frames, fadeLeft_);
        std::array<float*, AudioFormat::maxChannels> fading{};
        for (std::size_t c = 0; c < channels_; ++c)
            fading[c] = fading_[c].data();
        const std::size_t stretched = output_.read(fading.data(), 0, blended);
        advance(stretched);
        for (std::size_t c = 0; c < std::min<std::size_t>(buffers, channels_); ++c)
            for (std::size_t k = 0; k < blended; ++k) {
                const float in = timePitchFadeIn(timePitchCrossfade - fadeLeft_ + k);
                const float old = k < stretched ? fading_[c][k] : 0.0f;
                out[c][offset + k] = in * out[c][offset + k] + (1.0f - in) * old;
            }
        fadeLeft_ -= blended;
    }

    void playStretched(float* const* out, std::uint32_t buffers, std::size_t offset, std::size_t frames,
                       std::uint64_t& underruns) {
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
        std::array<float*, AudioFormat::maxChannels> fading{};
        for (std::size_t c = 0; c < channels_; ++c)
            fading[c] = fading_[c].data();
        const auto passed =
            std::size_t(std::clamp<std::int64_t>(input_.end() - fadePosition_, 0, std::int64_t(blended)));
        input_.copy(fadePosition_, passed, fading.data(), 0);
        for (std::size_t c = 0; c < std::min<std::size_t>(buffers, channels_); ++c)
            for (std::size_t k = 0; k < blended; ++k) {
                const float in = timePitchFadeIn(timePitchCrossfade - fadeLeft_ + k);
                const float old = k < passed ? fading_[c][k] : 0.0f;
                out[c][offset + k] = in * out[c][offset + k] + (1.0f - in) * old;
            }
        fadePosition_ += std::int64_t(blended);
        fadeLeft_ -= blended;
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
    double inHand() const { return double(output_.size()) + double(pulled_ - feed_) * outputPerInput(); }

    // Keeps what is in hand after a cycle near the margin by pulling a little more or less next time.
    void regulate(AUAudioFrameCount frames) {
        const double error = timePitchMargin - inHand();
        const double beyond = error > timePitchDeadBand    ? error - timePitchDeadBand
                              : error < -timePitchDeadBand ? error + timePitchDeadBand
                                                           : 0.0;
        correction_ = std::clamp(timePitchGain * beyond / double(std::max<AUAudioFrameCount>(frames, 1)),
                                 -timePitchMaximumCorrection, timePitchMaximumCorrection);
    }

    // Lets go of the input that nothing will read again: before the frame being heard (from which the
    // unit may pass through), the next to stretch and the input a crossfade still plays.
    void forget() { input_.release(firstNeeded(true) - timePitchAlignWindow); }

    // The oldest input frame still to be read: to pass through, to stretch, for a crossfade, and (when
    // `leaving` and while stretching) the frame being heard, from which the unit may pass through.
    std::int64_t firstNeeded(bool leaving) const {
        std::int64_t first = timePitchNoLimit;
        if (mode_ == Mode::passing && passHeard_ < coverLimit_) first = passHeard_;
        if (mode_ == Mode::stretching || priming_) first = std::min(first, feed_);
        if (mode_ == Mode::stretching && leaving)
            first = std::min(first, std::int64_t(std::floor(heardInputFrame())));
        if (fadeLeft_ > 0 && !fadeFromStretcher_) first = std::min(first, fadePosition_);
        return first == timePitchNoLimit ? input_.end() : first;
    }

    const std::size_t channels_;
    const double sampleRate_;
    std::unique_ptr<Stretcher> stretcher_;
    SRC_STATE* resampler_ = nullptr;
    TimePitchInput input_;
    AudioFrameRing output_;
    std::vector<std::vector<float>> staging_;
    std::vector<std::vector<float>> scratch_;
    std::vector<std::vector<float>> fading_;
    std::vector<std::vector<float>> alignStretched_;
    std::vector<std::vector<float>> alignInput_;
    std::vector<float> silence_;
    std::vector<float> interleavedIn_;
    std::vector<float> interleavedOut_;

    float rate_ = 1.0f;
    float cents_ = 0.0f;
    Mode mode_ = Mode::passing;
    // Passing: the input position heard next, the latency kept, and where the input must not be heard
    // as it is (a pitch-shifted start waits there in silence).
    std::int64_t passHeard_ = 0;
    std::int64_t keptLatency_ = 0;
    std::int64_t coverLimit_ = timePitchNoLimit;
    // Passing silence at the rate (the stretcher left alone), and the heard position's fraction then.
    bool idle_ = false;
    double idleRemainder_ = 0.0;
    // A stretcher getting ready: the input frame it starts from, and whether it first takes in silence.
    bool priming_ = false;
    bool flushing_ = false;
    std::int64_t primeStart_ = 0;
    bool leaving_ = false;
    bool recovering_ = false; // stretching, waiting for the margin after running dry
    // A crossfade under way: frames left, its direction, and the input position the passed-through
    // side plays next when that side fades out.
    std::size_t fadeLeft_ = 0;
    bool fadeFromStretcher_ = false;
    std::int64_t fadePosition_ = 0;
    // The audible input: the end of the last audible run and its start.
    std::int64_t lastAudible_ = -timePitchRunGap;
    std::int64_t audibleFrom_ = -timePitchRunGap;

    double scale_ = 1.0;
    bool resampling_ = false;
    double ratio_ = 1.0;
    double correction_ = 0.0;
    double pullRemainder_ = 0.0;
    std::size_t discard_ = 0;

    std::int64_t pulled_ = 0;
    std::int64_t rendered_ = 0;
    std::int64_t feed_ = 0;
    std::int64_t stretcherInput_ = 0;
    std::int64_t lastAudibleFed_ = -timePitchFlushLength;
    std::uint64_t stretched_ = 0;
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
            keepSpareStretcher();
            break;
        case pitchAddress:
            pitch_.store(std::clamp(value, minimumPitch, maximumPitch), std::memory_order_relaxed);
            keepSpareStretcher();
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

void TimePitchUnit::setShouldBypassEffect(bool bypass) {
    AudioUnit::setShouldBypassEffect(bypass);
    keepSpareStretcher();
}

void TimePitchUnit::storeOverlap(float overlap) {
    overlap_.store(overlap, std::memory_order_relaxed);
    const bool finer = overlap >= finerEngineOverlap;
    std::lock_guard lock(engineMutex_);
    if (!kernel_ || finer == kernelFiner_) {
        provideSpare();
        return;
    }
    // Built here, off the render thread; the render thread takes it up once nothing of the old engine
    // plays any more, and hands the old one back through the retired slot.
    kernelFiner_ = finer;
    auto stretcher =
        Stretcher::make(finer, outputBus(0).format().channelCount(), kernel_->sampleRate(), wantedRatio());
    delete spareStretcher_.exchange(stretcher.release(), std::memory_order_acq_rel);
    delete retiredStretcher_.exchange(nullptr, std::memory_order_acq_rel);
    finerWanted_.store(finer, std::memory_order_release);
}

double TimePitchUnit::wantedRatio() const {
    return timePitchScale(pitch()) / double(rate());
}

void TimePitchUnit::keepSpareStretcher() {
    std::lock_guard lock(engineMutex_);
    provideSpare();
}

void TimePitchUnit::provideSpare() {
    std::unique_ptr<Stretcher> retired(retiredStretcher_.exchange(nullptr, std::memory_order_acq_rel));
    // Only this side puts a stretcher into the spare slot; the render thread only takes it out.
    if (!kernel_ || spareStretcher_.load(std::memory_order_acquire)) return;
    if (retired && retired->finer == kernelFiner_)
        retired->prime(wantedRatio());
    else
        retired = Stretcher::make(kernelFiner_, outputBus(0).format().channelCount(), kernel_->sampleRate(),
                                  wantedRatio());
    spareStretcher_.store(retired.release(), std::memory_order_release);
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
    auto kernel =
        std::make_unique<Kernel>(format.channelCount(), format.sampleRate(), maximumFramesToRender(),
                                 maximumFramesToPull(0, maximumFramesToRender()));
    if (!kernel->valid())
        return Error::make("TimePitchUnit", "The resampler of the pitch stage could not be made");
    (void)kernel->swapStretcher(
        Stretcher::make(finer, format.channelCount(), format.sampleRate(), wantedRatio()));
    kernel->restart();
    kernel_ = std::move(kernel);
    kernelFiner_ = finer;
    finerWanted_.store(finer, std::memory_order_release);
    timing_.clear();
    stretchedFrames_.store(0, std::memory_order_relaxed);
    return Result<void>();
}

void TimePitchUnit::deallocateInternalRenderResources() {
    std::lock_guard lock(engineMutex_);
    kernel_.reset();
    delete spareStretcher_.exchange(nullptr, std::memory_order_acq_rel);
    delete retiredStretcher_.exchange(nullptr, std::memory_order_acq_rel);
    timing_.clear();
}

void TimePitchUnit::resetInternalRenderState() {
    std::lock_guard lock(engineMutex_);
    if (kernel_) {
        // The render thread is shut out: a waiting stretcher of the other engine is taken up now, and
        // a used one is primed here, so that the next start has only the new input to take in.
        Stretcher* spare = spareStretcher_.load(std::memory_order_acquire);
        if (spare && spare->finer != kernel_->stretcher().finer) {
            spareStretcher_.store(nullptr, std::memory_order_release);
            (void)kernel_->swapStretcher(std::unique_ptr<Stretcher>(spare));
        }
        if (!kernel_->stretcher().fresh) kernel_->primeStretcher(wantedRatio());
        kernel_->restart();
    }
    // No spare is made here, with the render thread shut out: a restart needs none.
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

    StretchTiming timing = stretchTimingAtCycleStart(timestamp, kernel);
    if (shouldBypassEffect()) {
        bypassed_ = true;
        return renderStretchBypassed(kernel, timing, timing_, frames, output, input);
    }
    if (bypassed_) {
        bypassed_ = false;
        kernel.restart();
    }

    // A primed stretcher from the configuring side: one of the engine wanted replaces one of the other
    // as soon as that plays no more; it replaces a used one while the unit passes its input through,
    // so that the next start has it ready. The old one goes back through the retired slot. (Only a
    // stretcher taken out of the spare slot is looked at: the configuring side may replace the spare.)
    const bool otherEngine = finerWanted_.load(std::memory_order_acquire) != kernel.stretcher().finer;
    if (otherEngine) kernel.leaveStretcher();
    if ((otherEngine || !kernel.stretcher().fresh) && kernel.stretcherUnused() &&
        spareStretcher_.load(std::memory_order_acquire) && !retiredStretcher_.load(std::memory_order_acquire))
        if (Stretcher* incoming = spareStretcher_.exchange(nullptr, std::memory_order_acq_rel))
            retiredStretcher_.store(kernel.swapStretcher(std::unique_ptr<Stretcher>(incoming)).release(),
                                    std::memory_order_release);

    timing.heardInputFrame = kernel.heardInputFrame();
    std::uint64_t underruns = 0;
    const RenderStatus status = kernel.render(frames, output, input, rate(), pitch(), underruns);
    if (underruns) underruns_.fetch_add(underruns, std::memory_order_relaxed);
    stretchedFrames_.store(kernel.stretchedFrames(), std::memory_order_relaxed);
    timing_.publish(timing);
    return status;
}

} // namespace platform

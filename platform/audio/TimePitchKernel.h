// The time-pitch unit's render state, shared by its source files: the input kept, the stretcher and
// the kernel that runs on the render thread. Private to the unit; nothing outside it includes this.

#pragma once

#include "platform/audio/AudioFrameRing.h"
#include "platform/audio/AudioUnit.h"
#include "platform/audio/TimePitchEngine.h"

#include <rubberband/RubberBandStretcher.h>
#include <samplerate.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace platform {

using RubberBand::RubberBandStretcher;

inline constexpr std::uint32_t timePitchFourCC(const char (&code)[5]) {
    return std::uint32_t(std::uint8_t(code[0])) << 24 | std::uint32_t(std::uint8_t(code[1])) << 16 |
           std::uint32_t(std::uint8_t(code[2])) << 8 | std::uint32_t(std::uint8_t(code[3]));
}

// Input frames taken from the input store per step: the stretched output of one step stays below
// timePitchStepOutput frames, and with the pitch stage's four-fold upsampling below timePitchBlock.
inline constexpr std::size_t timePitchMaximumStep = 1024;
inline constexpr std::size_t timePitchStepOutput = 4096;
// Rubber Band's process size limit (the pitch stage may add a few frames to 4 * 1024).
inline constexpr std::size_t timePitchBlock = 4096 + 64;
// Room kept in the output store for one step's output beyond its nominal size.
inline constexpr std::size_t timePitchBurst = 8192;
// Stretched frames kept in hand beyond one cycle, against the unevenness of the stretcher's output.
inline constexpr double timePitchMargin = 1024.0;
// Regulation of the input pull: a dead band, the share of the remaining error corrected per cycle and
// the largest deviation from the nominal rate.
inline constexpr double timePitchDeadBand = 256.0;
inline constexpr double timePitchGain = 0.2;
inline constexpr double timePitchMaximumCorrection = 0.1;
// Room for a start beyond the steady pull.
inline constexpr double timePitchStartAllowance = 16384.0;
// Rubber Band's time ratio (rate and pitch combined) is kept within this with the finer engine, and
// within the smaller range with the faster one, which beyond it switches to longer windows and
// allocates on the render thread.
inline constexpr double timePitchMaximumRatio = 32.0;
inline constexpr double timePitchFasterMaximumRatio = 4.0;
// At a ratio of exactly 1 the faster engine takes a shortcut with 2048 frames less delay, and leaving
// it stalls the output; it never gets exactly 1.
inline constexpr double timePitchFasterUnity = 1.0 + 1.0 / 1048576.0;
// Changes waiting to reach the output and breakpoints of the pitch stage's timeline.
inline constexpr std::size_t timePitchHistory = 64;
// Frames over which the output crosses between the stretched audio and the input passed through, and
// how far the input may be moved for the two to line up (the stretched audio's phase is its own).
inline constexpr std::size_t timePitchCrossfade = 256;
inline constexpr std::int64_t timePitchAlignWindow = 256;
// The share of its start pad a stretcher started within audio takes in before the start.
inline constexpr double timePitchPreRollShare = 0.5;
// What a starting stretcher takes in per cycle, in steady cycles' input (at rate 1, or at the rate when
// faster). This, not the length of the stretcher's pipeline, bounds a cycle's work after a seek or a
// start; above 1, the stretcher catches up with input passed through beyond its start.
inline constexpr double timePitchCatchUpShare = 1.25;
// The share of a steady cycle's input that a stretching cycle takes in beyond its own, of the input
// that waited while a stretcher got ready.
inline constexpr double timePitchBacklogShare = 0.25;
// Input frames after the last audible one that are heard before the unit stops stretching: the
// stretcher's output has died away by then.
inline constexpr double timePitchIdleTail = 4096.0;
// Frames of silence a stretcher must have taken in since its last audible input before it may go on
// with input from elsewhere: its windows then hold nothing of the old audio.
inline constexpr std::int64_t timePitchFlushLength = 8192;
// Input kept beyond what the largest pull needs, so that the unit can pass its input through from the
// frame being heard when it leaves the stretcher.
inline constexpr std::size_t timePitchHistoryRoom = std::size_t(1) << 16;
// A frame with every sample below this counts as silence.
inline constexpr float timePitchAudible = 1.0e-6f;
// A gap of silence at least this long starts a new run of audio.
inline constexpr std::int64_t timePitchRunGap = 64;
inline constexpr std::int64_t timePitchNoLimit = std::numeric_limits<std::int64_t>::max();

// The most input frames a cycle pulls at all (the unit's maximumInputFramesPerCycle, checked equal there).
inline constexpr AUAudioFrameCount timePitchMaximumInputFramesPerCycle = 1u << 18;

// The most input frames a cycle of `frames` frames pulls.
inline AUAudioFrameCount timePitchPullLimit(AUAudioFrameCount frames) {
    const double most =
        std::ceil(double(frames) * timePitchMaximumRatio * (1.0 + timePitchMaximumCorrection)) +
        timePitchStartAllowance;
    return AUAudioFrameCount(std::min(most, double(timePitchMaximumInputFramesPerCycle)));
}

inline double timePitchScale(float cents) {
    return cents == 0.0f ? 1.0 : std::exp2(double(cents) / 1200.0);
}

// The weight of the incoming audio at frame `k` of a crossfade.
inline float timePitchFadeIn(std::size_t k) {
    return float(0.5 - 0.5 * std::cos(M_PI * (double(k) + 0.5) / double(timePitchCrossfade)));
}

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
struct TimePitchStretcher {
    std::unique_ptr<RubberBandStretcher> rubberBand;
    TimePitchEngine engine = TimePitchEngine::finer;
    bool finer = true; // either of the finer engine's windows
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
    static double ratioFor(bool finer, double ratio);
    double ratioFor(double ratio) const { return ratioFor(finer, ratio); }
    // Stretcher input it holds beyond its start pad before output comes out: the faster engine keeps
    // more back than its reported start delay suggests.
    double holdBeyondPad(double ratio) const { return finer ? 0.0 : 1536.0 + 512.0 / ratio; }

    // Configuring thread: made, sized and primed, so that the render thread never makes it allocate.
    static std::unique_ptr<TimePitchStretcher> make(TimePitchEngine engine, std::size_t channels,
                                                    double sampleRate, double wanted);

    // Configuring thread (never the render thread: it allocates): empties the stretcher and feeds it
    // its start pad of silence, dropping what that gives out.
    void prime(double wanted);
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
class TimePitchKernel {
public:
    TimePitchKernel(std::size_t channels, double sampleRate, AUAudioFrameCount maximumFrames,
                    AUAudioFrameCount maximumPull);
    ~TimePitchKernel() {
        if (resampler_) src_delete(resampler_);
    }
    TimePitchKernel(const TimePitchKernel&) = delete;
    TimePitchKernel& operator=(const TimePitchKernel&) = delete;

    bool valid() const { return resampler_ != nullptr; }
    double sampleRate() const { return sampleRate_; }
    std::int64_t inputFrames() const { return pulled_; }
    std::int64_t outputFrames() const { return rendered_; }
    std::uint64_t stretchedFrames() const { return stretched_; }

    // The stretcher in use, and whether it may be swapped now: nothing of it is playing or starting.
    const TimePitchStretcher& stretcher() const { return *stretcher_; }
    bool stretcherUnused() const { return mode_ == Mode::passing && !priming_ && fadeLeft_ == 0; }
    // Gives up the stretcher at the next chance (another engine is waiting).
    void leaveStretcher() { leaving_ = true; }
    // Configuring thread, the render thread shut out: empties the stretcher and primes it afresh.
    void primeStretcher(double wanted) { stretcher_->prime(wanted); }
    std::unique_ptr<TimePitchStretcher> swapStretcher(std::unique_ptr<TimePitchStretcher> incoming);

    // Starts afresh at the next input frame: nothing held, nothing heard yet (allocation, reset, the end
    // of a bypass). The stretcher's own books are kept: a used one is continued or replaced later.
    void restart();

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
                        float rate, float cents, std::uint64_t& underruns);

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
    double startLead(AUAudioFrameCount frames) const;

    // The input frames that pass while a used stretcher first takes in silence (see feed).
    double flushLead() const {
        if (stretcher_->fresh || silentEnough()) return 0.0;
        return double(timePitchFlushLength - (stretcherInput_ - lastAudibleFed_)) / catchUpPerFrame();
    }

    // True once the stretched output has come to rate 1 and pitch 0 at the frame being heard.
    bool stretchedAtUnity() const;

    // Input frames the heard position moves per output frame while passing.
    double passSlope() const { return idle_ ? double(rate_) : 1.0; }

    bool silentEnough() const { return stretcherInput_ - lastAudibleFed_ >= timePitchFlushLength; }

    // Leaves the stretcher, or a stretcher that is getting ready, when that is wanted.
    void chooseWay(bool unity);

    // Sets a stretcher going on the input from a frame chosen so that its output is ready when that
    // frame is heard. With the time to get ready, that is the first audible frame, and the silence
    // before it passes at the rate. Audio that is about to be heard already passes through as it is
    // while the stretcher gets ready a lead ahead, or, with a pitch shift at its start (or far beyond
    // rate 1, where the input the stretcher takes in meanwhile would not all be kept), waits in silence
    // for it. A pitch shift begun while audio is heard passes it through too.
    void startStretcher(AUAudioFrameCount frames);

    // A primed stretcher takes the start as its first frame after the pad.
    void beginFresh();

    // A stretcher that has taken in enough silence goes on with the start as its next frame.
    void splice();

    // Output frames the stretcher renders, from heard_ on, before stretcher input `t`.
    double stretchedFramesBefore(double t) const;

    // Drops the stretched output of stretcher input before `t`: what the store holds, then what the
    // stretcher is still to give.
    void dropStretchedBefore(double t);

    void applySettings();

    RenderStatus pull(AUAudioFrameCount frames, const AudioUnitPullInput& source);

    // Keeps track of where the audible input starts and ends.
    void noteAudible(const float* const* channels, std::size_t available, std::size_t frames);

    // Feeds the stretcher from the input kept, within the cycle's share of work: all that is waiting
    // while stretching, a catch-up's worth while it gets ready.
    void feed(AUAudioFrameCount frames);

    // Runs `count` staged frames through the pitch stage into the stretcher.
    void resample(std::size_t count);

    void process(std::size_t frames);

    // Moves what the stretcher has ready into the output store, less what is to be dropped.
    void collect();

    // The lag, from 0 to `lags`, at which `sliding` best matches the `frames` frames of `fixed`
    // (normalised cross-correlation), `preferred` unless another is better.
    std::int64_t bestLag(const std::vector<std::vector<float>>& fixed,
                         const std::vector<std::vector<float>>& sliding, std::int64_t frames,
                         std::int64_t lags, std::int64_t preferred) const;

    std::array<float*, AudioFormat::maxChannels> pointers(std::vector<std::vector<float>>& buffers) const;

    // Leaving the stretcher: the input position within timePitchAlignWindow of `position` whose audio
    // best matches the stretched audio about to fade out, so that the crossfade does not cancel itself
    // out (the stretched sound's phase is its own).
    std::int64_t alignedWithStretched(std::int64_t position);

    // Taking up the stretcher: drops up to half timePitchAlignWindow of its first frames so that it
    // matches the input about to fade out from `position`.
    void alignStretchedWith(std::int64_t position);

    bool stretchedReady(AUAudioFrameCount frames) const {
        return !flushing_ && discard_ == 0 && double(output_.size()) >= double(frames) + timePitchMargin;
    }

    void deliver(AUAudioFrameCount frames, AudioBufferList& output, std::uint64_t& underruns);

    // The input from the frame being heard, up to where it must not be heard as it is; silence beyond,
    // where the heard position waits. Blends out what the stretcher still plays after leaving it.
    void passThrough(float* const* out, std::uint32_t buffers, std::size_t offset, std::size_t frames);

    void passRaw(float* const* out, std::uint32_t buffers, std::size_t offset, std::size_t frames);

    void blendOutStretched(float* const* out, std::uint32_t buffers, std::size_t offset, std::size_t frames);

    void playStretched(float* const* out, std::uint32_t buffers, std::size_t offset, std::size_t frames,
                       std::uint64_t& underruns);

    // Moves the heard position over `frames` played frames, letting ratio changes take over in turn.
    void advance(std::size_t frames);

    // Output frames in hand: stretched, and still to stretch.
    double inHand() const { return double(output_.size()) + double(pulled_ - feed_) * outputPerInput(); }

    // Keeps what is in hand after a cycle near the margin by pulling a little more or less next time.
    void regulate(AUAudioFrameCount frames);

    // Lets go of the input that nothing will read again: before the frame being heard (from which the
    // unit may pass through), the next to stretch and the input a crossfade still plays.
    void forget() { input_.release(firstNeeded(true) - timePitchAlignWindow); }

    // The oldest input frame still to be read: to pass through, to stretch, for a crossfade, and (when
    // `leaving` and while stretching) the frame being heard, from which the unit may pass through.
    std::int64_t firstNeeded(bool leaving) const;

    const std::size_t channels_;
    const double sampleRate_;
    std::unique_ptr<TimePitchStretcher> stretcher_;
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

} // namespace platform

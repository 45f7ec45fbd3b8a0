#pragma once
// The platform's time-and-pitch effect (in place of AVAudioUnitTimePitch), component 'aufc' 'tmpt'
// 'appl': plays its input faster or slower without changing its pitch, and shifts the pitch without
// changing the speed. Rubber Band's real-time stretcher changes the time; a pitch other than 0 cents
// resamples the input (libsamplerate) before it, so that Rubber Band never changes its own pitch scale,
// which makes it allocate on the render thread.
//
// The unit pulls about r frames of input per frame it renders at rate r, in one pull per render cycle
// (see maximumFramesToPull), and delays the audio by about a tenth of a second; timing() says by how
// much on the input's timeline, so that a player feeding the unit can report what is heard. Rate and
// pitch changes take effect at the next render cycle and glide through the stretcher.
//
// The stretcher works only when it changes something. At rate 1 and pitch 0 the input passes through
// with the stretcher's latency kept, and while nothing audible comes in (a player stopped or paused)
// the stretcher is left alone: either way a cycle costs a copy. A stretcher never starts inside one
// cycle: it is primed off the render thread (a spare is kept for the render thread to swap in), and
// takes in the new input a share of a steady cycle's per cycle while the input passes through (with
// a pitch shift, while the unit waits in silence); then the output crosses over to it. So after a
// seek, a load or a switch to or from rate 1 the heard position moves on without a jump, and no cycle
// costs much more than a steady one. (Switches made by scheduled events alone find no spare ready:
// the used stretcher then first takes in silence, the same share per cycle.)
//
// Threads: as AudioUnit. Setters, bypass and the parameter tree: any thread but the render thread
// (they may prime a stretcher there). timing(), latencySeconds() and the counters: any thread.

#include "platform/audio/AudioUnit.h"
#include "platform/audio/StretchTiming.h"
#include "platform/audio/TimePitchEngine.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

namespace platform {

class TimePitchKernel;
struct TimePitchStretcher;

class TimePitchUnit final : public AudioUnit {
public:
    static constexpr AUParameterAddress rateAddress = 0;
    static constexpr AUParameterAddress pitchAddress = 1;
    static constexpr AUParameterAddress overlapAddress = 2;

    static constexpr float minimumRate = 1.0f / 32.0f;
    static constexpr float maximumRate = 32.0f;
    static constexpr float minimumPitch = -2400.0f;
    static constexpr float maximumPitch = 2400.0f;
    static constexpr float minimumOverlap = 3.0f;
    static constexpr float maximumOverlap = 32.0f;
    // Overlap is the quality knob. From finerEngineOverlap up the unit uses Rubber Band's finer engine
    // (R3): the best sound for the small tempo changes of dance classes, at about 7 % of a core per
    // stereo 44.1 kHz stream on the development machine (bench_timepitch). From shortWindowOverlap up
    // to it, the finer engine with its short window: about half the work (bench_karaoke_cpu), for a
    // singer's key in karaoke. Below that, the faster engine (R2) at about 3 %, with some smearing of
    // transients; it stretches at most 4:1 (rate and pitch combined; beyond that it would switch
    // windows and allocate while rendering), the finer one 32:1. Switching engines restarts the
    // stretcher: a gap of about the latency.
    static constexpr float finerEngineOverlap = 8.0f;
    static constexpr float shortWindowOverlap = 6.0f;
    static TimePitchEngine engineFor(float overlap);

    // The most input frames one render cycle pulls, whatever its size: cycles longer than
    // maximumInputFramesPerCycle / (1.1 * rate) frames end in silence (never at 4096-frame cycles).
    static constexpr AUAudioFrameCount maximumInputFramesPerCycle = 1u << 18;

    // 'aufc' 'tmpt' 'appl'.
    static AudioComponentDescription componentDescription();

    explicit TimePitchUnit(const AudioComponentDescription& description = componentDescription());
    ~TimePitchUnit() override;

    // Each setter limits the value to its range (a value that is not a number is ignored) and sets the
    // parameter of the same name in the tree; the getters read the values in force.
    float rate() const { return rate_.load(std::memory_order_relaxed); }
    void setRate(float rate);
    // Cents.
    float pitch() const { return pitch_.load(std::memory_order_relaxed); }
    void setPitch(float cents);
    float overlap() const { return overlap_.load(std::memory_order_relaxed); }
    // Crossing shortWindowOverlap or finerEngineOverlap while allocated builds the other engine on the
    // calling thread and hands it to the render thread, which takes it up once nothing of the old one is
    // playing.
    void setOverlap(float overlap);
    TimePitchEngine engine() const { return engineFor(overlap()); }
    bool usesFinerEngine() const { return engine() != TimePitchEngine::faster; }

    // The last cycle's timing (see StretchTiming); empty before the first cycle after allocation or a
    // reset. While bypassed the unit passes its input through and the latency is 0; after a bypass or
    // a reset it starts again at the next input frame.
    std::optional<StretchTiming> timing() const { return timing_.read(); }
    // timing()'s latency in seconds, 0 without one.
    double latencySeconds() const;

    // Cycles that ran out of stretched audio and ended in silence (after the start), since allocation.
    std::uint64_t underruns() const { return underruns_.load(std::memory_order_relaxed); }
    // Frames the render thread has put through the stretcher since allocation: its work, as the input
    // side of Rubber Band counts it (the pitch stage's output, and silence that empties a stretcher).
    std::uint64_t stretchedFrames() const { return stretchedFrames_.load(std::memory_order_relaxed); }

    void setShouldBypassEffect(bool bypass) override;

    std::vector<int> channelCapabilities() const override { return {-1, -1}; }
    // outputFrames * 32 (the top rate) plus the room the pull regulation and a start need, at most
    // maximumInputFramesPerCycle.
    AUAudioFrameCount maximumFramesToPull(std::uint32_t bus, AUAudioFrameCount outputFrames) const override;

protected:
    Result<void> allocateInternalRenderResources() override;
    void deallocateInternalRenderResources() override;
    void resetInternalRenderState() override;
    bool rendersBypassItself() const override { return true; }
    RenderStatus internalRender(const AudioTime& timestamp, AUAudioFrameCount frames, std::uint32_t outputBus,
                                AudioBufferList& output, const AURenderEvent* events,
                                const AudioUnitPullInput& input) override;

private:
    void storeOverlap(float overlap);
    double wantedRatio() const;
    // Configuring side: primes the stretcher the render thread let go of, or a new one, as the spare.
    void keepSpareStretcher();
    void provideSpare(); // under engineMutex_

    std::shared_ptr<AUParameter> rateParameter_;
    std::shared_ptr<AUParameter> pitchParameter_;
    std::shared_ptr<AUParameter> overlapParameter_;
    std::atomic<float> rate_{1.0f};
    std::atomic<float> pitch_{0.0f};
    std::atomic<float> overlap_{8.0f};

    // Configuring side: the render state (replaced only while the render thread is shut out) and the
    // engine it was built for.
    std::mutex engineMutex_;
    std::unique_ptr<TimePitchKernel> kernel_;
    TimePitchEngine kernelEngine_ = TimePitchEngine::finer;
    // A primed stretcher for the render thread to take up (only the configuring side fills the slot,
    // and replaces one of the other engine), and the one it gave back (only the render thread fills
    // the retired slot, only the other side empties it).
    std::atomic<TimePitchStretcher*> spareStretcher_{nullptr};
    std::atomic<TimePitchStretcher*> retiredStretcher_{nullptr};
    // The engine wanted (kernelEngine_, for the render thread).
    std::atomic<TimePitchEngine> engineWanted_{TimePitchEngine::finer};

    StretchTimingCell timing_;
    std::atomic<std::uint64_t> underruns_{0};
    std::atomic<std::uint64_t> stretchedFrames_{0};
    bool bypassed_ = false; // render thread: the last cycle passed its input through
};

} // namespace platform

#pragma once
// The platform's audio unit: a processor with input and output busses, a parameter tree, bypass, render
// resources, events scheduled for exact samples (parameter changes and ramps, MIDI) and render observers.
// Subclasses supply internalRender() and, where they need them, the allocation, reset and format hooks.
//
// Threads. Configuration (busses and formats, maximumFramesToRender, allocation, reset, the parameter
// tree) belongs to the thread that configures the engine. render() runs on the render thread; it takes no
// lock and allocates nothing. Scheduling events, bypass and parameter values: any thread. Render
// observers may be added and removed from any thread but the render thread, also while the unit renders:
// the render thread reads an immutable list published by pointer swap.
//
// While its render resources are allocated a unit renders; deallocating (and reset) first shuts the
// render thread out and waits until it has left render(), so subclasses may rebuild their render state
// freely in the hooks. Formats and the frame limit change only while deallocated.

#include "platform/audio/AUParameterTree.h"
#include "platform/audio/AURenderEvent.h"
#include "platform/audio/AudioBufferList.h"
#include "platform/audio/AudioComponentDescription.h"
#include "platform/audio/AudioFormat.h"
#include "platform/audio/AudioNode.h"
#include "platform/audio/AudioTime.h"
#include "platform/audio/AudioUnitTypes.h"
#include "platform/audio/RenderEventQueue.h"
#include "platform/audio/RenderEventScheduler.h"
#include "platform/foundation/Result.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <utility>
#include <vector>

namespace platform {

class AudioUnit;

enum class AudioUnitBusType { input = 1, output = 2 };

// One bus of a unit and its format. Configuring thread.
class AudioUnitBus {
public:
    AudioUnitBusType busType() const { return type_; }
    std::uint32_t index() const { return index_; }
    const AudioFormat& format() const { return format_; }
    // Refused for a format that is not non-interleaved 32-bit float, while the unit's render resources
    // are allocated, and when the unit declines it (AudioUnit::shouldChangeToFormat).
    Result<void> setFormat(const AudioFormat& format);

private:
    friend class AudioUnit;
    AudioUnitBus(AudioUnit& unit, AudioUnitBusType type, std::uint32_t index, const AudioFormat& format)
        : unit_(unit), type_(type), index_(index), format_(format) {}

    AudioUnit& unit_;
    const AudioUnitBusType type_;
    const std::uint32_t index_;
    AudioFormat format_;
};

// Brings a unit the audio of its input busses during a render call. Render thread.
class AudioUnitPullInput {
public:
    // Points `data` at `frames` frames of input `bus` (read-only, valid until the render call returns,
    // one buffer per channel of the input's connection). Null with notConnected or error: silence.
    virtual RenderStatus pull(std::uint32_t bus, AUAudioFrameCount frames,
                              const AudioBufferList*& data) const = 0;
    // Copies the input into the buffers of `into` (which the caller points at room for `frames`
    // frames, possibly the output's): channels the input lacks, or all of them when it fails, are silent.
    // A host may have the input rendered straight into them instead.
    virtual RenderStatus pullInto(std::uint32_t bus, AUAudioFrameCount frames, AudioBufferList& into) const;
    // Makes `output`, the list the unit renders, carry input `bus` as it is (a bypass): as pullInto, or,
    // where the host allows, by pointing `output` at the input's buffers.
    virtual RenderStatus forward(std::uint32_t bus, AUAudioFrameCount frames, AudioBufferList& output) const {
        return pullInto(bus, frames, output);
    }

    // A source without inputs, for rendering a unit outside an engine.
    static const AudioUnitPullInput& none();

protected:
    ~AudioUnitPullInput() = default;
};

class AudioUnit {
public:
    // Called before (preRender) and after (postRender, with postRenderError when it failed) every render
    // call, on the render thread: must not lock, allocate, do I/O or log.
    using RenderObserver =
        std::function<void(AudioUnitRenderActionFlags actionFlags, const AudioTime& timestamp,
                           AUAudioFrameCount frames, std::uint32_t outputBus)>;
    using RenderObserverToken = std::int64_t;

    static constexpr AUAudioFrameCount defaultMaximumFramesToRender = 512;
    static constexpr std::uint32_t defaultEventCapacity = 512;

    virtual ~AudioUnit();
    AudioUnit(const AudioUnit&) = delete;
    AudioUnit& operator=(const AudioUnit&) = delete;

    const AudioComponentDescription& componentDescription() const { return description_; }

    std::uint32_t inputBusCount() const { return std::uint32_t(inputs_.size()); }
    std::uint32_t outputBusCount() const { return std::uint32_t(outputs_.size()); }
    // `index` must be below the count.
    AudioUnitBus& inputBus(std::uint32_t index) { return *inputs_[index]; }
    const AudioUnitBus& inputBus(std::uint32_t index) const { return *inputs_[index]; }
    AudioUnitBus& outputBus(std::uint32_t index) { return *outputs_[index]; }
    const AudioUnitBus& outputBus(std::uint32_t index) const { return *outputs_[index]; }

    // Pairs of (input, output) channel counts the unit supports, checked on bus 0 at allocation. -1 on
    // both sides of a pair means "as many outputs as inputs"; another negative count means "any".
    // Empty (the default): any counts.
    virtual std::vector<int> channelCapabilities() const { return {}; }
    // Whether the unit may render its input straight in its output buffers (for its own render code).
    virtual bool canProcessInPlace() const { return false; }
    // The most frames one render call of `outputFrames` frames pulls from input `bus`, so that a host can
    // size what feeds it. Units that change the speed of time (time stretching, resampling) pull more
    // than they render; the default pulls as many frames as it renders. Any thread; it must not depend on
    // the unit's render resources, since hosts ask before they allocate them.
    virtual AUAudioFrameCount maximumFramesToPull(std::uint32_t bus, AUAudioFrameCount outputFrames) const {
        return outputFrames;
    }

    // The most frames one render call may ask for. Refused while allocated, and for 0.
    AUAudioFrameCount maximumFramesToRender() const { return maximumFrames_; }
    Result<void> setMaximumFramesToRender(AUAudioFrameCount frames);

    // Checks the formats (valid, one sample rate for all busses, the channel capabilities), then lets
    // the subclass allocate. Allocating an allocated unit does nothing.
    Result<void> allocateRenderResources();
    // Shuts the render thread out, drops the scheduled events and lets the subclass release.
    void deallocateRenderResources();
    bool renderResourcesAllocated() const { return allocated_; }
    // Clears what the unit keeps between render calls, scheduled events included.
    void reset();

    // Bypass: an effect passes input bus 0 through, a unit without inputs renders silence; the events
    // of bypassed cycles are dropped. Units that bypass in their own render override rendersBypassItself.
    virtual bool shouldBypassEffect() const { return bypass_.load(std::memory_order_relaxed); }
    virtual void setShouldBypassEffect(bool bypass) { bypass_.store(bypass, std::memory_order_relaxed); }

    std::shared_ptr<AUParameterTree> parameterTree() const { return tree_; }
    virtual void setParameterTree(std::shared_ptr<AUParameterTree> tree) { tree_ = std::move(tree); }
    // Sets the global-scope parameter with this ID (its address) through the tree; false without one.
    bool setParameter(std::uint32_t parameterID, AUValue value);

    // Parameters by ID, scope and element (AudioUnitGetParameter, AudioUnitSetParameter): the global
    // scope's element 0 is the parameter tree; units with volumes per bus or channel answer the other
    // elements. A value set here applies from the next render cycle. Refusals carry an AudioUnitErr
    // code. Any thread but the render thread.
    Result<AUValue> getParameter(AudioUnitParameterID id, AudioUnitScope scope,
                                 AudioUnitElement element) const;
    Result<void> setParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                              AUValue value);

    // Properties as raw bytes (AudioUnitGetProperty, AudioUnitSetProperty). Every unit answers the element
    // count of its input and output scopes; setting it adds or removes busses (new ones in the format of
    // bus 0), only where the unit allows it and while deallocated. getProperty returns the bytes written;
    // a buffer too small for the value is refused. Configuring thread.
    Result<std::size_t> getProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                    std::span<std::byte> data) const;
    Result<void> setProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                             std::span<const std::byte> data);

    // Told, on the configuring thread, about every property that setProperty changed.
    using PropertyListener =
        std::function<void(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element)>;
    using PropertyListenerToken = std::int64_t;
    PropertyListenerToken addPropertyListener(PropertyListener listener);
    void removePropertyListener(PropertyListenerToken token);

    // Schedules a change of the parameter at `address` to `value` at `when` (a sample time, or
    // AUEventSampleTimeImmediate + offset), ramping over `rampDurationFrames` (0: a jump). Any thread,
    // the render thread included: from this unit's pre-render observers an event lands in the cycle
    // about to render when due there. False (and counted) when the unit cannot take more events.
    bool scheduleParameterRamp(AUEventSampleTime when, AUAudioFrameCount rampDurationFrames,
                               AUParameterAddress address, AUValue value);
    // Whether the unit takes MIDI events: music devices, music effects and MIDI processors do.
    virtual bool acceptsMIDIEvents() const;
    // Schedules a MIDI message of one to three bytes like a parameter change. False (and counted) when
    // the unit takes no MIDI, the message is empty or longer, or the unit cannot take more events.
    bool scheduleMIDIEvent(AUEventSampleTime when, std::uint8_t cable, std::span<const std::uint8_t> bytes);
    // Events refused since the unit was made. Any thread.
    std::uint64_t refusedEventCount() const { return refusedEvents_.load(std::memory_order_relaxed); }

    RenderObserverToken tokenByAddingRenderObserver(RenderObserver observer);
    // After this returns, the observer is not called in later cycles (one under way may finish), and
    // what it captured is released once the render thread has left it. Unknown tokens are ignored.
    void removeRenderObserver(RenderObserverToken token);

    // Render thread: renders `frames` frames of output bus `outputBus` into `output` (one buffer per
    // channel of the bus's format) at `timestamp`, pulling inputs from `input`. Calls the render
    // observers, takes in the scheduled events and hands those due in this cycle to internalRender (with
    // output bus 0; busses above 0 get none). Observers and internalRender see a time stamp with a
    // sample time: the one given, or else the unit's own count of frames rendered. Fails, with silence,
    // while not allocated, and for more frames than maximumFramesToRender or an output list that does not
    // match the bus's format.
    RenderStatus render(const AudioTime& timestamp, AUAudioFrameCount frames, std::uint32_t outputBus,
                        AudioBufferList& output, const AudioUnitPullInput& input);

protected:
    // Every bus gets `format`. `eventCapacity` bounds the events waiting in the queue and, separately,
    // those waiting on the render thread.
    AudioUnit(const AudioComponentDescription& description, std::uint32_t inputBusses,
              std::uint32_t outputBusses, const AudioFormat& format,
              std::uint32_t eventCapacity = defaultEventCapacity);

    // Whether a bus may take a format (called only while deallocated).
    virtual bool shouldChangeToFormat(const AudioFormat& format, const AudioUnitBus& bus) { return true; }
    // Configuring thread; the render thread is shut out while they run.
    virtual Result<void> allocateInternalRenderResources() { return Result<void>(); }
    virtual void deallocateInternalRenderResources() {}
    virtual void resetInternalRenderState() {}
    // True when internalRender handles bypass itself (it is then called while bypassed too).
    virtual bool rendersBypassItself() const { return false; }

    // The parameters and properties beyond the tree and the element count; the defaults refuse them.
    virtual Result<AUValue> getScopedParameter(AudioUnitParameterID id, AudioUnitScope scope,
                                               AudioUnitElement element) const;
    virtual Result<void> setScopedParameter(AudioUnitParameterID id, AudioUnitScope scope,
                                            AudioUnitElement element, AUValue value);
    virtual Result<std::size_t> getUnitProperty(AudioUnitPropertyID id, AudioUnitScope scope,
                                                AudioUnitElement element, std::span<std::byte> data) const;
    virtual Result<void> setUnitProperty(AudioUnitPropertyID id, AudioUnitScope scope,
                                         AudioUnitElement element, std::span<const std::byte> data);
    // Whether the input or output scope may have `count` busses. None may change by default.
    virtual bool acceptsElementCount(AudioUnitScope scope, std::uint32_t count) const { return false; }

    // Render thread: renders `frames` frames into `output`, applying `events` (time ordered, stamped on
    // the timeline of `timestamp`: an event at t applies from frame t - timestamp.sampleTime(), events
    // stamped earlier apply before frame 0). Must not lock, allocate, do I/O or log.
    virtual RenderStatus internalRender(const AudioTime& timestamp, AUAudioFrameCount frames,
                                        std::uint32_t outputBus, AudioBufferList& output,
                                        const AURenderEvent* events, const AudioUnitPullInput& input) = 0;

private:
    friend class AudioUnitBus;
    struct RenderObserverList;

    bool schedule(const AURenderEvent& event);
    void shutOutRenderThread();
    void letInRenderThread();
    RenderObserverList* acquireObservers();
    void publishObservers(std::unique_ptr<RenderObserverList> list);
    void reclaimObservers();
    RenderStatus bypassRender(AUAudioFrameCount frames, AudioBufferList& output,
                              const AudioUnitPullInput& input);

    const AudioComponentDescription description_;
    std::vector<std::unique_ptr<AudioUnitBus>> inputs_;
    std::vector<std::unique_ptr<AudioUnitBus>> outputs_;
    AUAudioFrameCount maximumFrames_ = defaultMaximumFramesToRender;
    bool allocated_ = false;
    std::shared_ptr<AUParameterTree> tree_;
    std::atomic<bool> bypass_{false};

    // Render gate: the render thread raises `rendering_` and then checks `renderEnabled_`; the configuring
    // thread lowers `renderEnabled_` and then waits for `rendering_` to fall. Sequentially consistent, so
    // at least one of them sees the other.
    std::atomic<bool> renderEnabled_{false};
    std::atomic<bool> rendering_{false};

    RenderEventQueue queue_;
    RenderEventScheduler events_;              // render thread
    AUEventSampleTime fallbackSampleTime_ = 0; // render thread: for time stamps without a sample time
    std::atomic<std::uint64_t> refusedEvents_{0};

    // Render observers: the published list, the one the render thread is in (hazard), and replaced
    // lists waiting until the render thread has left them.
    std::mutex observersMutex_; // writers only; guards the members below but the two atomics
    std::unique_ptr<RenderObserverList> currentObservers_;
    std::atomic<RenderObserverList*> observers_{nullptr};
    std::atomic<RenderObserverList*> observersInUse_{nullptr};
    std::vector<std::unique_ptr<RenderObserverList>> retiredObservers_;
    RenderObserverToken nextObserverToken_ = 1;

    std::vector<std::pair<PropertyListenerToken, PropertyListener>> propertyListeners_; // configuring thread
    PropertyListenerToken nextPropertyListenerToken_ = 1;
};

} // namespace platform

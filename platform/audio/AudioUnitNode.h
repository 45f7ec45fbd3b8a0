#pragma once
// A node of the engine graph that renders an audio unit: its busses mirror the unit's, it pulls the
// unit's inputs from the graph, and it keeps the unit configured for its connections. Whenever the
// engine builds a render plan with the node in it (at start and at graph edits while running) the node
// brings the unit's bus formats to those of its connections and its frame limit up to the plan's, and
// allocates its render resources: a unit renders once it is attached to a started engine. When the
// unit's bus counts change (its element count property), the node's follow. A unit's
// busses share one sample rate, so connect both sides in formats of one rate (configurationError() says
// when the unit refuses). While the unit is reallocated or reset, a render cycle under way on the old
// plan gets silence from it. Configure on the main thread; the unit renders on the render thread.

#include "platform/audio/AudioNode.h"
#include "platform/audio/AudioUnit.h"
#include "platform/foundation/Result.h"

#include <memory>
#include <optional>

namespace platform {

class AudioUnitNode final : public AudioNode {
public:
    // `unit` must not be null.
    explicit AudioUnitNode(std::unique_ptr<AudioUnit> unit);
    ~AudioUnitNode() override;

    AudioUnit& auAudioUnit() const { return *unit_; }

    // Why the unit could not be set up for the last render plan (a format it refuses, a failed
    // allocation); empty when it renders. While it is set the node renders silence and reports an error.
    const std::optional<Error>& configurationError() const { return configurationError_; }

    // Resets the unit (AudioUnitReset).
    void reset() override;
    std::string typeName() const override { return "AudioUnitNode"; }

protected:
    RenderStatus render(RenderContext& context, std::uint32_t frames, AudioBufferList& out,
                        const AudioTime& when, std::uint32_t bus) override;
    std::shared_ptr<NodeRenderState>
    makeRenderState(std::uint32_t maximumFrames, const std::shared_ptr<NodeRenderState>& previous) override;
    // What the unit says it pulls (AudioUnit::maximumFramesToPull).
    std::uint32_t maximumFramesToPull(std::uint32_t bus, std::uint32_t outputFrames) const override;

private:
    Result<void> configureUnit(std::uint32_t maximumFrames);
    // The unit's bus counts changed (its element count was set): the node's busses follow.
    void followUnitBusses();

    std::unique_ptr<AudioUnit> unit_;
    std::optional<Error> configurationError_;
    AudioUnit::PropertyListenerToken busListener_ = 0;
};

} // namespace platform

#include "RozezEru/Nodes/Playback/TimePitch.h"

#include "platform/audio/AudioUnitNode.h"
#include "platform/audio/TimePitchUnit.h"
#include "platform/audio/VarispeedUnit.h"

#include <algorithm>
#include <cmath>

namespace rozezeru {
namespace {

// Not-a-number passes the clamp unchanged in the original; the units ignore it, so the node refuses
// it too rather than storing a value the unit never received.
bool clampPlaybackSetting(float value, float lower, float upper, float& stored) {
    if (std::isnan(value)) return false;
    stored = std::clamp(value, lower, upper);
    return true;
}

} // namespace

TimePitch::TimePitch(std::shared_ptr<Node> input, float rate, float pitch, float overlap)
    : input_(std::move(input)),
      unitNode_(std::make_shared<platform::AudioUnitNode>(std::make_unique<platform::TimePitchUnit>())),
      rate_(rate), pitch_(pitch), overlap_(overlap) {
    platform::TimePitchUnit& unit = timePitchAU();
    unit.setOverlap(overlap);
    unit.setRate(rate);
    unit.setPitch(pitch);
}

TimePitch::~TimePitch() = default;

std::shared_ptr<platform::AudioNode> TimePitch::avAudioNode() const {
    return unitNode_;
}

platform::TimePitchUnit& TimePitch::timePitchAU() const {
    return static_cast<platform::TimePitchUnit&>(unitNode_->auAudioUnit());
}

void TimePitch::setRate(float rate) {
    if (clampPlaybackSetting(rate, minimumRate, maximumRate, rate_)) timePitchAU().setRate(rate_);
}

void TimePitch::setPitch(float cents) {
    if (clampPlaybackSetting(cents, minimumPitch, maximumPitch, pitch_)) timePitchAU().setPitch(pitch_);
}

void TimePitch::setOverlap(float overlap) {
    if (clampPlaybackSetting(overlap, minimumOverlap, maximumOverlap, overlap_))
        timePitchAU().setOverlap(overlap_);
}

VariSpeed::VariSpeed(std::shared_ptr<Node> input, float rate)
    : input_(std::move(input)),
      unitNode_(std::make_shared<platform::AudioUnitNode>(std::make_unique<platform::VarispeedUnit>())),
      rate_(rate), lastKnownRate_(rate) {
    static_cast<platform::VarispeedUnit&>(unitNode_->auAudioUnit()).setRate(rate);
}

VariSpeed::~VariSpeed() = default;

std::shared_ptr<platform::AudioNode> VariSpeed::avAudioNode() const {
    return unitNode_;
}

void VariSpeed::setRate(float rate) {
    if (clampPlaybackSetting(rate, minimumRate, maximumRate, rate_))
        static_cast<platform::VarispeedUnit&>(unitNode_->auAudioUnit()).setRate(rate_);
}

void VariSpeed::start() {
    float restored = rate_;
    if (!clampPlaybackSetting(lastKnownRate_, minimumRate, maximumRate, restored)) return;
    setRate(restored);
}

void VariSpeed::stop() {
    lastKnownRate_ = rate_;
    setRate(1.0f);
}

} // namespace rozezeru

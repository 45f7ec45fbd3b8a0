#pragma once
// The nodes over the platform's dynamics processor and peak limiter. The member definitions are in
// PlatformEffectParameterDefs.h.

#include "RozezEru/Nodes/Effects/PlatformEffectNodeShapes.h"

#include <memory>
#include <vector>

namespace rozezeru {

// The compressing half of the platform's dynamics processor (DynamicsProcessorUnit), with its meters.
// Main thread.
class Compressor final : public PlatformDynamicsNode<Compressor> {
public:
    static constexpr PlatformEffect effect = PlatformEffect::compressor;
    static const NodeParameterDef& thresholdDef() { return def(effect, "threshold"); }
    static const NodeParameterDef& headRoomDef() { return def(effect, "headRoom"); }

    explicit Compressor(std::shared_ptr<Node> input, float threshold = thresholdDef().defaultValue,
                        float headRoom = headRoomDef().defaultValue,
                        float attackTime = attackTimeDef().defaultValue,
                        float releaseTime = releaseTimeDef().defaultValue,
                        float masterGain = masterGainDef().defaultValue);

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(threshold, headRoom, attackTime, releaseTime, masterGain);
    }

    Parameter<float> threshold{thresholdDef()};
    Parameter<float> headRoom{headRoomDef()};
};

// The platform's dynamics processor (DynamicsProcessorUnit): compression and expansion, with its meters.
// Main thread.
class DynamicsProcessor final : public PlatformDynamicsNode<DynamicsProcessor> {
public:
    static constexpr PlatformEffect effect = PlatformEffect::dynamicsProcessor;
    static const NodeParameterDef& thresholdDef() { return def(effect, "threshold"); }
    static const NodeParameterDef& headRoomDef() { return def(effect, "headRoom"); }
    static const NodeParameterDef& expansionRatioDef() { return def(effect, "expansionRatio"); }
    static const NodeParameterDef& expansionThresholdDef() { return def(effect, "expansionThreshold"); }

    explicit DynamicsProcessor(std::shared_ptr<Node> input, float threshold = thresholdDef().defaultValue,
                               float headRoom = headRoomDef().defaultValue,
                               float expansionRatio = expansionRatioDef().defaultValue,
                               float expansionThreshold = expansionThresholdDef().defaultValue,
                               float attackTime = attackTimeDef().defaultValue,
                               float releaseTime = releaseTimeDef().defaultValue,
                               float masterGain = masterGainDef().defaultValue);

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(threshold, headRoom, expansionRatio, expansionThreshold, attackTime, releaseTime,
                             masterGain);
    }

    Parameter<float> threshold{thresholdDef()};
    Parameter<float> headRoom{headRoomDef()};
    Parameter<float> expansionRatio{expansionRatioDef()};
    Parameter<float> expansionThreshold{expansionThresholdDef()};
};

// The expanding half of the platform's dynamics processor (DynamicsProcessorUnit), with its meters.
// Main thread.
class Expander final : public PlatformDynamicsNode<Expander> {
public:
    static constexpr PlatformEffect effect = PlatformEffect::expander;
    static const NodeParameterDef& expansionRatioDef() { return def(effect, "expansionRatio"); }
    static const NodeParameterDef& expansionThresholdDef() { return def(effect, "expansionThreshold"); }

    explicit Expander(std::shared_ptr<Node> input, float expansionRatio = expansionRatioDef().defaultValue,
                      float expansionThreshold = expansionThresholdDef().defaultValue,
                      float attackTime = attackTimeDef().defaultValue,
                      float releaseTime = releaseTimeDef().defaultValue,
                      float masterGain = masterGainDef().defaultValue);

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(expansionRatio, expansionThreshold, attackTime, releaseTime, masterGain);
    }

    Parameter<float> expansionRatio{expansionRatioDef()};
    Parameter<float> expansionThreshold{expansionThresholdDef()};
};

// Holds its input below full scale through the platform's peak limiter (PeakLimiterUnit). Main thread.
class PeakLimiter final : public PlatformEffectNode {
public:
    static constexpr PlatformEffect effect = PlatformEffect::peakLimiter;
    static const NodeParameterDef& attackTimeDef() { return def(effect, "attackTime"); }
    static const NodeParameterDef& decayTimeDef() { return def(effect, "decayTime"); }
    static const NodeParameterDef& preGainDef() { return def(effect, "preGain"); }

    explicit PeakLimiter(std::shared_ptr<Node> input, float attackTime = attackTimeDef().defaultValue,
                         float decayTime = decayTimeDef().defaultValue,
                         float preGain = preGainDef().defaultValue);

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(attackTime, decayTime, preGain);
    }

    Parameter<float> attackTime{attackTimeDef()};
    Parameter<float> decayTime{decayTimeDef()};
    Parameter<float> preGain{preGainDef()};
};

} // namespace rozezeru

#include "platform/audio/Audio3DMixing.h"

#include <algorithm>
#include <cmath>

namespace platform {

namespace {

void mixing3DStoreLimited(std::atomic<float>& target, float value, float low, float high) {
    if (!std::isnan(value)) target.store(std::clamp(value, low, high), std::memory_order_relaxed);
}

} // namespace

Audio3DMixing::Audio3DMixing() : values_(std::make_shared<Audio3DMixingValues>()), readOnly_(values_) {}

Audio3DPoint Audio3DMixing::position() const {
    return {values_->x.load(std::memory_order_relaxed), values_->y.load(std::memory_order_relaxed),
            values_->z.load(std::memory_order_relaxed)};
}

void Audio3DMixing::setPosition(Audio3DPoint position) {
    // A reader may see the coordinates of two positions mixed for one cycle; the gains glide over it.
    if (!std::isfinite(position.x) || !std::isfinite(position.y) || !std::isfinite(position.z)) return;
    values_->x.store(position.x, std::memory_order_relaxed);
    values_->y.store(position.y, std::memory_order_relaxed);
    values_->z.store(position.z, std::memory_order_relaxed);
}

void Audio3DMixing::setObstruction(float decibels) {
    mixing3DStoreLimited(values_->obstruction, decibels, -100.0f, 0.0f);
}

void Audio3DMixing::setOcclusion(float decibels) {
    mixing3DStoreLimited(values_->occlusion, decibels, -100.0f, 0.0f);
}

void Audio3DMixing::setRate(float rate) {
    mixing3DStoreLimited(values_->rate, rate, minimumRate, maximumRate);
}

void Audio3DMixing::setReverbBlend(float blend) {
    mixing3DStoreLimited(values_->reverbBlend, blend, 0.0f, 1.0f);
}

Audio3DMixingSourceMode Audio3DMixing::sourceMode() const {
    return Audio3DMixingSourceMode(values_->sourceMode.load(std::memory_order_relaxed));
}

void Audio3DMixing::setSourceMode(Audio3DMixingSourceMode mode) {
    values_->sourceMode.store(int(mode), std::memory_order_relaxed);
}

Audio3DMixingPointSourceInHeadMode Audio3DMixing::pointSourceInHeadMode() const {
    return Audio3DMixingPointSourceInHeadMode(values_->pointSourceInHeadMode.load(std::memory_order_relaxed));
}

void Audio3DMixing::setPointSourceInHeadMode(Audio3DMixingPointSourceInHeadMode mode) {
    values_->pointSourceInHeadMode.store(int(mode), std::memory_order_relaxed);
}

Audio3DMixingRenderingAlgorithm Audio3DMixing::renderingAlgorithm() const {
    return Audio3DMixingRenderingAlgorithm(values_->renderingAlgorithm.load(std::memory_order_relaxed));
}

void Audio3DMixing::setRenderingAlgorithm(Audio3DMixingRenderingAlgorithm algorithm) {
    values_->renderingAlgorithm.store(int(algorithm), std::memory_order_relaxed);
}

} // namespace platform

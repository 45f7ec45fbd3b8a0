#include "RozezEru/Nodes/Mixer3D.h"

#include "RozezEru/Internals/Settings.h"
#include "platform/audio/MixerNode.h"

namespace rozezeru {

platform::AudioFormat Mixer3D::monoFormat() const {
    return platform::AudioFormat::standard(Settings::sampleRate(), 1).value_or(Settings::audioFormat());
}

float Mixer3D::obstruction() const {
    return mixerAU()->obstruction();
}
void Mixer3D::setObstruction(float decibels) {
    mixerAU()->setObstruction(decibels);
}
float Mixer3D::occlusion() const {
    return mixerAU()->occlusion();
}
void Mixer3D::setOcclusion(float decibels) {
    mixerAU()->setOcclusion(decibels);
}
platform::Audio3DPoint Mixer3D::position() const {
    return mixerAU()->position();
}
void Mixer3D::setPosition(platform::Audio3DPoint position) {
    mixerAU()->setPosition(position);
}
float Mixer3D::rate() const {
    return mixerAU()->rate();
}
void Mixer3D::setRate(float rate) {
    mixerAU()->setRate(rate);
}
platform::Audio3DMixingPointSourceInHeadMode Mixer3D::pointSourceInHeadMode() const {
    return mixerAU()->pointSourceInHeadMode();
}
void Mixer3D::setPointSourceInHeadMode(platform::Audio3DMixingPointSourceInHeadMode mode) {
    mixerAU()->setPointSourceInHeadMode(mode);
}
float Mixer3D::reverbBlend() const {
    return mixerAU()->reverbBlend();
}
void Mixer3D::setReverbBlend(float blend) {
    mixerAU()->setReverbBlend(blend);
}
platform::Audio3DMixingSourceMode Mixer3D::sourceMode() const {
    return mixerAU()->sourceMode();
}
void Mixer3D::setSourceMode(platform::Audio3DMixingSourceMode mode) {
    mixerAU()->setSourceMode(mode);
}
platform::Audio3DMixingRenderingAlgorithm Mixer3D::renderingAlgorithm() const {
    return mixerAU()->renderingAlgorithm();
}
void Mixer3D::setRenderingAlgorithm(platform::Audio3DMixingRenderingAlgorithm algorithm) {
    mixerAU()->setRenderingAlgorithm(algorithm);
}

} // namespace rozezeru

#pragma once
// A mixer whose platform mixer also carries 3D mixing settings: where it sits, how muffled it is and
// how much of it goes to the reverb, once it feeds an EnvironmentalNode (into which it is connected in
// mono). Each member reads and writes the setting of the platform mixer, with its limits. Main thread
// (the settings reach a running engine at its next cycle).

#include "RozezEru/Nodes/Mixer.h"
#include "platform/audio/Audio3DMixing.h"

namespace rozezeru {

class Mixer3D : public Mixer {
public:
    using Mixer::Mixer;

    // Standard and mono at the Settings' sample rate, or Settings::audioFormat() when that makes no
    // format. Its output as a node stays outputFormat().
    platform::AudioFormat monoFormat() const;

    float obstruction() const;
    void setObstruction(float decibels);
    float occlusion() const;
    void setOcclusion(float decibels);
    platform::Audio3DPoint position() const;
    void setPosition(platform::Audio3DPoint position);
    float rate() const;
    void setRate(float rate);
    platform::Audio3DMixingPointSourceInHeadMode pointSourceInHeadMode() const;
    void setPointSourceInHeadMode(platform::Audio3DMixingPointSourceInHeadMode mode);
    float reverbBlend() const;
    void setReverbBlend(float blend);
    platform::Audio3DMixingSourceMode sourceMode() const;
    void setSourceMode(platform::Audio3DMixingSourceMode mode);
    platform::Audio3DMixingRenderingAlgorithm renderingAlgorithm() const;
    void setRenderingAlgorithm(platform::Audio3DMixingRenderingAlgorithm algorithm);

protected:
    bool joinsEnvironmentInMono() const override { return true; }
};

} // namespace rozezeru

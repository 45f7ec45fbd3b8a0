#pragma once
// Two small generators that compute their samples in the render block of a platform source node, each
// writing one signal to every channel: white noise of a uniform distribution, and a wavetable read at a
// frequency without interpolation. Both start stopped (silent) and sound after start(); stop() and
// bypass() silence them again. Settings are stored and picked up by the render block (amplitude at the
// next frame, frequency and the started state at the next render call).
//
// Threads: construction and the settings on the main thread; the render block on the render thread, where
// it takes no lock and allocates nothing.

#include "RozezEru/Internals/Table.h"
#include "RozezEru/Nodes/Node.h"

#include <memory>
#include <vector>

namespace platform {
class SourceNode;
} // namespace platform

namespace rozezeru {

// White noise, uniform in -amplitude ... amplitude with a resolution of 2^-23 of it, from the system's
// secure random source: each render call draws its words in blocks (one getrandom call for up to 256
// frames), never one call per frame. A call that gets no randomness renders silence for the rest.
class PlaygroundNoiseGenerator final : public Node {
public:
    explicit PlaygroundNoiseGenerator(float amplitude = 1.0f);
    ~PlaygroundNoiseGenerator() override;

    std::vector<std::shared_ptr<Node>> connections() const override { return {}; }
    std::shared_ptr<platform::AudioNode> avAudioNode() const override;
    const std::shared_ptr<platform::SourceNode>& sourceNode() const { return sourceNode_; }

    float amplitude() const;
    void setAmplitude(float amplitude);

    void start() override;
    void stop() override;
    void bypass() override { stop(); }
    bool isStarted() const override;

private:
    struct State;
    std::shared_ptr<State> state_;
    std::shared_ptr<platform::SourceNode> sourceNode_;
};

// Reads one cycle of a waveform at `frequency` hertz: each frame takes the table value at
// trunc(n x phase / 2 pi) (n the table's length) times the amplitude, and the phase, in radians, advances
// by 2 pi x frequency / Settings::sampleRate() (read once per render call) and is kept in 0 ... 2 pi;
// negative frequencies run it backwards. The phase carries on across stop and start. The table's values
// are taken when the oscillator is made (tables are not for the render thread); an empty table sounds
// as silence.
class PlaygroundOscillator final : public Node {
public:
    // A null waveform sounds as silence.
    explicit PlaygroundOscillator(std::shared_ptr<Table> waveform, float frequency = 440.0f,
                                  float amplitude = 1.0f);
    ~PlaygroundOscillator() override;

    std::vector<std::shared_ptr<Node>> connections() const override { return {}; }
    std::shared_ptr<platform::AudioNode> avAudioNode() const override;
    const std::shared_ptr<platform::SourceNode>& sourceNode() const { return sourceNode_; }
    const std::shared_ptr<Table>& waveform() const { return waveform_; }

    float frequency() const;
    void setFrequency(float frequency);
    float amplitude() const;
    void setAmplitude(float amplitude);

    void start() override;
    void stop() override;
    void bypass() override { stop(); }
    bool isStarted() const override;

private:
    struct State;
    std::shared_ptr<Table> waveform_;
    std::shared_ptr<State> state_;
    std::shared_ptr<platform::SourceNode> sourceNode_;
};

} // namespace rozezeru

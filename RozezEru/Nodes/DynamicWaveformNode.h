#pragma once
// A node whose wavetable can be replaced while it plays (a tremolo, an oscillator). Mixed into Node
// subclasses. Main thread.

#include <functional>
#include <memory>
#include <vector>

namespace rozezeru {

class Table;

class DynamicWaveformNode {
public:
    using WaveformUpdateHandler = std::function<void(const std::vector<float>& values)>;

    // Hands the table's samples to the kernel, keeps the table and then calls the update handler with
    // the samples.
    virtual void setWaveform(std::shared_ptr<const Table> waveform) = 0;
    // The samples of the table kept; none without one.
    virtual std::vector<float> getWaveformValues() const = 0;
    // Replaces the handler; it is first called by the next setWaveform.
    virtual void setWaveformUpdateHandler(WaveformUpdateHandler handler) = 0;

protected:
    ~DynamicWaveformNode() = default;
};

} // namespace rozezeru

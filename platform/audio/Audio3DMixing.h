#pragma once
// The 3D vocabulary of the environment node and the settings a source carries into one (in place of
// the platform's 3D mixing protocol): where the source is, how much it is muffled and how much of it
// goes to the reverb. Coordinates are right-handed in metres: x to the right, y up, z towards the
// listener (who by default faces -z). Plain values; Audio3DMixing may be set from any thread and is read
// by the render thread of the environment node the source feeds.

#include <atomic>
#include <memory>

namespace platform {

struct Audio3DPoint {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    friend bool operator==(const Audio3DPoint&, const Audio3DPoint&) = default;
};
using Audio3DVector = Audio3DPoint;

// Degrees: yaw turns to the right about the up axis, pitch raises the view, roll tilts it to the right.
struct Audio3DAngularOrientation {
    float yaw = 0.0f;
    float pitch = 0.0f;
    float roll = 0.0f;
    friend bool operator==(const Audio3DAngularOrientation&, const Audio3DAngularOrientation&) = default;
};

struct Audio3DVectorOrientation {
    Audio3DVector forward{0.0f, 0.0f, -1.0f};
    Audio3DVector up{0.0f, 1.0f, 0.0f};
    friend bool operator==(const Audio3DVectorOrientation&, const Audio3DVectorOrientation&) = default;
};

// The platform's codes. The environment node renders every source by equal-power panning, the one
// algorithm it offers; the others are kept as chosen.
enum class Audio3DMixingRenderingAlgorithm : int {
    equalPowerPanning = 0,
    sphericalHead = 1,
    HRTF = 2,
    soundField = 3,
    stereoPassThrough = 5,
    HRTFHQ = 6,
    automatic = 7,
};
enum class Audio3DMixingSourceMode : int {
    spatializeIfMono = 0,
    bypass = 1,
    pointSource = 2,
    ambienceBed = 3
};
enum class Audio3DMixingPointSourceInHeadMode : int { mono = 0, bypass = 1 };

// What an environment node reads of a source each render cycle. Any thread.
struct Audio3DMixingValues {
    std::atomic<float> x{0.0f}, y{0.0f}, z{0.0f};
    std::atomic<float> obstruction{0.0f};
    std::atomic<float> occlusion{0.0f};
    std::atomic<float> rate{1.0f};
    std::atomic<float> reverbBlend{0.0f};
    std::atomic<int> sourceMode{int(Audio3DMixingSourceMode::spatializeIfMono)};
    std::atomic<int> pointSourceInHeadMode{int(Audio3DMixingPointSourceInHeadMode::mono)};
    std::atomic<int> renderingAlgorithm{int(Audio3DMixingRenderingAlgorithm::equalPowerPanning)};
};

// The 3D settings of a source node, mixed into the node classes that can feed an environment node.
// Values out of range are limited to it; a value that is not a number is ignored.
class Audio3DMixing {
public:
    Audio3DPoint position() const;
    void setPosition(Audio3DPoint position);
    // Decibels from -100 to 0: obstruction dampens the direct sound only, occlusion the reverb too.
    float obstruction() const { return values_->obstruction.load(std::memory_order_relaxed); }
    void setObstruction(float decibels);
    float occlusion() const { return values_->occlusion.load(std::memory_order_relaxed); }
    void setOcclusion(float decibels);
    // 0.5 to 2: the environment node plays the source this many times as fast, its pitch following.
    static constexpr float minimumRate = 0.5f;
    static constexpr float maximumRate = 2.0f;
    float rate() const { return values_->rate.load(std::memory_order_relaxed); }
    void setRate(float rate);
    // 0 (dry) to 1 (all reverb), while the environment's reverb is on.
    float reverbBlend() const { return values_->reverbBlend.load(std::memory_order_relaxed); }
    void setReverbBlend(float blend);
    // Kept as chosen; every source is rendered as a point source.
    Audio3DMixingSourceMode sourceMode() const;
    void setSourceMode(Audio3DMixingSourceMode mode);
    Audio3DMixingPointSourceInHeadMode pointSourceInHeadMode() const;
    void setPointSourceInHeadMode(Audio3DMixingPointSourceInHeadMode mode);
    Audio3DMixingRenderingAlgorithm renderingAlgorithm() const;
    void setRenderingAlgorithm(Audio3DMixingRenderingAlgorithm algorithm);

    // For the environment node's render state, which keeps the values alive as long as it reads them.
    const std::shared_ptr<const Audio3DMixingValues>& mixingValues() const { return readOnly_; }

protected:
    Audio3DMixing();
    ~Audio3DMixing() = default;

private:
    std::shared_ptr<Audio3DMixingValues> values_;
    std::shared_ptr<const Audio3DMixingValues> readOnly_;
};

} // namespace platform

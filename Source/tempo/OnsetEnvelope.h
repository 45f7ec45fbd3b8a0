#pragma once
// The signal front end of the tempo analysis: per short frame, how much new sound starts (aubio's
// spectral flux), how much new sound starts in the bass, and which pitch classes sound. One thread at a
// time.

#include <array>
#include <cstddef>
#include <memory>
#include <vector>

namespace vantle {

// The envelopes of a whole song, one value per frame, frames frameRate apart.
struct OnsetFrames {
    double frameRate = 0;
    // The song time of frame 0; frame n lies n / frameRate later.
    double firstFrameSeconds = 0;
    std::vector<float> flux;
    std::vector<float> bassFlux;
    std::vector<std::array<float, 12>> chroma;

    std::size_t size() const { return flux.size(); }
    double secondsOf(double frame) const { return firstFrameSeconds + frame / frameRate; }
};

class OnsetEnvelope {
public:
    explicit OnsetEnvelope(double sampleRate);
    ~OnsetEnvelope();
    OnsetEnvelope(const OnsetEnvelope&) = delete;
    OnsetEnvelope& operator=(const OnsetEnvelope&) = delete;

    void add(const float* mono, std::size_t frames);
    const OnsetFrames& frames() const { return frames_; }

private:
    void analyseHop();

    double sampleRate_;
    unsigned window_;
    unsigned hop_;
    // The library's objects.
    struct Aubio;
    std::unique_ptr<Aubio> aubio_;
    std::size_t filled_ = 0;
    std::vector<float> previousBass_;
    std::vector<int> pitchClassOfBin_;
    OnsetFrames frames_;
};

} // namespace vantle

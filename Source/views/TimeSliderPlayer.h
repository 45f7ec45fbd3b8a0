#pragma once
// The player as the time slider and the scrubber use it: its playback position, read and sought.
// Main thread.

namespace vantle {

// The application's player implements it (or an adapter of it does); tests use a fake.
class TimeSliderPlayer {
public:
    virtual ~TimeSliderPlayer() = default;

    // The playback position, seconds.
    virtual double currentTime() const = 0;
    // Seeks; the player accepts any time and clamps it to its file.
    virtual void setCurrentTime(double seconds) = 0;
};

} // namespace vantle

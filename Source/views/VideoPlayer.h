#pragma once
// The media player behind the video window.

class QVideoWidget;

namespace vantle {

// Plays one video file. Its rate is 0 while it is not playing; setting a rate above 0 plays at that
// rate, and play() plays at rate 1. Times are seconds. Main thread only.
class VideoPlayer {
public:
    virtual ~VideoPlayer() = default;

    virtual float rate() const = 0;
    virtual void setRate(float rate) = 0;
    virtual void play() = 0;
    virtual void pause() = 0;
    virtual double currentTime() const = 0;
    // Times before the start seek to the start.
    virtual void seek(double seconds) = 0;
    // 0 … 1, linear.
    virtual void setVolume(float volume) = 0;
    // Where the picture goes; null: nowhere. The view must outlive the player or be reset first.
    virtual void setVideoOutput(QVideoWidget* view) = 0;
};

} // namespace vantle

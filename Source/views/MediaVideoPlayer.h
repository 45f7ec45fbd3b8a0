#pragma once
// The video window's player over Qt Multimedia.

#include "Source/views/VideoPlayer.h"
#include "platform/foundation/Url.h"

#include <memory>

class QAudioOutput;
class QMediaPlayer;

namespace vantle {

// A QMediaPlayer with its audio output, playing one file. A file that cannot be played leaves a
// player that shows nothing and reports the reason on the console. Main thread only.
class MediaVideoPlayer final : public VideoPlayer {
public:
    // Chooses Qt's GStreamer media back end for the process unless QT_MEDIA_BACKEND is already set:
    // the choice is made once, when the first media object is made, and the FFmpeg back end aborts
    // when the machine has no audio device.
    explicit MediaVideoPlayer(const platform::Url& url);
    ~MediaVideoPlayer() override;

    float rate() const override;
    void setRate(float rate) override;
    void play() override;
    void pause() override;
    double currentTime() const override;
    void seek(double seconds) override;
    void setVolume(float volume) override;
    // A stopped player is paused on its way to a view, so that the view shows its frame at once.
    void setVideoOutput(QVideoWidget* view) override;

    QMediaPlayer& mediaPlayer() const { return *player_; }

    // Sets QT_MEDIA_BACKEND to "gstreamer" unless it is set; call before the first media object.
    static void chooseMediaBackend();

private:
    void showFrame();

    // A view is waiting for the frame at the position.
    bool showFrameOnceLoaded_ = false;
    std::unique_ptr<QAudioOutput> audio_;
    std::unique_ptr<QMediaPlayer> player_;
};

} // namespace vantle

#pragma once
// The content of the video window: the picture, the video's own player, its keys and remote buttons.

#include "Source/views/RemoteControlDelegate.h"
#include "Source/views/VideoPlayer.h"
#include "Source/views/VtlViewController.h"
#include "platform/foundation/Date.h"

#include <QPointer>
#include <QRect>

#include <functional>
#include <memory>
#include <optional>

class QVideoWidget;

namespace platform {
class Clock;
}

namespace vantle {

// What the video window takes from the application, or from a test.
struct Mp4ViewEnvironment {
    // "Now" for adding up quick seek presses. Null: the system clock (must outlive the controller).
    const platform::Clock* clock = nullptr;
    // Sets the system output volume (0 … 1) and unmutes it. Empty: the remote's volume buttons change
    // only the video's volume.
    std::function<void(float volume)> setOutputVolume;
    // The main screen's visible area; nothing when there is no main screen. Empty: the primary screen's
    // available geometry.
    std::function<std::optional<QRect>()> mainScreenFrame;
};

// Plays the video independently of the audio player: nothing ties the two positions or rates. Keys
// typed in its window (or forwarded by the main view) and the remote's buttons (forwarded by the
// transport panel while the window is key) control it. Closing the window stops the video and
// releases its player. Main thread only.
class Mp4ViewController final : public VtlViewController, public RemoteControlDelegate {
    Q_OBJECT

public:
    static constexpr float volumeStep = 0.05f;
    static constexpr float seekBackSeconds = 3.0f;
    // Relative seeks closer together than this add up.
    static constexpr double seekPressInterval = 0.5;

    explicit Mp4ViewController(Mp4ViewEnvironment environment = {}, QWidget* parent = nullptr);
    ~Mp4ViewController() override;

    QString keyEquivalent() const override; // "3"

    // The player view that fills the window.
    QVideoWidget& mp4aview() const { return *mp4aview_; }

    VideoPlayer* videoPlayer() const { return videoPlayer_.get(); }
    // Replaces the player (the old one is released); a new one gets the controller's volume.
    void setVideoPlayer(std::unique_ptr<VideoPlayer> player);

    // 0 … 1; starts at 0.5 whatever the main volume is.
    float volume() const { return volume_; }

    // Pauses the player, if any, and releases it.
    void stopVideo();

    // The typed characters, the whole string at once: space plays or pauses, "h" "n" "s" "d" (either
    // case) set the rate 0.5, 1, 1.5, 2, escape closes the window; the up and down arrows and unknown
    // strings are only logged. Nothing happens without a player.
    void handleKey(const QString& characters);

    // Seeks `seconds` back from the position, or from the previous target when the previous relative
    // seek was less than half a second ago, so that quick presses add up.
    void seekBack(float seconds);

    // ---- RemoteControlDelegate ----
    // Up and down change the volume (also the system's), A plays, B seeks back 3 s, X goes to the
    // start, R pauses.
    void pressed(RemoteControlButton button) override;
    void released(RemoteControlButton) override {}
    void connected(int) override {}

protected:
    // On every appearance (viewDidAppear): watches the window's closing; with a player, fills the main
    // screen's visible area, gives the view the player, comes to the front as the key window and
    // updates the Window menu.
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void viewDidAppear();
    void windowWillClose();
    void changeVolume(float by);

    Mp4ViewEnvironment environment_;
    std::optional<double> prevTargetSeekTime_;
    std::optional<platform::Date> prevSeekEventTime_;
    QVideoWidget* mp4aview_;
    std::unique_ptr<VideoPlayer> videoPlayer_;
    float volume_ = 0.5f;
    // The window whose closing stops the video.
    QPointer<QWidget> watchedWindow_;
};

} // namespace vantle

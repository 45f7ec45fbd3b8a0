#pragma once
// The finished views as the main view's parts: the time slider with its scrubbing, the transport
// panel with the game-controller remote, the text and image notices, and the screensaver. Each
// takes only what it serves, never the main view controller itself. Main thread only.

#include "Source/mainwindow/MainViewParts.h"
#include "Source/views/Screensaver.h"
#include "Source/views/TimeSlider.h"

#include <QPointer>

namespace platform {
class Clock;
class DoNotDisturb;
class GameControllerCenter;
class TimerScheduler;
} // namespace platform

namespace vantle {

class ApplicationPlayer;
class ImageNotifierView;
class RestTimerState;
class TextNotifierView;
class TransportHost;
class TransportViewController;

// The time slider in the main view: it seeks the player, scrubs with the host's scrubber and has
// the host show the position while it is held.
class TimeSliderAdapter final : public TimeSliderPart {
public:
    explicit TimeSliderAdapter(TimeSliderHost& host);
    ~TimeSliderAdapter() override;

    QWidget* widget() override { return slider_; }
    void setPlayer(Player* player) override;
    void loadEntry(const std::shared_ptr<PlaylistEntry>& entry) override;
    void setValue(double seconds) override;

    TimeSlider* slider() const { return slider_; }

private:
    QPointer<TimeSlider> slider_;
};

// The transport panel driving the host (the main view, its parent), with Do Not Disturb and the
// remote over the centre's controllers (none: no remote), made when the controls are set up.
class TransportAdapter final : public TransportPart {
public:
    TransportAdapter(TransportHost& host, platform::DoNotDisturb* doNotDisturb,
                     platform::GameControllerCenter* gameControllers);
    ~TransportAdapter() override;

    QWidget* widget() override;
    void setUpControls() override;
    void playPressed() override;
    void pausePressed() override;
    void markZeroPressed() override;
    void prevSegmentPressed() override;
    void nextSegmentPressed() override;
    void resetSpeedControls() override;
    void setVolumeSliderValue(float volume) override;
    void keyDown() override;
    void keyUp() override;
    void originalKey() override;
    void showKeyShift(int semitones) override;
    double tempo() const override;
    void setTempo(double rate) override;

    TransportViewController* panel() const;

private:
    QPointer<TransportViewController> panel_;
};

// A band of the main view in which text and image notices appear: it holds the two hidden templates,
// and each notice is a copy laid over the whole band. It takes no clicks.
class NoticesAdapter final : public NoticesPart {
public:
    NoticesAdapter();
    ~NoticesAdapter() override;

    QWidget* widget() override { return area_; }
    void showText(const QString& text, double seconds, std::optional<QColor> color) override;
    void showImage(const QIcon& image) override;

    TextNotifierView* textTemplate() const { return text_; }
    ImageNotifierView* imageTemplate() const { return image_; }

private:
    QPointer<QWidget> area_;
    TextNotifierView* text_;
    ImageNotifierView* image_;
};

// The screensaver laid over the main view, reading the main view's player and break; its clock and
// idle timer run on the main view's clock and scheduler. All four must outlive the adapter.
class ScreensaverAdapter final : public ScreensaverPart, public ScreensaverHost {
public:
    ScreensaverAdapter(const ApplicationPlayer& player, const RestTimerState& restTimer,
                       const platform::Clock& clock, platform::TimerScheduler& scheduler);
    ~ScreensaverAdapter() override;

    QWidget* widget() override { return screensaver_; }
    void resetIdle() override;
    void show() override;

    bool isPlaying() const override;
    PlayerMode playerMode() const override;
    const RestTimerState* restTimer() const override;

    Screensaver* screensaver() const { return screensaver_; }

private:
    const ApplicationPlayer& player_;
    const RestTimerState& restTimer_;
    QPointer<Screensaver> screensaver_;
};

} // namespace vantle

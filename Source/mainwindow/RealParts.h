#pragma once
// The finished views as the main view's parts: the time slider with its scrubbing, the transport
// panel with the game-controller remote, the text and image notices, and the screensaver. Main
// thread only.

#include "Source/mainwindow/MainViewParts.h"
#include "Source/views/Screensaver.h"
#include "Source/views/TimeSlider.h"

#include <QPointer>

namespace platform {
class GameControllerCenter;
}

namespace vantle {

class ImageNotifierView;
class TextNotifierView;
class TransportViewController;

// What the application's own parts need beyond the main view controller. Not owned; must outlive
// the main window.
struct RealPartsServices {
    // The controllers the remote listens to; null: no remote.
    platform::GameControllerCenter* gameControllers = nullptr;
};

// The time slider, the transport panel, the notices and the screensaver; the other parts are left
// to their stand-ins.
MainViewParts realMainViewParts(const RealPartsServices& services);

// The time slider in the main view: it seeks the player, scrubs with the main view's scrubber and
// has the main view show the position while it is held.
class TimeSliderAdapter final : public TimeSliderPart, public TimeSliderHost {
public:
    explicit TimeSliderAdapter(MainViewController& controller);
    ~TimeSliderAdapter() override;

    QWidget* widget() override { return slider_; }
    void setPlayer(Player* player) override;
    void loadEntry(const std::shared_ptr<PlaylistEntry>& entry) override;
    void setValue(double seconds) override;

    void refreshDisplay() override;
    void setShowingRemaining(bool showingRemaining) override;
    std::shared_ptr<Scrubber> scrubber() const override;

    TimeSlider* slider() const { return slider_; }

private:
    MainViewController& controller_;
    QPointer<TimeSlider> slider_;
};

// The transport panel with the main view as its parent, Do Not Disturb from the main view and the
// remote over the centre's controllers, made when the controls are set up.
class TransportAdapter final : public TransportPart {
public:
    TransportAdapter(MainViewController& controller, platform::GameControllerCenter* gameControllers);
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
// idle timer run on the main view's clock and scheduler.
class ScreensaverAdapter final : public ScreensaverPart, public ScreensaverHost {
public:
    explicit ScreensaverAdapter(MainViewController& controller);
    ~ScreensaverAdapter() override;

    QWidget* widget() override { return screensaver_; }
    void resetIdle() override;
    void show() override;

    bool isPlaying() const override;
    PlayerMode playerMode() const override;
    const RestTimerState* restTimer() const override;

    Screensaver* screensaver() const { return screensaver_; }

private:
    MainViewController& controller_;
    QPointer<Screensaver> screensaver_;
};

} // namespace vantle

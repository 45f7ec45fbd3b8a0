#pragma once
// The transport panel of the main window: steps back and forward, play and pause, zero marks and
// transcription segments, volume and playback rate. It also receives the game-controller remote's
// buttons and turns each into one of its actions. Main thread only.

#include "Source/views/RemoteControlButton.h"
#include "Source/views/RemoteControlDelegate.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

class QAbstractButton;
class QCheckBox;
class QLabel;
class QSlider;

namespace vantle {

class ApplicationPlayer;
} // namespace vantle
namespace platform {
class DoNotDisturb;
} // namespace platform
namespace vantle {
class PlaylistEntry;
class TransportHost;
struct Lyrics;

// Owns no playback state: every action works on the main view (its host) and, through it, on the
// player, the entries, the break timer and the notices. Without a host the actions do nothing.
// Main thread only.
class TransportViewController final : public QWidget, public RemoteControlDelegate {
    Q_OBJECT

public:
    // Seconds the position notice stays; volume and rate notices stay levelNotifierDwell.
    static constexpr double timeNotifierDwell = 1.5;
    static constexpr double levelNotifierDwell = 1.0;
    static constexpr double stepBackShort = 1.0;
    static constexpr double stepBackLong = 3.0;
    static constexpr double stepForward = 1.0;
    // Pause steps back this far, but only when more than this lies after the last zero mark.
    static constexpr double pauseRewind = 1.0;
    // The previous-zero action looks this far behind the position, the next-zero and
    // next-segment actions this far ahead, so that a jump lands beyond the mark just reached.
    static constexpr double zeroLookBehind = 0.3;
    static constexpr double lookAhead = 0.3;
    // Play pressed while playing finishes the entry when less than this remains.
    static constexpr double skipToEndWithin = 10.0;
    // The volume moves in twentieths; the slider has one position per step.
    static constexpr int volumeSteps = 20;
    // Rate = rate step / rateDivisor; normalRateStep is normal speed.
    static constexpr double rateDivisor = 45.0;
    static constexpr int normalRateStep = 45;
    static constexpr int minimumRateStep = 23;
    static constexpr int maximumRateStep = 90;
    static constexpr float doubleSpeedRate = 2.0f;

    // Makes the remote with the panel as its delegate; what it returns is kept for the panel's
    // life.
    using RemoteMaker = std::function<std::shared_ptr<void>(RemoteControlDelegate& delegate)>;

    explicit TransportViewController(QWidget* parent = nullptr);
    ~TransportViewController() override;

    // The main view; not owned, and must outlive the panel or be reset to null first.
    void setParentMainViewController(TransportHost* host) { host_ = host; }
    TransportHost* parentMainViewController() const { return host_; }
    // Switched on by every play action that leaves the player playing; not owned; null for none.
    void setDoNotDisturb(platform::DoNotDisturb* doNotDisturb) { doNotDisturb_ = doNotDisturb; }
    // Used by setUpControls; none: no remote.
    void setRemoteMaker(RemoteMaker makeRemote) { makeRemote_ = std::move(makeRemote); }

    // Once, when the last session is restored: the volume slider takes the main view's volume,
    // the remote is made (it may report connected() at once) and the left-shoulder button's
    // symbol is drawn large and bold.
    void setUpControls();
    // When a session is opened: double speed off and the rate slider at normal speed, without
    // applying the rate.
    void resetSpeedControls();
    // Moves the volume slider to a volume (0 … 1) without running its action.
    void setVolumeSliderValue(float volume);

    // ---- actions ----
    // Back to the finished entry (when the main view holds one), then 1 s or 3 s back.
    void back1Pressed();
    void back3Pressed();
    void fwd1Pressed();
    // Stops playback (arming the break timer), steps back a second unless a zero mark is within
    // a second behind, and shows the position.
    void pausePressed();
    // In this order: the play notice, the break timer cancelled, the end reached when play is
    // pressed while playing in the last 10 s, Do Not Disturb on, the player started.
    void playPressed();
    void prevZeroPressed();
    void nextZeroPressed();
    void prevSegmentPressed();
    void nextSegmentPressed();
    // A zero mark at the position, the time slider's marks redrawn, the state saved.
    void markZeroPressed();
    void volumeUpPressed();
    void volumeDownPressed();
    void volumeSliderChanged();
    void rateSliderChanged();
    // The speed in effect: the rate slider's, 2 with double speed, or one set by setExactRate.
    double rate() const { return rate_; }
    // A speed given by the program (a song's target tempo), exactly: the slider moves to the nearest step
    // without applying it, double speed goes off. The teacher's next touch of the speed is by hand again.
    void setExactRate(double rate);
    // Puts a widget at the end of the speed controls (what the speed means).
    void addBesideSpeed(QWidget* widget);
    // Faster (slower): one rate step up (down) within the slider's bounds; with Control or Option
    // held, or while double speed is on, back to normal speed instead.
    void fasterButtonPressed();
    void slowerButtonPressed();
    void faster(Qt::KeyboardModifiers modifiers);
    void slower(Qt::KeyboardModifiers modifiers);
    // The key for a singer, a semitone a step within the player's range, the speed left as it is; each
    // shows the key in a notice. With Control or Option held, back to the song's own key instead.
    void keyDown(Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void keyUp(Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void originalKey();
    void keyDownButtonPressed();
    void keyUpButtonPressed();
    // Emitted when the speed changes by hand (slider, buttons, keys, double speed).
signals:
    void rateChangedByHand(double rate);

public:
    // Shows a key shift beside the speed control (the player's delegate calls it on every change).
    void showKeyShift(int semitones);
    // "Key 0", "Key +2", "Key −3".
    static QString keyShiftText(int semitones);

    // Every remote button first saves the state, puts the player in `dance` mode and counts as
    // activity for the screensaver.
    void enterDanceMode();

    // ---- RemoteControlDelegate ----
    // Goes to the video window while it is key, else to this panel's action for the button.
    void pressed(RemoteControlButton button) override;
    void released(RemoteControlButton button) override;
    // Shows the remote's notice picture and whether a controller is connected.
    void connected(int count) override;

    // ---- controls ----
    QSlider* rateSlider() const { return rateSlider_; }
    QSlider* volumeSlider() const { return volumeSlider_; }
    QLabel* rateText() const { return rateText_; }
    QLabel* keyText() const { return keyText_; }
    QCheckBox* doubleSpeed() const { return doubleSpeed_; }
    QAbstractButton* leftShoulderButton() const { return leftShoulderButton_; }
    QLabel* remoteImage() const { return remoteImage_; }
    // The panel's buttons by action name ("playPressed", "back3Pressed", …); null for others.
    QAbstractButton* button(std::string_view action) const;

    // The volume notice: the volume on a scale of 0 to 10 in half steps ("5", "5½", "½", "10").
    static std::string volumeNoticeText(float volume);

private:
    // The lines the jumps move through: the karaoke panel's lyrics, else the transcription's cues.
    Lyrics lyricLinesOf(PlaylistEntry& entry) const;
    ApplicationPlayer& player() const;
    double position() const;
    void seek(double seconds);
    void returnToFinishedEntry();
    void showTimeNotice();
    void showSymbolNotice(std::string_view name);
    void stepVolume(int steps);
    void setRateSliderValue(int step);
    void stepRate(int steps, Qt::KeyboardModifiers modifiers);
    void stepKey(int steps, Qt::KeyboardModifiers modifiers);
    void showRemotePicture(std::string_view name);
    void buildControls();

    TransportHost* host_ = nullptr;
    platform::DoNotDisturb* doNotDisturb_ = nullptr;
    RemoteMaker makeRemote_;

    // Owned by the widget tree.
    QSlider* rateSlider_ = nullptr;
    QSlider* volumeSlider_ = nullptr;
    QLabel* rateText_ = nullptr;
    QLabel* keyText_ = nullptr;
    QCheckBox* doubleSpeed_ = nullptr;
    double rate_ = 1.0;
    QAbstractButton* leftShoulderButton_ = nullptr;
    QLabel* remoteImage_ = nullptr;

    // Last, so that the remote goes before anything it might call.
    std::shared_ptr<void> gameControllerSet_;
};

} // namespace vantle

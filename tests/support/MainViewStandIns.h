#pragma once
// Plain stand-ins for the main window's time slider, transport panel, notices, screensaver and sound
// panel: enough to see the position, play and pause and read a notice, without the real parts' timers,
// remote and models. Main thread only.

#include "Source/mainwindow/MainViewController.h"
#include "Source/mainwindow/MainViewParts.h"

#include <QLabel>
#include <QSlider>
#include <QWidget>

#include <memory>

class QHBoxLayout;

namespace testsupport {

using namespace vantle;

// A plain slider in tenths of a second; dragging it seeks.
class StandInTimeSlider final : public QSlider, public TimeSliderPart {
    Q_OBJECT

public:
    explicit StandInTimeSlider(QWidget* parent = nullptr);
    QWidget* widget() override { return this; }
    void setPlayer(Player* player) override { player_ = player; }
    void loadEntry(const std::shared_ptr<PlaylistEntry>& entry) override;
    void setValue(double seconds) override;

private:
    Player* player_ = nullptr;
};

// Play and Pause buttons with the panel's play, pause, zero-mark and transcription-line actions (no
// remote, no volume or speed controls).
class StandInTransport final : public QWidget, public TransportPart {
    Q_OBJECT

public:
    explicit StandInTransport(MainViewController& controller, QWidget* parent = nullptr);
    QWidget* widget() override { return this; }
    void setUpControls() override {}
    // Stops the break, finishes the entry when less than 10 s are left, and plays.
    void playPressed() override;
    // Arms the break and stops, then steps back one second unless that passes the last zero mark.
    void pausePressed() override;
    void markZeroPressed() override;
    void prevSegmentPressed() override;
    void nextSegmentPressed() override;
    void resetSpeedControls() override {}
    void setVolumeSliderValue(float) override {}
    // Straight to the player; the key last shown is kept for the tests.
    void keyDown() override;
    void keyUp() override;
    void originalKey() override;
    void showKeyShift(int semitones) override { shownKey = semitones; }
    // Kept for the tests; the player is not asked.
    double tempo() const override { return rate; }
    void setTempo(double value) override { rate = value; }

    double rate = 1.0;

    int shownKey = 0;

private:
    MainViewController& controller_;
};

// One line of text, or a small picture, that goes away after its time.
class StandInNotices final : public QLabel, public NoticesPart {
    Q_OBJECT

public:
    explicit StandInNotices(QWidget* parent = nullptr);
    QWidget* widget() override { return this; }
    void showText(const QString& text, double seconds, std::optional<QColor> color) override;
    void showImage(const QIcon& image) override;

private:
    void hideAfter(double seconds);

    int shown_ = 0;
};

// No clock yet: nothing to hide or show.
class StandInScreensaver final : public ScreensaverPart {
public:
    QWidget* widget() override { return nullptr; }
    void resetIdle() override {}
    void show() override {}
};

// Two plain sliders, "Treble" and "Balance", in half steps from −10 to 10.
class StandInSoundPanel final : public QWidget, public MainViewPart {
    Q_OBJECT

public:
    explicit StandInSoundPanel(MainViewController& controller, QWidget* parent = nullptr);
    QWidget* widget() override { return this; }
};

// Fills the factories left empty with the stand-ins above.
void useMainViewStandIns(MainViewParts& parts);

} // namespace testsupport

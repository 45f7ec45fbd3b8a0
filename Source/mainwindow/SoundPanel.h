#pragma once
// The main window's tone panel: owns the treble and balance model and its view, and hands each value
// the model publishes (the initial 0 at once, then every change) to the receivers that set the player.
// Main thread only.

#include "Source/mainwindow/AudioView.h"
#include "Source/mainwindow/MainViewParts.h"
#include "Source/playback/AudioModel.h"

#include <QPointer>

namespace vantle {

// Where the panel's values go: the main view, which sets the player (slider units, −10 … 10).
// Main thread only.
class SoundPanelHost {
public:
    virtual ~SoundPanelHost() = default;
    virtual void trebleChanged(double value) = 0;
    virtual void panChanged(double value) = 0;
};

class SoundPanel final : public MainViewPart {
public:
    // Hands the values to the host's trebleChanged and panChanged.
    explicit SoundPanel(SoundPanelHost& host);
    // Hands them to the given receivers (slider units, −10 … 10).
    SoundPanel(AudioModel::Receiver trebleChanged, AudioModel::Receiver panChanged);
    ~SoundPanel() override;
    SoundPanel(const SoundPanel&) = delete;
    SoundPanel& operator=(const SoundPanel&) = delete;

    // The view; whoever places it may reparent it, and it goes with the panel.
    QWidget* widget() override;
    AudioView* audioView() const { return view_; }
    AudioModel& audioModel() { return audioModel_; }

private:
    AudioModel audioModel_;
    QPointer<AudioView> view_;
    AudioModel::Subscription trebleSubscription_;
    AudioModel::Subscription panSubscription_;
};

} // namespace vantle

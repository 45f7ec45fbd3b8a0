#include "Source/mainwindow/SoundPanel.h"

#include "Source/mainwindow/AudioView.h"

namespace vantle {

SoundPanel::SoundPanel(SoundPanelHost& host)
    : SoundPanel([&host](double value) { host.trebleChanged(value); },
                 [&host](double value) { host.panChanged(value); }) {}

SoundPanel::SoundPanel(AudioModel::Receiver trebleChanged, AudioModel::Receiver panChanged)
    : view_(new AudioView(audioModel_)) {
    trebleSubscription_ = audioModel_.subscribeTreble(std::move(trebleChanged));
    panSubscription_ = audioModel_.subscribePan(std::move(panChanged));
}

SoundPanel::~SoundPanel() {
    // The view reads the model while it lives, so it goes first (unless its parent took it already).
    delete view_.data();
}

QWidget* SoundPanel::widget() {
    return view_.data();
}

} // namespace vantle

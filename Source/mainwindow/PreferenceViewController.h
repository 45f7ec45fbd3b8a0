#pragma once
// The preferences sheet: the break length, the bell's volume, the directory prefix and the dance table,
// each written to the user defaults as soon as it changes.

#include <QDialog>

#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QSlider;

namespace platform {
class FilePanels;
class UserDefaults;
} // namespace platform

namespace vantle {

class SoundEffect;

// What the sheet takes from the application, or from a test. Pointers are not owned.
struct PreferenceEnvironment {
    platform::UserDefaults* defaults = nullptr;
    platform::FilePanels* filePanels = nullptr;
    // Rings the bell at the stored volume. Empty: the program's bell, made when the sheet loads.
    std::function<void()> ringBell;
    // The dance table's editor, shown under the other settings; empty: none.
    std::function<QWidget*(QWidget* parent)> makeDanceTable;
};

// A window-modal dialog over the main window; there is nothing to confirm or cancel, only Done.
// Main thread only.
class PreferenceViewController final : public QDialog {
    Q_OBJECT

public:
    // The volume slider's steps between 0 and 1.
    static constexpr int volumeSteps = 100;

    explicit PreferenceViewController(PreferenceEnvironment environment, QWidget* parent = nullptr);
    ~PreferenceViewController() override;

    QSlider& timerDurationSlider() const { return *timerDurationSlider_; }
    QSlider& restSoundVolumeSlider() const { return *restSoundVolumeSlider_; }
    QLabel& timerDurationText() const { return *timerDurationText_; }
    QLineEdit& directoryPrefixText() const { return *directoryPrefixText_; }

    // The sliders' actions: store the value ("timerDuration", "breaksoundAttenuation" = 1 − volume)
    // and update the label or ring the bell.
    void timerDurationChanged();
    void restSoundVolumeChanged();
    // A folder chosen in a window-modal panel becomes "directoryPrefix"; Cancel changes nothing.
    void choosePrefixPressed();

private:
    void viewDidLoad();
    void updateTimerDurationText();

    PreferenceEnvironment environment_;
    std::unique_ptr<SoundEffect> restSound_;
    QSlider* timerDurationSlider_;
    QSlider* restSoundVolumeSlider_;
    QLabel* timerDurationText_;
    QLineEdit* directoryPrefixText_;
};

} // namespace vantle

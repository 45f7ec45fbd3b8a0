#include "Source/mainwindow/PreferenceViewController.h"

#include "Source/playback/Preferences.h"
#include "Source/playback/SoundEffect.h"
#include "platform/audio/AudioDevice.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/FilePanels.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSlider>

#include <cmath>

namespace vantle {

PreferenceViewController::PreferenceViewController(PreferenceEnvironment environment, QWidget* parent)
    : QDialog(parent), environment_(std::move(environment)),
      timerDurationSlider_(new QSlider(Qt::Horizontal)), restSoundVolumeSlider_(new QSlider(Qt::Horizontal)),
      timerDurationText_(new QLabel), directoryPrefixText_(new QLineEdit) {
    setWindowTitle(tr("Preferences"));
    setWindowModality(Qt::WindowModal);
    timerDurationSlider_->setObjectName("timerDurationSlider");
    restSoundVolumeSlider_->setObjectName("restSoundVolumeSlider");
    timerDurationText_->setObjectName("timerDurationText");
    directoryPrefixText_->setObjectName("directoryPrefixText");
    directoryPrefixText_->setReadOnly(true);
    directoryPrefixText_->setMinimumWidth(320);
    timerDurationSlider_->setRange(1, 60);

    auto* choose = new QPushButton(tr("Choose…"));
    choose->setObjectName("choosePrefix");
    auto* prefixRow = new QHBoxLayout;
    prefixRow->addWidget(directoryPrefixText_, 1);
    prefixRow->addWidget(choose);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    buttons->button(QDialogButtonBox::Close)->setText(tr("Done"));

    auto* form = new QFormLayout(this);
    form->addRow(timerDurationText_, timerDurationSlider_);
    form->addRow(tr("Bell volume"), restSoundVolumeSlider_);
    form->addRow(tr("Directory prefix"), prefixRow);
    if (environment_.makeDanceTable) form->addRow(environment_.makeDanceTable(this));
    form->addRow(buttons);

    viewDidLoad();
    // Only the user's moves store a value; the set-up above must not write the defaults.
    connect(timerDurationSlider_, &QSlider::valueChanged, this,
            &PreferenceViewController::timerDurationChanged);
    connect(restSoundVolumeSlider_, &QSlider::sliderReleased, this,
            &PreferenceViewController::restSoundVolumeChanged);
    connect(restSoundVolumeSlider_, &QSlider::actionTriggered, this, [this](int) {
        if (!restSoundVolumeSlider_->isSliderDown())
            QMetaObject::invokeMethod(this, &PreferenceViewController::restSoundVolumeChanged,
                                      Qt::QueuedConnection);
    });
    connect(choose, &QPushButton::clicked, this, &PreferenceViewController::choosePrefixPressed);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

PreferenceViewController::~PreferenceViewController() = default;

void PreferenceViewController::viewDidLoad() {
    platform::UserDefaults& defaults = *environment_.defaults;
    if (!environment_.ringBell) {
        restSound_ = std::make_unique<SoundEffect>(SoundEffect::bellFileName, nullptr, defaults);
        environment_.ringBell = [sound = restSound_.get()] { sound->play(); };
    }
    restSoundVolumeSlider_->setRange(0, volumeSteps);
    const float attenuation = defaults.floatValue(Preferences::restSoundAttenuationKey);
    restSoundVolumeSlider_->setValue(static_cast<int>(std::lround((1.0f - attenuation) * volumeSteps)));
    timerDurationSlider_->setValue(static_cast<int>(defaults.doubleValue(Preferences::timerDurationKey)));
    updateTimerDurationText();
    directoryPrefixText_->setText(
        QString::fromStdString(defaults.string(Preferences::directoryPrefixKey).value_or(std::string())));
}

void PreferenceViewController::updateTimerDurationText() {
    const int minutes = timerDurationSlider_->value();
    timerDurationText_->setText(
        QStringLiteral("Timer duration %1 %2").arg(minutes).arg(minutes >= 2 ? "minutes" : "minute"));
}

void PreferenceViewController::timerDurationChanged() {
    environment_.defaults->setDouble(Preferences::timerDurationKey, timerDurationSlider_->value());
    updateTimerDurationText();
}

void PreferenceViewController::restSoundVolumeChanged() {
    const float volume = static_cast<float>(restSoundVolumeSlider_->value()) / volumeSteps;
    const float attenuation = volume <= 0.0f ? 1.0f : volume > 1.0f ? 0.0f : 1.0f - volume;
    environment_.defaults->setFloat(Preferences::restSoundAttenuationKey, attenuation);
    if (environment_.ringBell) environment_.ringBell();
}

void PreferenceViewController::choosePrefixPressed() {
    platform::OpenPanelOptions options;
    options.canChooseFiles = false;
    options.canChooseDirectories = true;
    options.allowsMultipleSelection = false;
    QPointer<PreferenceViewController> self(this);
    environment_.filePanels->beginOpenPanel(
        this, std::move(options), [self](std::vector<platform::Url> chosen) {
            if (!self || chosen.empty()) return;
            const std::string path = chosen.front().path();
            self->environment_.defaults->setString(Preferences::directoryPrefixKey, path);
            self->directoryPrefixText_->setText(QString::fromStdString(path));
        });
}

} // namespace vantle

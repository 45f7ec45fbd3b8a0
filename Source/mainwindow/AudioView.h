#pragma once
// The treble and balance sliders side by side, both bound to one AudioModel: a slider's moves set
// the model, and the model's changes move the slider. Main thread only.

#include "Source/playback/AudioModel.h"

#include <QString>
#include <QWidget>

namespace slimslider {
class SlimSlider;
}

namespace vantle {

class AudioView final : public QWidget {
    Q_OBJECT

public:
    // Slider units on both sliders.
    static constexpr double lowerBound = -10.0;
    static constexpr double upperBound = 10.0;
    static constexpr double step = 0.5;
    static constexpr int sliderWidth = 200;

    // The model must outlive the view.
    explicit AudioView(AudioModel& audioModel, QWidget* parent = nullptr);
    ~AudioView() override;

    AudioModel& audioModel() const { return audioModel_; }
    slimslider::SlimSlider& trebleSlider() const { return *treble_; }
    slimslider::SlimSlider& balanceSlider() const { return *balance_; }
    // What each slider shows behind its bar: its name and the model's value ("Treble 2.5").
    QString trebleLabel() const;
    QString balanceLabel() const;

private:
    using Getter = double (AudioModel::*)() const;
    using Setter = void (AudioModel::*)(double);
    slimslider::SlimSlider* makeSlider(const char* objectName, Getter get, Setter set,
                                       QString (AudioView::*label)() const);

    AudioModel& audioModel_;
    slimslider::SlimSlider* treble_ = nullptr;
    slimslider::SlimSlider* balance_ = nullptr;
    AudioModel::Subscription trebleSubscription_;
    AudioModel::Subscription panSubscription_;
};

} // namespace vantle

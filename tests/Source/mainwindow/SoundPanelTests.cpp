// The treble and balance panel: sliders, model and player kept in step.

#include "SlimSlider/SlimSlider.h"
#include "Source/mainwindow/AudioView.h"
#include "Source/mainwindow/SoundPanel.h"
#include "tests/Source/mainwindow/MainWindowTestSupport.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace vantle::testing {
namespace {

// A panel whose values reach a fake player through the mapping functions, shown at its natural size.
class SoundPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        panel = std::make_unique<SoundPanel>([this](double value) { trebleChanged(player, value); },
                                             [this](double value) { panChanged(player, value); });
        panel->widget()->show();
        QApplication::processEvents();
    }

    AudioView& view() { return *panel->audioView(); }
    slimslider::SlimSlider& treble() { return view().trebleSlider(); }
    slimslider::SlimSlider& balance() { return view().balanceSlider(); }

    // Presses and releases at x: the value under the pointer, snapped to half steps.
    static void clickAt(slimslider::SlimSlider& slider, int x) {
        const QPoint point(x, slider.height() / 2);
        QTest::mousePress(&slider, Qt::LeftButton, {}, point);
        QTest::mouseRelease(&slider, Qt::LeftButton, {}, point);
    }

    FakeApplicationPlayer player;
    std::unique_ptr<SoundPanel> panel;
};

// Where a click lands on the slider is the slider's own test; here what reaches the model, the player
// and the labels.
TEST_F(SoundPanelTest, ClicksSetTheModelThePlayerAndTheLabels) {
    ASSERT_EQ(treble().width(), 200);
    // 125 of 200 points: 2.5.
    clickAt(treble(), 125);
    EXPECT_DOUBLE_EQ(panel->audioModel().treble(), 2.5);
    EXPECT_NEAR(player.trebleGain, 0.9603f, 1e-4);
    EXPECT_EQ(view().trebleLabel(), "Treble 2.5");

    clickAt(balance(), 0);
    EXPECT_DOUBLE_EQ(panel->audioModel().pan(), -10.0);
    EXPECT_FLOAT_EQ(player.pan(), -1.0f);
    EXPECT_EQ(view().balanceLabel(), "Balance -10.0");
    // The treble stayed where it was.
    EXPECT_DOUBLE_EQ(panel->audioModel().treble(), 2.5);

    // The middle reads as zero, not as a negative zero.
    clickAt(treble(), 100);
    EXPECT_EQ(view().trebleLabel(), "Treble 0.0");
}

TEST_F(SoundPanelTest, ModelChangesMoveTheSliders) {
    panel->audioModel().setPan(7.5);
    EXPECT_DOUBLE_EQ(balance().value(), 7.5);
    EXPECT_EQ(view().balanceLabel(), "Balance 7.5");

    // Off the steps: the slider snaps and writes the snapped value back, which the player gets too.
    panel->audioModel().setTreble(2.3);
    EXPECT_DOUBLE_EQ(treble().value(), 2.5);
    EXPECT_DOUBLE_EQ(panel->audioModel().treble(), 2.5);
    EXPECT_NEAR(player.trebleGain, 0.9603f, 1e-4);

    // Beyond the bounds: the slider keeps the model, and so the player, at the end.
    panel->audioModel().setTreble(60);
    EXPECT_DOUBLE_EQ(panel->audioModel().treble(), 10.0);
    EXPECT_NEAR(player.trebleGain, 2.1248f, 1e-4);
}

TEST_F(SoundPanelTest, TheViewShowsBothSlidersSideBySide) {
    QWidget* shown = panel->widget();
    ASSERT_EQ(shown, panel->audioView());
    EXPECT_TRUE(treble().isVisible() && balance().isVisible());
    EXPECT_EQ(balance().width(), 200);
    EXPECT_GE(treble().height(), 24);
    // Treble first, Balance to its right, on one line.
    EXPECT_LT(treble().geometry().right(), balance().geometry().left());
    EXPECT_EQ(treble().geometry().center().y(), balance().geometry().center().y());
    EXPECT_EQ(view().balanceLabel(), "Balance 0.0");
    // Centre fill, half steps, −10 … 10, handles only while the pointer is over it.
    for (slimslider::SlimSlider* slider : {&treble(), &balance()}) {
        const slimslider::SlimSliderModel& model = slider->model();
        EXPECT_EQ(model.direction(), slimslider::SlimSliderDirection::center);
        EXPECT_EQ(model.bounds().lowerBound, -10.0);
        EXPECT_EQ(model.bounds().upperBound, 10.0);
        EXPECT_EQ(model.step(), 0.5);
        EXPECT_EQ(model.handleVisibility(), slimslider::HandleVisibility::hovering(3.0));
        EXPECT_EQ(model.scaleVisibility(), slimslider::ScaleVisibility::hovering);
        EXPECT_FALSE(slider->state().isActive());
    }
}

TEST_F(SoundPanelTest, TheSliderMeasuresItselfByItsCurrentLabel) {
    // The label's text is what the slider measures itself by.
    const QSize before = treble().sizeHint();
    panel->audioModel().setTreble(-10);
    const QSize after = treble().sizeHint();
    EXPECT_GT(after.width(), before.width());
    const QFontMetricsF metrics(treble().font());
    EXPECT_NEAR(after.width() - before.width(),
                metrics.horizontalAdvance("Treble -10.0") - metrics.horizontalAdvance("Treble 0.0"), 1.0);
}

TEST(SoundPanelLifetime, AViewTakenAndDeletedByItsParentLeavesThePanelSafe) {
    FakeApplicationPlayer player;
    auto parent = std::make_unique<QWidget>();
    SoundPanel panel([&](double value) { trebleChanged(player, value); },
                     [&](double value) { panChanged(player, value); });
    auto* layout = new QHBoxLayout(parent.get());
    layout->addWidget(panel.widget());
    parent.reset();
    EXPECT_EQ(panel.widget(), nullptr);
    // The model goes on reaching the player.
    panel.audioModel().setPan(-5);
    EXPECT_FLOAT_EQ(player.pan(), -0.5f);
}

} // namespace
} // namespace vantle::testing

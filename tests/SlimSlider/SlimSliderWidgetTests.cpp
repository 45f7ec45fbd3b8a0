#include "SlimSlider/ProminentSlimSliderStyle.h"
#include "SlimSlider/SlimSlider.h"
#include "SlimSlider/SlimSliderEnvironment.h"

#include "tests/SlimSlider/SlimSliderTestSupport.h"

#include <QCoreApplication>
#include <QEnterEvent>
#include <QImage>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace slimslider;
using slimslider_test::colorNear;
using slimslider_test::over;

namespace {

const QColor widgetWhite(255, 255, 255), widgetBlack(0, 0, 0), widgetAccent(0, 128, 0);
// The frame's background over the window, and the resting bar over that.
const QColor widgetFrame = over(widgetWhite, widgetBlack, 0.075),
             widgetBar = over(widgetFrame, widgetBlack, 0.075);

void useTestPalette(QWidget& widget) {
    QPalette palette;
    palette.setColor(QPalette::Window, widgetWhite);
    palette.setColor(QPalette::WindowText, widgetBlack);
    palette.setColor(QPalette::Highlight, widgetAccent);
    widget.setPalette(palette);
}

// The application's treble slider, or a 0 ... 100 slider with an always visible handle 4 points wide.
std::unique_ptr<SlimSlider> makeSlider(double value, bool treble, QWidget* parent = nullptr) {
    auto slider = treble ? std::make_unique<SlimSlider>(
                               value, SlimSliderBounds{-10.0, 10.0}, 0.5, SlimSliderDirection::center,
                               SlimSliderOptions{.handleVisibility = HandleVisibility::hovering(3.0)},
                               ValueLabel::text("Treble"))
                         : std::make_unique<SlimSlider>(
                               value, SlimSliderBounds{0.0, 100.0}, 0.0, SlimSliderDirection::leading,
                               SlimSliderOptions{.handleVisibility = HandleVisibility::always(4.0),
                                                 .scaleVisibility = ScaleVisibility::hidden},
                               ValueLabel(), parent);
    if (!parent) useTestPalette(*slider);
    slider->resize(200, 24);
    slider->show();
    return slider;
}

void hover(QWidget& widget, bool inside) {
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&widget, inside ? static_cast<QEvent*>(&enter) : &leave);
}

// The colour at x on the middle row of a grab of the widget, or on row y.
QColor pixel(QWidget& widget, int x, int y = 12) {
    return widget.grab().toImage().pixelColor(x, y);
}

} // namespace

TEST(SlimSliderWidget, MouseDragsMoveTheValueAndTheEnvironmentSilencesTheFeedback) {
    slimslider_test::CountingHapticPerformer haptics;
    auto slider = makeSlider(0.0, true);
    EXPECT_GE(slider->sizeHint().height(), 24);
    std::vector<double> written;
    QObject::connect(slider.get(), &SlimSlider::lowerValueChanged, [&](double v) { written.push_back(v); });
    int published = 0;
    QObject::connect(slider.get(), &SlimSlider::stateChanged, [&](const SlimSliderState&) { ++published; });
    slider->setState(SlimSliderState::zero());

    QTest::mousePress(slider.get(), Qt::LeftButton, {}, QPoint(74, 12));
    EXPECT_TRUE(slider->state().isDragging());
    QTest::mouseMove(slider.get(), QPoint(151, 12));
    QTest::mouseMove(slider.get(), QPoint(152, 12)); // the same step
    QTest::mouseRelease(slider.get(), Qt::LeftButton, {}, QPoint(260, 12));
    EXPECT_THAT(written, ::testing::ElementsAre(-2.5, 5.0, 10.0));
    EXPECT_EQ(std::pair(haptics.count, slider->state().isDragging()), std::pair(3, false));
    EXPECT_GT(published, 0);

    setSlimSliderDisabledHapticFeedback(slider.get(), true);
    QTest::mousePress(slider.get(), Qt::LeftButton, {}, QPoint(20, 12));
    QTest::mouseRelease(slider.get(), Qt::LeftButton, {}, QPoint(20, 12));
    EXPECT_DOUBLE_EQ(slider->value(), -8.0);
    EXPECT_EQ(haptics.count, 3);
}

TEST(SlimSliderWidget, HoverChangesTheAppearance) {
    auto slider = makeSlider(5.0, true); // progress 0.75: bar 100...150, handle 147.75...150.75
    const QImage resting = slider->grab().toImage();
    // No handle away from the middle, no ticks.
    for (auto [x, color] : {std::pair{149, widgetBar}, {120, widgetBar}, {180, widgetFrame}})
        EXPECT_PRED3(colorNear, resting.pixelColor(x, 12), color, 2) << x;
    for (int x = 38; x <= 62; ++x)
        EXPECT_GE(resting.pixelColor(x, 2).red(), widgetFrame.red() - 2) << x;

    hover(*slider, true);
    ASSERT_TRUE(slider->model().isHovering());
    const QImage hovered = slider->grab().toImage();
    EXPECT_PRED3(colorNear, hovered.pixelColor(149, 12), widgetAccent, 2);
    EXPECT_PRED3(colorNear, hovered.pixelColor(120, 12), over(widgetFrame, widgetAccent, 0.3), 2);
    // Ticks every 5 points from the top, only 5 points long.
    int darkest = 255;
    for (int x = 38; x <= 62; ++x)
        darkest = std::min(darkest, hovered.pixelColor(x, 2).red());
    EXPECT_LT(darkest, widgetFrame.red() - 20);
    EXPECT_PRED3(colorNear, hovered.pixelColor(42, 12), widgetFrame, 2);
    hover(*slider, false);
    EXPECT_EQ(slider->grab().toImage(), resting);

    // Disabled: no hover, content at half strength.
    slider->setEnabled(false);
    hover(*slider, true);
    EXPECT_FALSE(slider->model().isHovering());
    EXPECT_PRED3(colorNear, pixel(*slider, 120), over(widgetFrame, widgetBlack, 0.0375), 2);
}

TEST(SlimSliderWidget, HandleSitsWhereTheValueSays) {
    // A handle 4 wide with its left edge at p (W - w) = 49, over a bar from 0 to the value (50).
    auto slider = makeSlider(25.0, false);
    EXPECT_PRED3(colorNear, pixel(*slider, 48), widgetBar, 2);
    EXPECT_PRED3(colorNear, pixel(*slider, 49), over(widgetBar, widgetBlack, 0.2), 2);
    EXPECT_PRED3(colorNear, pixel(*slider, 52), over(widgetFrame, widgetBlack, 0.2), 2);
    EXPECT_PRED3(colorNear, pixel(*slider, 53), widgetFrame, 2);
    slider->setValue(100.0);
    // The environment's secondary appearance colours the handle.
    setSlimSliderSecondaryAppearance(slider.get(),
                                     SecondaryAppearance::colors(std::nullopt, std::nullopt, Qt::red));
    EXPECT_PRED3(colorNear, pixel(*slider, 198), QColor(Qt::red), 2);
}

TEST(SlimSliderWidget, BothStylesInOneWindow) {
    QWidget window;
    useTestPalette(window);
    window.resize(200, 60);
    auto plain = makeSlider(75.0, false, &window);
    auto* box = new QWidget(&window);
    box->setGeometry(0, 30, 200, 30);
    setSlimSliderStyle(box, ProminentSlimSliderStyle(Qt::red, Qt::blue, true));
    auto prominent = makeSlider(75.0, false, box);
    window.show();
    // Hovered, the default style takes the palette's accent; the prominent one its upper colour for a value
    // in the upper half.
    hover(*plain, true);
    hover(*prominent, true);
    EXPECT_PRED3(colorNear, pixel(window, 149, 12), widgetAccent, 2);
    EXPECT_PRED3(colorNear, pixel(window, 149, 42), QColor(Qt::blue), 2);
}

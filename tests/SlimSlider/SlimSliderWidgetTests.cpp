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
using slimslider_test::CountingHapticPerformer;
using slimslider_test::over;
using ::testing::ElementsAre;

namespace {

const QColor widgetWhite(255, 255, 255);
const QColor widgetBlack(0, 0, 0);
const QColor widgetAccent(0, 128, 0);
// The frame's background over the window.
const QColor widgetFrame = over(widgetWhite, widgetBlack, 0.075);

void useTestPalette(QWidget& widget) {
    QPalette palette;
    palette.setColor(QPalette::Window, widgetWhite);
    palette.setColor(QPalette::WindowText, widgetBlack);
    palette.setColor(QPalette::Highlight, widgetAccent);
    widget.setPalette(palette);
}

std::unique_ptr<SlimSlider> makeTreble(double value, ValueLabel label = {}) {
    auto slider =
        std::make_unique<SlimSlider>(value, SlimSliderBounds{-10.0, 10.0}, 0.5, SlimSliderDirection::center,
                                     SlimSliderOptions{.handleVisibility = HandleVisibility::hovering(3.0),
                                                       .scaleVisibility = ScaleVisibility::hovering,
                                                       .minHeight = SlimSlider::defaultMinHeight,
                                                       .enableDragGestureDelayForiOS = true},
                                     std::move(label));
    useTestPalette(*slider);
    slider->resize(200, 24);
    return slider;
}

std::unique_ptr<SlimSlider> makePercent(double value, QWidget* parent = nullptr) {
    auto slider =
        std::make_unique<SlimSlider>(value, SlimSliderBounds{0.0, 100.0}, 0.0, SlimSliderDirection::leading,
                                     SlimSliderOptions{.handleVisibility = HandleVisibility::always(4.0),
                                                       .scaleVisibility = ScaleVisibility::hidden},
                                     ValueLabel(), parent);
    if (!parent) useTestPalette(*slider);
    slider->resize(200, 24);
    return slider;
}

void hover(QWidget& widget, bool inside) {
    if (inside) {
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QCoreApplication::sendEvent(&widget, &enter);
    } else {
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(&widget, &leave);
    }
}

QImage grabImage(QWidget& widget) {
    return widget.grab().toImage();
}

// Middle of the run of pixels darker than `threshold` on row y; -1 when there is none.
double darkRunCentre(const QImage& image, int y, int threshold) {
    int first = -1;
    int last = -1;
    for (int x = 0; x < image.width(); ++x) {
        if (image.pixelColor(x, y).red() < threshold) {
            if (first < 0) first = x;
            last = x;
        }
    }
    return first < 0 ? -1.0 : (first + last + 1) / 2.0;
}

int darkestInRow(const QImage& image, int y, int fromX, int toX) {
    int darkest = 255;
    for (int x = fromX; x <= toX; ++x)
        darkest = std::min(darkest, image.pixelColor(x, y).red());
    return darkest;
}

} // namespace

TEST(SlimSliderWidget, DraggingMovesTheValueAndSnaps) {
    CountingHapticPerformer haptics;
    auto slider = makeTreble(0.0, ValueLabel::text("Treble"));
    EXPECT_GE(slider->sizeHint().height(), 24);
    EXPECT_TRUE(slider->enableDragGestureDelayForiOS());
    slider->show();
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
    EXPECT_THAT(written, ElementsAre(-2.5, 5.0, 10.0));
    EXPECT_DOUBLE_EQ(slider->value(), 10.0);
    EXPECT_EQ(haptics.count, 3);
    EXPECT_FALSE(slider->state().isDragging());
    EXPECT_GT(published, 0);

    // A host value between steps comes back snapped.
    slider->setValue(3.3);
    EXPECT_THAT(written, ElementsAre(-2.5, 5.0, 10.0, 3.5));

    setSlimSliderDisabledHapticFeedback(slider.get(), true);
    QTest::mousePress(slider.get(), Qt::LeftButton, {}, QPoint(20, 12));
    QTest::mouseRelease(slider.get(), Qt::LeftButton, {}, QPoint(20, 12));
    EXPECT_DOUBLE_EQ(slider->value(), -8.0);
    EXPECT_EQ(haptics.count, 3);
}

TEST(SlimSliderWidget, HoverChangesTheAppearance) {
    auto slider = makeTreble(5.0); // progress 0.75: bar 100...150, handle 147.75...150.75
    slider->show();
    const QImage resting = grabImage(*slider);
    const QColor restingBar = over(widgetFrame, widgetBlack, 0.075);
    EXPECT_PRED3(colorNear, resting.pixelColor(149, 12), restingBar, 2); // no handle away from the middle
    EXPECT_PRED3(colorNear, resting.pixelColor(120, 12), restingBar, 2);
    EXPECT_PRED3(colorNear, resting.pixelColor(180, 12), widgetFrame, 2);
    EXPECT_GE(darkestInRow(resting, 2, 38, 62), widgetFrame.red() - 2); // no ticks

    hover(*slider, true);
    ASSERT_TRUE(slider->model().isHovering());
    const QImage hovered = grabImage(*slider);
    EXPECT_PRED3(colorNear, hovered.pixelColor(149, 12), widgetAccent, 2);
    EXPECT_PRED3(colorNear, hovered.pixelColor(120, 12), over(widgetFrame, widgetAccent, 0.3), 2);
    EXPECT_LT(darkestInRow(hovered, 2, 38, 62), widgetFrame.red() - 20); // ticks every 5 points from the top
    EXPECT_PRED3(colorNear, hovered.pixelColor(42, 12), widgetFrame, 2); // ...only 5 points long

    hover(*slider, false);
    EXPECT_EQ(grabImage(*slider), resting);

    // Disabled: no hover, content at half strength.
    slider->setEnabled(false);
    hover(*slider, true);
    EXPECT_FALSE(slider->model().isHovering());
    EXPECT_PRED3(colorNear, grabImage(*slider).pixelColor(120, 12), over(widgetFrame, widgetBlack, 0.0375),
                 2);
}

TEST(SlimSliderWidget, HandleSitsWhereTheValueSays) {
    auto slider = makePercent(25.0);
    slider->show();
    QImage image = grabImage(*slider);
    // Handle 4 wide with its left edge at p * (W - w): 49...53, over a bar 0...50.
    EXPECT_NEAR(darkRunCentre(image, 12, 200), 51.0, 0.5);
    EXPECT_PRED3(colorNear, image.pixelColor(51, 12), over(widgetFrame, widgetBlack, 0.2), 2);
    EXPECT_PRED3(colorNear, image.pixelColor(46, 12), over(widgetFrame, widgetBlack, 0.075), 2);
    EXPECT_PRED3(colorNear, image.pixelColor(56, 12), widgetFrame, 2);

    slider->setValue(80.0);
    image = grabImage(*slider);
    EXPECT_NEAR(darkRunCentre(image, 12, 200), 158.8, 0.5);
    EXPECT_PRED3(colorNear, image.pixelColor(51, 12), over(widgetFrame, widgetBlack, 0.075), 2);

    slider->setValue(0.0);
    EXPECT_NEAR(darkRunCentre(grabImage(*slider), 12, 200), 2.0, 0.5);
    slider->setValue(100.0);
    EXPECT_NEAR(darkRunCentre(grabImage(*slider), 12, 200), 198.0, 0.5);

    // The environment's secondary appearance colours the handle.
    setSlimSliderSecondaryAppearance(slider.get(),
                                     SecondaryAppearance::colors(std::nullopt, std::nullopt, Qt::red));
    EXPECT_PRED3(colorNear, grabImage(*slider).pixelColor(198, 12), QColor(Qt::red), 2);
}

TEST(SlimSliderWidget, BothStylesInOneWindow) {
    QWidget window;
    useTestPalette(window);
    window.resize(200, 60);
    auto plain = makePercent(75.0, &window);
    auto* box = new QWidget(&window);
    box->setGeometry(0, 30, 200, 30);
    setSlimSliderStyle(box, ProminentSlimSliderStyle(Qt::red, Qt::blue, true));
    auto prominent = makePercent(75.0, box);
    window.show();

    // Resting, both look alike: frame, bar 0...150, handle 147...151.
    QImage image = grabImage(window);
    for (int y : {12, 42}) {
        EXPECT_PRED3(colorNear, image.pixelColor(180, y), widgetFrame, 2);
        EXPECT_PRED3(colorNear, image.pixelColor(100, y), over(widgetFrame, widgetBlack, 0.075), 2);
        EXPECT_PRED3(colorNear, image.pixelColor(149, y),
                     over(over(widgetFrame, widgetBlack, 0.075), widgetBlack, 0.2), 2);
    }

    hover(*plain, true);
    hover(*prominent, true);
    image = grabImage(window);
    // Default style: the accent of the palette.
    EXPECT_PRED3(colorNear, image.pixelColor(149, 12), widgetAccent, 2);
    EXPECT_PRED3(colorNear, image.pixelColor(100, 12), over(widgetFrame, widgetAccent, 0.3), 2);
    EXPECT_PRED3(colorNear, image.pixelColor(180, 12), widgetFrame, 2);
    // Prominent style: the upper colour for a value in the upper half, over the red-to-blue gradient.
    auto gradientAt = [](int x) {
        const double t = (x + 0.5) / 200.0;
        return QColor(int(std::lround(255 * (1 - t))), 0, int(std::lround(255 * t)));
    };
    EXPECT_PRED3(colorNear, image.pixelColor(149, 42), QColor(Qt::blue), 2);
    EXPECT_PRED3(colorNear, image.pixelColor(180, 42), over(widgetWhite, gradientAt(180), 0.2), 3);
    EXPECT_PRED3(colorNear, image.pixelColor(100, 42),
                 over(over(widgetWhite, gradientAt(100), 0.2), QColor(Qt::blue), 0.3), 3);
}

#include "SlimSlider/DefaultSlimSliderStyle.h"
#include "SlimSlider/ProminentSlimSliderStyle.h"
#include "SlimSlider/Scale.h"
#include "SlimSlider/SecondaryAppearance.h"
#include "SlimSlider/SlimSliderEnvironment.h"

#include "tests/SlimSlider/SlimSliderTestSupport.h"

#include <QBrush>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QWidget>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>

using namespace slimslider;
using slimslider_test::colorNear;
using slimslider_test::over;
using ::testing::ElementsAre;

namespace {

const QColor appearanceWhite(255, 255, 255);
const QColor appearanceLabel(20, 40, 60);
const QColor appearanceAccent(0, 128, 0);
const SlimSliderPalette appearancePalette{appearanceLabel, appearanceAccent, appearanceLabel};

QImage filledImage(const SecondaryAppearance::ProgressFillStyle& style, int width = 4) {
    QImage image(width, 4, QImage::Format_RGB32);
    image.fill(appearanceWhite);
    QPainter painter(&image);
    style.fill(painter, QRectF(0, 0, width, 4), appearancePalette);
    return image;
}

QColor filled(const SecondaryAppearance::ProgressFillStyle& style) {
    return filledImage(style).pixelColor(1, 1);
}

QColor labelAt(double opacity) {
    return QColor(appearanceLabel.red(), appearanceLabel.green(), appearanceLabel.blue(),
                  int(std::lround(opacity * 255)));
}

// A style rendered over white, with what it handed the content.
struct StyleRender {
    QImage image;
    std::optional<SlimSliderPalette> contentPalette;
};

StyleRender renderStyle(const SlimSliderStyle& style, SlimSliderStyleConfiguration::Label::Body body = {},
                        bool hovering = false, bool dragging = false, double lower = 0.3, double upper = 0.0,
                        bool range = false, SlimSliderDirection direction = SlimSliderDirection::leading) {
    StyleRender render{QImage(100, 24, QImage::Format_RGB32), std::nullopt};
    render.image.fill(appearanceWhite);
    QPainter painter(&render.image);
    auto label = [&](QPainter& p, const QRectF& rect, const SlimSliderPalette& palette) {
        render.contentPalette = palette;
        if (body) body(p, rect, palette);
    };
    style.makeBody(
        painter, QRectF(0, 0, 100, 24),
        {direction, range, hovering, dragging, lower, upper, SlimSliderStyleConfiguration::Label(label)},
        appearancePalette);
    return render;
}

} // namespace

TEST(SlimSliderSecondaryAppearance, DefaultAndModifiersFollowLabelAccentAndGivenColours) {
    const QColor white = appearanceWhite, label = appearanceLabel, accent = appearanceAccent;
    // The default: the label and accent colours at their opacities, the focused bar included.
    const SecondaryAppearance& a = SecondaryAppearance::defaultValue();
    EXPECT_PRED3(colorNear, filled(a.progressFillStyle), over(white, label, 0.075), 2);
    EXPECT_PRED3(colorNear, filled(a.focusedProgressFillStyle), over(white, accent, 0.3), 2);
    EXPECT_PRED3(colorNear, a.handleColor.resolve(appearancePalette), labelAt(0.2), 1);
    EXPECT_PRED3(colorNear, a.scaleColor.resolve(appearancePalette), labelAt(0.8), 1);
    EXPECT_PRED3(colorNear, a.secondaryScaleColor.resolve(appearancePalette), labelAt(0.3), 1);

    // One colour at the default opacities, or at given ones.
    const SecondaryAppearance red = SecondaryAppearance::secondaryColor(Qt::red);
    EXPECT_PRED3(colorNear, filled(red.focusedProgressFillStyle), over(white, Qt::red, 0.3), 2);
    EXPECT_PRED3(colorNear, filled(red.progressFillStyle), over(white, Qt::red, 0.075), 2);
    EXPECT_EQ(red.handleColor, SlimSliderColor(Qt::red).opacity(0.2));
    const SecondaryAppearance tuned = SecondaryAppearance::secondaryColor(Qt::red, 0.5, std::nullopt, 1.0);
    EXPECT_PRED3(colorNear, filled(tuned.progressFillStyle), over(white, Qt::red, 0.5), 2);
    EXPECT_EQ(std::pair(tuned.handleColor, tuned.scaleColor),
              std::pair(SlimSliderColor(Qt::red), SlimSliderColor(Qt::red).opacity(0.8)));

    // No colours: the default but for the focused bar, which takes the label colour; a given colour is
    // used at full strength.
    const SecondaryAppearance plain = SecondaryAppearance::colors();
    EXPECT_PRED3(colorNear, filled(plain.focusedProgressFillStyle), over(white, label, 0.3), 2);
    EXPECT_EQ(plain.handleColor, SlimSliderColor::label().opacity(0.2));
    const SecondaryAppearance handle = SecondaryAppearance::colors(std::nullopt, std::nullopt, Qt::red);
    EXPECT_PRED3(colorNear, handle.handleColor.resolve(appearancePalette), QColor(Qt::red), 0);
    EXPECT_EQ(handle.secondaryScaleColor, SlimSliderColor::label().opacity(0.3));

    QLinearGradient gradient(0, 0, 1, 0);
    gradient.setCoordinateMode(QGradient::ObjectBoundingMode);
    gradient.setStops({{0, Qt::red}, {1, Qt::blue}});
    const SecondaryAppearance shapes = SecondaryAppearance::shapeStyles(QBrush(Qt::green), QBrush(gradient));
    EXPECT_PRED3(colorNear, filled(shapes.progressFillStyle), QColor(Qt::green), 0);
    const QImage bar = filledImage(shapes.focusedProgressFillStyle, 100);
    EXPECT_PRED3(colorNear, bar.pixelColor(0, 1), QColor(Qt::red), 4);
    EXPECT_PRED3(colorNear, bar.pixelColor(99, 1), QColor(Qt::blue), 4);
    EXPECT_EQ(shapes.scaleColor, SlimSliderColor::label().opacity(0.8));
}

TEST(SlimSliderStyles, DefaultStyleFramesTheContentAtTheLabelColour) {
    const DefaultSlimSliderStyle style;
    const StyleRender resting = renderStyle(style);
    EXPECT_PRED3(colorNear, resting.image.pixelColor(50, 12), over(appearanceWhite, appearanceLabel, 0.075),
                 2);
    EXPECT_EQ(resting.image.pixelColor(0, 0), appearanceWhite); // rounded corner
    ASSERT_TRUE(resting.contentPalette);
    EXPECT_NEAR(resting.contentPalette->foreground.alphaF(), 0.7, 0.01);
    EXPECT_EQ(resting.contentPalette->accent, appearanceAccent);
    // Hovered, or dragged without hover, the foreground is at full strength.
    EXPECT_NEAR(renderStyle(style, {}, true).contentPalette->foreground.alphaF(), 1.0, 0.01);
    EXPECT_NEAR(renderStyle(style, {}, false, true).contentPalette->foreground.alphaF(), 1.0, 0.01);
    // The content is clipped to the rounded frame.
    const StyleRender painted =
        renderStyle(style, [](QPainter& p, const QRectF& rect, const SlimSliderPalette&) {
            p.fillRect(rect, Qt::black);
        });
    EXPECT_EQ(std::tuple(painted.image.pixelColor(0, 0), painted.image.pixelColor(99, 23),
                         painted.image.pixelColor(50, 0)),
              std::tuple(appearanceWhite, appearanceWhite, QColor(Qt::black)));
}

TEST(SlimSliderStyles, ProminentStyleTintsByTheValuesHalfAndShowsItsGradientOnlyWhileFocused) {
    const ProminentSlimSliderStyle plainStyle(Qt::red, Qt::blue, false),
        gradientStyle(Qt::red, Qt::blue, true);
    auto accent = [&](double lower, double upper, bool range) {
        return renderStyle(plainStyle, {}, true, false, lower, upper, range).contentPalette->accent;
    };
    // Exactly in the middle, or a range equally far from it on both sides: the lower colour.
    EXPECT_EQ(accent(0.5, 0.0, false), QColor(Qt::red));
    EXPECT_EQ(accent(0.51, 0.0, false), QColor(Qt::blue));
    EXPECT_EQ(accent(0.25, 0.75, true), QColor(Qt::red));
    EXPECT_EQ(accent(0.1, 0.7, true), QColor(Qt::red));
    EXPECT_EQ(accent(0.4, 0.9, true), QColor(Qt::blue));

    // Without the gradient it looks like the default style, hovered or not; with it, only while focused.
    const QColor rest = over(appearanceWhite, appearanceLabel, 0.075);
    EXPECT_PRED3(colorNear, renderStyle(plainStyle).image.pixelColor(97, 12), rest, 2);
    EXPECT_PRED3(colorNear, renderStyle(plainStyle, {}, true).image.pixelColor(97, 12), rest, 2);
    EXPECT_NEAR(renderStyle(plainStyle).contentPalette->foreground.alphaF(), 0.7, 0.01);
    const QImage focused = renderStyle(gradientStyle, {}, false, true).image;
    EXPECT_PRED3(colorNear, focused.pixelColor(2, 12), over(appearanceWhite, Qt::red, 0.2), 4);
    EXPECT_PRED3(colorNear, focused.pixelColor(97, 12), over(appearanceWhite, Qt::blue, 0.2), 4);
    const QImage resting = renderStyle(gradientStyle).image;
    EXPECT_PRED3(colorNear, resting.pixelColor(2, 12), rest, 2);
    EXPECT_PRED3(colorNear, resting.pixelColor(97, 12), rest, 2);

    // The direction changes nothing.
    EXPECT_EQ(renderStyle(plainStyle, {}, true, false, 0.7, 0.0, false, SlimSliderDirection::leading).image,
              renderStyle(plainStyle, {}, true, false, 0.7, 0.0, false, SlimSliderDirection::trailing).image);
}

TEST(SlimSliderEnvironment, NearestSettingWins) {
    QWidget root;
    auto* mid = new QWidget(&root);
    auto* leaf = new QWidget(mid);

    EXPECT_TRUE(slimSliderStyle(leaf).target<DefaultSlimSliderStyle>());
    EXPECT_FALSE(slimSliderDisabledHapticFeedback(leaf));
    EXPECT_EQ(slimSliderSecondaryAppearance(leaf).handleColor, SlimSliderColor::label().opacity(0.2));

    setSlimSliderStyle(&root, ProminentSlimSliderStyle(Qt::red, Qt::blue, true));
    const auto* prominent = slimSliderStyle(leaf).target<ProminentSlimSliderStyle>();
    ASSERT_TRUE(prominent);
    EXPECT_EQ(prominent->upperColor, SlimSliderColor(Qt::blue));
    setSlimSliderStyle(mid, DefaultSlimSliderStyle());
    EXPECT_TRUE(slimSliderStyle(leaf).target<DefaultSlimSliderStyle>());
    EXPECT_TRUE(slimSliderStyle(&root).target<ProminentSlimSliderStyle>());
    setSlimSliderStyle(leaf, ProminentSlimSliderStyle(Qt::green, Qt::yellow, false));
    EXPECT_TRUE(slimSliderStyle(leaf).target<ProminentSlimSliderStyle>());

    setSlimSliderDisabledHapticFeedback(&root, true);
    EXPECT_TRUE(slimSliderDisabledHapticFeedback(leaf));
    setSlimSliderDisabledHapticFeedback(mid, false);
    EXPECT_FALSE(slimSliderDisabledHapticFeedback(leaf));

    // An inner appearance replaces the outer one as a whole.
    setSlimSliderSecondaryAppearance(&root, SecondaryAppearance::secondaryColor(Qt::red));
    EXPECT_EQ(slimSliderSecondaryAppearance(leaf).scaleColor, SlimSliderColor(Qt::red).opacity(0.8));
    setSlimSliderSecondaryAppearance(mid, SecondaryAppearance::colors(std::nullopt, std::nullopt, Qt::blue));
    EXPECT_EQ(slimSliderSecondaryAppearance(leaf).handleColor, SlimSliderColor(Qt::blue));
    EXPECT_EQ(slimSliderSecondaryAppearance(leaf).scaleColor, SlimSliderColor::label().opacity(0.8));

    // A property of another type under the same name is passed over.
    auto* stray = new QWidget(&root);
    auto* strayLeaf = new QWidget(stray);
    stray->setProperty("slimSliderSecondaryAppearance", 42);
    EXPECT_EQ(slimSliderSecondaryAppearance(strayLeaf).scaleColor, SlimSliderColor(Qt::red).opacity(0.8));
}

TEST(SlimSliderScale, LinesAreSpacedEvenlyButNeverCloserThanTheMinimum) {
    EXPECT_THAT((Scale{9}.lineXs(200.0, 200.0)), ElementsAre(20, 40, 60, 80, 100, 120, 140, 160, 180));
    EXPECT_THAT((Scale{1}.lineXs(200.0, 200.0)), ElementsAre(100));

    // 100 / 50 = 2 is raised to 3; the line at 102 would leave the rectangle.
    const std::vector<double> fine = Scale{49}.lineXs(100.0, 100.0);
    ASSERT_EQ(fine.size(), 33u);
    EXPECT_DOUBLE_EQ(fine.front(), 3.0);
    EXPECT_DOUBLE_EQ(fine.back(), 99.0);

    // The first line is drawn even when it lies beyond the rectangle.
    EXPECT_THAT((Scale{3}.lineXs(4.0, 4.0)), ElementsAre(3.0));
    EXPECT_THAT((Scale{3, 3.0}.lineXs(2.0, 2.0)), ElementsAre(3.0));

    EXPECT_TRUE((Scale{0}.lineXs(100.0, 100.0)).empty());
    EXPECT_TRUE((Scale{-1}.lineXs(100.0, 100.0)).empty());
    EXPECT_TRUE((Scale{5, 1.0}.lineXs(100.0, 100.0)).empty());
    // Huge counts stop at the rectangle.
    EXPECT_EQ(Scale{std::numeric_limits<int>::max()}.lineXs(30.0, 30.0).size(), 10u);
}

TEST(SlimSliderScale, StepCountChoosesTheLayers) {
    const auto stepped = scaleLayers(5, 5.0, 3.0);
    ASSERT_EQ(stepped.size(), 1u);
    EXPECT_EQ(std::pair(stepped[0].scale.count, stepped[0].tone), std::pair(5, ScaleTone::main));
    EXPECT_EQ(stepped[0].length, 5.0);

    const auto continuous = scaleLayers(0, 5.0, 3.0);
    ASSERT_EQ(continuous.size(), 2u);
    EXPECT_EQ(std::pair(continuous[0].scale.count, continuous[0].tone), std::pair(49, ScaleTone::fine));
    EXPECT_EQ(std::pair(continuous[0].length, continuous[1].scale.count), std::pair(3.0, 9));
    EXPECT_EQ(std::pair(continuous[1].tone, continuous[1].length), std::pair(ScaleTone::main, 5.0));

    // A step wider than the span leaves -1 boundaries: only the fine ticks.
    const auto wide = scaleLayers(-1, 5.0, 3.0);
    ASSERT_EQ(wide.size(), 1u);
    EXPECT_EQ(wide[0].tone, ScaleTone::fine);
}

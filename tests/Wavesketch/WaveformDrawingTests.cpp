#include "Wavesketch/CircularWaveformRenderer.h"
#include "Wavesketch/LinearWaveformRenderer.h"
#include "Wavesketch/WaveformImageDrawer.h"
#include "platform/foundation/Console.h"
#include "tests/Wavesketch/WavesketchTestSupport.h"
#include "tests/support/ConsoleCapture.h"

#include <gtest/gtest.h>

namespace testsupport {
namespace {

using wavesketch::CircularWaveformRenderer;
using wavesketch::LinearWaveformRenderer;
using Sides = Damping::Sides;
const float nan = std::numeric_limits<float>::quiet_NaN();
const Damping::Easing square = [](float x) { return x * x; };

TEST(WaveformConfiguration, PositionsClampAndDampingsAndConfigurationsRefuseValuesOutOfRange) {
    const std::pair<Position, double> offsets[] = {{Position::custom(-3), 0.0},  {Position::custom(7), 1.0},
                                                   {Position::custom(0.3), 0.3}, {Position::custom(nan), 0.0},
                                                   {Position::top(), 0.0},       {Position::middle(), 0.5},
                                                   {Position::bottom(), 1.0}};
    for (const auto& [position, offset] : offsets)
        EXPECT_EQ(position.offset(), offset);
    EXPECT_FALSE(Position::custom(0.5) == Position::middle());
    for (const auto& [percentage, valid] :
         {std::pair(0.0f, true), {0.5f, true}, {0.5000001f, false}, {-0.0001f, false}, {nan, false}})
        EXPECT_EQ(Damping::make(percentage, Sides::both, square).has_value(), valid) << percentage;
    EXPECT_FALSE(Damping::make(0.1f, Sides::both, square)->with({.percentage = 0.6f}));
    for (const auto& [factor, valid] :
         {std::pair(0.0, false), {0.0001, true}, {-1.0, false}, {double(nan), false}})
        EXPECT_EQ(Configuration::stock().with({.verticalScalingFactor = factor}).has_value(), valid)
            << factor;
}

TEST(WaveformConfiguration, EqualityComparesEveryFieldAndEasingsOnTheirRange) {
    const Configuration stock = Configuration::stock();
    EXPECT_EQ(*stock.with({}), stock);
    EXPECT_FALSE(*stock.with({.size = QSizeF(0, 1e-13)}) == stock); // exactly, not fuzzily
    EXPECT_FALSE(*stock.with({.style = Style::gradient({Qt::gray, Qt::black})}) == stock);
    EXPECT_FALSE(*stock.with({.damping = Damping::make(0.125f, Sides::left, square)}) == stock);
    EXPECT_FALSE(*stock.with({.shouldAntialias = true}) == stock);

    auto with = [](Damping::Easing easing) { return *Damping::make(0.2f, Sides::both, std::move(easing)); };
    const Damping plain = with([](float x) { return x; });
    for (int i = 0; i < 20; ++i) // the same answer every time
        EXPECT_FALSE(plain == with(square));
    // Easings that differ only outside [0, 1] draw the same fades.
    EXPECT_EQ(plain, with([](float x) { return x > 1.0f ? 7.0f : x; }));
    EXPECT_FALSE(with([](float) { return nan; }) == with([](float) { return nan; }));
}

TEST(WaveformRenderer, LinearPathsPutOneValuePerColumnFromTheRightEdge) {
    const std::tuple<std::size_t, float, int, QPointF> cases[] = {
        {200, 0.5f, 0, {0, 5}},      {200, 0.5f, 200, {99.5, 0}}, {200, 0.5f, 201, {100, 10}},
        {200, 0.5f, 400, {0.5, 10}}, {50, 0.5f, 1, {75, 0}},      {50, 0.5f, 50, {99.5, 0}},
        {50, 0.5f, 51, {100, 10}},   {50, 1.0f, 1, {75, 4.5}}}; // silence is a hairline
    for (const auto& [n, value, element, at] : cases) {
        const QPainterPath path = LinearWaveformRenderer().path(
            std::vector<float>(n, value), sketchConfiguration({100, 10}, Style::filled(Qt::red), 2.0), 0,
            Position::middle());
        EXPECT_EQ(QPointF(path.elementAt(element)), at) << n << " " << element;
        EXPECT_EQ(path.elementCount(), int(2 * n + 2)); // closed back to the start
    }
}

TEST(WaveformRenderer, StripesKeepTheirColumnsAndCirclesTheirCentre) {
    const auto striped = sketchConfiguration({20, 10}, Style::striped({Qt::red, 2.0, 3.0, Qt::FlatCap}));
    const std::pair<int, std::vector<double>> cases[] = {{0, {1, 6, 11, 16}}, {2, {4, 9, 14, 19}}};
    for (const auto& [offset, columns] : cases) {
        const QPainterPath path =
            LinearWaveformRenderer().path(std::vector<float>(20, 0.5f), striped, offset, Position::middle());
        std::vector<double> moves;
        for (int i = 0; i < path.elementCount(); ++i)
            if (path.elementAt(i).isMoveTo()) moves.push_back(path.elementAt(i).x);
        EXPECT_EQ(moves, columns);
    }
    // Circular paths centre at the position; a ring's silence lies on its inner circle.
    const auto configuration = sketchConfiguration({40, 20}, Style::filled(Qt::red));
    const std::vector<float> silence(16, 1.0f);
    const CircularWaveformRenderer circle(CircularWaveformRenderer::Circle{});
    EXPECT_EQ(QPointF(circle.path(silence, configuration, 0, Position::bottom()).elementAt(0)),
              QPointF(40, 20));
    const QPainterPath ring = CircularWaveformRenderer(CircularWaveformRenderer::Ring{0.5})
                                  .path(silence, configuration, 0, Position::middle());
    for (int i = 0; i < ring.elementCount(); ++i)
        EXPECT_NEAR(std::hypot(ring.elementAt(i).x - 20, ring.elementAt(i).y - 10), 5.0, 1e-9) << i;
}

TEST(WaveformRenderer, StylesPaintTheirPixels) {
    const QRgb red = QColor(Qt::red).rgb(), white = QColor(Qt::white).rgb();
    const LinearWaveformRenderer linear;
    const CircularWaveformRenderer circle(CircularWaveformRenderer::Circle{});
    const auto stripes = Style::striped({Qt::red, 2, 3, Qt::FlatCap});
    // Values 0.75 on a 40 x 20 picture: the band reaches from y = 5 to 15.
    const auto paint = [&](Style style, const wavesketch::WaveformRenderer* renderer = nullptr,
                           Position position = Position::middle(), double scale = 1.0) {
        return *wavesketch::WaveformImageDrawer().waveformImage(
            std::vector<float>(std::size_t(40 * scale), 0.75f), sketchConfiguration({40, 20}, style, scale),
            renderer ? *renderer : linear, position);
    };
    const auto expect = [](const QImage& image, std::vector<std::tuple<int, int, QRgb>> pixels) {
        for (const auto& [x, y, colour] : pixels)
            EXPECT_EQ(image.pixel(x, y), colour) << x << ", " << y;
    };
    expect(paint(Style::filled(Qt::red)), {{20, 10, red}, {20, 2, white}});
    expect(paint(Style::filled(Qt::red), nullptr, Position::top()),
           {{20, 18, red}, {20, 12, white}}); // y 0 is low
    expect(paint(Style::outlined(Qt::red, 2)), {{20, 10, white}, {20, 5, red}, {20, 14, red}});
    expect(paint(Style::gradientOutlined({Qt::red}, 2)), {{20, 10, white}, {20, 5, red}});
    // No spike where the last stripe turns back to close.
    expect(paint(stripes), {{20, 10, red}, {21, 10, red}, {23, 10, white}, {21, 2, white}, {36, 2, white}});
    expect(paint(Style::filled(Qt::red), &circle, Position::bottom()),
           {{20, 10, red}, {20, 1, white}, {37, 17, white}});
    const QImage gradient = paint(Style::gradient({Qt::red, Qt::blue})); // from y = 0 (the bottom) upwards
    EXPECT_GT(qRed(gradient.pixel(20, 14)), qBlue(gradient.pixel(20, 14)));
    EXPECT_LT(qRed(gradient.pixel(20, 6)), qBlue(gradient.pixel(20, 6)));

    // Nothing is drawn, and a line says why: no colour for a gradient, no stripe bucket below a scale of 1.
    testsupport::ScopedConsoleCapture console;
    expect(paint(Style::gradient({})), {{20, 10, white}});
    expect(paint(stripes, nullptr, Position::middle(), 0.5), {{10, 5, white}});
    expect(paint(stripes, &circle, Position::middle(), 0.5), {{10, 5, white}});
    EXPECT_EQ(console.lines().size(), 3u);
}

} // namespace
} // namespace testsupport

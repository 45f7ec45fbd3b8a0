#include "SlimSlider/SlimSliderModel.h"

#include "tests/SlimSlider/SlimSliderTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace slimslider;
using slimslider_test::CountingHapticPerformer;
using ::testing::ElementsAre;

namespace {

// A slider `width` points wide that records the values it writes.
struct Slider {
    Slider(SlimSliderModel m, double width = 100.0) : model(std::move(m)) {
        model.setWidth(width);
        model.onLowerValueWritten = [this](double v) { written.push_back(v); };
        model.onUpperValueWritten = [this](double v) { written.push_back(v); };
    }
    void drag(std::initializer_list<double> xs) {
        for (double x : xs)
            model.dragChanged(x);
    }
    SlimSliderModel model;
    std::vector<double> written;
};

SlimSliderModel single(double value, SlimSliderBounds bounds = {0.0, 1.0}, double step = 0.0,
                       SlimSliderDirection direction = SlimSliderDirection::leading,
                       HandleVisibility handle = HandleVisibility::defaultValue(),
                       ScaleVisibility scale = ScaleVisibility::hidden) {
    return SlimSliderModel(value, bounds, step, direction, handle, scale);
}

SlimSliderModel range(double lower, double upper, double step = 0.0) {
    return SlimSliderModel(lower, upper, {0.0, 1.0}, step, HandleVisibility::hovering(3.0),
                           ScaleVisibility::hovering);
}

// The application's treble and balance slider, 200 points wide.
Slider treble(double value = 0.0) {
    return Slider(single(value, {-10.0, 10.0}, 0.5, SlimSliderDirection::center,
                         HandleVisibility::hovering(3.0), ScaleVisibility::hovering),
                  200.0);
}

} // namespace

TEST(SlimSliderModel, ConvertsBetweenValueAndProgress) {
    const SlimSliderModel m = treble().model;
    EXPECT_EQ(std::tuple(m.lowerProgress(), m.progressStep(), m.steps()), std::tuple(0.5, 0.025, 39));
    // At and beyond the bounds progress is not clamped.
    for (auto [value, progress] : {std::pair{-10.0, 0.0}, {10.0, 1.0}, {15.0, 1.25}, {-12.0, -0.1}})
        EXPECT_DOUBLE_EQ(m.progress(value), progress) << value;
    // Snapping rounds halves away from zero and counts from zero.
    for (auto [value, snapped] : {std::pair{-2.25, -2.5}, {2.25, 2.5}, {2.2, 2.0}})
        EXPECT_DOUBLE_EQ(m.value(m.progress(value)), snapped) << value;
    const SlimSliderModel offset = single(0.0, {0.1, 1.1}, 0.5);
    EXPECT_DOUBLE_EQ(offset.value(0.0), 0.0);
    EXPECT_DOUBLE_EQ(offset.value(0.5), 0.5);
    const SlimSliderModel continuous = single(0.3, {0.0, 2.0});
    EXPECT_DOUBLE_EQ(continuous.value(0.33), 0.66);
    EXPECT_EQ(std::pair(continuous.steps(), continuous.progressStep()), std::pair(0, 0.0));
    const SlimSliderModel uneven = single(0.0, {0.0, 1.0}, 0.4);
    EXPECT_EQ(std::pair(uneven.progressStep(), uneven.steps()), std::pair(0.4, 1));
}

TEST(SlimSliderModel, DragsSnapToStepsAndNeverWriteBeyondTheBounds) {
    CountingHapticPerformer haptics;
    Slider t = treble();
    t.model.dragChanged(0.37 * 200.0);
    EXPECT_DOUBLE_EQ(t.model.lowerProgress(), 0.375);
    EXPECT_TRUE(t.model.isDragging());
    t.drag({0.374 * 200.0, -40.0, 260.0}); // the first in the same step: nothing written, no feedback
    t.model.dragEnded(260.0);
    EXPECT_FALSE(t.model.isDragging());
    EXPECT_THAT(t.written, ElementsAre(-2.5, -10.0, 10.0));
    EXPECT_EQ(haptics.count, 3);

    // A span of 2.5 steps: the last snap of the right edge would lie at 1.2.
    Slider uneven(single(0.0, {0.0, 1.0}, 0.4));
    uneven.drag({100.0, 120.0});
    EXPECT_THAT(uneven.written, ElementsAre(1.0));
    EXPECT_DOUBLE_EQ(uneven.model.lowerProgress(), 1.0);
    // Snapping from zero would put the lower edge below a bound that is no multiple of the step.
    Slider offset(single(0.6, {0.1, 1.1}, 0.5));
    offset.model.dragChanged(-5.0);
    EXPECT_EQ(std::pair(offset.model.lowerValue(), offset.model.lowerProgress()), std::pair(0.1, 0.0));
    // Outside values beyond the bounds, or not numbers, are written back inside them.
    Slider outside = treble();
    outside.model.setLowerValue(15.0);
    EXPECT_DOUBLE_EQ(outside.model.lowerProgress(), 1.0);
    outside.model.setLowerValue(-1e300);
    outside.model.setLowerValue(std::nan(""));
    EXPECT_THAT(outside.written, ElementsAre(10.0, -10.0, -10.0));
}

TEST(SlimSliderModel, OutsideValuesAreTakenAndWrittenBackSnapped) {
    Slider t = treble();
    SlimSliderModel& m = t.model;
    m.setLowerValue(3.3);
    EXPECT_THAT(t.written, ElementsAre(3.5));
    // The handle shows the snapped value, not the one the host asked for.
    EXPECT_NEAR(m.lowerProgress(), 0.675, 1e-12);
    // A value on a step is taken as it is.
    m.setLowerValue(-4.0);
    EXPECT_DOUBLE_EQ(m.lowerProgress(), 0.3);
    EXPECT_EQ(t.written.size(), 1u);
    // A host that stores the written value from inside the callback is not taken for an outside change.
    m.onLowerValueWritten = [&](double v) {
        t.written.push_back(v);
        m.setLowerValue(v);
    };
    m.dragChanged(150.0);
    EXPECT_THAT(t.written, ElementsAre(3.5, 5.0));
    EXPECT_DOUBLE_EQ(m.lowerProgress(), 0.75);
    // A host that keeps a value of its own: the slider shows it and does not fight it.
    m.onLowerValueWritten = [&](double v) {
        t.written.push_back(v);
        m.setLowerValue(std::min(v, 2.0));
    };
    m.dragChanged(190.0);
    EXPECT_THAT(t.written, ElementsAre(3.5, 5.0, 9.0));
    EXPECT_EQ(std::pair(m.lowerValue(), m.lowerProgress()), std::pair(2.0, 0.6));

    // Pressing where the last drag ended still moves a value moved since.
    Slider moved = treble();
    moved.model.dragChanged(150.0);
    moved.model.dragEnded(150.0);
    moved.model.setLowerValue(0.0);
    moved.model.dragChanged(150.0);
    EXPECT_DOUBLE_EQ(moved.model.lowerValue(), 5.0);
    // A single-value slider resting at its lower end moves from the first update.
    Slider low(single(0.0));
    low.model.dragChanged(30.0);
    EXPECT_DOUBLE_EQ(low.model.lowerValue(), 0.3);
}

TEST(SlimSliderModel, HapticFeedbackOnEachStepOrAtTheEndsUnlessDisabled) {
    CountingHapticPerformer haptics;
    Slider stepped(single(0.0, {0.0, 10.0}, 1.0));
    stepped.drag({2.0, 8.0, 12.0, 19.0, 21.0, 35.0, 35.0});
    EXPECT_EQ(haptics.count, 3); // 0 -> 0.1 -> 0.2 -> 0.4
    // Continuous: reaching 0 or 1 with the lower value, 1 with the upper one.
    Slider continuous(single(0.5));
    continuous.drag({40.0, 20.0, 0.0, -10.0, 30.0, 99.0, 100.0, 150.0});
    EXPECT_EQ(haptics.count, 5);
    Slider pair(range(0.2, 0.6));
    pair.drag({100.0, 0.0, 60.0}); // upper reaches 1, lower reaches 0, upper leaves 1
    EXPECT_EQ(haptics.count, 7);
    Slider quiet = treble();
    quiet.model.setHapticFeedbackDisabled(true);
    quiet.drag({10.0, 190.0});
    EXPECT_EQ(quiet.written.size(), 2u);
    EXPECT_EQ(haptics.count, 7);
}

TEST(SlimSliderModel, RangeMovesTheNearerValueAndItsValuesCannotCross) {
    Slider apart(range(0.25, 0.75));
    apart.drag({30.0, 70.0});
    EXPECT_EQ(std::pair(apart.model.lowerValue(), apart.model.upperValue()), std::pair(0.3, 0.7));
    Slider tie(range(0.25, 0.75));
    tie.model.dragChanged(50.0); // equally far: the lower one
    EXPECT_EQ(std::pair(tie.model.lowerValue(), tie.model.upperValue()), std::pair(0.5, 0.75));
    // Both equal: right moves the upper value; left, or the same spot, the lower one.
    Slider equal(range(0.5, 0.5));
    equal.model.dragChanged(50.0);
    EXPECT_TRUE(equal.written.empty());
    equal.model.dragChanged(40.0);
    EXPECT_THAT(equal.written, ElementsAre(0.4));
    Slider right(range(0.5, 0.5));
    right.model.dragChanged(60.0);
    EXPECT_EQ(std::pair(equal.model.lowerValue(), equal.model.upperValue()), std::pair(0.4, 0.5));
    EXPECT_EQ(std::pair(right.model.lowerValue(), right.model.upperValue()), std::pair(0.5, 0.6));

    // Off-step values, as a host may deliver them: the nearer one would snap past the other.
    Slider lower(range(0.46, 0.49, 0.1)), upper(range(0.51, 0.54, 0.1));
    lower.model.dragChanged(47.0);
    upper.model.dragChanged(53.0);
    EXPECT_EQ(std::tuple(lower.model.lowerValue(), lower.model.lowerProgress(), lower.model.upperValue()),
              std::tuple(0.49, 0.49, 0.49));
    EXPECT_EQ(std::pair(upper.model.lowerValue(), upper.model.upperValue()), std::pair(0.51, 0.51));
    // Sweeping the pointer across the whole slider keeps them in order throughout.
    Slider sweep(range(0.2, 0.8, 0.05));
    for (double x = 0.0; x <= 200.0; x += 0.7) {
        sweep.model.dragChanged(x <= 100.0 ? x : 200.0 - x);
        ASSERT_LE(sweep.model.lowerValue(), sweep.model.upperValue()) << "at x " << x;
    }
}

TEST(SlimSliderModel, ProgressBarAndHandlesFollowTheDirectionInsideTheSlider) {
    auto expectBar = [](BarGeometry bar, double width, double offsetX) {
        EXPECT_DOUBLE_EQ(bar.width, width);
        EXPECT_DOUBLE_EQ(bar.offsetX, offsetX);
    };
    using enum SlimSliderDirection;
    for (auto [direction, value, width, offsetX] : {std::tuple{leading, 0.0, 0.0, -100.0},
                                                    {leading, 0.25, 50.0, -75.0},
                                                    {leading, 1.0, 200.0, 0.0},
                                                    {center, 0.5, 0.0, 0.0},
                                                    {center, 0.0, 100.0, -50.0},
                                                    {center, 0.75, 50.0, 25.0},
                                                    {trailing, 0.25, 150.0, 25.0},
                                                    {trailing, 1.0, 0.0, 100.0}})
        expectBar(single(value, {0.0, 1.0}, 0.0, direction).progressBar(200.0), width, offsetX);
    // A range ignores direction and spans its values in either order.
    expectBar(range(0.2, 0.6).progressBar(200.0), 80.0, -20.0);
    expectBar(range(0.6, 0.2).progressBar(200.0), 80.0, -20.0);

    const auto left = treble().model.handle(0.0, 200.0);
    ASSERT_TRUE(left);
    EXPECT_EQ(std::pair(left->width, left->offsetX), std::pair(3.0, -98.5));
    EXPECT_DOUBLE_EQ(treble().model.handle(1.0, 200.0)->offsetX, 98.5);
    EXPECT_FALSE(single(0.0, {0.0, 1.0}, 0.0, leading, HandleVisibility::hidden()).handle(0.5, 200.0));
    EXPECT_FALSE(single(0.0, {0.0, 1.0}, 0.0, leading, HandleVisibility::always(0.0)).handle(0.5, 200.0));
}

TEST(SlimSliderModel, WhatTheOverlayShows) {
    // A centred value resting in the middle keeps its marker: 0.5 exactly and 0.49, but not 0.52.
    Slider resting = treble(0.0);
    OverlayContent content = resting.model.overlay();
    EXPECT_EQ(std::tuple(content.handleCount, content.handleProgress[0], content.showsScale),
              std::tuple(1, 0.5, false));
    EXPECT_EQ(treble(0.4).model.overlay().handleCount, 0);
    EXPECT_EQ(treble(-0.2).model.overlay().handleCount, 1);
    resting.model.setHovering(true);
    EXPECT_EQ(std::pair(resting.model.overlay().handleCount, resting.model.overlay().showsScale),
              std::pair(1, true));
    resting.model.setHovering(false);
    resting.model.dragChanged(100.0);
    EXPECT_TRUE(resting.model.overlay().showsScale);

    // Hidden handles have no width, so not even the resting marker is drawn; no scale without handles.
    SlimSliderModel hidden = single(0.5, {0.0, 1.0}, 0.0, SlimSliderDirection::center,
                                    HandleVisibility::hidden(), ScaleVisibility::always);
    hidden.setHovering(true);
    content = hidden.overlay();
    for (int i = 0; i < content.handleCount; ++i)
        EXPECT_FALSE(hidden.handle(content.handleProgress[std::size_t(i)], 200.0));
    EXPECT_FALSE(content.showsScale);
    content =
        SlimSliderModel(0.3, 0.9, {0.0, 1.0}, 0.0, HandleVisibility::always(2.0), ScaleVisibility::hidden)
            .overlay();
    EXPECT_EQ(std::tuple(content.handleCount, content.handleProgress[1], content.showsScale),
              std::tuple(2, 0.9, false));
    EXPECT_EQ(range(0.5, 0.505).overlay().handleCount, 1);
    EXPECT_EQ(range(0.5, 0.52).overlay().handleCount, 0);

    // A disabled slider is never hovered.
    resting.model.setHovering(true);
    resting.model.setEnabled(false);
    EXPECT_FALSE(resting.model.isHovering());
    resting.model.setHovering(true);
    EXPECT_FALSE(resting.model.isHovering() || resting.model.isFocused());
    resting.model.setEnabled(true);
    resting.model.setHovering(true);
    EXPECT_TRUE(resting.model.isFocused());
}

TEST(SlimSliderModel, PublishesStateOnlyIntoAnActiveState) {
    Slider quiet = treble();
    int quietCount = 0;
    quiet.model.onStatePublished = [&](const SlimSliderState&) { ++quietCount; };
    quiet.model.setHovering(true);
    quiet.model.dragChanged(20.0);
    quiet.model.setWidth(300.0);
    EXPECT_EQ(std::pair(quietCount, quiet.model.state()), std::pair(0, SlimSliderState::inactive()));

    Slider host = treble();
    std::vector<SlimSliderState> received;
    host.model.onStatePublished = [&](const SlimSliderState& state) { received.push_back(state); };
    host.model.setState(SlimSliderState::zero());
    host.model.setHovering(true);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_TRUE(received.back().isHovering());
    host.model.dragChanged(150.0); // drag update, then the new bar
    ASSERT_EQ(received.size(), 3u);
    EXPECT_TRUE(received.back().isDragging());
    EXPECT_DOUBLE_EQ(received.back().lowerProgress(), 0.75);
    EXPECT_DOUBLE_EQ(received.back().dragLocationX().lower, 50.0); // centre: (p - 0.5) * W
    host.model.setWidth(400.0);
    EXPECT_DOUBLE_EQ(received.back().dragLocationX().lower, 100.0);
    host.model.setLowerValue(-5.0);
    EXPECT_DOUBLE_EQ(received.back().dragLocationX().lower, 0.0); // centre, left of the middle
    for (const SlimSliderState& state : received)
        EXPECT_TRUE(state.isActive() && state.dragLocationX().upper == 0.0);

    SlimSliderState stopped = host.model.state();
    stopped.setActive(false);
    host.model.setState(stopped);
    const std::size_t before = received.size();
    host.model.dragEnded(10.0);
    host.model.setHovering(false);
    EXPECT_EQ(received.size(), before);

    // The published edges of each direction, and of a range.
    auto edges = [](SlimSliderModel m) {
        m.setState(SlimSliderState::zero());
        m.setWidth(200.0);
        return std::pair(m.state().dragLocationX().lower, m.state().dragLocationX().upper);
    };
    EXPECT_DOUBLE_EQ(edges(single(0.25, {0.0, 1.0}, 0.0, SlimSliderDirection::leading)).first, -50.0);
    EXPECT_DOUBLE_EQ(edges(single(0.25, {0.0, 1.0}, 0.0, SlimSliderDirection::trailing)).first, 100.0);
    EXPECT_DOUBLE_EQ(edges(single(0.25, {0.0, 1.0}, 0.0, SlimSliderDirection::center)).first, 0.0);
    EXPECT_DOUBLE_EQ(edges(single(0.9, {0.0, 1.0}, 0.0, SlimSliderDirection::center)).first, 80.0);
    EXPECT_DOUBLE_EQ(edges(range(0.2, 0.6)).first, -60.0);
    EXPECT_DOUBLE_EQ(edges(range(0.2, 0.6)).second, 20.0);
}

TEST(SlimSliderModel, EmptyOrInvertedBoundsLeaveTheSliderInert) {
    for (SlimSliderBounds bounds : {SlimSliderBounds{5.0, 5.0}, SlimSliderBounds{10.0, -10.0}}) {
        Slider inert(single(3.0, bounds, 1.0));
        EXPECT_EQ(std::pair(inert.model.lowerProgress(), inert.model.steps()), std::pair(0.0, 0));
        inert.model.dragChanged(70.0);
        inert.model.setLowerValue(8.0);
        EXPECT_EQ(std::pair(inert.model.lowerProgress(), inert.written.empty()), std::pair(0.0, true));
    }
}

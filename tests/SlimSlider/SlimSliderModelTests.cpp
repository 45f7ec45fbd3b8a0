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

// The application's treble and balance slider, 200 points wide, recording what it writes.
struct TrebleModel {
    explicit TrebleModel(double value = 0.0)
        : model(value, {-10.0, 10.0}, 0.5, SlimSliderDirection::center, HandleVisibility::hovering(3.0),
                ScaleVisibility::hovering) {
        model.setWidth(200.0);
        model.onLowerValueWritten = [this](double v) { written.push_back(v); };
    }
    SlimSliderModel model;
    std::vector<double> written;
};

SlimSliderModel makeRange(double lower, double upper, double step, SlimSliderBounds bounds = {0.0, 1.0}) {
    SlimSliderModel model(lower, upper, bounds, step, HandleVisibility::hovering(3.0),
                          ScaleVisibility::hovering);
    model.setWidth(100.0);
    return model;
}

} // namespace

TEST(SlimSliderModel, ConvertsBetweenValueAndProgress) {
    TrebleModel treble;
    const SlimSliderModel& m = treble.model;
    EXPECT_DOUBLE_EQ(m.lowerProgress(), 0.5);
    EXPECT_DOUBLE_EQ(m.progressStep(), 0.025);
    EXPECT_EQ(m.steps(), 39);

    // At and beyond the bounds progress is not clamped.
    EXPECT_DOUBLE_EQ(m.progress(-10.0), 0.0);
    EXPECT_DOUBLE_EQ(m.progress(10.0), 1.0);
    EXPECT_DOUBLE_EQ(m.progress(15.0), 1.25);
    EXPECT_DOUBLE_EQ(m.progress(-12.0), -0.1);

    // Snapping rounds halves away from zero and counts from zero.
    EXPECT_DOUBLE_EQ(m.value(m.progress(-2.25)), -2.5);
    EXPECT_DOUBLE_EQ(m.value(m.progress(2.25)), 2.5);
    EXPECT_DOUBLE_EQ(m.value(m.progress(2.2)), 2.0);
    SlimSliderModel offset(0.0, {0.1, 1.1}, 0.5, SlimSliderDirection::leading,
                           HandleVisibility::defaultValue(), ScaleVisibility::hidden);
    EXPECT_DOUBLE_EQ(offset.value(0.0), 0.0);
    EXPECT_DOUBLE_EQ(offset.value(0.5), 0.5);

    SlimSliderModel continuous(0.3, {0.0, 2.0}, 0.0, SlimSliderDirection::leading,
                               HandleVisibility::defaultValue(), ScaleVisibility::hidden);
    EXPECT_DOUBLE_EQ(continuous.value(0.33), 0.66);
    EXPECT_EQ(continuous.steps(), 0);
    EXPECT_EQ(continuous.progressStep(), 0.0);

    SlimSliderModel uneven(0.0, {0.0, 1.0}, 0.4, SlimSliderDirection::leading,
                           HandleVisibility::defaultValue(), ScaleVisibility::hidden);
    EXPECT_DOUBLE_EQ(uneven.progressStep(), 0.4);
    EXPECT_EQ(uneven.steps(), 1);
}

TEST(SlimSliderModel, DragsSnapToStepsAndStopAtTheBounds) {
    CountingHapticPerformer haptics;
    TrebleModel treble;
    SlimSliderModel& m = treble.model;

    m.dragChanged(0.37 * 200.0);
    EXPECT_DOUBLE_EQ(m.lowerProgress(), 0.375);
    EXPECT_TRUE(m.isDragging());
    m.dragChanged(0.374 * 200.0); // same step: nothing written, no feedback
    m.dragChanged(-40.0);
    m.dragChanged(260.0);
    m.dragEnded(260.0);
    EXPECT_FALSE(m.isDragging());
    EXPECT_THAT(treble.written, ElementsAre(-2.5, -10.0, 10.0));
    EXPECT_EQ(haptics.count, 3);
    EXPECT_DOUBLE_EQ(m.lowerValue(), 10.0);
}

TEST(SlimSliderModel, NeverWritesBeyondTheBounds) {
    CountingHapticPerformer haptics;
    // A span of 2.5 steps: the last snap of the right edge lies at 1.2.
    SlimSliderModel m(0.0, {0.0, 1.0}, 0.4, SlimSliderDirection::leading, HandleVisibility::defaultValue(),
                      ScaleVisibility::hidden);
    m.setWidth(100.0);
    std::vector<double> written;
    m.onLowerValueWritten = [&](double v) { written.push_back(v); };
    m.dragChanged(100.0);
    m.dragChanged(120.0);
    EXPECT_THAT(written, ElementsAre(1.0));
    EXPECT_DOUBLE_EQ(m.lowerProgress(), 1.0);
    EXPECT_EQ(haptics.count, 1);

    // Snapping from zero would put the lower edge below a bound that is no multiple of the step.
    SlimSliderModel offset(0.6, {0.1, 1.1}, 0.5, SlimSliderDirection::leading,
                           HandleVisibility::defaultValue(), ScaleVisibility::hidden);
    offset.setWidth(100.0);
    offset.dragChanged(-5.0);
    EXPECT_DOUBLE_EQ(offset.lowerValue(), 0.1);
    EXPECT_DOUBLE_EQ(offset.lowerProgress(), 0.0);

    // Outside values beyond the bounds, or not numbers, are written back inside them.
    TrebleModel treble;
    treble.model.setLowerValue(15.0);
    EXPECT_DOUBLE_EQ(treble.model.lowerProgress(), 1.0);
    treble.model.setLowerValue(-1e300);
    treble.model.setLowerValue(std::nan(""));
    EXPECT_THAT(treble.written, ElementsAre(10.0, -10.0, -10.0));
}

TEST(SlimSliderModel, OutsideValuesAreTakenAndWrittenBackSnapped) {
    TrebleModel treble;
    SlimSliderModel& m = treble.model;
    m.setLowerValue(3.3);
    EXPECT_THAT(treble.written, ElementsAre(3.5));
    EXPECT_DOUBLE_EQ(m.lowerValue(), 3.5);
    EXPECT_NEAR(m.lowerProgress(), 0.665, 1e-12);

    // A value on a step is taken as it is.
    m.setLowerValue(-4.0);
    EXPECT_DOUBLE_EQ(m.lowerProgress(), 0.3);
    EXPECT_EQ(treble.written.size(), 1u);

    // A host that stores the written value from inside the callback is not taken for an outside change.
    m.onLowerValueWritten = [&](double v) {
        treble.written.push_back(v);
        m.setLowerValue(v);
    };
    m.dragChanged(150.0);
    EXPECT_THAT(treble.written, ElementsAre(3.5, 5.0));
    EXPECT_DOUBLE_EQ(m.lowerProgress(), 0.75);

    // A host that keeps a value of its own: the slider shows it and does not fight it.
    m.onLowerValueWritten = [&](double v) {
        treble.written.push_back(v);
        m.setLowerValue(std::min(v, 2.0));
    };
    m.dragChanged(190.0);
    EXPECT_THAT(treble.written, ElementsAre(3.5, 5.0, 9.0));
    EXPECT_DOUBLE_EQ(m.lowerValue(), 2.0);
    EXPECT_DOUBLE_EQ(m.lowerProgress(), 0.6);
}

TEST(SlimSliderModel, PressingWhereTheLastDragEndedStillMovesAMovedValue) {
    TrebleModel treble;
    SlimSliderModel& m = treble.model;
    m.dragChanged(150.0);
    m.dragEnded(150.0);
    m.setLowerValue(0.0);
    m.dragChanged(150.0);
    EXPECT_DOUBLE_EQ(m.lowerValue(), 5.0);

    // A single-value slider resting at its lower end moves from the first update.
    SlimSliderModel low(0.0, {0.0, 1.0}, 0.0, SlimSliderDirection::leading, HandleVisibility::defaultValue(),
                        ScaleVisibility::hidden);
    low.setWidth(100.0);
    low.dragChanged(30.0);
    EXPECT_DOUBLE_EQ(low.lowerValue(), 0.3);
}

TEST(SlimSliderModel, HapticFeedback) {
    {
        CountingHapticPerformer haptics;
        SlimSliderModel stepped(0.0, {0.0, 10.0}, 1.0, SlimSliderDirection::leading,
                                HandleVisibility::defaultValue(), ScaleVisibility::hidden);
        stepped.setWidth(100.0);
        for (double x : {2.0, 8.0, 12.0, 19.0, 21.0, 35.0, 35.0})
            stepped.dragChanged(x);
        EXPECT_EQ(haptics.count, 3); // 0 -> 0.1 -> 0.2 -> 0.4
    }
    {
        CountingHapticPerformer haptics;
        SlimSliderModel continuous(0.5, {0.0, 1.0}, 0.0, SlimSliderDirection::leading,
                                   HandleVisibility::defaultValue(), ScaleVisibility::hidden);
        continuous.setWidth(100.0);
        for (double x : {40.0, 20.0, 0.0, -10.0, 30.0, 99.0, 100.0, 150.0})
            continuous.dragChanged(x);
        EXPECT_EQ(haptics.count, 2); // reaching 0, reaching 1

        SlimSliderModel range = makeRange(0.2, 0.6, 0.0);
        range.dragChanged(100.0); // upper reaches 1
        range.dragChanged(0.0);   // lower reaches 0
        range.dragChanged(60.0);  // upper leaves 1
        EXPECT_EQ(haptics.count, 4);
    }
    {
        CountingHapticPerformer haptics;
        TrebleModel treble;
        treble.model.setHapticFeedbackDisabled(true);
        treble.model.dragChanged(10.0);
        treble.model.dragChanged(190.0);
        EXPECT_EQ(treble.written.size(), 2u);
        EXPECT_EQ(haptics.count, 0);
    }
}

TEST(SlimSliderModel, RangeMovesTheNearerValue) {
    SlimSliderModel apart = makeRange(0.25, 0.75, 0.0);
    apart.dragChanged(30.0);
    EXPECT_DOUBLE_EQ(apart.lowerValue(), 0.3);
    apart.dragChanged(70.0);
    EXPECT_DOUBLE_EQ(apart.upperValue(), 0.7);
    EXPECT_DOUBLE_EQ(apart.lowerValue(), 0.3);

    SlimSliderModel tie = makeRange(0.25, 0.75, 0.0);
    tie.dragChanged(50.0); // equally far: the lower one
    EXPECT_DOUBLE_EQ(tie.lowerValue(), 0.5);
    EXPECT_DOUBLE_EQ(tie.upperValue(), 0.75);

    SlimSliderModel right = makeRange(0.5, 0.5, 0.0);
    right.dragChanged(60.0);
    EXPECT_DOUBLE_EQ(right.lowerValue(), 0.5);
    EXPECT_DOUBLE_EQ(right.upperValue(), 0.6);

    SlimSliderModel left = makeRange(0.5, 0.5, 0.0);
    std::vector<double> written;
    left.onUpperValueWritten = [&](double v) { written.push_back(v); };
    left.onLowerValueWritten = [&](double v) { written.push_back(v); };
    left.dragChanged(50.0); // the same spot: the lower value, unchanged
    EXPECT_TRUE(written.empty());
    left.dragChanged(40.0);
    EXPECT_THAT(written, ElementsAre(0.4));
    EXPECT_DOUBLE_EQ(left.upperValue(), 0.5);
}

TEST(SlimSliderModel, RangeValuesCannotCross) {
    // Off-step values, as a host may deliver them: the lower one is nearer and would snap past the upper one.
    SlimSliderModel m = makeRange(0.46, 0.49, 0.1);
    m.dragChanged(47.0);
    EXPECT_DOUBLE_EQ(m.lowerValue(), 0.49);
    EXPECT_DOUBLE_EQ(m.lowerProgress(), 0.49);
    EXPECT_DOUBLE_EQ(m.upperValue(), 0.49);

    SlimSliderModel upper = makeRange(0.51, 0.54, 0.1);
    upper.dragChanged(53.0);
    EXPECT_DOUBLE_EQ(upper.upperValue(), 0.51);
    EXPECT_DOUBLE_EQ(upper.lowerValue(), 0.51);

    // Sweeping the pointer across the whole slider keeps them in order throughout.
    SlimSliderModel sweep = makeRange(0.2, 0.8, 0.05);
    for (double x = 0.0; x <= 100.0; x += 0.7) {
        sweep.dragChanged(x);
        ASSERT_LE(sweep.lowerValue(), sweep.upperValue()) << "at x " << x;
    }
    for (double x = 100.0; x >= 0.0; x -= 0.7) {
        sweep.dragChanged(x);
        ASSERT_LE(sweep.lowerValue(), sweep.upperValue()) << "at x " << x;
    }
}

TEST(SlimSliderModel, ProgressBarFollowsTheDirection) {
    auto bar = [](SlimSliderDirection direction, double value) {
        return SlimSliderModel(value, {0.0, 1.0}, 0.0, direction, HandleVisibility::defaultValue(),
                               ScaleVisibility::hidden)
            .progressBar(200.0);
    };
    auto expectBar = [](BarGeometry actual, double width, double offsetX) {
        EXPECT_DOUBLE_EQ(actual.width, width);
        EXPECT_DOUBLE_EQ(actual.offsetX, offsetX);
    };
    expectBar(bar(SlimSliderDirection::leading, 0.0), 0.0, -100.0);
    expectBar(bar(SlimSliderDirection::leading, 0.25), 50.0, -75.0); // 0...50
    expectBar(bar(SlimSliderDirection::leading, 1.0), 200.0, 0.0);
    expectBar(bar(SlimSliderDirection::center, 0.5), 0.0, 0.0);
    expectBar(bar(SlimSliderDirection::center, 0.0), 100.0, -50.0);   // left half
    expectBar(bar(SlimSliderDirection::center, 0.75), 50.0, 25.0);    // 100...150
    expectBar(bar(SlimSliderDirection::trailing, 0.25), 150.0, 25.0); // 50...200
    expectBar(bar(SlimSliderDirection::trailing, 1.0), 0.0, 100.0);

    // A range ignores direction and spans its values in either order.
    expectBar(makeRange(0.2, 0.6, 0.0).progressBar(200.0), 80.0, -20.0);
    expectBar(makeRange(0.6, 0.2, 0.0).progressBar(200.0), 80.0, -20.0);
}

TEST(SlimSliderModel, HandlesStayInsideTheSlider) {
    TrebleModel treble;
    const auto left = treble.model.handle(0.0, 200.0);
    ASSERT_TRUE(left);
    EXPECT_DOUBLE_EQ(left->width, 3.0);
    EXPECT_DOUBLE_EQ(left->offsetX, -98.5);
    EXPECT_DOUBLE_EQ(treble.model.handle(1.0, 200.0)->offsetX, 98.5);

    SlimSliderModel hidden(0.0, {0.0, 1.0}, 0.0, SlimSliderDirection::leading, HandleVisibility::hidden(),
                           ScaleVisibility::always);
    EXPECT_FALSE(hidden.handle(0.5, 200.0));
    SlimSliderModel zeroWidth(0.0, {0.0, 1.0}, 0.0, SlimSliderDirection::leading,
                              HandleVisibility::always(0.0), ScaleVisibility::always);
    EXPECT_FALSE(zeroWidth.handle(0.5, 200.0));
}

TEST(SlimSliderModel, WhatTheOverlayShows) {
    TrebleModel resting(0.0);
    OverlayContent content = resting.model.overlay();
    ASSERT_EQ(content.handleCount, 1); // a centred value resting in the middle keeps its marker
    EXPECT_DOUBLE_EQ(content.handleProgress[0], 0.5);
    EXPECT_FALSE(content.showsScale);
    EXPECT_EQ(TrebleModel(0.4).model.overlay().handleCount, 0);  // progress 0.52
    EXPECT_EQ(TrebleModel(-0.2).model.overlay().handleCount, 1); // progress 0.49

    resting.model.setHovering(true);
    content = resting.model.overlay();
    EXPECT_EQ(content.handleCount, 1);
    EXPECT_TRUE(content.showsScale);
    resting.model.setHovering(false);
    resting.model.dragChanged(100.0);
    EXPECT_TRUE(resting.model.overlay().showsScale);

    // Hidden handles have no width, so not even the resting marker is drawn; no scale without handles.
    SlimSliderModel hidden(0.5, {0.0, 1.0}, 0.0, SlimSliderDirection::center, HandleVisibility::hidden(),
                           ScaleVisibility::always);
    hidden.setHovering(true);
    content = hidden.overlay();
    for (int i = 0; i < content.handleCount; ++i)
        EXPECT_FALSE(hidden.handle(content.handleProgress[std::size_t(i)], 200.0));
    EXPECT_FALSE(content.showsScale);

    SlimSliderModel always(0.3, 0.9, {0.0, 1.0}, 0.0, HandleVisibility::always(2.0), ScaleVisibility::hidden);
    content = always.overlay();
    EXPECT_EQ(content.handleCount, 2);
    EXPECT_DOUBLE_EQ(content.handleProgress[1], 0.9);
    EXPECT_FALSE(content.showsScale);

    SlimSliderModel together = makeRange(0.5, 0.505, 0.0);
    EXPECT_EQ(together.overlay().handleCount, 1);
    EXPECT_EQ(makeRange(0.5, 0.52, 0.0).overlay().handleCount, 0);
}

TEST(SlimSliderModel, DisabledSliderIsNeverHovered) {
    TrebleModel treble;
    SlimSliderModel& m = treble.model;
    m.setHovering(true);
    EXPECT_TRUE(m.isHovering());
    m.setEnabled(false);
    EXPECT_FALSE(m.isHovering());
    m.setHovering(true);
    EXPECT_FALSE(m.isHovering());
    EXPECT_FALSE(m.isFocused());
    m.setEnabled(true);
    m.setHovering(true);
    EXPECT_TRUE(m.isFocused());
}

TEST(SlimSliderModel, PublishesStateOnlyIntoAnActiveState) {
    TrebleModel quiet;
    int quietCount = 0;
    quiet.model.onStatePublished = [&](const SlimSliderState&) { ++quietCount; };
    quiet.model.setHovering(true);
    quiet.model.dragChanged(20.0);
    quiet.model.setWidth(300.0);
    EXPECT_EQ(quietCount, 0);
    EXPECT_EQ(quiet.model.state(), SlimSliderState::inactive());

    TrebleModel host;
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
    for (const SlimSliderState& state : received) {
        EXPECT_TRUE(state.isActive());
        EXPECT_EQ(state.dragLocationX().upper, 0.0);
    }

    SlimSliderState stopped = host.model.state();
    stopped.setActive(false);
    host.model.setState(stopped);
    const std::size_t before = received.size();
    host.model.dragEnded(10.0);
    host.model.setHovering(false);
    EXPECT_EQ(received.size(), before);
}

TEST(SlimSliderModel, PublishedEdgesOfEachDirection) {
    auto edges = [](SlimSliderDirection direction, double value) {
        SlimSliderModel m(value, {0.0, 1.0}, 0.0, direction, HandleVisibility::defaultValue(),
                          ScaleVisibility::hidden);
        m.setState(SlimSliderState::zero());
        m.setWidth(200.0);
        return m.state().dragLocationX();
    };
    EXPECT_DOUBLE_EQ(edges(SlimSliderDirection::leading, 0.25).lower, -50.0);
    EXPECT_DOUBLE_EQ(edges(SlimSliderDirection::trailing, 0.25).lower, 100.0);
    EXPECT_DOUBLE_EQ(edges(SlimSliderDirection::center, 0.25).lower, 0.0);
    EXPECT_DOUBLE_EQ(edges(SlimSliderDirection::center, 0.9).lower, 80.0);

    SlimSliderModel range(0.2, 0.6, {0.0, 1.0}, 0.0, HandleVisibility::defaultValue(),
                          ScaleVisibility::hidden);
    range.setState(SlimSliderState::zero());
    range.setWidth(200.0);
    EXPECT_DOUBLE_EQ(range.state().dragLocationX().lower, -60.0);
    EXPECT_DOUBLE_EQ(range.state().dragLocationX().upper, 20.0);
}

TEST(SlimSliderModel, EmptyOrInvertedBoundsLeaveTheSliderInert) {
    for (SlimSliderBounds bounds : {SlimSliderBounds{5.0, 5.0}, SlimSliderBounds{10.0, -10.0}}) {
        SlimSliderModel m(3.0, bounds, 1.0, SlimSliderDirection::leading, HandleVisibility::defaultValue(),
                          ScaleVisibility::hidden);
        m.setWidth(100.0);
        int writes = 0;
        m.onLowerValueWritten = [&](double) { ++writes; };
        EXPECT_EQ(m.lowerProgress(), 0.0);
        EXPECT_EQ(m.steps(), 0);
        m.dragChanged(70.0);
        m.setLowerValue(8.0);
        EXPECT_EQ(m.lowerProgress(), 0.0);
        EXPECT_EQ(writes, 0);
    }
}

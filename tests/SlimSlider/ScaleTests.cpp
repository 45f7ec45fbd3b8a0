#include "SlimSlider/Scale.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace slimslider;
using ::testing::ElementsAre;

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

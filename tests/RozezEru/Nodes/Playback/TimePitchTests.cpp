#include "RozezEru/Nodes/Playback/TimePitch.h"

#include "platform/audio/AudioUnitNode.h"
#include "platform/audio/TimePitchUnit.h"
#include "platform/audio/VarispeedUnit.h"
#include "tests/RozezEru/Nodes/NodeTestRig.h"

#include <gtest/gtest.h>

#include <cmath>

using testsupport::constantNode;

// What the units do with rate and pitch is the platform's tests'; played through a player, the player's.
TEST(TimePitch, WritesClampStoreAndReachTheUnit) {
    rozezeru::TimePitch node(constantNode(), 2.0f, 300.0f, 4.0f);
    // Created values are stored unchanged and reach the unit, which once kept its own until written.
    const platform::TimePitchUnit& unit = node.timePitchAU();
    EXPECT_EQ(std::tuple(node.rate(), unit.rate(), unit.pitch(), unit.overlap(), unit.usesFinerEngine()),
              std::tuple(2.0f, 2.0f, 300.0f, 4.0f, false));

    for (auto [set, expected] : {std::pair{0.0f, 0.03125f}, {100.0f, 32.0f}, {2.0f, 2.0f}}) {
        node.setRate(set);
        EXPECT_EQ(node.rate(), expected) << set;
    }
    EXPECT_EQ(node.timePitchAU().rate(), 2.0f);
    for (auto [set, expected] : {std::pair{3000.0f, 2400.0f}, {-5000.0f, -2400.0f}}) {
        node.setPitch(set);
        EXPECT_EQ(node.pitch(), expected) << set;
    }
    EXPECT_EQ(node.timePitchAU().pitch(), -2400.0f);
    for (auto [set, expected] : {std::pair{1.0f, 3.0f}, {64.0f, 32.0f}}) {
        node.setOverlap(set);
        EXPECT_EQ(node.overlap(), expected) << set;
    }

    node.setRate(std::nanf(""));
    EXPECT_EQ(node.rate(), 2.0f);
    ASSERT_EQ(node.connections().size(), 1u);
}

TEST(VariSpeed, TheUnitTakesTheCreatedRateAndStartAndStopRememberIt) {
    auto input = constantNode();
    for (auto [given, played] : {std::pair{0.8f, 0.8f}, {10.0f, 4.0f}}) {
        rozezeru::VariSpeed variSpeed(input, given);
        const auto node = std::static_pointer_cast<platform::AudioUnitNode>(variSpeed.avAudioNode());
        EXPECT_EQ(static_cast<platform::VarispeedUnit&>(node->auAudioUnit()).rate(), played) << given;
    }
    rozezeru::VariSpeed created(input, 2.0f);
    EXPECT_TRUE(created.isStarted());
    created.stop();
    EXPECT_EQ(std::pair(created.rate(), created.isStarted()), std::pair(1.0f, false));
    created.start();
    EXPECT_EQ(created.rate(), 2.0f);

    created.setRate(3.0f);
    created.stop();
    created.start();
    EXPECT_EQ(created.rate(), 3.0f);

    // A write without stop() leaves the last known rate where it was.
    created.setRate(1.5f);
    EXPECT_EQ(created.lastKnownRate(), 3.0f);
    created.start();
    EXPECT_EQ(created.rate(), 3.0f);

    rozezeru::VariSpeed fast(input, 10.0f);
    EXPECT_EQ(std::pair(fast.rate(), fast.lastKnownRate()), std::pair(10.0f, 10.0f));
    fast.start();
    EXPECT_EQ(fast.rate(), 4.0f);
}

#include "RozezEru/Internals/AudioUnitHelpers.h"

#include "platform/audio/AudioUnitNode.h"
#include "tests/platform/audio/GainTestUnit.h"

#include <gtest/gtest.h>

TEST(InstantiateSynchronously, MakesTheMatchingUnitOrStops) {
    platform::AudioComponentRegistry registry;
    registry.registerComponent(unittest::GainTestUnit::effectDescription(), "Gain", 1,
                               [](const platform::AudioComponentDescription& description) {
                                   return std::make_unique<unittest::GainTestUnit>(description);
                               });
    auto node = rozezeru::instantiateSynchronously(unittest::GainTestUnit::effectDescription(), registry);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->auAudioUnit().componentDescription(), unittest::GainTestUnit::effectDescription());
    EXPECT_EQ(node->engine(), nullptr);

    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        (void)rozezeru::instantiateSynchronously(unittest::GainTestUnit::generatorDescription(), registry),
        "^Unable to instantiate AVAudioUnit\n$");
}

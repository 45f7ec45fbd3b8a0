#include "GainTestUnit.h"

#include "platform/audio/AudioComponentRegistry.h"

#include <gtest/gtest.h>

using namespace platform;
using namespace unittest;

namespace {

AudioComponentRegistry::Factory gainFactory(std::uint32_t inputs) {
    return [inputs](const AudioComponentDescription& description) {
        return std::make_unique<GainTestUnit>(description, inputs);
    };
}

std::vector<std::string> namesMatching(const AudioComponentRegistry& registry, AudioComponentDescription d) {
    std::vector<std::string> names;
    for (const auto& component : registry.components(d))
        names.push_back(component.name);
    return names;
}

} // namespace

TEST(AudioComponentRegistry, WildcardsAndFlagsSelectComponents) {
    AudioComponentRegistry registry;
    registry.registerComponent({code("aumf"), code("gain"), code("Test"), 2, 0}, "gain", 1, gainFactory(1));
    registry.registerComponent({code("augn"), code("dcgn"), code("Test"), 0, 0}, "generator", 1,
                               gainFactory(0));
    registry.registerComponent({code("aumf"), code("gain"), code("Othr"), 2, 0}, "other gain", 7,
                               gainFactory(1));

    using Names = std::vector<std::string>;
    EXPECT_EQ(namesMatching(registry, {}), (Names{"gain", "generator", "other gain"}));
    EXPECT_EQ(namesMatching(registry, {code("aumf"), 0, 0, 0, 0}), (Names{"gain", "other gain"}));
    EXPECT_EQ(namesMatching(registry, {0, code("gain"), code("Othr"), 0, 0}), (Names{"other gain"}));
    EXPECT_EQ(namesMatching(registry, {0, 0, code("Test"), 0, 0}), (Names{"gain", "generator"}));
    EXPECT_TRUE(namesMatching(registry, {code("aumu"), 0, 0, 0, 0}).empty());
    // Flags count only under the mask.
    EXPECT_EQ(namesMatching(registry, {0, 0, 0, 2, 0}).size(), 3u);
    EXPECT_EQ(namesMatching(registry, {0, 0, 0, 2, 2}), (Names{"gain", "other gain"}));
    EXPECT_EQ(namesMatching(registry, {0, 0, 0, 0, 2}), (Names{"generator"}));

    // Registering again replaces the entry in its place.
    registry.registerComponent({code("augn"), code("dcgn"), code("Test"), 0, 0}, "generator 2", 0xFFFFFFFF,
                               gainFactory(0));
    const auto all = registry.components({});
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[1].name, "generator 2");
    EXPECT_EQ(all[1].version, 0xFFFFFFFFu);
    EXPECT_EQ(all[2].version, 7u);
}

TEST(AudioComponentRegistry, InstantiatesNodesOrSaysWhyNot) {
    AudioComponentRegistry registry;
    const AudioComponentDescription effect{code("aumf"), code("gain"), code("Test"), 2, 0};
    registry.registerComponent(effect, "gain", 1, gainFactory(1));
    registry.registerComponent({code("augn"), code("dcgn"), code("Test"), 0, 0}, "generator", 1,
                               gainFactory(0));
    registry.registerComponent({code("aumf"), code("none"), code("Test"), 0, 0}, "broken", 1,
                               [](const AudioComponentDescription&) { return nullptr; });

    auto first = registry.instantiate({code("aumf"), code("gain"), code("Test"), 2, 0});
    ASSERT_TRUE(first);
    EXPECT_EQ((*first)->numberOfInputs(), 1u);
    EXPECT_EQ((*first)->numberOfOutputs(), 1u);
    // The unit gets the component's own description, also when asked with wildcards.
    auto second = registry.instantiate({0, code("gain"), 0, 0, 0});
    ASSERT_TRUE(second);
    EXPECT_EQ((*second)->auAudioUnit().componentDescription(), effect);
    EXPECT_NE(&(*first)->auAudioUnit(), &(*second)->auAudioUnit());
    auto generator = registry.instantiate({code("augn"), code("dcgn"), code("Test"), 0, 0});
    ASSERT_TRUE(generator);
    EXPECT_EQ((*generator)->numberOfInputs(), 0u);

    auto unknown = registry.instantiate({code("aumf"), code("peq2"), code("RoRo"), 2, 0});
    ASSERT_FALSE(unknown);
    EXPECT_EQ(unknown.error().message, "No audio component matches 'aumf' 'peq2' 'RoRo'");
    auto odd = registry.instantiate({code("aumf"), 0x70657100, code("RoRo"), 0, 0});
    ASSERT_FALSE(odd);
    EXPECT_EQ(odd.error().message, "No audio component matches 'aumf' 'peq\\x00' 'RoRo'");
    auto broken = registry.instantiate({code("aumf"), code("none"), 0, 0, 0});
    ASSERT_FALSE(broken);
    EXPECT_EQ(broken.error().message, "The audio component \"broken\" ('aumf' 'none' 'Test') made no unit");

    // The process-wide registry.
    AudioComponentRegistry::shared().registerComponent({code("aumf"), code("gain"), code("Shrd"), 0, 0},
                                                       "shared gain", 1, gainFactory(1));
    EXPECT_TRUE(AudioComponentRegistry::shared().instantiate({0, 0, code("Shrd"), 0, 0}));
}

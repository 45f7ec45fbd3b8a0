#include "SigproNodeRig.h"

#include "RozezEru/Internals/ComponentDescriptions.h"
#include "RozezEru/Internals/FourCC.h"
#include "RozezEru/Nodes/Parameter.h"
#include "RozezEru/Nodes/ParameterSetup.h"
#include "RozezEruEX/DSPRegistry.h"
#include "RozezEruEX/NodeRozezEruAU.h"
#include "RozezEruEX/RozezEruAU.h"
#include "SigproRozezEru/Effects/HighShelfParametricEqualizerFilter.h"
#include "SigproRozezEru/Generators/GeneratorNode.h"
#include "SigproRozezEru/NodeParameterTable.h"
#include "SigproRozezEru/SigproRozezEruRegistration.h"
#include "platform/audio/AudioComponentRegistry.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

using namespace rozezeru;
using namespace sigpronodetest;

namespace {

// A generator kernel whose every output sample is its one parameter.
class LevelToneDSP final : public DSPBase {
public:
    LevelToneDSP() : DSPBase(0, false) { parameters[0] = &level; }
    void process(FrameRange range) override {
        for (std::uint32_t frame = range.start; frame < range.start + range.count; ++frame) {
            const float value = level.nextValue();
            for (std::uint32_t c = 0; c < outputBufferList->numberBuffers; ++c)
                outputBufferList->floatData(c)[frame] = value;
        }
    }
    ParameterRamper level;
};

// A generator node after the template: it starts bypassed.
class LevelTone final : public GeneratorNode {
public:
    static NodeParameterDef levelDef() {
        static const NodeParameterDef def = [] {
            registerTestKernel();
            return makeNodeParameterDef("LevelTone", {"level", "Level", 0.5f, {0.0f, 1.0f}});
        }();
        return def;
    }

    explicit LevelTone(float level = levelDef().defaultValue)
        : GeneratorNode((registerTestKernel(), "tgen")) {
        setupParameters();
        stop();
        this->level.setWrappedValue(level);
    }
    std::vector<std::shared_ptr<NodeParameter>> parameters() const override { return parameterList(level); }

    Parameter<float> level{levelDef()};

private:
    static void registerTestKernel() {
        static std::once_flag once;
        std::call_once(once, [] { registerDSP<LevelToneDSP>("tgen", {"LevelToneParameterLevel"}); });
    }
};

} // namespace

TEST(SigproRozezEruRegistration, RegistersTheKernelsAndNodeComponentsOnceFromAnyThread) {
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([] { registerSigproRozezEru(); });
    for (auto& thread : threads)
        thread.join();
    registerSigproRozezEru();

    const auto components =
        platform::AudioComponentRegistry::shared().components(componentDescription::effect("peq2"));
    ASSERT_EQ(components.size(), 1u);
    EXPECT_EQ(components[0].name, "Local internal AU");
    EXPECT_EQ(rzGetParameterAddress("HighShelfParametricEqualizerFilterParameterCenterFrequency"), 0u);
    EXPECT_EQ(rzGetParameterAddress("HighShelfParametricEqualizerFilterParameterQ"), 2u);
}

TEST(NodeParameterTable, RegistryNamesJoinClassParameterAndTheCapitalisedIdentifier) {
    EXPECT_EQ(parameterRegistryName("HighShelfParametricEqualizerFilter", "centerFrequency"),
              "HighShelfParametricEqualizerFilterParameterCenterFrequency");
    EXPECT_EQ(parameterRegistryName("ZitaReverb", "equalizerFrequency2"),
              "ZitaReverbParameterEqualizerFrequency2");
    EXPECT_EQ(parameterRegistryName("Panner", "Pan"), "PannerParameterPan");
    EXPECT_EQ(parameterRegistryName("Panner", ""), "PannerParameter");

    // A name the registry does not know drives no kernel parameter.
    registerSigproRozezEru();
    const NodeParameterDef unknown =
        makeNodeParameterDef("NoSuchNode", {"depth", "Depth", 0.25f, {0.0f, 2.0f}});
    EXPECT_EQ(unknown.address, unknownParameterAddress);
    EXPECT_EQ(unknown.identifier, "depth");
    EXPECT_EQ(unknown.defaultValue, 0.25f);
    EXPECT_EQ(unknown.flags, 0xC2000000u);
}

TEST(GeneratorNode, HasNoInputAndStartsBypassedUntilStarted) {
    auto tone = std::make_shared<LevelTone>(0.75f);
    EXPECT_TRUE(tone->connections().empty());
    RozezEruAU& unit = rozezEruAU(*tone);
    EXPECT_EQ(unit.componentDescription().componentType, fourCC("aumu"));
    EXPECT_EQ(unit.inputBusCount(), 0u);
    EXPECT_EQ(LevelTone::levelDef().address, 0u);
    EXPECT_EQ(tone->level.wrappedValue(), 0.75f);
    EXPECT_FALSE(tone->isStarted());

    auto engine = offlineToolkitEngine(tone);
    const auto bypassed = renderToolkit(*engine, 1024);
    EXPECT_EQ(bypassed[0], std::vector<float>(1024, 0.0f));
    tone->start();
    const auto started = renderToolkit(*engine, 1024);
    EXPECT_EQ(started[0], std::vector<float>(1024, 0.75f));
    EXPECT_EQ(started[1], started[0]);
}

TEST(EffectNodeDeathTest, AnEffectWithoutInputStopsTheProgram) {
    EXPECT_DEATH(HighShelfParametricEqualizerFilter(nullptr), "An effect node needs an input node\\.");
}

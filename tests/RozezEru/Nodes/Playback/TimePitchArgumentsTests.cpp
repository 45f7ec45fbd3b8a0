// The rate, pitch and overlap a TimePitch or VariSpeed is created with are the ones its unit plays at.

#include "RozezEru/Internals/AudioEngine.h"
#include "RozezEru/Nodes/Playback/TimePitch.h"
#include "platform/audio/AudioUnitNode.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/audio/TimePitchUnit.h"
#include "platform/audio/VarispeedUnit.h"
#include "tests/RozezEru/Nodes/NodeTestRig.h"

#include <gtest/gtest.h>

namespace {

// A 1 kHz tone that counts the frames pulled from it.
class ArgumentsTone final : public rozezeru::Node {
public:
    ArgumentsTone() : tone_(testsupport::makeSine(testsupport::stereo(), 1000.0)) {}
    std::vector<std::shared_ptr<rozezeru::Node>> connections() const override { return {}; }
    std::shared_ptr<platform::AudioNode> avAudioNode() const override { return tone_.node; }
    std::int64_t framesPulled() const { return tone_.frames->load(); }

private:
    testsupport::CountingSource tone_;
};

} // namespace

TEST(TimePitchArguments, TheUnitsPlayAtTheSettingsGivenAtCreation) {
    auto tone = std::make_shared<ArgumentsTone>();
    rozezeru::TimePitch timePitch(tone, 2.0f, 300.0f, 4.0f);
    EXPECT_EQ(timePitch.timePitchAU().rate(), 2.0f);
    EXPECT_EQ(timePitch.timePitchAU().pitch(), 300.0f);
    EXPECT_EQ(timePitch.timePitchAU().overlap(), 4.0f);
    EXPECT_FALSE(timePitch.timePitchAU().usesFinerEngine());
    for (auto [given, played] : {std::pair{0.8f, 0.8f}, {10.0f, 4.0f}}) {
        rozezeru::VariSpeed variSpeed(tone, given);
        EXPECT_EQ(variSpeed.rate(), given);
        const auto node = std::static_pointer_cast<platform::AudioUnitNode>(variSpeed.avAudioNode());
        EXPECT_EQ(static_cast<platform::VarispeedUnit&>(node->auAudioUnit()).rate(), played);
    }

    // Two seconds out of a time-pitch created at rate 2 take about four of the tone in: played at the
    // rate given, nothing written afterwards.
    auto engine = testsupport::fastToolkitEngine();
    auto source = std::make_shared<ArgumentsTone>();
    engine->setOutput(std::make_shared<rozezeru::TimePitch>(source, 2.0f));
    ASSERT_TRUE(engine->startTest(2.0));
    ASSERT_TRUE(engine->render(2.0));
    EXPECT_NEAR(double(source->framesPulled()) / 44100.0, 4.0, 0.4);
}

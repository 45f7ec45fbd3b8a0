#include "RozezEru/Nodes/MatrixMixer.h"

#include "platform/audio/MatrixMixerUnit.h"

#include "NodeTestRig.h"
#include "tests/support/ToolkitLogCapture.h"

#include <gtest/gtest.h>

#include <sstream>

using platform::AudioUnitScope;
using platform::MatrixMixerUnit;
using rozezeru::MatrixMixer;
using rozezeru::Node;
using testsupport::constantNode;

namespace {

// A source whose output is connected in `format`.
class MatrixTestSource final : public Node {
public:
    MatrixTestSource(float value, platform::AudioFormat format)
        : format_(format), source_(constantNode(value, format)) {}
    std::vector<std::shared_ptr<Node>> connections() const override { return {}; }
    std::shared_ptr<platform::AudioNode> avAudioNode() const override { return source_->avAudioNode(); }
    platform::AudioFormat outputFormat() const override { return format_; }

private:
    platform::AudioFormat format_;
    std::shared_ptr<testsupport::SignalNode> source_;
};

// The matrix wired between its inputs and the output of a running offline engine in `format`.
std::unique_ptr<platform::AudioEngine> matrixTestEngine(MatrixMixer& matrix, platform::AudioFormat format) {
    auto engine = std::make_unique<platform::AudioEngine>(std::make_unique<platform::NullAudioDevice>());
    EXPECT_TRUE(engine->enableManualRenderingMode(format, 512));
    EXPECT_TRUE(engine->attach(matrix.avAudioNode()));
    EXPECT_TRUE(engine->connect(*matrix.avAudioNode(), engine->outputNode(), 0, 0, format));
    matrix.makeAVConnections();
    EXPECT_TRUE(engine->start());
    return engine;
}

float matrixTestVolume(const MatrixMixer& matrix, AudioUnitScope scope, std::uint32_t element) {
    return matrix.unit()->auAudioUnit().getParameter(0, scope, element).valueOr(-1.0f);
}

} // namespace

TEST(MatrixMixer, RoutesTwoStereoInputsByItsCrosspoints) {
    MatrixMixer matrix({constantNode(0.25f), constantNode(0.75f)});
    EXPECT_EQ(matrix.unit()->auAudioUnit().inputBusCount(), 2u);
    EXPECT_EQ(matrix.unit()->auAudioUnit().outputBusCount(), 1u);
    auto engine = matrixTestEngine(matrix, testsupport::stereo());
    EXPECT_EQ(matrix.inputChannelCount(), 4u);
    const auto levels = matrix.levels();
    ASSERT_EQ(levels.size(), 5u);
    EXPECT_EQ(levels[4], (std::vector<float>{0.0f, 0.0f, 1.0f})); // output volumes still 0, master 1

    // The second input's left channel to the left, the first's left channel to the right: a swap.
    matrix.unmuteAll();
    matrix.setCrosspointsVolume(1.0f, {{2, 0}, {0, 1}});
    const auto out = testsupport::renderOfflineFrames(*engine, 512, 512);
    EXPECT_EQ(out[0], std::vector<float>(512, 0.75f));
    EXPECT_EQ(out[1], std::vector<float>(512, 0.25f));
}

TEST(MatrixMixer, AddressesVolumesByScopeAndElement) {
    testsupport::ToolkitLogCapture capture;
    MatrixMixer matrix({constantNode()});
    matrix.setCrosspointsVolume(0.5f, {{1, 0}, {0, 1}, {0x10000, 0}, {-1, 0}});
    EXPECT_EQ(matrixTestVolume(matrix, AudioUnitScope::global, 0x00010000), 0.5f);
    EXPECT_EQ(matrixTestVolume(matrix, AudioUnitScope::global, 1), 0.5f);
    EXPECT_EQ(matrixTestVolume(matrix, AudioUnitScope::global, 0), 0.0f); // 0x10000 << 16 is not 0 here
    matrix.setInputChannelVolume(0.25f, 3);
    matrix.setOutputChannelVolume(0.125f, 0x100000000);
    matrix.setMasterVolume(0.75f);
    EXPECT_EQ(matrixTestVolume(matrix, AudioUnitScope::input, 3), 0.25f);
    EXPECT_EQ(matrix.masterVolume(), 0.75f);
    EXPECT_EQ(matrixTestVolume(matrix, AudioUnitScope::global, MatrixMixerUnit::masterElement), 0.75f);
    EXPECT_EQ(capture.sink.records().size(), 3u); // the two crosspoint halves and the output channel
}

TEST(MatrixMixer, PrintsOneLinePerInputChannelAndOneForTheOutputs) {
    const auto mono = testsupport::mono();
    MatrixMixer matrix({std::make_shared<MatrixTestSource>(1.0f, mono)});
    auto engine = matrixTestEngine(matrix, mono);
    matrix.unmuteAll();
    matrix.setCrosspointsVolume(1.0f, {{0, 0}});
    std::ostringstream text;
    matrix.printLevels(text);
    EXPECT_EQ(text.str(),
              "Input Channel 0 - [1.0], Input Volume 1.0\nOutput Volumes - [1.0], Master Volume 1.0\n");
}

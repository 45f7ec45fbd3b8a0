#pragma once
// Offline rendering through the toolkit's engine (RozezEru): an engine on the null device with a node as
// its output, started for offline rendering, and its next frames. Only the toolkit's test programs
// include this. Test thread (the offline render runs on it too).

#include "RozezEru/Internals/AudioEngine.h"
#include "tests/support/EngineRig.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace testsupport {

// Not started: the caller sets the output and calls startTest().
inline std::unique_ptr<rozezeru::AudioEngine> offlineToolkitEngine() {
    return std::make_unique<rozezeru::AudioEngine>(std::make_unique<platform::NullAudioDevice>());
}

// With `output` as its output, started for `seconds` of offline rendering, nothing rendered yet.
inline std::unique_ptr<rozezeru::AudioEngine> offlineToolkitEngine(std::shared_ptr<rozezeru::Node> output,
                                                                   double seconds = 2.0) {
    auto engine = offlineToolkitEngine();
    engine->setOutput(std::move(output));
    EXPECT_NE(engine->startTest(seconds), nullptr);
    return engine;
}

// The next `frames` frames of a started engine, in cycles of `cycle`, one vector per channel.
inline std::vector<std::vector<float>> renderToolkit(rozezeru::AudioEngine& engine, std::uint32_t frames,
                                                     std::uint32_t cycle = 512) {
    return renderOfflineFrames(engine.avEngine(), frames, cycle);
}

// A toolkit engine on a device that renders as fast as it can.
inline std::unique_ptr<rozezeru::AudioEngine> fastToolkitEngine() {
    return std::make_unique<rozezeru::AudioEngine>(fastDevice());
}

} // namespace testsupport

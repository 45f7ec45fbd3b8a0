#pragma once
// What the sampler's fuzz targets share: a sampler unit in an offline engine that plays each input
// that loads, and stops the run when its output is not finite; and the audio file that the preset
// seeds name, at a fixed path so that seeds written once keep naming it. One fuzzing thread.

#include "platform/audio/AudioEngine.h"
#include "platform/audio/AudioUnitNode.h"
#include "platform/audio/IONodes.h"
#include "platform/audio/NullAudioDevice.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/audio/SamplerUnit.h"
#include "tests/support/AudioFiles.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace samplerfuzz {

inline const std::string zoneFolder = "/tmp/vantle-fuzz-sampler";
inline const std::string zonePath = zoneFolder + "/zone.wav";

// A short looped sine rooted at key 60, as the preset seeds name it.
inline void writeZoneFile() {
    if (std::filesystem::exists(zonePath)) return;
    std::filesystem::create_directories(zoneFolder);
    if (!testsupport::writeWithSndfile(zonePath, SF_FORMAT_WAV | SF_FORMAT_PCM_16,
                                       {testsupport::sine(2205, 441.0, 44100.0, 0.5)}, 44100)) {
        std::fprintf(stderr, "cannot write %s\n", zonePath.c_str());
        std::abort();
    }
}

struct Rig {
    std::unique_ptr<platform::AudioEngine> engine;
    std::shared_ptr<platform::AudioUnitNode> node;
    platform::SamplerUnit* unit = nullptr;
    std::unique_ptr<platform::PcmBuffer> buffer;

    Rig() {
        const auto format = *platform::AudioFormat::standard(44100.0, 2);
        engine = std::make_unique<platform::AudioEngine>(std::make_unique<platform::NullAudioDevice>());
        node = std::make_shared<platform::AudioUnitNode>(std::make_unique<platform::SamplerUnit>());
        unit = static_cast<platform::SamplerUnit*>(&node->auAudioUnit());
        if (!engine->enableManualRenderingMode(format, 512) || !engine->attach(node) ||
            !engine->connect(*node, engine->outputNode(), 0, 0, format) || !engine->start())
            std::abort();
        buffer = platform::PcmBuffer::make(format, 512);
    }

    // A chord across the keyboard and velocities, bent and with the wheel up, then released.
    void play() {
        for (std::uint8_t channel = 0; channel < 2; ++channel) {
            unit->sendController(1, 127, channel);
            unit->sendPitchBend(12000, channel);
            for (std::uint8_t key : {0, 36, 60, 61, 96, 127})
                unit->startNote(key, std::uint8_t(1 + key % 127), channel);
        }
        for (int cycle = 0; cycle < 8; ++cycle) {
            if (cycle == 5)
                for (std::uint8_t key : {0, 36, 60, 61, 96, 127})
                    unit->stopNote(key, 0);
            auto status = engine->renderOffline(512, *buffer);
            if (!status) std::abort();
            for (std::uint32_t c = 0; c < 2; ++c)
                for (std::uint32_t i = 0; i < 512; ++i)
                    if (!std::isfinite(buffer->channel(c)[i])) {
                        std::fprintf(stderr, "the sampler rendered a value that is not finite\n");
                        std::abort();
                    }
        }
        unit->sendController(120, 0, 0);
        unit->sendController(120, 0, 1);
    }
};

inline Rig& rig() {
    static Rig made;
    return made;
}

} // namespace samplerfuzz

#include "RozezEru/Internals/EngineConnections.h"

#include "RozezEru/Internals/Log.h"
#include "RozezEru/Internals/MemoryAddress.h"
#include "RozezEru/Internals/Settings.h"
#include "platform/audio/AudioEngine.h"
#include "platform/audio/EnvironmentNode.h"
#include "platform/audio/MixerNode.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace rozezeru {

namespace {

// Renders silence; nothing is ever played through it. It is the dummy input initializeMixer gives
// a running engine's empty mixer, so the mixer already has a connected input while its first real
// input is wired.
class EngineResetNode final : public platform::AudioNode {
public:
    EngineResetNode() : AudioNode(0, 1) { setDefaultOutputFormat(0, Settings::audioFormat()); }

    std::string typeName() const override { return "EngineResetNode"; }

protected:
    platform::RenderStatus render(platform::RenderContext&, std::uint32_t frames,
                                  platform::AudioBufferList& out, const platform::AudioTime&,
                                  std::uint32_t) override {
        for (std::uint32_t b = 0; b < out.numberBuffers; ++b)
            std::memset(out.buffers[b].data, 0, out.buffers[b].dataByteSize);
        return platform::RenderStatus::success;
    }
};

std::string engineConnectionsNodeDescription(const platform::AudioNode& node) {
    // Appended piece by piece: a chain of operator+ trips a false -Wrestrict in GCC 12.
    std::string text = "<";
    text += node.typeName();
    text += ": ";
    text += MemoryAddress::addressString(&node);
    text += '>';
    return text;
}

void engineConnectionsRefused(const char* function, const platform::Error& error) {
    Log(LogSite(function, LogType::error), "🛑 Error:", error.message);
}

} // namespace

std::shared_ptr<platform::AudioNode> initializeMixer(platform::AudioEngine& engine,
                                                     platform::AudioNode& node) {
    auto* mixer = dynamic_cast<platform::MixerNode*>(&node);
    if (!engine.isRunning() || !mixer || mixer->engine() != &engine) return nullptr;
    for (std::uint32_t bus = 0; bus < mixer->numberOfInputs(); ++bus)
        if (engine.inputConnectionPoint(*mixer, bus)) return nullptr;

    const platform::AudioFormat format = Settings::audioFormat();
    auto dummy = std::make_shared<EngineResetNode>();
    if (auto attached = engine.attach(dummy); !attached) {
        engineConnectionsRefused("initializeMixer(_:)", attached.error());
        return nullptr;
    }
    // A format the graph cannot carry (Settings take any) must not leave a stray node behind.
    if (auto connected = engine.connect(*dummy, *mixer, format); !connected) {
        engine.detach(*dummy);
        engineConnectionsRefused("initializeMixer(_:)", connected.error());
        return nullptr;
    }
    std::string added = "⚠️🎚 Added dummy to mixer (";
    added += engineConnectionsNodeDescription(*mixer);
    added += " with format";
    Log(LogSite("initializeMixer(_:)"), added, format.description());
    return dummy;
}

void removeConnection(platform::AudioNode& destination, platform::AudioNode& source,
                      const platform::AudioFormat& format) {
    platform::AudioEngine* engine = destination.engine();
    if (!engine) return;
    bool feedsDestination = false;
    for (std::uint32_t bus = 0; bus < destination.numberOfInputs(); ++bus) {
        auto point = engine->inputConnectionPoint(destination, bus);
        if (point && point->node == &source) feedsDestination = true;
    }
    if (!feedsDestination) return;

    auto keep = engine->outputConnectionPoints(source, 0);
    std::erase_if(keep,
                  [&](const platform::AudioConnectionPoint& point) { return point.node == &destination; });
    if (keep.empty()) {
        engine->disconnectNodeOutput(source);
    } else if (auto connected = engine->connect(source, keep, 0, format); !connected) {
        engineConnectionsRefused("removeConnection(from:format:)", connected.error());
    }
}

void addConnection(platform::AudioNode& destination, platform::AudioNode& source, std::uint32_t bus,
                   std::optional<platform::AudioFormat> format) {
    platform::AudioEngine* engine = destination.engine();
    if (!engine) return;
    auto points = engine->outputConnectionPoints(source, 0);
    const platform::AudioConnectionPoint wanted{&destination, bus};
    if (std::find(points.begin(), points.end(), wanted) != points.end()) return;
    points.push_back(wanted);
    if (auto connected = engine->connect(source, points, 0, format); !connected)
        engineConnectionsRefused("addConnection(from:bus:format:)", connected.error());
}

void addMixerConnection(platform::MixerNode& mixer, platform::AudioNode& source,
                        std::optional<platform::AudioFormat> format) {
    platform::AudioEngine* engine = mixer.engine();
    if (!engine) return;
    auto points = engine->outputConnectionPoints(source, 0);
    if (std::any_of(points.begin(), points.end(),
                    [&](const platform::AudioConnectionPoint& point) { return point.node == &mixer; }))
        return;
    points.push_back({&mixer, mixer.nextAvailableInputBus()});
    auto connected = points.size() == 1 ? engine->connect(source, mixer, format)
                                        : engine->connect(source, points, 0, format);
    if (!connected) engineConnectionsRefused("addMixerConnection(from:format:)", connected.error());
}

void connectMixer3D(platform::EnvironmentNode& environment, platform::MixerNode& mixer,
                    const platform::AudioFormat& format) {
    platform::AudioEngine* engine = environment.engine();
    if (!engine) return;
    auto mono = platform::AudioFormat::standard(Settings::sampleRate(), 1);
    if (!mono) return;
    auto points = engine->outputConnectionPoints(mixer, 0);
    if (std::any_of(points.begin(), points.end(),
                    [&](const platform::AudioConnectionPoint& point) { return point.node == &environment; }))
        return;
    points.push_back({&environment, environment.nextAvailableInputBus()});
    auto connected = points.size() == 1 ? engine->connect(mixer, environment, *mono)
                                        : engine->connect(mixer, points, 0, format);
    if (!connected) engineConnectionsRefused("connect(mixer3D:format:)", connected.error());
}

} // namespace rozezeru

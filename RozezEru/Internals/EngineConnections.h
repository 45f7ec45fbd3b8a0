#pragma once
// Connection operations over the platform engine graph that add or remove one connection of a node
// while keeping the other output connections of the node feeding it, and the dummy input that
// keeps a running engine's empty mixer fed while its first input is wired, and the 3D mixer's way into
// an environment node. Main thread.

#include "platform/audio/AudioFormat.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace platform {
class AudioEngine;
class AudioNode;
class EnvironmentNode;
class MixerNode;
} // namespace platform

namespace rozezeru {

// For a running engine and a mixer of it none of whose input busses is connected: attaches a
// silent node (type name "EngineResetNode"), connects it to the mixer's next free bus in
// Settings::audioFormat(), logs "⚠️🎚 Added dummy to mixer (…" and returns the node, which the
// caller detaches again once it has recorded the mixer's first real input. Nothing (and nothing
// attached) for a stopped engine, a node that is not a mixer of this engine, or a mixer that
// already has an input.
std::shared_ptr<platform::AudioNode> initializeMixer(platform::AudioEngine& engine,
                                                     platform::AudioNode& node);

// Cuts `source` off `destination`: the source's output bus 0 then feeds only its other
// destinations (in `format`), or nothing. Nothing happens when `destination` belongs to no engine
// or `source` does not feed it.
void removeConnection(platform::AudioNode& destination, platform::AudioNode& source,
                      const platform::AudioFormat& format);

// Adds input bus `bus` of `destination` to the destinations of the source's output bus 0, keeping
// the others. Nothing happens when `destination` belongs to no engine or already takes the source
// on that bus.
void addConnection(platform::AudioNode& destination, platform::AudioNode& source, std::uint32_t bus,
                   std::optional<platform::AudioFormat> format);

// Adds the mixer's next available input bus to the destinations of the source's output bus 0,
// keeping the others. Nothing happens when the mixer belongs to no engine or the source already
// feeds it on any bus.
void addMixerConnection(platform::MixerNode& mixer, platform::AudioNode& source,
                        std::optional<platform::AudioFormat> format);

// Adds the environment node's next available input bus to the destinations of the 3D mixer's output
// bus 0: alone, in mono at Settings' sample rate; beside other destinations, all of them in `format`.
// Nothing happens when the environment node belongs to no engine or the mixer already feeds it.
void connectMixer3D(platform::EnvironmentNode& environment, platform::MixerNode& mixer,
                    const platform::AudioFormat& format);

} // namespace rozezeru

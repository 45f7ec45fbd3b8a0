#include "RozezEru/Nodes/Effects/PlatformEffectPresets.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace rozezeru {

namespace {

constexpr std::array<std::string_view, platform::distortionPresetCount> distortionPresetNames = {
    "Drums Bit Brush",
    "Drums Buffer Beats",
    "Drums LoFi",
    "Multi-Broken Speaker",
    "Multi-Cellphone Concert",
    "Multi-Decimated 1",
    "Multi-Decimated 2",
    "Multi-Decimated 3",
    "Multi-Decimated 4",
    "Multi-Distorted Funk",
    "Multi-Distorted Cubed",
    "Multi-Distorted Squared",
    "Multi-Echo 1",
    "Multi-Echo 2",
    "Multi-Echo Tight 1",
    "Multi-Echo Tight 2",
    "Multi-Everything Is Broken",
    "Speech Alien Chatter",
    "Speech Cosmic Interference",
    "Speech Golden Pi",
    "Speech Radio Tower",
    "Speech Shortwave",
};

constexpr std::array<std::string_view, platform::reverbPresetCount> reverbPresetNames = {
    "Small Room",    "Medium Room",    "Large Room",    "Medium Hall", "Large Hall",
    "Plate",         "Medium Chamber", "Large Chamber", "Cathedral",   "Large Room 2",
    "Medium Hall 2", "Medium Hall 3",  "Large Hall 2",
};

template <class Preset> std::vector<Preset> everyPreset(std::int32_t count) {
    std::vector<Preset> presets;
    for (std::int32_t raw = 0; raw < count; ++raw)
        presets.push_back(Preset(raw));
    return presets;
}

template <class Preset, std::size_t N>
std::string presetName(Preset preset, const std::array<std::string_view, N>& names,
                       std::string_view unknown) {
    const auto raw = std::int64_t(preset);
    return std::string(raw >= 0 && raw < std::int64_t(N) ? names[std::size_t(raw)] : unknown);
}

// In 64 bits, so that the largest raw value has a successor.
template <class Preset> Preset nextPreset(Preset preset) {
    const auto count = std::int64_t(allValues<Preset>().size());
    if (count == 0) return preset;
    return Preset(std::int32_t((std::int64_t(preset) + 1) % count));
}

template <class Preset> Preset previousPreset(Preset preset) {
    const auto count = std::int64_t(allValues<Preset>().size());
    if (count == 0) return preset;
    std::int64_t raw = std::int64_t(preset) - 1;
    if (raw < 0) raw = (raw % count + count) % count;
    return Preset(std::int32_t(raw));
}

} // namespace

template <> std::vector<platform::DistortionPreset>& allValues() {
    static std::vector<platform::DistortionPreset> presets =
        everyPreset<platform::DistortionPreset>(platform::distortionPresetCount);
    return presets;
}

template <> std::vector<platform::ReverbPreset>& allValues() {
    static std::vector<platform::ReverbPreset> presets =
        everyPreset<platform::ReverbPreset>(platform::reverbPresetCount);
    return presets;
}

std::string name(platform::DistortionPreset preset) {
    return presetName(preset, distortionPresetNames, "Unknown");
}

std::string name(platform::ReverbPreset preset) {
    return presetName(preset, reverbPresetNames, "Unknown ");
}

platform::DistortionPreset next(platform::DistortionPreset preset) {
    return nextPreset(preset);
}

platform::DistortionPreset previous(platform::DistortionPreset preset) {
    return previousPreset(preset);
}

platform::ReverbPreset next(platform::ReverbPreset preset) {
    return nextPreset(preset);
}

platform::ReverbPreset previous(platform::ReverbPreset preset) {
    return previousPreset(preset);
}

} // namespace rozezeru

#include "platform/files/SamplerFiles.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PropertyList.h"

#include "tests/support/AudioFiles.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <limits>

namespace {

using platform::PlistArray;
using platform::PlistDictionary;
using platform::SamplerModulation;
using platform::SamplerUnit;

constexpr std::int64_t firstSample = 268435457;

std::string writeTone(const testsupport::TemporaryFolder& folder, const std::string& name, int rate,
                      std::vector<float> samples = {}) {
    if (samples.empty()) samples = testsupport::sine(4410, 441.0, 44100.0, 0.5);
    const std::string path = folder.file(name);
    EXPECT_TRUE(testsupport::writeWithSndfile(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, {samples}, rate))
        << name;
    return path;
}

// A preset of one layer (`layer` gives its other keys) whose zones name the files, in order.
std::string writePreset(const testsupport::TemporaryFolder& folder, const std::vector<std::string>& files,
                        const std::vector<std::size_t>& zoneFiles, PlistDictionary layer = {},
                        const std::vector<PlistDictionary>& zoneKeys = {}) {
    PlistDictionary refs;
    for (std::size_t i = 0; i < files.size(); ++i)
        refs.set("Sample:" + std::to_string(firstSample + std::int64_t(i)), files[i]);
    PlistArray zones;
    for (std::size_t z = 0; z < zoneFiles.size(); ++z) {
        PlistDictionary zone = z < zoneKeys.size() ? zoneKeys[z] : PlistDictionary{};
        zone.set("waveform", firstSample + std::int64_t(zoneFiles[z]));
        zones.push_back(zone);
    }
    layer.set("Zones", zones);
    const PlistDictionary root{{"Instrument", PlistDictionary{{"Layers", PlistArray{layer}}}},
                               {"file-references", refs}};
    const std::string path = folder.file("preset.aupreset");
    EXPECT_TRUE(platform::writeFileAtomically(path, platform::serializeBinaryPlist(root).value()));
    return path;
}

TEST(SamplerFilesTest, ZoneFilesMustBeRegularFilesAtARateTheSamplerPlays) {
    testsupport::TemporaryFolder folder;
    const std::string fifo = folder.file("fifo.wav");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // The file, and whether it loads; a FIFO would hold the loader until someone wrote to it.
    for (const auto& [name, path, loads] : std::vector<std::tuple<const char*, std::string, bool>>{
             {"44.1 kHz", writeTone(folder, "cd.wav", 44100), true},
             {"1 kHz", writeTone(folder, "low.wav", 1000), true},
             {"768 kHz", writeTone(folder, "high.wav", 768000), true},
             {"500 Hz", writeTone(folder, "slow.wav", 500), false},
             {"1.27 GHz", writeTone(folder, "absurd.wav", 1270000000), false},
             {"FIFO", fifo, false},
             {"folder", folder.path, false},
         }) {
        for (const bool inPreset : {false, true}) {
            const auto read = inPreset ? platform::readSamplerPreset(writePreset(folder, {path}, {0}))
                                       : platform::readSamplerAudioFiles({path});
            EXPECT_EQ(bool(read), loads) << name << (inPreset ? " in a preset" : "");
            if (!read) {
                EXPECT_EQ(read.error().code, SamplerUnit::invalidFileError) << name;
            }
        }
    }
    const auto presetFifo = platform::readSamplerPreset(fifo);
    EXPECT_FALSE(presetFifo) << "a FIFO as the preset";
}

TEST(SamplerFilesTest, FloatZonesAreMadeFiniteAndBounded) {
    testsupport::TemporaryFolder folder;
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> stored{std::nanf(""), inf, -inf, 1.7e38f, -1.7e38f, 0.5f, -2.0f, 0.0f};
    const auto read = platform::readSamplerAudioFiles({writeTone(folder, "wild.wav", 44100, stored)});
    ASSERT_TRUE(read);
    EXPECT_EQ(read->zones.at(0).sample->channels.at(0),
              (std::vector<float>{0.0f, 0.0f, 0.0f, 8.0f, -8.0f, 0.5f, -2.0f, 0.0f}));
}

TEST(SamplerFilesTest, EachDistinctFileIsReadOncePerLoad) {
    testsupport::TemporaryFolder folder;
    const std::string shared = writeTone(folder, "shared.wav", 44100);
    const std::string other = writeTone(folder, "other.wav", 44100);
    std::vector<std::string> reads;
    const platform::SamplerZoneReader counting = [&](const std::string& path) {
        reads.push_back(path);
        return platform::readSamplerZone(path);
    };
    // 400 zones play the shared file, one the other.
    std::vector<std::size_t> zoneFiles(400, 0);
    zoneFiles.insert(zoneFiles.begin() + 200, 1);
    const auto preset =
        platform::readSamplerPreset(writePreset(folder, {shared, other}, zoneFiles), counting);
    ASSERT_TRUE(preset);
    EXPECT_EQ(reads, (std::vector<std::string>{shared, other}));
    ASSERT_EQ(preset->zones.size(), 401u);
    EXPECT_EQ(preset->zones[0].sample, preset->zones[399].sample);
    reads.clear();
    ASSERT_TRUE(platform::readSamplerAudioFiles({shared, shared, other, shared}, counting));
    EXPECT_EQ(reads, (std::vector<std::string>{shared, other}));
}

TEST(SamplerFilesTest, PresetZonesCarryVelocityRangesAndTheirLayersFilterAndLFOs) {
    testsupport::TemporaryFolder folder;
    const std::string tone = writeTone(folder, "tone.wav", 44100);
    const auto connection = [](std::int64_t source, std::int64_t destination, PlistDictionary range,
                               std::int64_t control = 0, bool inverse = false) {
        range.set("source", source);
        range.set("destination", destination);
        range.set("control", control);
        range.set("inverse", inverse);
        range.set("enabled", true);
        return range;
    };
    // Layer 1: LFO 0 (sine, 0.25 s delay, 5 Hz) to pitch ±30 cents under the wheel, LFO 1 (default
    // triangle) to gain -3 … 9 dB inverted; the key and velocity connections are the unit's own.
    const PlistDictionary layer{
        {"Filters",
         PlistDictionary{{"ID", 0}, {"cutoff", 800.0}, {"enabled", true}, {"resonance", 6.0}, {"type", 40}}},
        {"LFOs",
         PlistArray{
             PlistDictionary{{"ID", 0}, {"delay", 0.25}, {"enabled", true}, {"rate", 5.0}, {"waveform", 1}},
             PlistDictionary{{"ID", 1}, {"delay", 0.0}, {"enabled", true}, {"rate", 3.0}}}},
        {"Connections",
         PlistArray{connection(300, 816840704 + 256, PlistDictionary{{"scale", 12800.0}}),
                    connection(268435456, 816840704 + 256, PlistDictionary{{"scale", 30.0}}, 1),
                    connection(268435457, 1343225856 + 256,
                               PlistDictionary{{"max value", 9.0}, {"min value", -3.0}}, 0, true)}},
    };
    const auto preset = platform::readSamplerPreset(
        writePreset(folder, {tone}, {0, 0}, layer,
                    {PlistDictionary{{"min key", 40}, {"max key", 80}, {"min vel", 64}, {"max vel", 100}}}));
    ASSERT_TRUE(preset);
    ASSERT_EQ(preset->zones.size(), 2u);
    const auto& zone = preset->zones[0];
    EXPECT_EQ(std::tuple(zone.minKey, zone.maxKey, zone.minVelocity, zone.maxVelocity),
              std::tuple(40, 80, 64, 100));
    EXPECT_EQ(std::pair(preset->zones[1].minVelocity, preset->zones[1].maxVelocity), std::pair(1, 127));
    EXPECT_TRUE(zone.filter.enabled);
    EXPECT_EQ(std::pair(zone.filter.cutoffHz, zone.filter.resonanceDecibels), std::pair(800.0, 6.0));
    ASSERT_EQ(zone.lfos.size(), 2u);
    EXPECT_EQ(std::tuple(zone.lfos[0].waveform, zone.lfos[0].delaySeconds, zone.lfos[0].rateHz),
              std::tuple(1, 0.25, 5.0));
    EXPECT_EQ(std::tuple(zone.lfos[1].waveform, zone.lfos[1].rateHz), std::tuple(0, 3.0));
    ASSERT_EQ(zone.modulations.size(), 2u);
    const auto& pitch = zone.modulations[0];
    EXPECT_EQ(std::tuple(pitch.lfo, pitch.destination, pitch.minimum, pitch.maximum, pitch.controller),
              std::tuple(std::size_t(0), SamplerModulation::Destination::pitch, -30.0, 30.0, 1));
    const auto& gain = zone.modulations[1];
    EXPECT_EQ(std::tuple(gain.lfo, gain.destination, gain.minimum, gain.maximum, gain.controller),
              std::tuple(std::size_t(1), SamplerModulation::Destination::gain, 9.0, -3.0, -1));
    EXPECT_EQ(preset->zones[1].modulations.size(), 2u) << "every zone of the layer";
}

} // namespace

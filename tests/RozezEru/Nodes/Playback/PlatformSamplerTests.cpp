#include "RozezEru/Nodes/Playback/PlatformSampler/PlatformSampler.h"
#include "RozezEru/Nodes/Playback/PlatformSampler/PresetBuilder.h"
#include "platform/audio/AudioUnitNode.h"
#include "platform/audio/SamplerUnit.h"
#include "platform/files/AudioFile.h"
#include "platform/foundation/Files.h"

#include "tests/support/SoundBankBytes.h"
#include "tests/support/Spectrum.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/ToneFiles.h"
#include "tests/support/ToolkitLogCapture.h"
#include "tests/support/ToolkitRig.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using rozezeru::Bundle;
using rozezeru::PlatformSampler;

constexpr double rate = 44100.0;
using Load = std::function<platform::Result<void>()>;
const std::string generalMIDIBank = "/usr/share/sounds/sf2/TimGM6mb.sf2";

double keyHz(double key) {
    return 440.0 * std::exp2((key - 69.0) / 12.0);
}

// A mono sine WAV at the pitch of `root`, with that root (and a loop, when asked) in its sample chunk.
void writeRootedSine(const std::string& path, int root, double seconds, std::int64_t loopStart = -1,
                     std::int64_t loopEnd = -1) {
    SF_INFO info{};
    info.samplerate = int(rate);
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    SF_INSTRUMENT chunk{};
    chunk.basenote = char(root);
    chunk.gain = 1;
    if (loopStart >= 0) {
        chunk.loop_count = 1;
        chunk.loops[0] = {SF_LOOP_FORWARD, unsigned(loopStart), unsigned(loopEnd), 0};
    }
    sf_command(file, SFC_SET_INSTRUMENT, &chunk, sizeof chunk);
    const auto samples = testsupport::sine(std::size_t(seconds * rate), keyHz(root), rate, 0.5);
    sf_writef_float(file, samples.data(), sf_count_t(samples.size()));
    sf_close(file);
}

std::vector<float> renderLeft(rozezeru::AudioEngine& engine, double seconds) {
    return testsupport::renderToolkit(engine, std::uint32_t(seconds * rate))[0];
}
TEST(PlatformSamplerTest, PropertiesMapOntoTheUnit) {
    auto sampler = std::make_shared<PlatformSampler>();
    auto& unit = static_cast<platform::SamplerUnit&>(sampler->samplerUnit()->auAudioUnit());
    EXPECT_EQ(std::pair(sampler->amplitude(), sampler->volume()), std::pair(0.0f, 1.0f));
    EXPECT_EQ(sampler->pan(), 0.0f);
    EXPECT_TRUE(sampler->audioFiles().empty() && sampler->connections().empty() && sampler->isStarted());
    EXPECT_EQ(sampler->avAudioNode(), sampler->samplerUnit());
    sampler->setVolume(0.5f);
    EXPECT_EQ(unit.masterGain(), -45.0f);
    sampler->setAmplitude(-6.0f);
    EXPECT_EQ(std::pair(unit.masterGain(), sampler->volume()), std::pair(-6.0f, 0.5f));
    sampler->setPan(-0.5f);
    EXPECT_EQ(unit.stereoPan(), -50.0f);
    sampler->setTuning(2.0f);
    EXPECT_EQ(std::pair(unit.globalTuning(), sampler->tuning()), std::pair(200.0f, 2.0f));
    auto* first = sampler->internalAU();
    sampler->setSamplerUnit(
        std::make_shared<platform::AudioUnitNode>(std::make_unique<platform::SamplerUnit>()));
    EXPECT_EQ(sampler->internalAU(), first);
}

TEST(PlatformSamplerTest, WavFilesPlayFromTheirRootsAndLoopChunks) {
    testsupport::TemporaryFolder folder;
    auto sampler = std::make_shared<PlatformSampler>();
    auto engine = testsupport::offlineToolkitEngine(sampler, 30.0);
    for (const auto& [root, key] : {std::pair{48, 36}, {48, 55}, {60, 60}, {72, 84}, {72, 100}}) {
        const std::string path = folder.file("root" + std::to_string(root) + ".wav");
        writeRootedSine(path, root, 4.0);
        ASSERT_TRUE(sampler->loadInstrumentAtPath(path)) << path;
        sampler->play(std::uint8_t(key), 100, 0);
        const auto out = renderLeft(*engine, 0.85);
        EXPECT_NEAR(testsupport::spectralPeakFrequency(out, 2048, rate) / keyHz(key), 1.0, 0.005) << key;
        sampler->stop(std::uint8_t(key), 0);
        (void)renderLeft(*engine, 0.05);
    }
    // A root of 69 at 441 Hz: the loop of 4400 frames holds whole periods.
    const std::string looped = folder.file("looped.wav");
    writeRootedSine(looped, 69, 0.3, 4400, 8800);
    ASSERT_TRUE(
        sampler->loadAudioFiles({std::shared_ptr(platform::AudioFile::openForReading(looped).value())}));
    sampler->play(69, 127, 0);
    const auto held = renderLeft(*engine, 2.0);
    EXPECT_GT(testsupport::rms(held, held.size() - 4410), 0.1) << "sustains past the file's end";
    sampler->stop(69, 0);
    EXPECT_LT(testsupport::peak(renderLeft(*engine, 0.05), 1024), 1e-6f) << "released";
    EXPECT_EQ(sampler->audioFiles().size(), 1u);
}

TEST(PlatformSamplerTest, LoadersFindTheirFilesAndReportFailures) {
    testsupport::TemporaryFolder folder;
    testsupport::ToolkitLogCapture log;
    writeRootedSine(folder.file("tone.wav"), 60, 0.5);
    ASSERT_TRUE(platform::writeFileAtomically(folder.file("bad.wav"), std::string_view("not audio")));
    ASSERT_TRUE(platform::writeFileAtomically(folder.file("piano.exs"), std::string_view("EXS")));
    const Bundle bundle(folder.path), empty(folder.file("none"));
    auto sampler = std::make_shared<PlatformSampler>();
    const int missing = 256, invalid = platform::SamplerUnit::invalidFileError;
    // The error code of each load; 0: it loads.
    for (const auto& [name, load, code] : std::vector<std::tuple<const char*, Load, int>>{
             {"absolute name", [&] { return sampler->loadInstrument(folder.file("tone"), "wav", empty); }, 0},
             {"relative name in the bundle", [&] { return sampler->loadInstrument("tone", "wav", bundle); },
              0},
             {"absolute name missing",
              [&] { return sampler->loadInstrument(folder.file("gone"), "wav", bundle); }, missing},
             {"wav", [&] { return sampler->loadWav("tone", bundle); }, 0},
             {"wav missing", [&] { return sampler->loadWav("gone", bundle); }, missing},
             {"not audio", [&] { return sampler->loadWav("bad", bundle); }, invalid},
             {"exs", [&] { return sampler->loadInstrument("piano", "exs", bundle); }, invalid},
         }) {
        const auto result = load();
        EXPECT_EQ(result ? 0 : result.error().code, code) << name;
        if (!result && code == missing) {
            EXPECT_EQ(result.error().domain, "NSURLErrorDomain");
        }
    }
    EXPECT_EQ(log.contents("PlatformSampler.cpp", "loadInstrument(_:type:in:)"),
              std::vector<std::string>{"File not found: " + folder.file("gone")});
    EXPECT_EQ(log.contents("PlatformSampler.cpp", "loadWav(_:in:)"),
              std::vector<std::string>{"WAV file not found."});

    // The list of audio files changes only when the unit took them.
    auto good = std::shared_ptr(platform::AudioFile::openForReading(folder.file("tone.wav")).value());
    EXPECT_TRUE(sampler->setAudioFiles({good}));
    std::filesystem::copy_file(folder.file("tone.wav"), folder.file("late.wav"));
    auto late = std::shared_ptr(platform::AudioFile::openForReading(folder.file("late.wav")).value());
    std::filesystem::remove(folder.file("late.wav"));
    EXPECT_FALSE(sampler->setAudioFiles({late}));
    EXPECT_EQ(sampler->audioFiles(), std::vector{good});
    EXPECT_EQ(log.contents("PlatformSampler.cpp", "audioFiles"),
              std::vector<std::string>{"Could not load audio files"});
}

TEST(PlatformSamplerTest, SoundFontsLoadByNameBankAndUrl) {
    testsupport::TemporaryFolder folder;
    testsupport::ToolkitLogCapture log;
    std::filesystem::create_symlink(generalMIDIBank, folder.file("gm.sf2"));
    ASSERT_TRUE(platform::writeFileAtomically(folder.file("gm.dls"), std::string_view("not a bank")));
    ASSERT_TRUE(platform::writeFileAtomically(folder.file("broken.dls"), std::string_view("not a bank")));
    const Bundle bundle(folder.path);
    auto sampler = std::make_shared<PlatformSampler>();
    const int missing = 256, invalid = platform::SamplerUnit::invalidFileError;
    const int refused = platform::AudioUnitErr::invalidPropertyValue;
    for (const auto& [name, load, code] : std::vector<std::tuple<const char*, Load, int>>{
             {"sf2 wins over dls", [&] { return sampler->loadSoundFont("gm", 0, 121, bundle); }, 0},
             {"melodic bank 0", [&] { return sampler->loadSoundFontBank("gm", 0, 0, bundle); }, 0},
             {"bank 128 is percussion", [&] { return sampler->loadSoundFontBank("gm", 0, 128, bundle); }, 0},
             {"no melodic bank 5", [&] { return sampler->loadSoundFontBank("gm", 0, 5, bundle); }, invalid},
             {"percussive", [&] { return sampler->loadPercussiveSoundFont("gm", 0, bundle); }, 0},
             {"melodic url",
              [&] {
                  return sampler->loadMelodicSoundFont(platform::Url::fileURLWithPath(generalMIDIBank), 40);
              },
              0},
             {"dls found, refused", [&] { return sampler->loadSoundFont("broken", 0, 121, bundle); },
              invalid},
             {"missing by type", [&] { return sampler->loadSoundFont("gone", 0, 121, bundle); }, missing},
             {"missing by bank", [&] { return sampler->loadSoundFontBank("gone", 0, 0, bundle); }, missing},
             {"preset out of range", [&] { return sampler->loadSoundFont("gm", 256, 121, bundle); }, refused},
             {"negative bank", [&] { return sampler->loadSoundFontBank("gm", 0, -1, bundle); }, refused},
         }) {
        const auto result = load();
        EXPECT_EQ(result ? 0 : result.error().code, code) << name;
    }
    EXPECT_EQ(log.contents("PlatformSamplerSoundFont.cpp", "loadSoundFont(_:preset:type:in:)"),
              (std::vector<std::string>{"Error loading SoundFont broken", "SoundFont file not found: gone"}));
    EXPECT_EQ(log.contents("PlatformSamplerSoundFont.cpp", "loadSoundFont(_:preset:bank:in:)"),
              (std::vector<std::string>{"Error loading SoundFont gm", "Soundfont file not found: gone"}));
    EXPECT_TRUE(sampler->audioFiles().empty());
}

TEST(PlatformSamplerTest, DLSBanksLoadAndPlayAtPitch) {
    testsupport::TemporaryFolder folder;
    // 441 Hz, whole periods in the looped wave, rooted at key 69 (440 Hz): key 81 sounds at 882 Hz.
    const auto wave = testsupport::pcm16(testsupport::sine(4410, 441.0, rate, 0.8));
    ASSERT_TRUE(
        platform::writeFileAtomically(folder.file("tones.dls"), testsupport::dlsBytes(wave, 44100, 69)));
    const Bundle bundle(folder.path);
    auto sampler = std::make_shared<PlatformSampler>();
    auto engine = testsupport::offlineToolkitEngine(sampler, 30.0);
    for (const auto& [name, load] : std::vector<std::pair<const char*, Load>>{
             {"as an instrument", [&] { return sampler->loadInstrumentAtPath(folder.file("tones.dls")); }},
             {"as a sound bank by name", [&] { return sampler->loadMelodicSoundFont("tones", 0, bundle); }},
         }) {
        ASSERT_TRUE(load()) << name;
        sampler->play(81, 120, 0);
        const auto out = renderLeft(*engine, 1.0);
        EXPECT_GT(testsupport::rms(out, 22050), 0.005) << name;
        EXPECT_NEAR(testsupport::spectralPeakFrequency(out, 4096, rate) / 882.0, 1.0, 0.005) << name;
        sampler->stop(81, 0);
        (void)renderLeft(*engine, 0.5);
    }
}

TEST(PlatformSamplerTest, ABuiltPresetsLFOBendsThePitchUnderTheModWheel) {
    testsupport::TemporaryFolder folder;
    const std::string tone = folder.file("tone.wav");
    writeRootedSine(tone, 69, 0.3, 4400, 8800);
    // The default layer: a triangle LFO at 3 Hz, connected to the pitch by ±50 cents under the wheel.
    const std::string preset = folder.file("vibrato.aupreset");
    const std::string document = rozezeru::PresetBuilder::generateAUPreset(
        "Vibrato", "", "", "", "", rozezeru::PresetBuilder::generateZone(0, 69, 0, 127, 268435457, 0, true),
        rozezeru::PresetBuilder::generateFileRef(268435457, tone), "");
    ASSERT_TRUE(platform::writeFileAtomically(preset, std::string_view(document)));
    auto sampler = std::make_shared<PlatformSampler>();
    auto engine = testsupport::offlineToolkitEngine(sampler, 30.0);
    ASSERT_TRUE(sampler->loadInstrumentAtPath(preset));
    auto& unit = static_cast<platform::SamplerUnit&>(sampler->samplerUnit()->auAudioUnit());
    // The wheel's position, and the cents between the highest and the lowest pitch over one second.
    for (const auto& [wheel, swing] : {std::pair{0, 0.0}, {127, 100.0}}) {
        unit.sendController(1, std::uint8_t(wheel), 0);
        sampler->play(69, 127, 0);
        const auto out = renderLeft(*engine, 1.0);
        std::vector<double> hz;
        for (std::size_t at = 0; at + 1764 <= out.size(); at += 882)
            hz.push_back(testsupport::zeroCrossingFrequency(
                std::vector<float>(out.begin() + std::ptrdiff_t(at), out.begin() + std::ptrdiff_t(at + 1764)),
                0, rate));
        const auto [low, high] = std::minmax_element(hz.begin(), hz.end());
        EXPECT_NEAR(1200.0 * std::log2(*high / *low), swing, 12.0) << "wheel " << wheel;
        sampler->stop(69, 0);
        (void)renderLeft(*engine, 0.1);
    }
}

} // namespace

// Writes the seed corpora of the sampler's fuzz targets: sampler_fuzz_seeds <folder> makes
// <folder>/<target>/<seed>. Zones are audio files written with libsndfile, banks come from the test
// bank writers, presets from PresetBuilder.

#include "RozezEru/Nodes/Playback/PlatformSampler/PresetBuilder.h"
#include "platform/foundation/Files.h"
#include "tests/fuzz/sampler/SamplerFuzz.h"
#include "tests/support/SoundBankBytes.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

std::string seedsRoot;

std::string seedPath(const std::string& target, const std::string& name) {
    const std::string folder = seedsRoot + "/" + target;
    if (!platform::createDirectory(folder)) std::exit(1);
    return folder + "/" + name;
}

void seed(const std::string& target, const std::string& name, const platform::Bytes& bytes) {
    if (!platform::writeFileAtomically(seedPath(target, name), bytes)) {
        std::fprintf(stderr, "cannot write the seed %s/%s\n", target.c_str(), name.c_str());
        std::exit(1);
    }
}

void seedZone(const std::string& name, int format, int channels, bool chunk) {
    const std::string path = seedPath("sampler_zone", name);
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) std::exit(1);
    if (chunk) {
        SF_INSTRUMENT instrument{};
        instrument.basenote = 69;
        instrument.key_lo = 40, instrument.key_hi = 90, instrument.velocity_lo = 1,
        instrument.velocity_hi = 100;
        instrument.loop_count = 1;
        instrument.loops[0] = {SF_LOOP_FORWARD, 400, 800, 0};
        sf_command(file, SFC_SET_INSTRUMENT, &instrument, sizeof instrument);
    }
    const auto mono = testsupport::sine(1000, 441.0, 44100.0, 0.5);
    std::vector<float> frames;
    for (float s : mono)
        for (int c = 0; c < channels; ++c)
            frames.push_back(s);
    sf_writef_float(file, frames.data(), sf_count_t(mono.size()));
    sf_close(file);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: sampler_fuzz_seeds <folder>\n");
        return 2;
    }
    seedsRoot = argv[1];
    samplerfuzz::writeZoneFile();

    seedZone("looped.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, true);
    seedZone("float-stereo.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, false);
    seedZone("plain.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 1, true);

    testsupport::SoundFontSample looped;
    looped.data = testsupport::pcm16(testsupport::sine(1000, 441.0, 44100.0, 0.8));
    looped.loop = true;
    looped.loopStart = 200;
    looped.loopEnd = 900;
    testsupport::SoundFontSample once = looped;
    once.loop = false;
    once.rootKey = 72;
    seed("sound_font", "two-samples.sf2",
         testsupport::soundFontBytes({looped, once}, {{0, 0, 0}, {1, 0, 1}}));
    seed("sound_font", "percussion.sf2", testsupport::soundFontBytes({once}, {{0, 128, 0}}));
    seed("sound_font", "one.dls", testsupport::dlsBytes(looped.data, 44100, 69));

    using rozezeru::PresetBuilder;
    const std::string scratch = seedsRoot + "/preset-scratch";
    if (!platform::createDirectory(scratch)) return 1;
    std::vector<rozezeru::SampleDescription> samples = {
        PresetBuilder::makeSampleDescription(60, samplerfuzz::zonePath, 48, 72),
        PresetBuilder::makeSampleDescription(84, samplerfuzz::zonePath, 73, 96),
    };
    samples[0].set("triggerMode", "loop");
    if (!PresetBuilder::createAUPreset(samples, scratch + "/two.aupreset", "Fuzz", 0.01, 0.2)) return 1;
    seed("sampler_preset", "two.aupreset", platform::readFile(scratch + "/two.aupreset").value());
    // The default layer, with its LFO connection under the wheel and an enabled filter.
    std::string document =
        PresetBuilder::generateAUPreset("Default", "", "", PresetBuilder::generateFilter(1200.0, 6.0),
                                        PresetBuilder::generateLFO(0, 1, 0.1, 5.0),
                                        PresetBuilder::generateZone(0, 60, 0, 127, 268435457, 0, true),
                                        PresetBuilder::generateFileRef(268435457, samplerfuzz::zonePath), "");
    if (const auto off = document.find("<false/>"); off != std::string::npos)
        document.replace(off, 8, "<true/>");
    seed("sampler_preset", "default-layer.aupreset", platform::Bytes(document.begin(), document.end()));
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
    return 0;
}

#include "RozezEru/Internals/Log.h"
#include "RozezEru/Nodes/Playback/PlatformSampler/PlatformSampler.h"
#include "platform/audio/AudioUnitTypes.h"
#include "platform/audio/SamplerUnit.h"

namespace rozezeru {

namespace {

bool soundFontByteFits(int value) {
    return value >= 0 && value <= 255;
}

platform::Error soundFontArgumentError() {
    return platform::Error::make("AudioUnit", "A preset or bank byte lies outside 0 … 255",
                                 platform::AudioUnitErr::invalidPropertyValue);
}

} // namespace

platform::Result<void> PlatformSampler::loadSoundBank(const std::string& path, int preset, int msb, int lsb) {
    return unit().loadSoundBank({path, preset, msb, lsb});
}

platform::Result<void> PlatformSampler::loadSoundFontByName(const std::string& name, int preset, int msb,
                                                            int lsb, const Bundle& bundle,
                                                            const char* function, const char* notFoundText) {
    auto path = findFileURL(name, "sf2", bundle);
    if (!path) path = findFileURL(name, "dls", bundle);
    if (!path) {
        Log(LogSite(function), notFoundText + name);
        return missingFileError();
    }
    auto loaded = loadSoundBank(*path, preset, msb, lsb);
    if (!loaded) Log(LogSite(function), "Error loading SoundFont " + name);
    return loaded;
}

platform::Result<void> PlatformSampler::loadSoundFont(const std::string& name, int preset, int type,
                                                      const Bundle& bundle) {
    if (!soundFontByteFits(preset) || !soundFontByteFits(type)) return soundFontArgumentError();
    return loadSoundFontByName(name, preset, type, 0, bundle, "loadSoundFont(_:preset:type:in:)",
                               "SoundFont file not found: ");
}

platform::Result<void> PlatformSampler::loadSoundFontBank(const std::string& name, int preset, int bank,
                                                          const Bundle& bundle) {
    if (!soundFontByteFits(preset) || bank < 0) return soundFontArgumentError();
    return loadSoundFontByName(name, preset, bank <= 127 ? 121 : 120, bank % 128, bundle,
                               "loadSoundFont(_:preset:bank:in:)", "Soundfont file not found: ");
}

platform::Result<void> PlatformSampler::loadSoundFont(const platform::Url& url, int preset, int type,
                                                      const Bundle&) {
    if (!soundFontByteFits(preset) || !soundFontByteFits(type)) return soundFontArgumentError();
    auto loaded = loadSoundBank(url.path(), preset, type, 0);
    if (!loaded)
        Log(LogSite("loadSoundFont(url:preset:type:in:)"), "Error loading SoundFont " + url.absoluteString());
    return loaded;
}

platform::Result<void> PlatformSampler::loadMelodicSoundFont(const platform::Url& url, int preset) {
    return loadSoundFont(url, preset, 121, Bundle::main());
}

platform::Result<void> PlatformSampler::loadMelodicSoundFont(const std::string& name, int preset,
                                                             const Bundle& bundle) {
    return loadSoundFont(name, preset, 121, bundle);
}

platform::Result<void> PlatformSampler::loadPercussiveSoundFont(const std::string& name, int preset,
                                                                const Bundle& bundle) {
    return loadSoundFont(name, preset, 120, bundle);
}

} // namespace rozezeru

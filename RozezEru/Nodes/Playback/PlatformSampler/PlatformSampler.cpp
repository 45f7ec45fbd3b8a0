#include "RozezEru/Nodes/Playback/PlatformSampler/PlatformSampler.h"

#include "RozezEru/Internals/AudioUnitHelpers.h"
#include "RozezEru/Internals/Log.h"
#include "platform/audio/AudioUnitNode.h"
#include "platform/audio/SamplerUnit.h"
#include "platform/files/AudioFile.h"
#include "platform/files/SamplerFiles.h"
#include "platform/foundation/Files.h"

namespace rozezeru {

PlatformSampler::PlatformSampler()
    : samplerUnit_(instantiateSynchronously(platform::SamplerUnit::componentDescription())) {
    internalAU_ = &samplerUnit_->auAudioUnit();
}

PlatformSampler::~PlatformSampler() = default;

platform::Error PlatformSampler::missingFileError() {
    return platform::Error::make("NSURLErrorDomain", "", 256);
}

std::shared_ptr<platform::AudioNode> PlatformSampler::avAudioNode() const {
    return samplerUnit_;
}

void PlatformSampler::setSamplerUnit(std::shared_ptr<platform::AudioUnitNode> unit) {
    samplerUnit_ = std::move(unit);
}

platform::SamplerUnit& PlatformSampler::unit() const {
    return static_cast<platform::SamplerUnit&>(samplerUnit_->auAudioUnit());
}

void PlatformSampler::setAmplitude(float decibels) {
    amplitude_ = decibels;
    unit().setMasterGain(decibels);
}

void PlatformSampler::setVolume(float volume) {
    volume_ = volume;
    unit().setMasterGain(volume * 90.0f - 90.0f);
}

void PlatformSampler::setPan(float pan) {
    pan_ = pan;
    unit().setStereoPan(pan * 100.0f);
}

float PlatformSampler::tuning() const {
    return unit().globalTuning() / 100.0f;
}

void PlatformSampler::setTuning(float semitones) {
    unit().setGlobalTuning(semitones * 100.0f);
}

platform::Result<void> PlatformSampler::loadAudioFile(std::shared_ptr<platform::AudioFile> file) {
    return loadAudioFiles({std::move(file)});
}

platform::Result<void>
PlatformSampler::loadAudioFiles(std::vector<std::shared_ptr<platform::AudioFile>> files) {
    std::vector<std::string> paths;
    for (const auto& file : files)
        paths.push_back(file ? file->path() : std::string());
    // The list changes only once the unit has taken the files, so it never claims files the unit refused.
    if (auto loaded = platform::loadSamplerAudioFiles(unit(), paths); !loaded) return loaded;
    audioFiles_ = std::move(files);
    return platform::Result<void>();
}

bool PlatformSampler::setAudioFiles(std::vector<std::shared_ptr<platform::AudioFile>> files) {
    if (loadAudioFiles(std::move(files))) return true;
    Log(LogSite("audioFiles"), "Could not load audio files");
    return false;
}

platform::Result<void> PlatformSampler::loadInstrument(const platform::Url& url) {
    return platform::loadSamplerInstrument(unit(), url.path());
}

platform::Result<void> PlatformSampler::loadInstrumentAtPath(const std::string& path) {
    return loadInstrument(platform::Url::fileURLWithPath(path));
}

std::optional<std::string> PlatformSampler::findFileURL(const std::string& name, const std::string& extension,
                                                        const Bundle& bundle) {
    if (!name.empty() && name.front() == '/') {
        const std::string path = name + "." + extension;
        if (platform::fileExists(path)) return path;
    }
    return bundle.pathForResource(name, extension);
}

platform::Result<void> PlatformSampler::loadInstrument(const std::string& name, const std::string& type,
                                                       const Bundle& bundle) {
    const auto path = findFileURL(name, type, bundle);
    if (!path) {
        Log(LogSite("loadInstrument(_:type:in:)"), "File not found: " + name);
        return missingFileError();
    }
    return platform::loadSamplerInstrument(unit(), *path);
}

platform::Result<void> PlatformSampler::loadAUPresetFile(const std::string& name) {
    return loadInstrument(name, "aupreset", Bundle::main());
}

platform::Result<void> PlatformSampler::loadEXSFile(const std::string& name) {
    return loadInstrument(name, "exs", Bundle::main());
}

platform::Result<void> PlatformSampler::loadWav(const std::string& name, const Bundle& bundle) {
    const auto path = findFileURL(name, "wav", bundle);
    if (!path) {
        Log(LogSite("loadWav(_:in:)"), "WAV file not found.");
        return missingFileError();
    }
    return platform::loadSamplerAudioFiles(unit(), {*path});
}

void PlatformSampler::play(std::uint8_t noteNumber, std::uint8_t velocity, std::uint8_t channel) {
    unit().startNote(noteNumber, velocity, channel);
}

void PlatformSampler::stop(std::uint8_t noteNumber, std::uint8_t channel) {
    unit().stopNote(noteNumber, channel);
}

void PlatformSampler::pitchBend(std::uint16_t amount, std::uint8_t channel) {
    unit().sendPitchBend(amount, channel);
}

void PlatformSampler::resetSampler() {
    unit().reset();
}

} // namespace rozezeru

#include "platform/files/SamplerFiles.h"

#include "platform/foundation/Files.h"
#include "platform/foundation/PropertyList.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>

namespace platform {

namespace {

Error samplerFileError(const std::string& message) {
    return Error::make("AudioUnit", message, SamplerUnit::invalidFileError);
}

std::string samplerExtension(const std::string& path) {
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return extension;
}

Result<SamplerZone> readSamplerZone(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return samplerFileError("Not an audio file the sampler can read: " + path);
    auto sample = std::make_shared<SamplerSample>();
    sample->sampleRate = info.samplerate;
    const int channels = std::min(info.channels, 2);
    // A header may claim any length; a sample the sampler holds in memory stays below 512 MiB.
    if (info.frames <= 0 || info.channels <= 0 || info.frames > (sf_count_t(1) << 27) / info.channels) {
        sf_close(file);
        return samplerFileError("The audio file is empty or too long for the sampler: " + path);
    }
    std::vector<float> frames(std::size_t(info.frames) * std::size_t(info.channels));
    const sf_count_t read = sf_readf_float(file, frames.data(), info.frames);
    SF_INSTRUMENT chunk{};
    const bool hasChunk = sf_command(file, SFC_GET_INSTRUMENT, &chunk, sizeof chunk) == SF_TRUE;
    sf_close(file);
    if (read <= 0 || channels < 1) return samplerFileError("The audio file has no samples: " + path);
    sample->channels.assign(std::size_t(channels), std::vector<float>(std::size_t(read)));
    for (sf_count_t i = 0; i < read; ++i)
        for (int c = 0; c < channels; ++c)
            sample->channels[std::size_t(c)][std::size_t(i)] = frames[std::size_t(i) * info.channels + c];
    SamplerZone zone;
    zone.sample = std::move(sample);
    if (hasChunk) {
        zone.rootKey = std::clamp(int(chunk.basenote), 0, 127);
        zone.detuneCents = chunk.detune;
        // A chunk that leaves the ranges unset (all zero) plays every key and velocity.
        if (chunk.key_hi > 0) {
            zone.minKey = std::clamp(int(chunk.key_lo), 0, 127);
            zone.maxKey = std::clamp(int(chunk.key_hi), 0, 127);
        }
        if (chunk.velocity_hi > 0) {
            zone.minVelocity = std::clamp(int(chunk.velocity_lo), 1, 127);
            zone.maxVelocity = std::clamp(int(chunk.velocity_hi), 1, 127);
        }
        if (chunk.loop_count > 0 && chunk.loops[0].mode != SF_LOOP_NONE &&
            chunk.loops[0].end > chunk.loops[0].start && sf_count_t(chunk.loops[0].end) <= read) {
            zone.loopEnabled = true;
            zone.loopStart = chunk.loops[0].start;
            zone.loopEnd = chunk.loops[0].end;
        }
    }
    return zone;
}

std::optional<double> presetEnvelopeTime(const PlistValue* envelopes, std::int64_t stage) {
    const PlistValue* stages = envelopes && envelopes->at(0) ? envelopes->at(0)->find("Stages") : nullptr;
    for (std::size_t i = 0; stages && stages->at(i); ++i) {
        const PlistValue& entry = *stages->at(i);
        const auto number = entry.find("stage") ? entry.find("stage")->asInteger() : std::nullopt;
        if (number == stage && entry.find("time")) return entry.find("time")->asReal();
    }
    return std::nullopt;
}

std::optional<std::int64_t> presetInteger(const PlistValue& dict, std::string_view key) {
    const PlistValue* value = dict.find(key);
    return value ? value->asInteger() : std::nullopt;
}

} // namespace

Result<SamplerInstrument> readSamplerAudioFiles(const std::vector<std::string>& paths) {
    SamplerInstrument instrument;
    for (const auto& path : paths) {
        auto zone = readSamplerZone(path);
        if (!zone) return zone.error();
        instrument.zones.push_back(std::move(zone.value()));
    }
    return instrument;
}

Result<SamplerInstrument> readSamplerPreset(const std::string& path) {
    auto bytes = readFile(path);
    if (!bytes) return samplerFileError("Cannot read the preset " + path + ": " + bytes.error().message);
    auto root = parsePlist(bytes.value());
    if (!root) return samplerFileError("Not a sampler preset: " + path + ": " + root.error().message);
    const PlistValue* layers = root->find("Instrument") ? root->find("Instrument")->find("Layers") : nullptr;
    if (!layers || !layers->asArray()) return samplerFileError("The preset has no layers: " + path);
    std::map<std::int64_t, std::string> files;
    if (const auto* refs = root->find("file-references"); refs && refs->asDictionary())
        for (const auto& [key, value] : *refs->asDictionary())
            if (key.rfind("Sample:", 0) == 0 && value.asString())
                if (std::int64_t number = 0;
                    std::from_chars(key.data() + 7, key.data() + key.size(), number).ec == std::errc())
                    files[number] = *value.asString();
    SamplerInstrument instrument;
    std::map<std::string, std::shared_ptr<const SamplerSample>> samples;
    for (std::size_t l = 0; layers->at(l); ++l) {
        const PlistValue& layer = *layers->at(l);
        if (l == 0) {
            instrument.attackSeconds = presetEnvelopeTime(layer.find("Envelopes"), 1).value_or(0.0);
            instrument.releaseSeconds = presetEnvelopeTime(layer.find("Envelopes"), 5).value_or(0.0);
        }
        const PlistValue* zones = layer.find("Zones");
        for (std::size_t z = 0; zones && zones->at(z); ++z) {
            const PlistValue& entry = *zones->at(z);
            const auto waveform = presetInteger(entry, "waveform");
            const auto file = waveform ? files.find(*waveform) : files.end();
            if (file == files.end())
                return samplerFileError("A zone of the preset names no file reference: " + path);
            auto read = readSamplerZone(file->second);
            if (!read) return read.error();
            SamplerZone zone = std::move(read.value());
            if (auto known = samples.find(file->second); known != samples.end())
                zone.sample = known->second;
            else
                samples.emplace(file->second, zone.sample);
            zone.rootKey =
                int(std::clamp<std::int64_t>(presetInteger(entry, "root key").value_or(60), 0, 127));
            zone.minKey = int(std::clamp<std::int64_t>(presetInteger(entry, "min key").value_or(0), 0, 127));
            zone.maxKey =
                int(std::clamp<std::int64_t>(presetInteger(entry, "max key").value_or(127), 0, 127));
            const PlistValue* loop = entry.find("loop enabled");
            zone.loopEnabled = zone.loopEnabled && loop && loop->asBool().value_or(false);
            instrument.zones.push_back(std::move(zone));
        }
    }
    return instrument;
}

Result<void> loadSamplerAudioFiles(SamplerUnit& unit, const std::vector<std::string>& paths) {
    auto instrument = readSamplerAudioFiles(paths);
    if (!instrument) return instrument.error();
    unit.loadInstrument(std::move(instrument.value()));
    return Result<void>();
}

Result<void> loadSamplerInstrument(SamplerUnit& unit, const std::string& path) {
    const std::string extension = samplerExtension(path);
    if (extension == "exs")
        return samplerFileError("EXS instruments cannot be read (their format is unpublished): " + path);
    if (extension == "sf2" || extension == "dls") return unit.loadSoundBank({path, 0, 121, 0});
    if (extension == "aupreset") {
        auto instrument = readSamplerPreset(path);
        if (!instrument) return instrument.error();
        unit.loadInstrument(std::move(instrument.value()));
        return Result<void>();
    }
    return loadSamplerAudioFiles(unit, {path});
}

} // namespace platform

#include "platform/files/SamplerFiles.h"

#include "platform/audio/SoundBankCheck.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PropertyList.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
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

// Reads each distinct file of one load once, however many zones share it.
class SamplerZoneCache {
public:
    explicit SamplerZoneCache(const SamplerZoneReader& read) : read_(read) {}
    Result<SamplerZone> zone(const std::string& path) {
        if (auto known = zones_.find(path); known != zones_.end()) return known->second;
        auto read = read_(path);
        if (read) zones_.emplace(path, read.value());
        return read;
    }

private:
    const SamplerZoneReader& read_;
    std::map<std::string, SamplerZone> zones_;
};

std::optional<double> presetNumber(const PlistValue* value) {
    if (!value) return std::nullopt;
    if (auto real = value->asReal()) return real;
    if (auto integer = value->asInteger()) return double(*integer);
    return std::nullopt;
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

// A layer's "Filters": one dict (or an array whose first dict counts).
SamplerFilter presetFilter(const PlistValue* filters) {
    if (filters && filters->asArray()) filters = filters->at(0);
    SamplerFilter filter;
    if (!filters || !filters->asDictionary()) return filter;
    const PlistValue* enabled = filters->find("enabled");
    filter.enabled = enabled && enabled->asBool().value_or(false);
    const auto cutoff = presetNumber(filters->find("cutoff"));
    const auto resonance = presetNumber(filters->find("resonance"));
    if (cutoff && std::isfinite(*cutoff)) filter.cutoffHz = *cutoff;
    if (resonance && std::isfinite(*resonance)) filter.resonanceDecibels = *resonance;
    return filter;
}

constexpr std::int64_t presetLFOSource = 0x10000000;
constexpr std::int64_t presetPitchDestination = 0x30B00000, presetGainDestination = 0x50100000;

// A layer's enabled LFOs, and its connections from them to pitch or gain. An LFO is the connection
// source 0x10000000 plus its ID; the destinations carry the layer's number in their low bits.
void presetModulation(const PlistValue& layer, SamplerZone& zone) {
    std::map<std::int64_t, std::size_t> lfoIndex;
    const PlistValue* lfos = layer.find("LFOs");
    for (std::size_t i = 0; lfos && lfos->at(i) && zone.lfos.size() < SamplerZone::maximumLFOs; ++i) {
        const PlistValue& entry = *lfos->at(i);
        const PlistValue* enabled = entry.find("enabled");
        if (enabled && !enabled->asBool().value_or(true)) continue;
        SamplerLFO lfo;
        lfo.waveform = int(presetInteger(entry, "waveform").value_or(0));
        const auto delay = presetNumber(entry.find("delay")), rate = presetNumber(entry.find("rate"));
        if (delay && std::isfinite(*delay)) lfo.delaySeconds = std::max(0.0, *delay);
        if (rate && std::isfinite(*rate)) lfo.rateHz = std::clamp(*rate, 0.0, 1000.0);
        lfoIndex.emplace(presetInteger(entry, "ID").value_or(std::int64_t(i)), zone.lfos.size());
        zone.lfos.push_back(lfo);
    }
    const PlistValue* connections = layer.find("Connections");
    for (std::size_t i = 0;
         connections && connections->at(i) && zone.modulations.size() < SamplerZone::maximumModulations;
         ++i) {
        const PlistValue& entry = *connections->at(i);
        const PlistValue* enabled = entry.find("enabled");
        if (enabled && !enabled->asBool().value_or(true)) continue;
        const auto source = presetInteger(entry, "source").value_or(0);
        const auto destination = presetInteger(entry, "destination").value_or(0) & ~std::int64_t(0xFFFF);
        if ((source & ~std::int64_t(0xFFFF)) != presetLFOSource) continue;
        const auto lfo = lfoIndex.find(source & 0xFF);
        if (lfo == lfoIndex.end()) continue;
        SamplerModulation modulation;
        modulation.lfo = lfo->second;
        if (destination == presetPitchDestination)
            modulation.destination = SamplerModulation::Destination::pitch;
        else if (destination == presetGainDestination)
            modulation.destination = SamplerModulation::Destination::gain;
        else
            continue;
        // A scale moves the destination by ± itself; a range between its minimum and maximum.
        const auto scale = presetNumber(entry.find("scale"));
        const auto maximum = presetNumber(entry.find("max value"));
        const auto minimum = presetNumber(entry.find("min value"));
        if (scale)
            modulation.minimum = -*scale, modulation.maximum = *scale;
        else if (maximum && minimum)
            modulation.minimum = *minimum, modulation.maximum = *maximum;
        else
            continue;
        if (!std::isfinite(modulation.minimum) || !std::isfinite(modulation.maximum)) continue;
        const double limit = modulation.destination == SamplerModulation::Destination::pitch ? 4800.0 : 96.0;
        modulation.minimum = std::clamp(modulation.minimum, -limit, limit);
        modulation.maximum = std::clamp(modulation.maximum, -limit, limit);
        const PlistValue* inverse = entry.find("inverse");
        if (inverse && inverse->asBool().value_or(false)) std::swap(modulation.minimum, modulation.maximum);
        const auto control = presetInteger(entry, "control").value_or(0);
        if (control > 0 && control < 128) modulation.controller = int(control);
        zone.modulations.push_back(modulation);
    }
}

} // namespace

Result<SamplerZone> readSamplerZone(const std::string& path) {
    // Only a regular file: a FIFO or a device named in a preset would hold the loader until someone
    // writes to it.
    Result<FileDescriptor> opened = openRegularFileForReading(path);
    if (!opened) return samplerFileError("Not an audio file the sampler can read: " + path);
    SF_INFO info{};
    // libsndfile closes the descriptor, whether it opens or not.
    SNDFILE* file = sf_open_fd(opened->release(), SFM_READ, &info, SF_TRUE);
    if (!file) return samplerFileError("Not an audio file the sampler can read: " + path);
    if (info.samplerate < minimumSamplerRate || info.samplerate > maximumSamplerRate) {
        sf_close(file);
        return samplerFileError("The audio file's sample rate of " + std::to_string(info.samplerate) +
                                " Hz is outside what the sampler plays: " + path);
    }
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
    // A float file may hold anything: one NaN or infinity would silence every mix downstream, and
    // values near the float range overflow once voices add up.
    constexpr float limit = 8.0f;
    for (sf_count_t i = 0; i < read; ++i)
        for (int c = 0; c < channels; ++c) {
            const float value = frames[std::size_t(i) * info.channels + c];
            sample->channels[std::size_t(c)][std::size_t(i)] =
                std::isfinite(value) ? std::clamp(value, -limit, limit) : 0.0f;
        }
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

Result<SamplerInstrument> readSamplerAudioFiles(const std::vector<std::string>& paths,
                                                const SamplerZoneReader& readZone) {
    SamplerInstrument instrument;
    SamplerZoneCache cache(readZone);
    for (const auto& path : paths) {
        auto zone = cache.zone(path);
        if (!zone) return zone.error();
        instrument.zones.push_back(std::move(zone.value()));
    }
    return instrument;
}

Result<SamplerInstrument> readSamplerPreset(const std::string& path, const SamplerZoneReader& readZone) {
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
    SamplerZoneCache cache(readZone);
    for (std::size_t l = 0; layers->at(l); ++l) {
        const PlistValue& layer = *layers->at(l);
        if (l == 0) {
            instrument.attackSeconds = presetEnvelopeTime(layer.find("Envelopes"), 1).value_or(0.0);
            instrument.releaseSeconds = presetEnvelopeTime(layer.find("Envelopes"), 5).value_or(0.0);
        }
        SamplerZone layerZone;
        layerZone.filter = presetFilter(layer.find("Filters"));
        presetModulation(layer, layerZone);
        const PlistValue* zones = layer.find("Zones");
        for (std::size_t z = 0; zones && zones->at(z); ++z) {
            const PlistValue& entry = *zones->at(z);
            const auto waveform = presetInteger(entry, "waveform");
            const auto file = waveform ? files.find(*waveform) : files.end();
            if (file == files.end())
                return samplerFileError("A zone of the preset names no file reference: " + path);
            auto read = cache.zone(file->second);
            if (!read) return read.error();
            SamplerZone zone = std::move(read.value());
            zone.filter = layerZone.filter;
            zone.lfos = layerZone.lfos;
            zone.modulations = layerZone.modulations;
            zone.rootKey =
                int(std::clamp<std::int64_t>(presetInteger(entry, "root key").value_or(60), 0, 127));
            zone.minKey = int(std::clamp<std::int64_t>(presetInteger(entry, "min key").value_or(0), 0, 127));
            zone.maxKey =
                int(std::clamp<std::int64_t>(presetInteger(entry, "max key").value_or(127), 0, 127));
            zone.minVelocity =
                int(std::clamp<std::int64_t>(presetInteger(entry, "min vel").value_or(1), 1, 127));
            zone.maxVelocity =
                int(std::clamp<std::int64_t>(presetInteger(entry, "max vel").value_or(127), 1, 127));
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

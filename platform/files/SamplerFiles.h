#pragma once
// The files the sampler unit plays, read into its instruments: audio files with their instrument chunks
// (root key, key and velocity ranges, detune, the first loop; read through libsndfile), sampler presets
// (the XML or binary property lists PresetBuilder writes), SoundFont and DLS banks and, refused, EXS
// instruments, whose format is unpublished. Configuring thread.

#include "platform/audio/SamplerUnit.h"
#include "platform/foundation/Result.h"

#include <functional>
#include <string>
#include <vector>

namespace platform {

// One audio file as a zone: a regular file at a rate of 1 kHz … 768 kHz, its samples made finite and
// held within ±8. Fails with SamplerUnit::invalidFileError.
Result<SamplerZone> readSamplerZone(const std::string& path);
using SamplerZoneReader = std::function<Result<SamplerZone>(const std::string& path)>;

// One zone per file, in order; a file without an instrument chunk plays every key with root key 60.
// Each distinct file is read once. Fails with SamplerUnit::invalidFileError naming the first file it
// cannot read.
Result<SamplerInstrument> readSamplerAudioFiles(const std::vector<std::string>& paths,
                                                const SamplerZoneReader& readZone = readSamplerZone);
// The zones of every layer of a preset, with the first layer's attack and release times, each zone
// with its key and velocity ranges ("min vel", "max vel"; 1 … 127 when absent) and its layer's
// filter, LFOs and LFO connections. Each distinct file is read once.
Result<SamplerInstrument> readSamplerPreset(const std::string& path,
                                            const SamplerZoneReader& readZone = readSamplerZone);

// Loads the audio files into the unit; on failure the unit keeps what it had.
Result<void> loadSamplerAudioFiles(SamplerUnit& unit, const std::vector<std::string>& paths);
// Loads an instrument file, by its extension: "aupreset" a preset, "sf2" or "dls" the first melodic
// program of a bank, "exs" refused, anything else an audio file.
Result<void> loadSamplerInstrument(SamplerUnit& unit, const std::string& path);

} // namespace platform

#pragma once
// The files the sampler unit plays, read into its instruments: audio files with their instrument chunks
// (root key, key and velocity ranges, detune, the first loop; read through libsndfile), sampler presets
// (the XML or binary property lists PresetBuilder writes), SoundFont banks and, refused, EXS instruments,
// whose format is unpublished. Configuring thread.

#include "platform/audio/SamplerUnit.h"
#include "platform/foundation/Result.h"

#include <string>
#include <vector>

namespace platform {

// One zone per file, in order; a file without an instrument chunk plays every key with root key 60.
// Fails with SamplerUnit::invalidFileError naming the first file it cannot read.
Result<SamplerInstrument> readSamplerAudioFiles(const std::vector<std::string>& paths);
// The zones of every layer of a preset, with the first layer's attack and release times.
Result<SamplerInstrument> readSamplerPreset(const std::string& path);

// Loads the audio files into the unit; on failure the unit keeps what it had.
Result<void> loadSamplerAudioFiles(SamplerUnit& unit, const std::vector<std::string>& paths);
// Loads an instrument file, by its extension: "aupreset" a preset, "sf2" or "dls" the first melodic
// program of a bank, "exs" refused, anything else an audio file.
Result<void> loadSamplerInstrument(SamplerUnit& unit, const std::string& path);

} // namespace platform

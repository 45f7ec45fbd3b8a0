#pragma once
// Vouches for a sound bank before FluidSynth reads it. FluidSynth trusts a SoundFont's sample headers
// (where each sample starts and ends, its loop, its rate) and reads past its sample data, or spends
// seconds per cycle, when they lie; checking them is left to its caller. Configuring thread.

#include "platform/foundation/Result.h"

#include <string>

namespace platform {

// The error code of a file the sampler cannot play (SamplerUnit::invalidFileError).
inline constexpr int samplerInvalidFileError = -10871;

// Sample rates the sampler accepts in any file it plays.
constexpr double minimumSamplerRate = 1000.0;
constexpr double maximumSamplerRate = 768000.0;

// Succeeds for a regular file that is a SoundFont whose every sample header lies inside its sample
// data (start before end, the loop inside the sample) at an accepted rate, and for a regular file in
// another RIFF form (DLS), which FluidSynth reads through its own checks. Fails otherwise, with
// samplerInvalidFileError and the reason.
Result<void> checkSoundBankFile(const std::string& path);

} // namespace platform

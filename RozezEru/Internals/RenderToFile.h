#pragma once
// Offline rendering of an engine's graph into an audio file. Blocks the calling thread for the
// whole run, which becomes the render thread; the actions are called on it too. Not for the
// audio render thread.

#include "platform/foundation/Result.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace platform {
class AudioEngine;
class AudioFile;
} // namespace platform

namespace rozezeru {

// The domain of renderToFile's own errors (code 1).
inline constexpr const char* renderToFileErrorDomain = "AVAudioEngine ext";

// How long a render-until-silent run may go on past its duration when the caller sets no limit.
inline constexpr double renderUntilSilentDefaultOverrun = 60.0;

// Renders `duration` seconds of the engine's output into `file`, in the file's processing format,
// at most `maximumFrameCount` frames per render call, and leaves the engine stopped and out of
// manual rendering. Rendering ends when the file's frame position reaches trunc(rate × duration),
// the last call rendering only the remainder (a new file holds exactly that many frames).
//
// With `renderUntilSilent` rendering goes on past the duration, in whole render calls, until
// three calls in a row average an RMS below `silenceThreshold`, or until the frame position
// reaches `untilSilentLimit` seconds (default: the duration plus 60 s). Reaching that limit is logged
// ("⚠️ renderToFile reached its limit of … seconds before silence") and ends the run normally.
//
// `prerender` runs once the engine is ready, just before the first render call; `progress` gets
// the written share of the duration (0 … 1) after each written slice.
//
// Fails, in domain renderToFileErrorDomain, with "Seconds needs to be a positive value" for a
// duration (or limit) that is negative, not a number or too long to count in frames (nothing
// else happens then), "Couldn't create buffer in renderToFile", and "render error" when a render
// call reports an error or missing input; with the platform's error when manual rendering, the
// start, a render call or a write fails. Only successful slices are written. After a failure the
// engine is out of manual rendering again, and running when it ran before the call.
platform::Result<void> renderToFile(platform::AudioEngine& engine, platform::AudioFile& file,
                                    std::uint32_t maximumFrameCount, double duration,
                                    bool renderUntilSilent = false, float silenceThreshold = 0.00005f,
                                    const std::function<void()>& prerender = {},
                                    const std::function<void(double)>& progress = {},
                                    std::optional<double> untilSilentLimit = std::nullopt);

} // namespace rozezeru

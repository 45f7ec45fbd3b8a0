#pragma once
// Playing one PCM buffer once on a private engine, for a quick listen. Blocks the calling thread
// while the buffer plays; on the main thread it runs the main queue meanwhile.

#include <memory>

namespace platform {
class AudioDevice;
class PcmBuffer;
} // namespace platform

namespace rozezeru {

// How much longer than the buffer's duration audition() waits for the end of playback.
inline constexpr double auditionTimeoutMargin = 0.5;

// Plays the buffer's valid frames through a new engine (on `device`, or the default output device)
// and returns once they have been played back, or after their duration plus auditionTimeoutMargin;
// then stops the engine. True when playback was complete. A buffer without a positive sample rate
// is refused, and an engine that cannot start is logged (error level, "audition()"); nothing plays.
bool audition(const platform::PcmBuffer& buffer, std::unique_ptr<platform::AudioDevice> device = nullptr);

} // namespace rozezeru

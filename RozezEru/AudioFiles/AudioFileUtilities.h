#pragma once
// The toolkit's helpers over platform audio files. Stateless; for the thread that uses the file.

namespace platform {
class AudioFile;
} // namespace platform

namespace rozezeru {

// Seconds: the file's length over the sample rate of its own format (not of the processing format);
// 0 for a file without a rate.
double duration(const platform::AudioFile& file);

} // namespace rozezeru

#pragma once
// Short MP4 clips made in code for the video tests: MPEG-4 video pictures and an AAC tone, both
// FFmpeg's own encoders.

#include <string>

namespace vantle::testing {

// Writes one second of 160 × 120 pictures at 25 per second with a 440 Hz tone beside them; an empty
// result on success, else what failed.
std::string writeVideoClip(const std::string& path);

} // namespace vantle::testing

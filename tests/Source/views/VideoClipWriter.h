#pragma once
// Short MP4 clips made in code for the video tests: MPEG-4 video pictures, FFmpeg's own encoder.
// Nothing listens to a clip, so it has no sound track.

#include <string>

namespace vantle::testing {

// Writes one second of 160 × 120 pictures at 25 per second; an empty result on success, else what
// failed.
std::string writeVideoClip(const std::string& path);

} // namespace vantle::testing

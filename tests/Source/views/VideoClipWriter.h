#pragma once
// Short MP4 clips made in code for the video tests: MPEG-4 video pictures and an AAC tone, both
// FFmpeg's own encoders.

#include <string>

namespace vantle::testing {

struct VideoClipShape {
    int width = 160;
    int height = 120;
    int framesPerSecond = 25;
    int frames = 25;
    // A 440 Hz tone of the pictures' length beside them.
    bool withAudio = true;
};

// Writes the clip; an empty result on success, else what failed.
std::string writeVideoClip(const std::string& path, const VideoClipShape& shape = {});

} // namespace vantle::testing

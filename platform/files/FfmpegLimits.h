#pragma once
// What FFmpeg may open when it reads a file for the audio reader or the tag reader (internal to
// platform_files). The file itself is read through a descriptor of the caller's; these limits keep it
// from sending FFmpeg anywhere else. Any thread.

extern "C" {
#include <libavutil/dict.h>
}

namespace platform {

// The containers the audio reader decodes through FFmpeg: its other demuxers would happily find
// "audio" in random bytes.
inline constexpr const char* ffmpegAudioDemuxers = "mov,mp4,m4a,3gp,3g2,mj2,aac,mpegts";
// The containers the audio reader reads at all (those above, and libsndfile's): the tag reader's.
inline constexpr const char* ffmpegTagDemuxers = "mov,mp4,m4a,3gp,3g2,mj2,aac,mpegts,wav,w64,aiff,caf,flac,"
                                                 "ogg,mp3,au";

// Options for avformat_open_input: only `demuxers`, and no protocol but the plain file, so that a
// name inside a file ("concat:", a URL, a playlist, a referenced file) is never followed elsewhere.
inline void ffmpegLimitInput(AVDictionary** options, const char* demuxers) {
    av_dict_set(options, "format_whitelist", demuxers, 0);
    av_dict_set(options, "protocol_whitelist", "file", 0);
}

} // namespace platform

#pragma once
// Audio files made in code: samples written with libsndfile in any format it writes (WAV, AIFF, FLAC,
// Ogg, MP3), tagged when asked. A program that includes this links test_support_files. Test thread.

#include "tests/support/Signals.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// One vector of samples per channel, all of one length.
using Channels = std::vector<std::vector<float>>;

// Writes in blocks (libsndfile's Vorbis encoder fails on very large writes), tagged with `tags`
// (SF_STR_…, text) before the audio; compression and bitrate mode only when not negative.
inline bool writeWithSndfile(const std::string& path, int format, const Channels& data, int rate,
                             double compression = -1.0, int bitrateMode = -1,
                             const std::vector<std::pair<int, std::string>>& tags = {}) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = int(data.size());
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) return false;
    if (bitrateMode >= 0) sf_command(file, SFC_SET_BITRATE_MODE, &bitrateMode, sizeof bitrateMode);
    if (compression >= 0) sf_command(file, SFC_SET_COMPRESSION_LEVEL, &compression, sizeof compression);
    bool ok = true;
    for (const auto& [kind, text] : tags)
        ok = ok && sf_set_string(file, kind, text.c_str()) == 0;
    const std::size_t frames = data[0].size(), channels = data.size();
    std::vector<float> block;
    for (std::size_t at = 0; at < frames && ok; at += 4096) {
        const std::size_t n = std::min<std::size_t>(4096, frames - at);
        block.assign(n * channels, 0.0f);
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t c = 0; c < channels; ++c)
                block[i * channels + c] = data[c][at + i];
        ok = sf_writef_float(file, block.data(), sf_count_t(n)) == sf_count_t(n);
    }
    return sf_close(file) == 0 && ok;
}

// `seconds` of a sine of `hz` on every channel, as 32-bit float WAV, whose samples come back exactly.
inline bool writeSineFile(const std::string& path, double seconds, double hz, double amplitude = 0.5,
                          int rate = 44100, int channels = 2) {
    const auto samples = sine(std::size_t(std::llround(seconds * rate)), hz, rate, amplitude);
    return writeWithSndfile(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, Channels(std::size_t(channels), samples),
                            rate);
}

// A ramp first + step * n on every channel, as 32-bit float WAV: a dropped or repeated frame shows.
inline bool writeRampFile(const std::string& path, std::size_t frames, float first, float step,
                          int rate = 44100, int channels = 1) {
    return writeWithSndfile(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT,
                            Channels(std::size_t(channels), ramp(frames, first, step)), rate);
}

// A CAF file of one 8-bit channel at 8000 Hz whose header announces `frames` frames; the audio is a
// hole in the file, which takes no room on disk: files longer than any buffer, or than any test
// would wait for, without the disk space.
inline std::string writeSparseCaf(const std::string& path, std::uint64_t frames) {
    std::string bytes = "caff";
    auto put = [&](std::uint64_t value, int size) {
        for (int shift = (size - 1) * 8; shift >= 0; shift -= 8)
            bytes += char((value >> shift) & 0xff);
    };
    put(1, 2);
    put(0, 2);
    bytes += "desc";
    put(32, 8);
    put(0x40BF400000000000u, 8); // 8000.0
    bytes += "lpcm";
    put(0, 4); // flags: big-endian signed integer
    put(1, 4); // bytes per packet
    put(1, 4); // frames per packet
    put(1, 4); // channels
    put(8, 4); // bits
    bytes += "data";
    put(frames + 4, 8);
    put(0, 4); // edit count
    {
        std::ofstream out(path, std::ios::binary);
        out.write(bytes.data(), std::streamsize(bytes.size()));
    }
    std::filesystem::resize_file(path, bytes.size() + frames);
    return path;
}

} // namespace testsupport

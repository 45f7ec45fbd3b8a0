#pragma once
// Audio files made in code: samples written with libsndfile in any format it writes (WAV, AIFF, FLAC,
// Ogg, MP3), tagged when asked, MP3s joined end to end, and sparse files of many gigabytes written by
// hand. A program that includes this links test_support_files. Test thread.

#include "tests/support/FileBytes.h"
#include "tests/support/Signals.h"

#include <sndfile.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
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

// A place made audible in a hole of silence: four frames from `frame` on (see writeWrappedWav).
struct WavMark {
    std::uint64_t frame;
    std::int16_t value;
};

// Writes `header`, then `dataBytes` of 16-bit stereo samples that are a hole on disk but for the `marks`
// (each sample written by `put`, in the file's byte order), then `after`. Returns the path, or "".
template <typename Put>
inline std::string writeMarkedHole(const std::string& path, const std::string& header,
                                   std::uint64_t dataBytes, const std::vector<WavMark>& marks, Put put,
                                   const std::string& after = {}) {
    const std::uint64_t dataStart = header.size();
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(header.data(), std::streamsize(header.size()));
        if (!out) return {};
    }
    std::error_code error;
    std::filesystem::resize_file(path, dataStart + dataBytes, error);
    if (error) return {};
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    for (const WavMark& mark : marks) {
        std::string samples;
        for (int i = 0; i < 4; ++i)
            for (const int value : {mark.value + i, -(mark.value + i)})
                put(samples, std::uint16_t(value), 2);
        out.seekp(std::streamoff(dataStart + mark.frame * 4));
        out.write(samples.data(), std::streamsize(samples.size()));
    }
    out.seekp(std::streamoff(dataStart + dataBytes));
    out.write(after.data(), std::streamsize(after.size()));
    return out.flush() ? path : std::string();
}

// A 16-bit stereo WAV of `frames` frames at 44.1 kHz as a recorder that knows no RF64 leaves one over
// 4 GiB: the RIFF and data sizes are the true ones modulo 2^32. The audio is a hole (silence that takes
// no room on disk) but for the `marks`: at each frame, four frames whose samples are that frame's mark
// value plus 0, 1, 2, 3 on the left and their negatives on the right. A title in a LIST INFO chunk
// before the data when `title` is not empty, and the chunks `after` (whole, headers included) after the
// samples. Returns the path, or "" when it could not be written.
inline std::string writeWrappedWav(const std::string& path, std::uint64_t frames,
                                   const std::vector<WavMark>& marks, const std::string& title = {},
                                   const std::string& after = {}) {
    auto put = [](std::string& to, std::uint64_t value, int size) {
        for (int i = 0; i < size; ++i)
            to += char((value >> (8 * i)) & 0xff);
    };
    std::string info;
    if (!title.empty()) {
        const std::uint64_t padded = title.size() + 1 + (title.size() + 1) % 2;
        info = "LIST";
        put(info, 4 + 8 + padded, 4);
        info += "INFOINAM";
        put(info, title.size() + 1, 4);
        info += title;
        info.append(std::size_t(padded - title.size()), '\0');
    }
    const std::uint64_t dataBytes = frames * 4;
    std::string bytes = "RIFF";
    put(bytes, (4 + 24 + info.size() + 8 + dataBytes + after.size()) & 0xffffffffu, 4);
    bytes += "WAVEfmt ";
    put(bytes, 16, 4);
    put(bytes, 1, 2);         // PCM
    put(bytes, 2, 2);         // channels
    put(bytes, 44100, 4);     // rate
    put(bytes, 44100 * 4, 4); // bytes per second
    put(bytes, 4, 2);         // block
    put(bytes, 16, 2);        // bits
    bytes += info;
    bytes += "data";
    put(bytes, dataBytes & 0xffffffffu, 4);
    return writeMarkedHole(path, bytes, dataBytes, marks, put, after);
}

// A CAF file of 16-bit stereo at 44.1 kHz whose header announces `frames` frames, a hole on disk (see
// writeSparseCaf) but for the `marks` as writeWrappedWav puts them: a file of more frames than 32 bits
// count whose far places can be heard. Returns the path, or "" when it could not be written.
inline std::string writeMarkedSparseCaf(const std::string& path, std::uint64_t frames,
                                        const std::vector<WavMark>& marks) {
    auto put = [](std::string& to, std::uint64_t value, int size) {
        for (int shift = (size - 1) * 8; shift >= 0; shift -= 8)
            to += char((value >> shift) & 0xff);
    };
    std::string bytes = "caff";
    put(bytes, 1, 2);
    put(bytes, 0, 2);
    bytes += "desc";
    put(bytes, 32, 8);
    put(bytes, 0x40E5888000000000u, 8); // 44100.0
    bytes += "lpcm";
    put(bytes, 0, 4);  // flags: big-endian signed integer
    put(bytes, 4, 4);  // bytes per packet
    put(bytes, 1, 4);  // frames per packet
    put(bytes, 2, 4);  // channels
    put(bytes, 16, 4); // bits
    bytes += "data";
    put(bytes, frames * 4 + 4, 8);
    put(bytes, 0, 4); // edit count
    return writeMarkedHole(path, bytes, frames * 4, marks, put);
}

// An MP3 of `parts` joined end to end, as takes are put together: each part written with libsndfile at its
// rate, whose info header states that part alone, and their bytes concatenated, so that the first part's
// header understates the whole. Returns the path, or "" when it could not be written.
inline std::string writeJoinedMp3(const std::string& path, const std::vector<Channels>& parts,
                                  const std::vector<int>& rates) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::string part = path + ".part" + std::to_string(i);
        if (!writeWithSndfile(part, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, parts[i], rates[i])) return {};
        out << std::ifstream(part, std::ios::binary).rdbuf();
        std::filesystem::remove(part);
    }
    return out.flush() ? path : std::string();
}
inline std::string writeJoinedMp3(const std::string& path, const std::vector<Channels>& parts,
                                  int rate = 44100) {
    return writeJoinedMp3(path, parts, std::vector<int>(parts.size(), rate));
}

// Rewrites the counts the first info header (Xing or Info) of the MP3 at `path` states, as a broken
// encoder or joiner leaves them: its frames, and its bytes when given. False when there is no such header
// with both counts.
inline bool setMp3StatedCounts(const std::string& path, std::uint32_t frames,
                               std::optional<std::uint32_t> bytes = std::nullopt) {
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    std::string head(64 * 1024, '\0');
    file.read(head.data(), std::streamsize(head.size()));
    head.resize(std::size_t(file.gcount()));
    std::size_t at = std::min(head.find("Xing"), head.find("Info"));
    if (at == std::string::npos || at + 16 > head.size() || (std::uint8_t(head[at + 7]) & 3) != 3)
        return false;
    auto bigEndian = [](std::uint32_t value) {
        return std::string{char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    };
    const std::string counts = bigEndian(frames) + (bytes ? bigEndian(*bytes) : head.substr(at + 12, 4));
    file.clear();
    file.seekp(std::streamoff(at + 8));
    file.write(counts.data(), 8);
    return bool(file.flush());
}

// True when the file takes less room on disk than its size: the file system keeps holes as holes, so
// a test may make files of many gigabytes.
inline bool isSparse(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && std::uint64_t(st.st_blocks) * 512 < std::uint64_t(st.st_size);
}

// A copy of a whole RIFF WAV file at `path`, written as a recorder or a slow copy writes it: the header
// (stating the whole length) first, the frames a step at a time, the file kept open between steps.
class GrowingWav {
public:
    // Nothing is written yet; ok() is false when `whole` is not a WAV file with a data chunk.
    GrowingWav(const std::string& whole, std::string path) : path_(std::move(path)) {
        std::ifstream in(whole, std::ios::binary);
        bytes_.assign(std::istreambuf_iterator<char>(in), {});
        // The chunks after "RIFF" size "WAVE", up to "data".
        for (std::size_t at = 12; at + 8 <= bytes_.size();) {
            const auto byte = [&](std::size_t i) { return std::uint32_t(std::uint8_t(bytes_[at + 4 + i])); };
            const std::uint32_t size = byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
            if (bytes_.compare(at, 4, "data") == 0) {
                dataOffset_ = at + 8;
                break;
            }
            at += 8 + size + (size & 1);
        }
        out_.open(path_, std::ios::binary | std::ios::trunc);
    }
    bool ok() const { return dataOffset_ != 0 && bool(out_); }
    // Writes on until the file holds the header and the first `frames` frames of `frameBytes` bytes each
    // (at most the whole file); true when written and flushed.
    bool writeFrames(std::size_t frames, std::size_t frameBytes) {
        const std::size_t end = std::min(bytes_.size(), dataOffset_ + frames * frameBytes);
        if (end > written_) out_.write(bytes_.data() + written_, std::streamsize(end - written_));
        written_ = std::max(written_, end);
        return bool(out_.flush());
    }
    // The rest of the file, and closed: its writer is done.
    bool finish() {
        writeFrames(bytes_.size(), 1);
        out_.close();
        return !out_.fail();
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string bytes_;
    std::size_t dataOffset_ = 0;
    std::size_t written_ = 0;
    std::ofstream out_;
};

} // namespace testsupport

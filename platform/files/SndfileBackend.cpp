#include "platform/files/SndfileBackend.h"

#include <sndfile.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

namespace platform {

namespace {

constexpr std::uint32_t sndfileChunkFrames = 4096;

// mpg123 restarts decoding at a frame boundary with an empty bit reservoir and filter bank, so
// the first frames after a seek differ from a continuous decode. Decoding from this many frames
// (eight MPEG-1 frames) before the target and discarding them makes seeks sample-exact.
constexpr std::int64_t sndfileMpegPreroll = 8 * 1152;

enum class SndfileSeekMode {
    direct,  // libsndfile's seek is exact (PCM, FLAC)
    preroll, // seek before the target, decode and discard (MPEG)
    restart, // only decode forward; go back to the start for earlier targets (Ogg: libsndfile's
             // Vorbis and Opus seeks land wrongly in the last page of a stream)
};

AudioStreamDescription sndfileDescribe(const SF_INFO& info) {
    AudioStreamDescription d;
    d.sampleRate = info.samplerate;
    d.channelsPerFrame = std::uint32_t(info.channels);
    const int major = info.format & SF_FORMAT_TYPEMASK;
    const int sub = info.format & SF_FORMAT_SUBMASK;
    const int endian = info.format & SF_FORMAT_ENDMASK;
    switch (major) {
    case SF_FORMAT_WAV:
    case SF_FORMAT_WAVEX:
        d.fileType = AudioFileType::wave;
        break;
    case SF_FORMAT_AIFF:
        d.fileType = AudioFileType::aiff;
        break;
    case SF_FORMAT_CAF:
        d.fileType = AudioFileType::caf;
        break;
    case SF_FORMAT_FLAC:
        d.fileType = AudioFileType::flac;
        break;
    case SF_FORMAT_OGG:
        d.fileType = AudioFileType::ogg;
        break;
    case SF_FORMAT_MPEG:
        d.fileType = AudioFileType::mp3;
        break;
    case SF_FORMAT_AU:
        d.fileType = AudioFileType::au;
        break;
    case SF_FORMAT_W64:
        d.fileType = AudioFileType::w64;
        break;
    case SF_FORMAT_RF64:
        d.fileType = AudioFileType::rf64;
        break;
    default:
        d.fileType = AudioFileType::other;
        break;
    }
    const bool lossless = major == SF_FORMAT_FLAC;
    auto pcm = [&](std::uint32_t bits, bool isFloat) {
        d.formatID = lossless ? audioFormatID::flac : audioFormatID::linearPCM;
        d.bitsPerChannel = bits;
        d.isFloat = isFloat;
    };
    switch (sub) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
        pcm(8, false);
        break;
    case SF_FORMAT_PCM_16:
        pcm(16, false);
        break;
    case SF_FORMAT_PCM_24:
        pcm(24, false);
        break;
    case SF_FORMAT_PCM_32:
        pcm(32, false);
        break;
    case SF_FORMAT_FLOAT:
        pcm(32, true);
        break;
    case SF_FORMAT_DOUBLE:
        pcm(64, true);
        break;
    case SF_FORMAT_ULAW:
        d.formatID = audioFormatID::uLaw, d.bitsPerChannel = 8;
        break;
    case SF_FORMAT_ALAW:
        d.formatID = audioFormatID::aLaw, d.bitsPerChannel = 8;
        break;
    case SF_FORMAT_VORBIS:
        d.formatID = audioFormatID::vorbis;
        break;
    case SF_FORMAT_OPUS:
        d.formatID = audioFormatID::opus;
        break;
    case SF_FORMAT_MPEG_LAYER_III:
        d.formatID = audioFormatID::mpegLayer3;
        break;
    case SF_FORMAT_ALAC_16:
        d.formatID = audioFormatID::appleLossless, d.bitsPerChannel = 16;
        break;
    case SF_FORMAT_ALAC_20:
        d.formatID = audioFormatID::appleLossless, d.bitsPerChannel = 20;
        break;
    case SF_FORMAT_ALAC_24:
        d.formatID = audioFormatID::appleLossless, d.bitsPerChannel = 24;
        break;
    case SF_FORMAT_ALAC_32:
        d.formatID = audioFormatID::appleLossless, d.bitsPerChannel = 32;
        break;
    default:
        d.formatID = audioFormatID::unknown;
        break;
    }
    if (d.isLinearPCM()) {
        switch (major) {
        case SF_FORMAT_WAV:
        case SF_FORMAT_WAVEX:
        case SF_FORMAT_W64:
        case SF_FORMAT_RF64:
            d.isBigEndian = endian == SF_ENDIAN_BIG;
            break;
        default:
            d.isBigEndian = endian != SF_ENDIAN_LITTLE;
            break;
        }
        if (d.bitsPerChannel == 8) d.isBigEndian = false;
        // libsndfile reads and writes AIFC whenever plain AIFF cannot hold the samples.
        if (major == SF_FORMAT_AIFF && (d.isFloat || (!d.isBigEndian && d.bitsPerChannel > 8)))
            d.fileType = AudioFileType::aifc;
    }
    return d;
}

void sndfileScatter(const float* interleaved, std::uint32_t channels, std::uint32_t frames,
                    ChannelPointers into, std::uint32_t offset) {
    for (std::uint32_t c = 0; c < channels; ++c) {
        float* out = into.channels[c] + std::size_t(offset) * into.stride;
        const float* in = interleaved + c;
        for (std::uint32_t i = 0; i < frames; ++i)
            out[i * into.stride] = in[std::size_t(i) * channels];
    }
}

bool sndfileIsContiguousInterleaved(const float* const* channels, std::size_t stride, std::uint32_t count) {
    if (stride != count) return false;
    for (std::uint32_t c = 1; c < count; ++c)
        if (channels[c] != channels[0] + c) return false;
    return true;
}

// The file libsndfile reads: the descriptor AudioFile opened and checked, at an offset of its own.
// sf_open_fd would close the descriptor when an open fails, and move an offset it shares.
struct SndfileSource {
    int descriptor = -1;
    sf_count_t position = 0;
    // What the last failed read met: the callbacks cannot tell libsndfile, which takes it for the end.
    int error = 0;
};

sf_count_t sndfileSourceLength(void* user) {
    struct stat st {};
    return ::fstat(static_cast<SndfileSource*>(user)->descriptor, &st) == 0 ? sf_count_t(st.st_size) : -1;
}

sf_count_t sndfileSourceSeek(sf_count_t offset, int whence, void* user) {
    auto& source = *static_cast<SndfileSource*>(user);
    sf_count_t at = offset;
    if (whence == SEEK_CUR) at += source.position;
    if (whence == SEEK_END) at += sndfileSourceLength(user);
    if (at < 0) return -1;
    return source.position = at;
}

sf_count_t sndfileSourceRead(void* into, sf_count_t count, void* user) {
    auto& source = *static_cast<SndfileSource*>(user);
    // Fewer bytes than asked are the end of the file to libsndfile: a short read goes on.
    sf_count_t done = 0;
    while (done < count) {
        const ssize_t got = ::pread(source.descriptor, static_cast<char*>(into) + done,
                                    std::size_t(count - done), off_t(source.position + done));
        if (got > 0) {
            done += got;
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) source.error = errno;
        break;
    }
    source.position += done;
    return done;
}

sf_count_t sndfileSourceTell(void* user) {
    return static_cast<SndfileSource*>(user)->position;
}

SF_VIRTUAL_IO sndfileSourceIO{&sndfileSourceLength, &sndfileSourceSeek, &sndfileSourceRead, nullptr,
                              &sndfileSourceTell};

class SndfileReader final : public AudioFileBackend {
public:
    SndfileReader(SNDFILE* file, std::unique_ptr<SndfileSource> source, const SF_INFO& info,
                  SndfileSeekMode mode)
        : file_(file), source_(std::move(source)), channels_(std::uint32_t(info.channels)), mode_(mode),
          scratch_(std::size_t(sndfileChunkFrames) * std::uint32_t(info.channels)) {}
    ~SndfileReader() override { sf_close(file_); }

    Result<std::uint32_t> read(ChannelPointers into, std::uint32_t frames) override {
        const bool direct = sndfileIsContiguousInterleaved(into.channels, into.stride, channels_);
        source_->error = 0;
        std::uint32_t done = 0;
        while (done < frames) {
            const std::uint32_t chunk = std::min(frames - done, sndfileChunkFrames);
            float* target = direct ? into.channels[0] + std::size_t(done) * channels_ : scratch_.data();
            const sf_count_t got = sf_readf_float(file_, target, chunk);
            if (got <= 0) break;
            if (!direct) sndfileScatter(scratch_.data(), channels_, std::uint32_t(got), into, done);
            done += std::uint32_t(got);
            position_ += got;
            if (got < chunk) break;
        }
        if (done == 0 && source_->error != 0)
            return Error::make(audioFileErrorDomain,
                               std::string("Cannot read the audio: ") + std::strerror(source_->error),
                               int(AudioFileError::readFailed));
        if (done == 0 && sf_error(file_) != SF_ERR_NO_ERROR)
            return Error::make(audioFileErrorDomain,
                               std::string("Cannot decode the audio: ") + sf_strerror(file_),
                               int(AudioFileError::readFailed));
        return done;
    }

    Result<void> seek(std::int64_t frame) override {
        std::int64_t from = frame;
        switch (mode_) {
        case SndfileSeekMode::direct:
            break;
        case SndfileSeekMode::preroll:
            // A short way ahead, decoding on is cheaper than a seek and exact as well.
            from = frame >= position_ && frame - position_ <= sndfileMpegPreroll
                       ? position_
                       : std::max<std::int64_t>(0, frame - sndfileMpegPreroll);
            break;
        case SndfileSeekMode::restart:
            from = frame >= position_ ? position_ : 0;
            break;
        }
        if (from != position_) {
            if (sf_seek(file_, from, SEEK_SET) != from)
                return Error::make(audioFileErrorDomain,
                                   "Cannot move to frame " + std::to_string(frame) + ": " +
                                       sf_strerror(file_),
                                   int(AudioFileError::readFailed));
            position_ = from;
        }
        return discard(frame - position_);
    }

    // Decodes and drops `frames` frames; fewer at the end of the data.
    Result<void> discard(std::int64_t frames) {
        while (frames > 0) {
            const auto chunk = sf_count_t(std::min<std::int64_t>(frames, sndfileChunkFrames));
            const sf_count_t got = sf_readf_float(file_, scratch_.data(), chunk);
            if (got <= 0) break;
            position_ += got;
            frames -= got;
        }
        return {};
    }

private:
    SNDFILE* file_;
    std::unique_ptr<SndfileSource> source_;
    std::uint32_t channels_;
    SndfileSeekMode mode_;
    std::int64_t position_ = 0;
    std::vector<float> scratch_;
};

// The length libsndfile reports for a compressed stream comes from a header: for MP3 the Xing/LAME
// header when there is one and otherwise an estimate from the bit rate; for FLAC the stream info,
// which a cut file no longer matches. Measure what actually decodes: from one frame before the
// reported end (cheap when the report is right), or by bisection when the data ends earlier.
std::int64_t sndfileMeasureLength(SNDFILE* file, std::int64_t reported, std::uint32_t channels) {
    std::vector<float> scratch(std::size_t(sndfileChunkFrames) * channels);
    auto decodesAt = [&](std::int64_t frame) {
        return sf_seek(file, frame, SEEK_SET) == frame && sf_readf_float(file, scratch.data(), 1) == 1;
    };
    auto countFrom = [&](std::int64_t frame) {
        std::int64_t count = 0;
        if (sf_seek(file, frame, SEEK_SET) != frame) return std::int64_t(-1);
        for (;;) {
            const sf_count_t got = sf_readf_float(file, scratch.data(), sndfileChunkFrames);
            if (got <= 0) break;
            count += got;
        }
        return frame + count;
    };
    if (reported > 0 && decodesAt(reported - 1)) return countFrom(reported - 1);
    // The data ends before the reported length: find the last frame that decodes.
    std::int64_t good = 0, bad = reported > 0 ? reported - 1 : 0;
    if (!decodesAt(0)) return 0;
    while (bad - good > 1) {
        const std::int64_t mid = good + (bad - good) / 2;
        (decodesAt(mid) ? good : bad) = mid;
    }
    return countFrom(good);
}

// A WAV file over 4 GiB written without RF64 states its RIFF and data sizes modulo 2^32, and
// libsndfile plays only what the wrapped size says: the first few hours of a ten-hour recording.
struct SndfileWavData {
    std::uint64_t offset = 0;     // of the first sample byte
    std::uint32_t statedSize = 0; // the data chunk's size field
    std::uint64_t trueSize = 0;   // what the file holds
    bool bigEndian = false;       // RIFX
};

// Chunks that follow the samples in WAV files: one of these where the stated size ends means the size
// is right. Audio that happens to spell one of them is not to be expected.
bool sndfileIsTrailingChunk(const unsigned char* id) {
    static constexpr const char* known[] = {"LIST", "id3 ", "ID3 ", "JUNK", "junk", "PAD ", "bext",
                                            "cue ", "smpl", "inst", "iXML", "_PMX", "acid", "fact",
                                            "DISP", "cart", "umid", "axml", "plst", "labl", "ltxt"};
    return std::any_of(std::begin(known), std::end(known),
                       [&](const char* name) { return std::memcmp(id, name, 4) == 0; });
}

// Whether chunks of four printable characters follow one another from `at` to the end of the file, a
// last pad byte aside: samples do not spell that.
template <typename ReadAt, typename Size32>
bool sndfileChunksRunToEnd(ReadAt& readAt, std::uint64_t at, std::uint64_t fileSize, Size32& size32) {
    for (int chunk = 0; chunk < 64 && at + 8 <= fileSize; ++chunk) {
        unsigned char header[8];
        if (!readAt(at, header, sizeof header) ||
            !std::all_of(header, header + 4, [](unsigned char c) { return c >= 0x20 && c < 0x7f; }))
            return false;
        const std::uint32_t size = size32(header + 4);
        at += 8 + std::uint64_t(size) + (size & 1);
        if (at == fileSize || at == fileSize + 1) return true;
    }
    return false;
}

// The data chunk of the WAV file open at `fd` whose samples reach more than 4 GiB past their start, or
// whose size was never filled in (`statedEmpty`: libsndfile found no frames), with their true size;
// nothing for any other file. Only the chunks before the data are read.
std::optional<SndfileWavData> sndfileWrappedWavData(int fd, bool statedEmpty) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return std::nullopt;
    const auto fileSize = std::uint64_t(st.st_size);
    if (fileSize <= 0xffffffffu && !statedEmpty) return std::nullopt;

    auto readAt = [&](std::uint64_t at, unsigned char* into, std::size_t count) {
        return ::pread(fd, into, count, off_t(at)) == ssize_t(count);
    };
    unsigned char head[12];
    if (!readAt(0, head, sizeof head) || std::memcmp(head + 8, "WAVE", 4) != 0) return std::nullopt;
    SndfileWavData data;
    if (std::memcmp(head, "RIFX", 4) == 0)
        data.bigEndian = true;
    else if (std::memcmp(head, "RIFF", 4) != 0)
        return std::nullopt;
    auto size32 = [&](const unsigned char* b) {
        return data.bigEndian
                   ? std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 | b[3]
                   : std::uint32_t(b[3]) << 24 | std::uint32_t(b[2]) << 16 | std::uint32_t(b[1]) << 8 | b[0];
    };
    // The header chunks (format, list, fact, junk …) are few; a walk that finds no data soon gives up.
    std::uint64_t at = 12;
    for (int chunk = 0;; ++chunk) {
        unsigned char header[8];
        if (chunk == 64 || !readAt(at, header, sizeof header)) return std::nullopt;
        const std::uint32_t size = size32(header + 4);
        if (std::memcmp(header, "data", 4) == 0) {
            data.offset = at + 8;
            data.statedSize = size;
            break;
        }
        at += 8 + std::uint64_t(size) + (size & 1);
    }
    if (data.offset >= fileSize) return std::nullopt;
    const std::uint64_t held = fileSize - data.offset;
    if (held <= 0xffffffffu) {
        // A recorder writes sizes of 0 first and fills them in when it stops: one still recording, or one
        // that died, leaves a data size of 0 before samples that run to the end, and a RIFF size of 0 or
        // one it keeps up with the whole file. Any other RIFF size was filled in by a writer that knew
        // the data was empty: what follows is none of the file's, and played it would be noise.
        const std::uint64_t riffEnd = std::uint64_t(size32(head + 4)) + 8;
        if (data.statedSize != 0 || (riffEnd != 8 && riffEnd + 1 < fileSize)) return std::nullopt;
        // A chunk right after, or chunks that end with the file, also mean the data is really empty.
        unsigned char next[4];
        if (held < sizeof next || !readAt(data.offset, next, sizeof next) || sndfileIsTrailingChunk(next) ||
            sndfileChunksRunToEnd(readAt, data.offset, fileSize, size32))
            return std::nullopt;
        data.trueSize = held;
        return data;
    }
    if (data.statedSize == 0xffffffffu) {
        // A placeholder its writer never replaced: the samples run to the end.
        data.trueSize = held;
        return data;
    }
    // The true size is the stated one plus a whole number of 4 GiB: the samples end where a chunk that
    // follows them starts at one of those sizes. What follows them is far smaller than 4 GiB, so only the
    // stated end and the last two such sizes are looked at, however many exabytes a sparse file claims.
    const std::uint64_t pad = data.statedSize & 1, wrap = 0x100000000u;
    std::uint64_t sizes[3] = {data.statedSize, data.statedSize, data.statedSize};
    if (held >= data.statedSize + pad + 8) {
        sizes[2] += (held - pad - 8 - data.statedSize) / wrap * wrap;
        sizes[1] = std::max(sizes[0], sizes[2] - std::min(sizes[2], wrap));
    }
    for (const std::uint64_t size : sizes) {
        unsigned char next[4];
        if (size + pad + 8 > held || !readAt(data.offset + size + pad, next, sizeof next) ||
            !sndfileIsTrailingChunk(next))
            continue;
        if (size == data.statedSize) return std::nullopt;
        data.trueSize = size;
        return data;
    }
    // No chunk follows. A size of 0 is also what a writer that never came back to fill it in leaves: the
    // samples run to the end. Otherwise the stated size plus every whole 4 GiB the file still holds past
    // it: what follows the samples is far smaller than that.
    data.trueSize = data.statedSize == 0
                        ? held
                        : data.statedSize + ((held - data.statedSize) & ~std::uint64_t(0xffffffffu));
    return data;
}

// Whether libsndfile reads samples of this encoding as raw audio.
bool sndfileRawReadable(const AudioStreamDescription& described) {
    return described.isLinearPCM() || described.formatID == audioFormatID::uLaw ||
           described.formatID == audioFormatID::aLaw;
}

// Opens the samples of the wrapped WAV file at `source`, described by `described`, as raw audio from
// their first byte, which libsndfile reads to the end of the file; fills in the true length. Null when
// the encoding cannot be read raw (ADPCM, GSM). Nothing else may read through `source` meanwhile.
SNDFILE* sndfileOpenWrappedWav(SndfileSource& source, const SF_INFO& wav,
                               const AudioStreamDescription& described, const SndfileWavData& data,
                               std::int64_t& length) {
    if (!sndfileRawReadable(described)) return nullptr;
    const int sub = wav.format & SF_FORMAT_SUBMASK;
    const std::uint32_t bytes = described.bitsPerChannel / 8;
    SF_INFO raw{};
    raw.samplerate = wav.samplerate;
    raw.channels = wav.channels;
    raw.format = SF_FORMAT_RAW | sub | (data.bigEndian ? SF_ENDIAN_BIG : SF_ENDIAN_LITTLE);
    source.position = 0;
    SNDFILE* file = sf_open_virtual(&sndfileSourceIO, SFM_READ, &raw, &source);
    if (!file) return nullptr;
    sf_count_t offset = sf_count_t(data.offset);
    // The command leaves the read position where the open put it, at the file's first byte.
    if (sf_command(file, SFC_SET_RAW_START_OFFSET, &offset, sizeof offset) != 0 ||
        sf_seek(file, 0, SEEK_SET) != 0) {
        sf_close(file);
        return nullptr;
    }
    length = std::int64_t(data.trueSize / (std::uint64_t(bytes) * std::uint32_t(wav.channels)));
    return file;
}

class SndfileWriter final : public AudioFileBackend {
public:
    // `descriptor`, when not -1, is the file libsndfile writes through; it is closed after libsndfile.
    SndfileWriter(SNDFILE* file, std::uint32_t channels, int descriptor)
        : file_(file), channels_(channels), descriptor_(descriptor),
          scratch_(std::size_t(sndfileChunkFrames) * channels) {}
    ~SndfileWriter() override { (void)close(); }

    Result<void> write(ConstChannelPointers from, std::uint32_t frames) override {
        if (!file_) return closedError();
        std::uint32_t done = 0;
        while (done < frames) {
            const std::uint32_t chunk = std::min(frames - done, sndfileChunkFrames);
            for (std::uint32_t c = 0; c < channels_; ++c) {
                const float* in = from.channels[c] + std::size_t(done) * from.stride;
                float* out = scratch_.data() + c;
                for (std::uint32_t i = 0; i < chunk; ++i)
                    out[std::size_t(i) * channels_] = in[i * from.stride];
            }
            const sf_count_t put = sf_writef_float(file_, scratch_.data(), chunk);
            if (put != sf_count_t(chunk))
                return Error::make(audioFileErrorDomain,
                                   std::string("Cannot write the audio: ") + sf_strerror(file_),
                                   int(AudioFileError::writeFailed));
            done += chunk;
        }
        return {};
    }

    Result<void> seek(std::int64_t frame) override {
        if (!file_) return closedError();
        if (sf_seek(file_, frame, SEEK_SET) != frame)
            return Error::make(audioFileErrorDomain,
                               "Cannot move to frame " + std::to_string(frame) + ": " + sf_strerror(file_),
                               int(AudioFileError::writeFailed));
        return {};
    }

    Result<void> truncate(std::int64_t frames) override {
        if (!file_) return closedError();
        // Truncating needs no room, so it works on the very disk that refused the write; the header
        // then states the length that is left.
        sf_count_t count = frames;
        if (sf_command(file_, SFC_FILE_TRUNCATE, &count, sizeof(count)) != 0)
            return Error::make(audioFileErrorDomain,
                               "Cannot cut the file back to " + std::to_string(frames) +
                                   " frames: " + sf_strerror(file_),
                               int(AudioFileError::writeFailed));
        sf_command(file_, SFC_UPDATE_HEADER_NOW, nullptr, 0);
        return {};
    }

    Result<void> close() override {
        if (!file_) return {};
        const int status = sf_close(file_);
        file_ = nullptr;
        if (descriptor_ != -1) ::close(std::exchange(descriptor_, -1));
        if (status != 0)
            return Error::make(audioFileErrorDomain,
                               std::string("Cannot finish the file: ") + sf_error_number(status),
                               int(AudioFileError::writeFailed));
        return {};
    }

private:
    static Error closedError() {
        return Error::make(audioFileErrorDomain, "The file is closed.", int(AudioFileError::wrongMode));
    }

    SNDFILE* file_;
    std::uint32_t channels_;
    int descriptor_;
    std::vector<float> scratch_;
};

// libsndfile's error number whose text says the file does not exist or is not a regular file. Its
// MPEG decoder gives it for a file it cannot find one audio frame in: an MP3 of tags and a header frame.
constexpr int sndfileBadFileError = 7;

// Why libsndfile could not open the regular file open at `descriptor`, in words that are true of it.
std::string sndfileOpenFailure(int descriptor) {
    const int code = sf_error(nullptr);
    // An MP3's ID3 tag with no audio frame after it: libsndfile, which knows no name to go by, does
    // not take it for MP3 at all.
    unsigned char head[3];
    if (code == sndfileBadFileError ||
        (code == SF_ERR_UNRECOGNISED_FORMAT && ::pread(descriptor, head, sizeof head, 0) == 3 &&
         std::memcmp(head, "ID3", 3) == 0))
        return "no audio in it can be decoded";
    return sf_strerror(nullptr);
}

} // namespace

Result<std::unique_ptr<AudioFileBackend>> openSndfileReader(int descriptor, const std::string& path,
                                                            AudioFileBackend::Info& info) {
    SF_INFO sfInfo{};
    auto source = std::make_unique<SndfileSource>(SndfileSource{descriptor});
    SNDFILE* file = sf_open_virtual(&sndfileSourceIO, SFM_READ, &sfInfo, source.get());
    if (!file)
        return audioFileError(AudioFileError::unreadable, "Cannot read audio file", path,
                              source->error != 0 ? std::strerror(source->error)
                                                 : sndfileOpenFailure(descriptor));
    auto fail = [&](const std::string& detail) -> Result<std::unique_ptr<AudioFileBackend>> {
        sf_close(file);
        return audioFileError(AudioFileError::unreadable, "Cannot read audio file", path, detail);
    };
    if (sfInfo.channels < 1 || std::uint32_t(sfInfo.channels) > AudioFormat::maxChannels)
        return fail("unsupported channel count " + std::to_string(sfInfo.channels));
    if (sfInfo.samplerate <= 0) return fail("invalid sample rate");
    if (sfInfo.frames < 0 || sfInfo.frames == SF_COUNT_MAX) return fail("unknown length");
    // libsndfile takes any file named .au, .snd or .vox without a header for raw samples.
    if ((sfInfo.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_RAW) return fail("no audio file header");

    const int sub = sfInfo.format & SF_FORMAT_SUBMASK;
    const bool mpeg =
        sub == SF_FORMAT_MPEG_LAYER_I || sub == SF_FORMAT_MPEG_LAYER_II || sub == SF_FORMAT_MPEG_LAYER_III;
    SndfileSeekMode mode = SndfileSeekMode::direct;
    if (mpeg) mode = SndfileSeekMode::preroll;
    if (sub == SF_FORMAT_VORBIS || sub == SF_FORMAT_OPUS) mode = SndfileSeekMode::restart;

    info.fileFormat = sndfileDescribe(sfInfo);
    info.length = sfInfo.frames;
    const int major = sfInfo.format & SF_FORMAT_TYPEMASK;
    if (major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX)
        // An unfinished size in an encoding that cannot be read raw keeps the length libsndfile found.
        if (const std::optional<SndfileWavData> wrapped = sndfileWrappedWavData(
                descriptor, sfInfo.frames == 0 && sndfileRawReadable(info.fileFormat))) {
            // Closed first: both would read through the one source.
            sf_close(file);
            file = sndfileOpenWrappedWav(*source, sfInfo, info.fileFormat, *wrapped, info.length);
            if (!file)
                return audioFileError(AudioFileError::unreadable, "Cannot read audio file", path,
                                      "it holds more than the 4 GiB its header can state, and its encoding "
                                      "cannot be read past what the header says");
        }
    const bool flac = (sfInfo.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC;
    const bool alac = sub == SF_FORMAT_ALAC_16 || sub == SF_FORMAT_ALAC_20 || sub == SF_FORMAT_ALAC_24 ||
                      sub == SF_FORMAT_ALAC_32;
    if (mpeg || flac || alac) {
        info.length = sndfileMeasureLength(file, sfInfo.frames, std::uint32_t(sfInfo.channels));
        // A read that failed passes for the end of the data: said as what it was, not as damage.
        if (source->error != 0) return fail(std::strerror(source->error));
        if (info.length < 0 || sf_seek(file, 0, SEEK_SET) != 0)
            return fail("the audio stream cannot be decoded");
        if (info.length == 0 && sfInfo.frames > 0) return fail("no audio frames decode");
    }
    return std::unique_ptr<AudioFileBackend>(new SndfileReader(file, std::move(source), sfInfo, mode));
}

Result<std::unique_ptr<AudioFileBackend>> openSndfileWriter(const std::string& path,
                                                            const AudioFileSettings& settings,
                                                            const AudioFileWriteOptions& options,
                                                            AudioFileBackend::Info& info) {
    auto invalid = [&](const std::string& detail) {
        return audioFileError(AudioFileError::invalidSettings, "Cannot create audio file", path, detail);
    };
    if (settings.formatID != audioFormatID::linearPCM) return invalid("only linear PCM can be written");
    const double rate = settings.sampleRate;
    if (!std::isfinite(rate) || rate < 1.0 || rate > 1e7 || rate != std::floor(rate))
        return invalid("unsupported sample rate");
    const std::uint32_t channels = settings.numberOfChannels;
    if (channels < 1 || channels > AudioFormat::maxChannels) return invalid("unsupported channel count");

    const AudioFileType type = settings.fileType.value_or(audioFileTypeForPath(path));
    int major = 0;
    switch (type) {
    case AudioFileType::wave:
        major = SF_FORMAT_WAV;
        break;
    case AudioFileType::aiff:
    case AudioFileType::aifc:
        major = SF_FORMAT_AIFF;
        break;
    case AudioFileType::caf:
        major = SF_FORMAT_CAF;
        break;
    default:
        return invalid("the container must be WAV, AIFF or CAF");
    }

    const std::uint32_t bits = settings.linearPCMBitDepth;
    int sub = 0;
    if (settings.linearPCMIsFloat) {
        if (bits == 32)
            sub = SF_FORMAT_FLOAT;
        else if (bits == 64)
            sub = SF_FORMAT_DOUBLE;
        else
            return invalid("float samples must have 32 or 64 bits");
    } else {
        switch (bits) {
        case 8:
            sub = major == SF_FORMAT_WAV ? SF_FORMAT_PCM_U8 : SF_FORMAT_PCM_S8;
            break;
        case 16:
            sub = SF_FORMAT_PCM_16;
            break;
        case 24:
            sub = SF_FORMAT_PCM_24;
            break;
        case 32:
            sub = SF_FORMAT_PCM_32;
            break;
        default:
            return invalid("integer samples must have 8, 16, 24 or 32 bits");
        }
    }

    // Each container's own byte order unless the settings ask otherwise; WAV is always little-endian.
    bool bigEndian = major != SF_FORMAT_WAV;
    int endian = SF_ENDIAN_FILE;
    if (major != SF_FORMAT_WAV && bits > 8 && settings.linearPCMIsBigEndian &&
        *settings.linearPCMIsBigEndian != bigEndian) {
        bigEndian = *settings.linearPCMIsBigEndian;
        endian = bigEndian ? SF_ENDIAN_BIG : SF_ENDIAN_LITTLE;
    }
    if (bits == 8) bigEndian = false;

    SF_INFO sfInfo{};
    sfInfo.samplerate = int(rate);
    sfInfo.channels = int(channels);
    sfInfo.format = major | sub | endian;
    if (!sf_format_check(&sfInfo)) return invalid("libsndfile cannot write this combination");

    int descriptor = -1;
    SNDFILE* file = nullptr;
    if (options.exclusive) {
        descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor == -1)
            return audioFileError(errno == EEXIST ? AudioFileError::alreadyExists
                                                  : AudioFileError::cannotCreate,
                                  "Cannot create audio file", path, std::strerror(errno));
        file = sf_open_fd(descriptor, SFM_WRITE, &sfInfo, SF_FALSE);
        if (!file) {
            // The file is ours alone: nobody else could have opened it in between.
            ::close(descriptor);
            ::unlink(path.c_str());
        }
    } else {
        file = sf_open(path.c_str(), SFM_WRITE, &sfInfo);
    }
    if (!file)
        return audioFileError(AudioFileError::cannotCreate, "Cannot create audio file", path,
                              sf_strerror(nullptr));
    if (!settings.linearPCMIsFloat) sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    if (options.headerAfterEachWrite) sf_command(file, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);

    AudioStreamDescription& d = info.fileFormat;
    d.sampleRate = rate;
    d.formatID = audioFormatID::linearPCM;
    d.channelsPerFrame = channels;
    d.bitsPerChannel = bits;
    d.isFloat = settings.linearPCMIsFloat;
    d.isBigEndian = bigEndian;
    d.fileType = type == AudioFileType::aifc ? AudioFileType::aiff : type;
    if (major == SF_FORMAT_AIFF && (d.isFloat || (!bigEndian && bits > 8))) d.fileType = AudioFileType::aifc;
    info.length = 0;
    return std::unique_ptr<AudioFileBackend>(new SndfileWriter(file, channels, descriptor));
}

} // namespace platform

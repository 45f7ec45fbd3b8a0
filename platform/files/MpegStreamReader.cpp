#include "platform/files/MpegStreamReader.h"

#include "platform/audio/AudioFormat.h"
#include "platform/foundation/Files.h"

#include <mpg123.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

namespace platform {

namespace {

// As for libsndfile's MPEG seeks: decoding from eight frames before a target fills the bit reservoir
// and the filter bank, so that a seek gives the very samples of a continuous decode.
constexpr std::int64_t mpegStreamPreroll = 8 * 1152;
constexpr std::uint32_t mpegStreamChunkFrames = 4096;

std::uint32_t mpegBigEndian32(const unsigned char* b) {
    return std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 | b[3];
}

// What counting a stream's frames found: its decoded samples and mpg123's seek index, which spares a
// later reader the walk through every frame before a far target.
struct MpegStreamCount {
    std::int64_t samples = 0;
    std::vector<off_t> index;
    off_t indexStep = 0;
};

// The counts of the last few files measured, for every reader opened after: the player opens its file
// again at each play and each seek.
class MpegStreamCounts {
public:
    std::shared_ptr<const MpegStreamCount> find(const FileStamp& key) {
        std::lock_guard lock(mutex_);
        for (const auto& [known, count] : counts_)
            if (known == key) return count;
        return nullptr;
    }
    void remember(const FileStamp& key, std::shared_ptr<const MpegStreamCount> count) {
        std::lock_guard lock(mutex_);
        std::erase_if(counts_, [&](const auto& known) { return known.first == key; });
        if (counts_.size() == kept) counts_.erase(counts_.begin());
        counts_.emplace_back(key, std::move(count));
    }

private:
    static constexpr std::size_t kept = 16;
    std::mutex mutex_;
    std::vector<std::pair<FileStamp, std::shared_ptr<const MpegStreamCount>>> counts_;
};

MpegStreamCounts& mpegStreamCounts() {
    static MpegStreamCounts counts;
    return counts;
}

Error mpegStreamError(AudioFileError code, const std::string& what) {
    return Error::make(audioFileErrorDomain, what, int(code));
}

class MpegStreamReader final : public AudioFileBackend {
public:
    MpegStreamReader(mpg123_handle* handle, int file) : handle_(handle), file_(file) {}
    ~MpegStreamReader() override { mpg123_delete(handle_); }

    // Opens the stream, fixes its output to float at its own rate and channels, and learns the
    // encoder's and decoder's delay.
    Result<void> start(const MpegInfoHeader& header, AudioFileBackend::Info& info) {
        // Without gapless decoding: mpg123 then skips the info header of a part joined on as it decodes
        // and as it seeks alike, so that a seek past the join lands where a continuous decode does. The
        // first part's delay is dropped here instead.
        mpg123_param(handle_, MPG123_FLAGS, MPG123_QUIET | MPG123_FORCE_FLOAT, 0.0);
        // mpg123 reads from the descriptor's offset on.
        if (::lseek(file_, 0, SEEK_SET) != 0 || mpg123_open_fd(handle_, file_) != MPG123_OK)
            return decoderError();
        long rate = 0;
        int channels = 0, encoding = 0;
        if (mpg123_getformat(handle_, &rate, &channels, &encoding) != MPG123_OK) return decoderError();
        if (channels < 1 || std::uint32_t(channels) > AudioFormat::maxChannels || rate <= 0)
            return mpegStreamError(AudioFileError::unreadable, "unsupported format");
        mpg123_format_none(handle_);
        if (mpg123_format(handle_, rate, channels, MPG123_ENC_FLOAT_32) != MPG123_OK) return decoderError();
        channels_ = std::uint32_t(channels);
        scratch_.resize(std::size_t(mpegStreamChunkFrames) * channels_);

        long encoderDelay = -1, decoderDelay = -1;
        double unused = 0;
        mpg123_getstate(handle_, MPG123_ENC_DELAY, &encoderDelay, &unused);
        mpg123_getstate(handle_, MPG123_DEC_DELAY, &decoderDelay, &unused);
        // What libsndfile drops of a whole file, so that the first part lines up with its own decode.
        skip_ = encoderDelay >= 0 ? encoderDelay + std::max(0L, decoderDelay) : 0;
        const int samplesPerFrame = mpg123_spf(handle_) > 0 ? mpg123_spf(handle_) : 1152;

        struct stat st {};
        if (::fstat(file_, &st) != 0)
            return mpegStreamError(AudioFileError::unreadable, std::strerror(errno));
        key_ = fileStampOf(st);
        if (const std::shared_ptr<const MpegStreamCount> count = mpegStreamCounts().find(key_)) {
            // mpg123 copies the index.
            mpg123_set_index(handle_, const_cast<off_t*>(count->index.data()), count->indexStep,
                             count->index.size());
            info.length = std::max<std::int64_t>(0, count->samples - skip_);
            counted_ = true;
        } else {
            const double frames =
                double(header.statedFrames) * double(header.heldBytes) / double(header.statedBytes);
            info.length = std::max<std::int64_t>(0, std::llround(frames) * samplesPerFrame - skip_);
            info.lengthIsEstimate = true;
        }
        AudioStreamDescription& d = info.fileFormat;
        d.sampleRate = double(rate);
        d.channelsPerFrame = channels_;
        d.formatID = audioFormatID::mpegLayer3;
        d.fileType = AudioFileType::mp3;
        return discard(skip_);
    }

    Result<std::uint32_t> read(ChannelPointers into, std::uint32_t frames) override {
        std::uint32_t done = 0;
        // A frame that decodes to nothing (a joined part's info header) is passed over; a run of them
        // is no stream.
        int empty = 0;
        while (done < frames && empty < 64) {
            const std::uint32_t chunk = std::min(frames - done, mpegStreamChunkFrames);
            std::size_t bytes = 0;
            const int status = mpg123_read(handle_, reinterpret_cast<unsigned char*>(scratch_.data()),
                                           std::size_t(chunk) * channels_ * sizeof(float), &bytes);
            const auto got = std::uint32_t(bytes / (sizeof(float) * channels_));
            for (std::uint32_t c = 0; c < channels_; ++c) {
                float* out = into.channels[c] + std::size_t(done) * into.stride;
                for (std::uint32_t i = 0; i < got; ++i)
                    out[i * into.stride] = scratch_[std::size_t(i) * channels_ + c];
            }
            done += got;
            decoded_ += got;
            empty = got ? 0 : empty + 1;
            if (status == MPG123_DONE) {
                // Read to its end, the stream has told what a count would: later readers need not count.
                if (!counted_ && decoded_ >= 0) remember(decoded_);
                break;
            }
            if (status != MPG123_OK && status != MPG123_NEW_FORMAT) {
                if (done == 0) return decoderError();
                break;
            }
        }
        return done;
    }

    Result<void> seek(std::int64_t frame) override {
        // The decoder's positions count the delay dropped at the start.
        const std::int64_t target = frame + skip_;
        const std::int64_t from =
            decoded_ >= 0 && target >= decoded_ && target - decoded_ <= mpegStreamPreroll
                ? decoded_
                : std::max<std::int64_t>(0, target - mpegStreamPreroll);
        if (from != decoded_) {
            decoded_ = -1;
            if (mpg123_seek(handle_, off_t(from), SEEK_SET) != off_t(from))
                return mpegStreamError(AudioFileError::readFailed, "Cannot move to frame " +
                                                                       std::to_string(frame) + ": " +
                                                                       mpg123_strerror(handle_));
            decoded_ = from;
        }
        return discard(target - decoded_);
    }

    Result<std::int64_t> measureLength() override {
        if (mpg123_scan(handle_) != MPG123_OK)
            return mpegStreamError(AudioFileError::readFailed,
                                   std::string("Cannot count the frames of the stream: ") +
                                       mpg123_strerror(handle_));
        const std::int64_t samples = mpg123_length(handle_);
        if (samples < 0)
            return mpegStreamError(AudioFileError::readFailed, "Cannot count the frames of the stream.");
        remember(samples);
        return std::max<std::int64_t>(0, samples - skip_);
    }

private:
    // Keeps the stream's length in samples, with the seek index mpg123 has built, for every later reader.
    void remember(std::int64_t samples) {
        auto count = std::make_shared<MpegStreamCount>();
        count->samples = samples;
        off_t* offsets = nullptr;
        std::size_t fill = 0;
        if (mpg123_index(handle_, &offsets, &count->indexStep, &fill) == MPG123_OK && offsets)
            count->index.assign(offsets, offsets + fill);
        mpegStreamCounts().remember(key_, std::move(count));
        counted_ = true;
    }

    Error decoderError() const {
        return mpegStreamError(AudioFileError::unreadable,
                               std::string("Cannot decode the audio: ") + mpg123_strerror(handle_));
    }

    // Decodes and drops `frames` frames; fewer at the end of the stream.
    Result<void> discard(std::int64_t frames) {
        // Every sample lands on the one float.
        float sink = 0;
        std::array<float*, AudioFormat::maxChannels> channels;
        channels.fill(&sink);
        while (frames > 0) {
            const auto chunk = std::uint32_t(std::min<std::int64_t>(frames, mpegStreamChunkFrames));
            auto got = read(ChannelPointers{channels.data(), 0}, chunk);
            if (!got) return got.error();
            if (*got == 0) break;
            frames -= *got;
        }
        return {};
    }

    mpg123_handle* handle_;
    // AudioFile's descriptor of the file.
    int file_;
    std::uint32_t channels_ = 0;
    // The encoder's and the decoder's delay, in frames decoded before the first of the file.
    std::int64_t skip_ = 0;
    // Frames decoded so far from the start of the stream, the delay included; -1 after a failed seek.
    std::int64_t decoded_ = 0;
    FileStamp key_;
    // The stream's length is known to the counts: found there at the start, or told them since.
    bool counted_ = false;
    std::vector<float> scratch_;
};

// Where the stream of a file `fileSize` bytes long ends, before the tags taggers put after it (an
// APEv2 tag with a cover, Lyrics3, an appended ID3v2 tag, ID3v1), which can outweigh a short stream.
template <typename ReadAt>
std::uint64_t mpegStreamEnd(ReadAt& readAt, std::uint64_t start, std::uint64_t fileSize) {
    std::uint64_t end = fileSize;
    auto littleEndian32 = [](const unsigned char* b) {
        return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
               std::uint32_t(b[3]) << 24;
    };
    // ID3v1 comes last; the others before it, each at most once, in any order.
    unsigned char id3v1[3];
    if (fileSize >= start + 128 && readAt(fileSize - 128, id3v1, 3) == 3 && std::memcmp(id3v1, "TAG", 3) == 0)
        end -= 128;
    for (int tags = 0; tags < 3; ++tags) {
        unsigned char tail[32];
        if (end < start + sizeof tail || readAt(end - sizeof tail, tail, sizeof tail) != sizeof tail) break;
        std::uint64_t tag = 0;
        if (std::memcmp(tail, "APETAGEX", 8) == 0)
            // The size counts the items and the footer; a header may come before them.
            tag = std::uint64_t(littleEndian32(tail + 12)) + ((tail[23] & 0x80) ? 32 : 0);
        else if (std::memcmp(tail + 32 - 9, "LYRICS200", 9) == 0) {
            // Six digits of size before the mark, which it does not count.
            const unsigned char* digits = tail + 32 - 15;
            if (std::all_of(digits, digits + 6, [](unsigned char d) { return std::isdigit(d) != 0; }))
                tag = std::stoull(std::string(digits, digits + 6)) + 15;
        } else if (std::memcmp(tail + 32 - 10, "3DI", 3) == 0)
            tag = 20 + (std::uint64_t(tail[28] & 0x7f) << 21 | std::uint64_t(tail[29] & 0x7f) << 14 |
                        std::uint64_t(tail[30] & 0x7f) << 7 | std::uint64_t(tail[31] & 0x7f));
        if (tag == 0 || tag > end - start) break;
        end -= tag;
    }
    return end;
}

} // namespace

std::optional<MpegInfoHeader> mpegUnderstatedStream(int descriptor, std::uint64_t fileSize) {
    auto readAt = [&](std::uint64_t at, unsigned char* into, std::size_t count) {
        const ssize_t got = ::pread(descriptor, into, count, off_t(at));
        return got < 0 ? std::size_t(0) : std::size_t(got);
    };
    // Past the ID3v2 tags in front.
    std::uint64_t at = 0;
    for (int tags = 0; tags < 4; ++tags) {
        unsigned char tag[10];
        if (readAt(at, tag, sizeof tag) != sizeof tag || std::memcmp(tag, "ID3", 3) != 0) break;
        at += 10 + (std::uint64_t(tag[6] & 0x7f) << 21 | std::uint64_t(tag[7] & 0x7f) << 14 |
                    std::uint64_t(tag[8] & 0x7f) << 7 | std::uint64_t(tag[9] & 0x7f));
        if (tag[5] & 0x10) at += 10; // a footer
    }
    // The info header is the first frame's side information: a few bytes of padding may come first.
    unsigned char head[2048];
    const std::size_t got = readAt(at, head, sizeof head);
    for (std::size_t i = 0; i + 4 <= got; ++i) {
        const unsigned char* frame = head + i;
        if (frame[0] != 0xff || (frame[1] & 0xe0) != 0xe0) continue;
        const int version = (frame[1] >> 3) & 3, layer = (frame[1] >> 1) & 3;
        const int bitrate = frame[2] >> 4, rate = (frame[2] >> 2) & 3;
        if (version == 1 || layer != 1 || bitrate == 0 || bitrate == 15 || rate == 3) continue;
        const bool mono = (frame[3] >> 6) == 3;
        const std::size_t sideInfo = version == 3 ? (mono ? 17 : 32) : (mono ? 9 : 17);
        const std::size_t tag = i + 4 + sideInfo;
        // The first frame is audio: there is no header to disagree with.
        if (tag + 16 > got ||
            (std::memcmp(head + tag, "Xing", 4) != 0 && std::memcmp(head + tag, "Info", 4) != 0))
            return std::nullopt;
        // Both the frame count and the byte count are needed.
        if ((mpegBigEndian32(head + tag + 4) & 3) != 3) return std::nullopt;
        MpegInfoHeader header;
        header.statedFrames = mpegBigEndian32(head + tag + 8);
        header.statedBytes = mpegBigEndian32(head + tag + 12);
        const std::uint64_t start = at + i;
        const std::uint64_t end = mpegStreamEnd(readAt, start, fileSize);
        header.heldBytes = end - start;
        // More than the decoder's own tolerance: it warns past 1%.
        if (header.statedFrames == 0 || header.statedBytes == 0 ||
            header.heldBytes <= header.statedBytes + header.statedBytes / 100)
            return std::nullopt;
        return header;
    }
    return std::nullopt;
}

Result<std::unique_ptr<AudioFileBackend>> openMpegStreamReader(int descriptor, const std::string& path,
                                                               const MpegInfoHeader& header,
                                                               AudioFileBackend::Info& info) {
    static const int initialised = mpg123_init();
    (void)initialised;
    int status = MPG123_OK;
    mpg123_handle* handle = mpg123_new(nullptr, &status);
    if (!handle)
        return audioFileError(AudioFileError::unreadable, "Cannot read audio file", path,
                              mpg123_plain_strerror(status));
    auto reader = std::make_unique<MpegStreamReader>(handle, descriptor);
    if (auto started = reader->start(header, info); !started)
        return audioFileError(AudioFileError::unreadable, "Cannot read audio file", path,
                              started.error().message);
    return std::unique_ptr<AudioFileBackend>(std::move(reader));
}

} // namespace platform

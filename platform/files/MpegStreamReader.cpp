#include "platform/files/MpegStreamReader.h"

#include "platform/audio/AudioFormat.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/files/AudioConverter.h"
#include "platform/foundation/Files.h"

#include <mpg123.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>
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

// A run of frames at one rate: where it starts in mpg123's numbering of frames, and where its samples
// start once every take is brought to the first take's rate.
struct MpegRun {
    off_t firstFrame = 0;
    long rate = 0;
    int samplesPerFrame = 0;
    std::int64_t samples = 0; // decoded, at its own rate
    std::int64_t start = 0;   // at the first take's rate, from the start of the stream
};

// The samples of a run at the first take's rate `firstRate`: what the rate converter makes of it,
// exactly (see AudioConverter).
std::int64_t mpegRunLength(const MpegRun& run, long firstRate) {
    return run.rate == firstRate ? run.samples
                                 : std::llround(double(run.samples) * (double(firstRate) / double(run.rate)));
}

// What counting a stream's frames found: its samples at the first take's rate, its runs and mpg123's
// seek index, which spares a later reader the walk through every frame before a far target.
struct MpegStreamCount {
    std::int64_t samples = 0;
    std::vector<MpegRun> runs;
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

// Never destroyed: a count may still be running on a background queue while the program's statics go.
MpegStreamCounts& mpegStreamCounts() {
    static MpegStreamCounts* const counts = new MpegStreamCounts;
    return *counts;
}

// Set at quit: counts running then stop at their next frame instead of holding the program's exit.
std::atomic<bool> mpegStreamCountsStopped{false};

// The file as mpg123 reads it: AudioFile's descriptor at an offset of its own. mpg123 takes a failed read
// for the end of the stream; the failure is kept here so that it is not.
struct MpegSource {
    int descriptor = -1;
    off_t position = 0;
    int error = 0;
};

ssize_t mpegSourceRead(void* handle, void* into, std::size_t count) {
    auto& source = *static_cast<MpegSource*>(handle);
    for (;;) {
        const ssize_t got = ::pread(source.descriptor, into, count, source.position);
        if (got >= 0) {
            source.position += got;
            return got;
        }
        if (errno == EINTR) continue;
        source.error = errno;
        return -1;
    }
}

off_t mpegSourceSeek(void* handle, off_t offset, int whence) {
    auto& source = *static_cast<MpegSource*>(handle);
    off_t at = offset;
    if (whence == SEEK_CUR) at += source.position;
    if (whence == SEEK_END) {
        struct stat st {};
        if (::fstat(source.descriptor, &st) != 0) return -1;
        at += st.st_size;
    }
    if (at < 0) return -1;
    return source.position = at;
}

Error mpegStreamError(AudioFileError code, const std::string& what) {
    return Error::make(audioFileErrorDomain, what, int(code));
}

class MpegStreamReader final : public AudioFileBackend {
public:
    explicit MpegStreamReader(int file) : file_(file) { source_.descriptor = file; }
    ~MpegStreamReader() override { mpg123_delete(handle_); }

    // Opens the stream, learns its rate and channels and the encoder's and decoder's delay.
    Result<void> start(const MpegInfoHeader& header, AudioFileBackend::Info& info) {
        if (auto opened = reopen(); !opened) return opened;
        long rate = 0;
        int channels = 0, encoding = 0;
        if (mpg123_getformat(handle_, &rate, &channels, &encoding) != MPG123_OK) return decoderError();
        if (channels < 1 || std::uint32_t(channels) > AudioFormat::maxChannels || rate <= 0)
            return mpegStreamError(AudioFileError::unreadable, "unsupported format");
        rate_ = runRate_ = rate;
        channels_ = std::uint32_t(channels);
        // Takes of the other channel count are mixed or doubled by the decoder itself.
        if (auto formats = allowFormats(); !formats) return formats;
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
            takeCount(count);
            info.length = std::max<std::int64_t>(0, count->samples - skip_);
        } else {
            info.length =
                std::max<std::int64_t>(0, std::int64_t(header.estimatedFrames) * samplesPerFrame - skip_);
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
        // An error met after some frames were handed out is the answer to the read that follows.
        if (pendingError_) return std::exchange(pendingError_, std::nullopt).value();
        if (!handle_) return mpegStreamError(AudioFileError::readFailed, "The stream must be found again.");
        std::uint32_t done = 0;
        // A frame that decodes to nothing (a joined part's info header) is passed over; a run of them
        // is no stream.
        int empty = 0;
        while (done < frames) {
            if (const std::size_t waiting = converted_.size() / channels_ - convertedTaken_) {
                const auto n = std::uint32_t(std::min<std::size_t>(waiting, frames - done));
                spread(converted_.data() + convertedTaken_ * channels_, into, done, n);
                convertedTaken_ += n;
                done += n;
                decoded_ += n;
                continue;
            }
            if (ended_ || empty >= 64) break;
            const std::uint32_t chunk = std::min(frames - done, mpegStreamChunkFrames);
            std::size_t bytes = 0;
            // Whole frames of the formats allowed: the decoder never writes more than this.
            const int status = mpg123_read(handle_, reinterpret_cast<unsigned char*>(scratch_.data()),
                                           std::size_t(chunk) * channels_ * sizeof(float), &bytes);
            const auto got = std::uint32_t(std::min<std::size_t>(bytes / (sizeof(float) * channels_), chunk));
            empty = got ? 0 : empty + 1;
            if (got && !converter_) {
                spread(scratch_.data(), into, done, got);
                done += got;
                decoded_ += got;
            } else if (got) {
                if (auto converted = convert(got); !converted) return fail(converted.error(), done);
            }
            if (status == MPG123_NEW_FORMAT) {
                long rate = 0;
                int channels = 0, encoding = 0;
                if (mpg123_getformat(handle_, &rate, &channels, &encoding) != MPG123_OK)
                    return fail(decoderError(), done);
                if (rate != runRate_)
                    if (auto begun = beginRun(rate); !begun) return fail(begun.error(), done);
                continue;
            }
            if (status == MPG123_DONE && source_.error == 0) {
                if (auto finished = finishRun(); !finished) return fail(finished.error(), done);
                ended_ = true;
                // Read to its end at one rate, the stream has told what a count would: later readers
                // need not count.
                if (!count_ && decoded_ >= 0 && !convertedAny_ && runs_.size() <= 1)
                    keepCount({MpegRun{0, rate_, std::max(1, mpg123_spf(handle_)), decoded_, 0}}, decoded_);
                continue;
            }
            if (status != MPG123_OK) return fail(decoderError(AudioFileError::readFailed), done);
        }
        return done;
    }

    Result<void> seek(std::int64_t frame) override {
        pendingError_.reset();
        // The decoder's positions count the delay dropped at the start.
        const std::int64_t target = frame + skip_;
        if (decodesOnTo(target)) return discard(target - decoded_);
        decoded_ = -1;
        if (!runsComplete_ && target >= knownEnd())
            if (auto walked = walk(target + 1); !walked) return walked;
        const auto run =
            std::find_if(runs_.rbegin(), runs_.rend(), [&](const MpegRun& r) { return r.start <= target; });
        if (run == runs_.rend() || target >= knownEnd()) {
            // Past the end of the stream: nothing is read from there.
            ended_ = true;
            decoded_ = target;
            clearConverted();
            return {};
        }
        if (!handle_)
            if (auto opened = reopenWithFormats(); !opened) return opened;
        // Within a take at the first rate, eight frames before the target (never before the take);
        // in one brought to that rate, from its start, where the conversion of its samples starts.
        off_t first = 0;
        if (run->rate == rate_)
            first = off_t(std::max<std::int64_t>(0, (target - run->start) / run->samplesPerFrame - 8));
        const off_t reached = mpg123_seek_frame(handle_, run->firstFrame + first, SEEK_SET);
        if (reached != run->firstFrame + first) {
            Error error =
                mpegStreamError(AudioFileError::readFailed, "Cannot move to frame " + std::to_string(frame) +
                                                                ": " + decoderError().message);
            closeHandle();
            return error;
        }
        ended_ = false;
        clearConverted();
        if (auto begun = beginRun(run->rate, false); !begun) return begun;
        decoded_ = run->start + std::int64_t(first) * run->samplesPerFrame;
        return discard(target - decoded_);
    }

    Result<std::int64_t> measureLength() override {
        decoded_ = -1;
        pendingError_.reset();
        // The count walks every frame header, decoding none.
        if (auto walked = walk(std::numeric_limits<std::int64_t>::max()); !walked) return walked.error();
        keepCount(runs_, knownEnd());
        // The walk left the decoder between frames: reads start again from a fresh handle.
        closeHandle();
        return std::max<std::int64_t>(0, count_->samples - skip_);
    }

    bool seekWalks(std::int64_t frame) const override {
        const std::int64_t target = frame + skip_;
        if (decodesOnTo(target)) return false;
        // A minute of frames is walked, or decoded, in a few milliseconds.
        const std::int64_t far = 60 * std::int64_t(rate_);
        if (!runsComplete_ && target > knownEnd() + far) return true;
        const auto run =
            std::find_if(runs_.rbegin(), runs_.rend(), [&](const MpegRun& r) { return r.start <= target; });
        return run != runs_.rend() && run->rate != rate_ && target - run->start > far;
    }

private:
    // Puts `frames` interleaved frames of `from` into the channels of `into`, from frame `at` on.
    void spread(const float* from, ChannelPointers into, std::uint32_t at, std::uint32_t frames) const {
        for (std::uint32_t c = 0; c < channels_; ++c) {
            float* out = into.channels[c] + std::size_t(at) * into.stride;
            for (std::uint32_t i = 0; i < frames; ++i)
                out[i * into.stride] = from[std::size_t(i) * channels_ + c];
        }
    }

    // Whether the target lies a short way ahead of where decoding stands: decoding on is as exact.
    bool decodesOnTo(std::int64_t target) const {
        return handle_ && decoded_ >= 0 && target >= decoded_ && target - decoded_ <= mpegStreamPreroll;
    }

    std::int64_t knownEnd() const {
        return runs_.empty() ? 0 : runs_.back().start + mpegRunLength(runs_.back(), rate_);
    }

    void takeCount(const std::shared_ptr<const MpegStreamCount>& count) {
        count_ = count;
        runs_ = count->runs;
        runsComplete_ = true;
        useIndex();
    }

    // Walks the frame headers from the start until the runs known reach `until` (at the first rate), or
    // to the end, decoding none; mpg123 indexes the frames passed, for the seek that follows.
    Result<void> walk(std::int64_t until) {
        if (auto opened = reopenWithFormats(); !opened) return opened;
        runs_.clear();
        runsComplete_ = false;
        while (knownEnd() < until) {
            if (mpegStreamCountsStopped.load(std::memory_order_relaxed)) {
                closeHandle();
                return mpegStreamError(AudioFileError::readFailed, "The count was stopped.");
            }
            const int status = mpg123_framebyframe_next(handle_);
            if (status == MPG123_DONE && source_.error == 0) {
                runsComplete_ = true;
                break;
            }
            long rate = runs_.empty() ? 0 : runs_.back().rate;
            if (status == MPG123_NEW_FORMAT) {
                int channels = 0, encoding = 0;
                if (mpg123_getformat(handle_, &rate, &channels, &encoding) != MPG123_OK) rate = 0;
            } else if (status != MPG123_OK) {
                rate = 0;
            }
            const int samplesPerFrame = mpg123_spf(handle_);
            if (rate <= 0 || samplesPerFrame <= 0) {
                Error error =
                    mpegStreamError(AudioFileError::readFailed,
                                    "Cannot count the frames of the stream: " + decoderError().message);
                closeHandle();
                return error;
            }
            if (runs_.empty() || rate != runs_.back().rate || samplesPerFrame != runs_.back().samplesPerFrame)
                runs_.push_back(MpegRun{mpg123_tellframe(handle_), rate, samplesPerFrame, 0, knownEnd()});
            runs_.back().samples += samplesPerFrame;
        }
        decoded_ = -1;
        return {};
    }

    // Keeps the runs of the whole stream, `samples` long, with the seek index mpg123 has built, for this
    // reader and every later one.
    void keepCount(std::vector<MpegRun> runs, std::int64_t samples) {
        auto count = std::make_shared<MpegStreamCount>();
        count->samples = samples;
        count->runs = std::move(runs);
        off_t* offsets = nullptr;
        std::size_t fill = 0;
        if (mpg123_index(handle_, &offsets, &count->indexStep, &fill) == MPG123_OK && offsets)
            count->index.assign(offsets, offsets + fill);
        count_ = count;
        runs_ = count->runs;
        runsComplete_ = true;
        mpegStreamCounts().remember(key_, std::move(count));
    }

    // Decoding goes on in a run at `rate`: a rate other than the first take's is converted to it.
    Result<void> beginRun(long rate, bool finishing = true) {
        if (finishing)
            if (auto finished = finishRun(); !finished) return finished;
        runRate_ = rate;
        converter_.reset();
        if (rate == rate_) return {};
        convertedAny_ = true;
        const std::optional<AudioFormat> from = AudioFormat::standard(double(rate), channels_),
                                         to = AudioFormat::standard(double(rate_), channels_);
        if (!from || !to) return mpegStreamError(AudioFileError::unreadable, "unsupported format");
        auto converter = AudioConverter::make(*from, *to);
        if (!converter) return converter.error();
        converter_ = std::move(converter.value());
        native_ = PcmBuffer::make(*from, mpegStreamChunkFrames);
        if (!native_) return mpegStreamError(AudioFileError::readFailed, "Not enough memory.");
        return {};
    }

    // The rest of a converted run, to its exact length.
    Result<void> finishRun() {
        if (!converter_) return {};
        return converter_->finish([this](const PcmBuffer& out) { return keepConverted(out); });
    }

    Result<void> convert(std::uint32_t frames) {
        for (std::uint32_t c = 0; c < channels_; ++c) {
            float* to = native_->channel(c);
            for (std::uint32_t i = 0; i < frames; ++i)
                to[i] = scratch_[std::size_t(i) * channels_ + c];
        }
        native_->setFrameLength(frames);
        return converter_->convert(*native_, [this](const PcmBuffer& out) { return keepConverted(out); });
    }

    Result<void> keepConverted(const PcmBuffer& out) {
        if (convertedTaken_ > 0) {
            converted_.erase(converted_.begin(),
                             converted_.begin() + std::ptrdiff_t(convertedTaken_ * channels_));
            convertedTaken_ = 0;
        }
        const std::size_t at = converted_.size();
        converted_.resize(at + std::size_t(out.frameLength()) * channels_);
        for (std::uint32_t c = 0; c < channels_; ++c)
            for (std::uint32_t i = 0; i < out.frameLength(); ++i)
                converted_[at + std::size_t(i) * channels_ + c] = out.channel(c)[i];
        return {};
    }

    void clearConverted() {
        converted_.clear();
        convertedTaken_ = 0;
    }

    // A failed read: the frames read so far go out, the failure with the next read; the decoder's state
    // after a failure is not to be trusted, so the next access opens the stream anew.
    Result<std::uint32_t> fail(Error error, std::uint32_t done) {
        closeHandle();
        if (done == 0) return error;
        pendingError_ = std::move(error);
        return done;
    }

    Error decoderError(AudioFileError code = AudioFileError::unreadable) const {
        if (source_.error != 0)
            return mpegStreamError(AudioFileError::readFailed,
                                   std::string("Cannot read the audio: ") + std::strerror(source_.error));
        return mpegStreamError(code, std::string("Cannot decode the audio: ") +
                                         (handle_ ? mpg123_strerror(handle_) : "no decoder"));
    }

    void closeHandle() {
        mpg123_delete(handle_);
        handle_ = nullptr;
        decoded_ = -1;
        ended_ = false;
        clearConverted();
    }

    // A fresh decoder on the file from its start.
    Result<void> reopen() {
        closeHandle();
        int status = MPG123_OK;
        handle_ = mpg123_new(nullptr, &status);
        if (!handle_)
            return mpegStreamError(AudioFileError::unreadable,
                                   std::string("Cannot decode the audio: ") + mpg123_plain_strerror(status));
        // Without gapless decoding: mpg123 then skips the info header of a part joined on as it decodes
        // and as it seeks alike, so that a seek past the join lands where a continuous decode does. The
        // first part's delay is dropped here instead.
        mpg123_param(handle_, MPG123_FLAGS, MPG123_QUIET | MPG123_FORCE_FLOAT, 0.0);
        // Past any damage to the next frame that parses, as far as it lies: the count does the same, so
        // that what is counted is what is read.
        mpg123_param(handle_, MPG123_RESYNC_LIMIT, -1, 0.0);
        source_.position = 0;
        source_.error = 0;
        if (mpg123_replace_reader_handle(handle_, &mpegSourceRead, &mpegSourceSeek, nullptr) != MPG123_OK ||
            mpg123_open_handle(handle_, &source_) != MPG123_OK) {
            Error error = decoderError();
            closeHandle();
            return error;
        }
        decoded_ = 0;
        runRate_ = rate_;
        converter_.reset();
        return {};
    }

    // Every rate at the first take's channel count, so that the decoder never converts a rate itself:
    // its own conversion, or a format it could not set up, is what left it writing frames of one take
    // into a buffer sized for another's. A take at another rate is converted here instead.
    Result<void> allowFormats() {
        const long* rates = nullptr;
        std::size_t count = 0;
        mpg123_rates(&rates, &count);
        mpg123_format_none(handle_);
        const int layout = channels_ == 1 ? MPG123_MONO : MPG123_STEREO;
        for (std::size_t i = 0; i < count; ++i)
            if (mpg123_format(handle_, rates[i], layout, MPG123_ENC_FLOAT_32) != MPG123_OK)
                return decoderError();
        return {};
    }

    Result<void> reopenWithFormats() {
        if (auto opened = reopen(); !opened) return opened;
        if (auto formats = allowFormats(); !formats) {
            closeHandle();
            return formats;
        }
        useIndex();
        return {};
    }

    void useIndex() {
        // mpg123 copies the index.
        if (count_ && handle_)
            mpg123_set_index(handle_, const_cast<off_t*>(count_->index.data()), count_->indexStep,
                             count_->index.size());
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
            if (pendingError_) return std::exchange(pendingError_, std::nullopt).value();
            if (*got == 0) break;
            frames -= *got;
        }
        return {};
    }

    mpg123_handle* handle_ = nullptr;
    // AudioFile's descriptor of the file.
    int file_;
    MpegSource source_;
    // The first take's rate, which every take is read at.
    long rate_ = 0;
    std::uint32_t channels_ = 0;
    // The encoder's and the decoder's delay, in frames decoded before the first of the file.
    std::int64_t skip_ = 0;
    // Frames handed out so far from the start of the stream, the delay included; -1 when unknown.
    std::int64_t decoded_ = 0;
    // The end of the stream was decoded.
    bool ended_ = false;
    std::optional<Error> pendingError_;
    FileStamp key_;
    std::shared_ptr<const MpegStreamCount> count_;
    // The runs of frames at one rate from the start, as far as known; all of them once counted.
    std::vector<MpegRun> runs_;
    bool runsComplete_ = false;
    // The run being decoded: its rate, and its conversion to the first take's rate.
    long runRate_ = 0;
    // Some run of this reader's was at another rate: the stream is more than one run.
    bool convertedAny_ = false;
    std::unique_ptr<AudioConverter> converter_;
    std::unique_ptr<PcmBuffer> native_;
    // Converted frames not yet handed out, interleaved, and how many of them were.
    std::vector<float> converted_;
    std::size_t convertedTaken_ = 0;
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

// A layer III frame header's facts, for the checks made before any decoder is opened.
struct MpegFrameHeader {
    std::uint32_t bytes = 0;
    int version = 0; // as coded: 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    int rate = 0;    // as coded
    bool mono = false;
    // The most bytes a frame of this version and rate takes, at the highest bit rate.
    std::uint32_t largestBytes = 0;
    // Where a Xing or Info tag would start, from the frame's first byte.
    std::size_t tagOffset() const { return 4 + (version == 3 ? (mono ? 17 : 32) : (mono ? 9 : 17)); }
};

std::optional<MpegFrameHeader> mpegFrameHeader(const unsigned char* b) {
    if (b[0] != 0xff || (b[1] & 0xe0) != 0xe0) return std::nullopt;
    MpegFrameHeader h;
    h.version = (b[1] >> 3) & 3;
    const int layer = (b[1] >> 1) & 3, bitrate = b[2] >> 4;
    h.rate = (b[2] >> 2) & 3;
    if (h.version == 1 || layer != 1 || bitrate == 0 || bitrate == 15 || h.rate == 3) return std::nullopt;
    static constexpr int kbps1[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static constexpr int kbps2[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    static constexpr int rates[4][3] = {
        {11025, 12000, 8000}, {}, {22050, 24000, 16000}, {44100, 48000, 32000}};
    const int kbps = h.version == 3 ? kbps1[bitrate] : kbps2[bitrate];
    h.bytes = std::uint32_t((h.version == 3 ? 144 : 72) * kbps * 1000 / rates[h.version][h.rate] +
                            ((b[2] >> 1) & 1));
    h.mono = (b[3] >> 6) == 3;
    h.largestBytes =
        std::uint32_t((h.version == 3 ? 144 * 320 : 72 * 160) * 1000 / rates[h.version][h.rate] + 1);
    return h;
}

// Whether a frame of `frame`'s bytes holds an info header (Xing, Info or VBRI) rather than audio.
bool mpegIsInfoFrame(const MpegFrameHeader& h, const unsigned char* frame, std::size_t available) {
    const std::size_t xing = h.tagOffset();
    if (xing + 4 <= available &&
        (std::memcmp(frame + xing, "Xing", 4) == 0 || std::memcmp(frame + xing, "Info", 4) == 0))
        return true;
    return 36 + 4 <= available && std::memcmp(frame + 36, "VBRI", 4) == 0;
}

// Where the ID3v2 tags at `at` end (at itself when there is none).
template <typename ReadAt> std::uint64_t mpegPastId3v2(ReadAt& readAt, std::uint64_t at) {
    for (int tags = 0; tags < 4; ++tags) {
        unsigned char tag[10];
        if (readAt(at, tag, sizeof tag) != sizeof tag || std::memcmp(tag, "ID3", 3) != 0) break;
        at += 10 + (std::uint64_t(tag[6] & 0x7f) << 21 | std::uint64_t(tag[7] & 0x7f) << 14 |
                    std::uint64_t(tag[8] & 0x7f) << 7 | std::uint64_t(tag[9] & 0x7f));
        if (tag[5] & 0x10) at += 10; // a footer
    }
    return at;
}

// Whether an MPEG stream goes on at `at`, before `end`: a frame that is an info header (another take's),
// or one followed by another frame of its kind, past the ID3v2 tags a take joined on brings. A few bytes
// of slack either way: headers that count a little more or less than their stream. Zero padding, a tag
// of another kind or stray bytes are no stream.
template <typename ReadAt> bool mpegStreamGoesOnAt(ReadAt& readAt, std::uint64_t at, std::uint64_t end) {
    constexpr std::uint64_t slackBefore = 4, slackAfter = 64;
    at = mpegPastId3v2(readAt, at);
    const std::uint64_t from = at > slackBefore ? at - slackBefore : 0;
    unsigned char window[slackBefore + slackAfter + 64];
    const std::size_t got = readAt(
        from, window, std::size_t(std::min<std::uint64_t>(sizeof window, end > from ? end - from : 0)));
    for (std::size_t i = 0; i + 4 <= got && i <= slackBefore + slackAfter; ++i) {
        const std::optional<MpegFrameHeader> frame = mpegFrameHeader(window + i);
        if (!frame) continue;
        if (mpegIsInfoFrame(*frame, window + i, got - i)) return true;
        const std::uint64_t next = mpegPastId3v2(readAt, from + i + frame->bytes);
        unsigned char head[4];
        if (next + 4 > end || readAt(next, head, 4) != 4) continue;
        if (const std::optional<MpegFrameHeader> after = mpegFrameHeader(head))
            if (after->version == frame->version && after->rate == frame->rate) return true;
    }
    return false;
}

} // namespace

std::optional<MpegInfoHeader> mpegUnderstatedStream(int descriptor, std::uint64_t fileSize) {
    auto readAt = [&](std::uint64_t at, unsigned char* into, std::size_t count) {
        const ssize_t got = ::pread(descriptor, into, count, off_t(at));
        return got < 0 ? std::size_t(0) : std::size_t(got);
    };
    // Past the ID3v2 tags in front.
    const std::uint64_t at = mpegPastId3v2(readAt, 0);
    // The info header is the first frame's side information: a few bytes of padding may come first.
    unsigned char head[2048];
    const std::size_t got = readAt(at, head, sizeof head);
    for (std::size_t i = 0; i + 4 <= got; ++i) {
        const std::optional<MpegFrameHeader> frame = mpegFrameHeader(head + i);
        if (!frame) continue;
        // The first frame is audio: there is no header to disagree with.
        if (!mpegIsInfoFrame(*frame, head + i, got - i)) return std::nullopt;
        MpegInfoHeader header;
        const std::size_t xing = i + frame->tagOffset();
        if (xing + 16 <= got &&
            (std::memcmp(head + xing, "Xing", 4) == 0 || std::memcmp(head + xing, "Info", 4) == 0)) {
            // Both the frame count and the byte count are needed.
            if ((mpegBigEndian32(head + xing + 4) & 3) != 3) return std::nullopt;
            header.statedFrames = mpegBigEndian32(head + xing + 8);
            header.statedBytes = mpegBigEndian32(head + xing + 12);
        } else if (i + 36 + 18 <= got) {
            // VBRI: version, delay and quality, then the bytes and the frames.
            header.statedBytes = mpegBigEndian32(head + i + 36 + 10);
            header.statedFrames = mpegBigEndian32(head + i + 36 + 14);
        } else {
            return std::nullopt;
        }
        const std::uint64_t start = at + i;
        const std::uint64_t end = mpegStreamEnd(readAt, start, fileSize);
        header.heldBytes = end - start;
        // A header that states nothing stands for its own frame at least.
        const std::uint64_t stated = std::max<std::uint64_t>(header.statedBytes, frame->bytes);
        // Fewer frames than the bytes it states could hold even at the highest bit rate: the decoder would
        // stop at the count, whatever the bytes (a broken encoder's or joiner's header).
        const std::uint64_t framesHold =
            std::uint64_t(header.statedFrames) * frame->largestBytes + frame->bytes;
        const std::uint64_t statedHeld = std::min(stated, header.heldBytes);
        const bool tooFewFrames = framesHold + framesHold / 100 < statedHeld;
        // Else more than the decoder's own tolerance (it warns past 1%), and a stream that really goes on
        // where the stated one ends: not padding or a tag of a kind not known here.
        if (!tooFewFrames &&
            (header.heldBytes <= stated + stated / 100 || !mpegStreamGoesOnAt(readAt, start + stated, end)))
            return std::nullopt;
        // The average size of the first frames of audio (a bit rate that varies varies); the header's own
        // ratio of bytes to frames, which spans the whole of the first take, when it agrees with that.
        std::uint64_t at = start + frame->bytes, frames = 0;
        unsigned char audio[4];
        for (; frames < 64 && at + 4 <= end && readAt(at, audio, 4) == 4; ++frames) {
            const std::optional<MpegFrameHeader> next = mpegFrameHeader(audio);
            if (!next) break;
            at += next->bytes;
        }
        double perFrame =
            frames > 0 ? double(at - start - frame->bytes) / double(frames) : double(frame->bytes);
        if (header.statedFrames > 0 && header.statedBytes > frame->bytes) {
            const double stated = double(header.statedBytes) / double(header.statedFrames);
            if (stated > perFrame / 2 && stated < perFrame * 2) perFrame = stated;
        }
        header.estimatedFrames = std::uint64_t(double(header.heldBytes) / std::max(perFrame, 1.0));
        return header;
    }
    return std::nullopt;
}

void stopMpegStreamCounts() {
    mpegStreamCountsStopped.store(true);
}

Result<std::unique_ptr<AudioFileBackend>> openMpegStreamReader(int descriptor, const std::string& path,
                                                               const MpegInfoHeader& header,
                                                               AudioFileBackend::Info& info) {
    static const int initialised = mpg123_init();
    (void)initialised;
    auto reader = std::make_unique<MpegStreamReader>(descriptor);
    if (auto started = reader->start(header, info); !started)
        return audioFileError(AudioFileError::unreadable, "Cannot read audio file", path,
                              started.error().message);
    return std::unique_ptr<AudioFileBackend>(std::move(reader));
}

} // namespace platform

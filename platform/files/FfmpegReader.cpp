#include "platform/files/FfmpegReader.h"

#include "platform/files/FfmpegLimits.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/intreadwrite.h>
#include <libavutil/log.h>
#include <libswresample/swresample.h>
}

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

namespace platform {

namespace {

// AAC needs one frame of history for its overlap; decoding from eight frames before a seek target
// makes the samples at the target equal to those of a continuous decode.
constexpr std::int64_t ffmpegPreroll = 8192;

// Timestamps closer than this to where the previous frame ended count as contiguous.
constexpr std::int64_t ffmpegMinimumGap = 16;

std::string ffmpegErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// Damaged files are reported through our errors; FFmpeg's own log lines would only be noise.
void ffmpegQuietLogs() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_FATAL); });
}

std::int64_t ffmpegToFrames(std::int64_t ts, AVRational timeBase, int rate) {
    return av_rescale_q_rnd(ts, timeBase, AVRational{1, rate},
                            AVRounding(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
}

constexpr int ffmpegBufferSize = 32 * 1024;

// The file a demuxer reads: the descriptor AudioFile opened and checked, read at an offset of the
// demuxer's own (a restart's new demuxer starts again at 0 on the same descriptor).
struct FfmpegSource {
    int descriptor = -1;
    std::int64_t position = 0;
    std::int64_t size = 0;
};

int ffmpegRead(void* opaque, std::uint8_t* into, int size) {
    auto& source = *static_cast<FfmpegSource*>(opaque);
    ssize_t got;
    do
        got = ::pread(source.descriptor, into, std::size_t(size), off_t(source.position));
    while (got < 0 && errno == EINTR);
    if (got < 0) return AVERROR(errno);
    if (got == 0) return AVERROR_EOF;
    source.position += got;
    return int(got);
}

std::int64_t ffmpegSeek(void* opaque, std::int64_t offset, int whence) {
    auto& source = *static_cast<FfmpegSource*>(opaque);
    std::int64_t at = 0;
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
        return source.size;
    case SEEK_SET:
        at = offset;
        break;
    case SEEK_CUR:
        at = source.position + offset;
        break;
    case SEEK_END:
        at = source.size + offset;
        break;
    default:
        return AVERROR(EINVAL);
    }
    if (at < 0) return AVERROR(EINVAL);
    return source.position = at;
}

// One open demuxer with the decoder of its audio stream.
struct FfmpegStreams {
    FfmpegSource source;
    AVIOContext* io = nullptr;
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    int stream = -1;

    FfmpegStreams() = default;
    FfmpegStreams(const FfmpegStreams&) = delete;
    FfmpegStreams& operator=(const FfmpegStreams&) = delete;
    ~FfmpegStreams() {
        avcodec_free_context(&codec);
        // The demuxer leaves a context it was handed alone.
        avformat_close_input(&format);
        if (io) av_freep(&io->buffer);
        avio_context_free(&io);
    }
    AVStream* audio() const { return format->streams[stream]; }
};

constexpr const char* ffmpegNoAudioTrack = "no audio track";

// Opens the best audio stream of the file open at `descriptor`, known as `path` (its extension helps
// the probe); an empty string on success, else what went wrong.
std::string ffmpegOpen(int descriptor, const std::string& path, FfmpegStreams& s) {
    struct stat st {};
    if (::fstat(descriptor, &st) != 0) return std::strerror(errno);
    s.source = {descriptor, 0, std::int64_t(st.st_size)};
    auto* buffer = static_cast<unsigned char*>(av_malloc(ffmpegBufferSize));
    if (buffer)
        s.io = avio_alloc_context(buffer, ffmpegBufferSize, 0, &s.source, &ffmpegRead, nullptr, &ffmpegSeek);
    if (!s.io) av_free(buffer);
    if (s.io) s.format = avformat_alloc_context();
    if (!s.format) return "out of memory";
    s.format->pb = s.io;
    AVDictionary* options = nullptr;
    ffmpegLimitInput(&options, ffmpegAudioDemuxers);
    int r = avformat_open_input(&s.format, path.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (r < 0) return ffmpegErrorText(r);
    if ((r = avformat_find_stream_info(s.format, nullptr)) < 0) return ffmpegErrorText(r);
    const AVCodec* decoder = nullptr;
    s.stream = av_find_best_stream(s.format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (s.stream < 0)
        return s.stream == AVERROR_DECODER_NOT_FOUND ? "no decoder for its audio" : ffmpegNoAudioTrack;
    for (unsigned i = 0; i < s.format->nb_streams; ++i)
        if (int(i) != s.stream) s.format->streams[i]->discard = AVDISCARD_ALL;
    s.codec = avcodec_alloc_context3(decoder);
    if (!s.codec) return "out of memory";
    if ((r = avcodec_parameters_to_context(s.codec, s.audio()->codecpar)) < 0) return ffmpegErrorText(r);
    s.codec->pkt_timebase = s.audio()->time_base;
    if ((r = avcodec_open2(s.codec, decoder, nullptr)) < 0) return ffmpegErrorText(r);
    if (s.codec->sample_rate <= 0) return "no sample rate";
    const int channels = s.codec->ch_layout.nb_channels;
    if (channels < 1 || std::uint32_t(channels) > AudioFormat::maxChannels)
        return "unsupported channel count " + std::to_string(channels);
    return {};
}

AudioStreamDescription ffmpegDescribe(const FfmpegStreams& s) {
    AudioStreamDescription d;
    const AVCodecParameters* par = s.audio()->codecpar;
    d.sampleRate = s.codec->sample_rate;
    d.channelsPerFrame = std::uint32_t(s.codec->ch_layout.nb_channels);
    const std::string demuxer = s.format->iformat->name;
    if (demuxer.find("mov") != std::string::npos)
        d.fileType = AudioFileType::mpeg4;
    else if (demuxer == "aac")
        d.fileType = AudioFileType::adts;
    else if (demuxer == "mpegts")
        d.fileType = AudioFileType::mpegTransportStream;
    else
        d.fileType = AudioFileType::other;
    switch (par->codec_id) {
    case AV_CODEC_ID_AAC:
    case AV_CODEC_ID_AAC_LATM:
        d.formatID = audioFormatID::mpeg4AAC;
        break;
    case AV_CODEC_ID_MP3:
        d.formatID = audioFormatID::mpegLayer3;
        break;
    case AV_CODEC_ID_ALAC:
        d.formatID = audioFormatID::appleLossless;
        break;
    case AV_CODEC_ID_FLAC:
        d.formatID = audioFormatID::flac;
        break;
    case AV_CODEC_ID_OPUS:
        d.formatID = audioFormatID::opus;
        break;
    case AV_CODEC_ID_VORBIS:
        d.formatID = audioFormatID::vorbis;
        break;
    default:
        break;
    }
    if (par->codec_id == AV_CODEC_ID_ALAC || par->codec_id == AV_CODEC_ID_FLAC)
        d.bitsPerChannel = std::uint32_t(std::max(0, par->bits_per_raw_sample));
    const AVCodecDescriptor* desc = avcodec_descriptor_get(par->codec_id);
    if (desc && std::strncmp(desc->name, "pcm_", 4) == 0 && av_get_bits_per_sample(par->codec_id) > 0) {
        d.formatID = audioFormatID::linearPCM;
        d.bitsPerChannel = std::uint32_t(av_get_bits_per_sample(par->codec_id));
        d.isFloat = std::strncmp(desc->name, "pcm_f", 5) == 0;
        const std::size_t len = std::strlen(desc->name);
        d.isBigEndian = len > 2 && std::strcmp(desc->name + len - 2, "be") == 0;
    }
    return d;
}

class FfmpegReader final : public AudioFileBackend {
public:
    FfmpegReader(int descriptor, std::string path, std::unique_ptr<FfmpegStreams> streams)
        : descriptor_(descriptor), path_(std::move(path)), streams_(std::move(streams)),
          packet_(av_packet_alloc()), frame_(av_frame_alloc()),
          channels_(std::uint32_t(streams_->codec->ch_layout.nb_channels)),
          rate_(streams_->codec->sample_rate), pending_(channels_) {
        const AVStream* st = streams_->audio();
        origin_ = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
        // Raw ADTS has no index to seek by: it decodes forward, from the start for earlier targets.
        timestampSeek_ = std::string(streams_->format->iformat->name) != "aac";
    }
    ~FfmpegReader() override {
        swr_free(&swr_);
        av_frame_free(&frame_);
        av_packet_free(&packet_);
    }

    bool valid() const { return packet_ && frame_; }

    // The number of frames that decode: the stream's own duration where the container states it
    // exactly (MPEG-4: FFmpeg drops the priming samples, and the end padding lies beyond the
    // duration); otherwise counted packet by packet (ADTS, TS, and MPEG-4 without a duration).
    Result<std::int64_t> measureLength() {
        AVStream* st = streams_->audio();
        std::int64_t stated = -1;
        if (streams_->format->duration_estimation_method == AVFMT_DURATION_FROM_STREAM && st->duration > 0) {
            stated = ffmpegToFrames(st->duration, st->time_base, rate_);
            // Trust it unless the index points past the end of a cut file.
            const int entries = avformat_index_get_entries_count(st);
            const AVIndexEntry* last = entries > 0 ? avformat_index_get_entry(st, entries - 1) : nullptr;
            const std::int64_t size = avio_size(streams_->format->pb);
            if (!last || size < 0 || last->pos + last->size <= size) return stated;
        }
        std::int64_t total = 0;
        while (av_read_frame(streams_->format, packet_) >= 0) {
            if (packet_->stream_index == streams_->stream && !(packet_->flags & AV_PKT_FLAG_CORRUPT)) {
                std::int64_t frames = packet_->duration > 0
                                          ? ffmpegToFrames(packet_->duration, st->time_base, rate_)
                                          : av_get_audio_frame_duration2(st->codecpar, packet_->size);
                std::size_t size = 0;
                if (const std::uint8_t* skip =
                        av_packet_get_side_data(packet_, AV_PKT_DATA_SKIP_SAMPLES, &size);
                    skip && size >= 8)
                    frames -= std::int64_t(AV_RL32(skip)) + std::int64_t(AV_RL32(skip + 4));
                total += std::max<std::int64_t>(0, frames);
            }
            av_packet_unref(packet_);
        }
        if (auto r = restart(); !r) return r.error();
        return stated >= 0 ? std::min(stated, total) : total;
    }

    Result<std::uint32_t> read(ChannelPointers into, std::uint32_t frames) override {
        std::uint32_t done = 0;
        while (done < frames) {
            if (pendingCount_ == 0) {
                auto got = decodeFrame();
                if (!got) return got.error();
                if (!*got) break;
                continue;
            }
            const std::uint32_t n = std::min(frames - done, pendingCount_);
            for (std::uint32_t c = 0; c < channels_; ++c) {
                const float* in = pending_[c].data() + pendingOffset_;
                float* out = into.channels[c] + std::size_t(done) * into.stride;
                if (into.stride == 1)
                    std::memcpy(out, in, n * sizeof(float));
                else
                    for (std::uint32_t i = 0; i < n; ++i)
                        out[i * into.stride] = in[i];
            }
            consume(n);
            done += n;
        }
        return done;
    }

    Result<void> seek(std::int64_t frame) override {
        if (frame == position_) return {};
        // Near targets ahead, files without usable timestamps and targets within the preroll
        // decode forward (from the start if need be): always exact.
        if (frame > position_ && (frame - position_ <= 4 * ffmpegPreroll || !timestampSeek_))
            return discardTo(frame);
        if (!timestampSeek_ || frame <= ffmpegPreroll) {
            if (auto r = restart(); !r) return r;
            return discardTo(frame);
        }
        const AVStream* st = streams_->audio();
        const std::int64_t ts =
            origin_ + av_rescale_q(frame - ffmpegPreroll, AVRational{1, rate_}, st->time_base);
        bool landed = av_seek_frame(streams_->format, streams_->stream, ts, AVSEEK_FLAG_BACKWARD) >= 0;
        if (landed) {
            avcodec_flush_buffers(streams_->codec);
            pendingCount_ = 0;
            drained_ = false;
            needTimestamp_ = true;
            auto got = decodeFrame();
            if (!got) return got.error();
            // The decoder must have run for a while before the target, or the demuxer overshot.
            landed = *got && !timestampMissing_ && position_ <= frame - ffmpegPreroll / 4;
        }
        if (!landed) {
            if (auto r = restart(); !r) return r;
        }
        return discardTo(frame);
    }

private:
    void consume(std::uint32_t n) {
        pendingOffset_ += n;
        pendingCount_ -= n;
        position_ += n;
    }

    Result<void> discardTo(std::int64_t frame) {
        while (position_ < frame) {
            if (pendingCount_ == 0) {
                auto got = decodeFrame();
                if (!got) return got.error();
                if (!*got) break;
                continue;
            }
            consume(std::uint32_t(std::min<std::int64_t>(frame - position_, pendingCount_)));
        }
        return {};
    }

    // Opens the file anew and decodes from its start again.
    Result<void> restart() {
        auto fresh = std::make_unique<FfmpegStreams>();
        if (std::string problem = ffmpegOpen(descriptor_, path_, *fresh); !problem.empty())
            return audioFileError(AudioFileError::readFailed, "Cannot read audio file", path_, problem);
        if (fresh->codec->ch_layout.nb_channels != int(channels_) || fresh->codec->sample_rate != rate_)
            return audioFileError(AudioFileError::readFailed, "Cannot read audio file", path_,
                                  "the file has changed");
        streams_ = std::move(fresh);
        position_ = 0;
        pendingCount_ = 0;
        drained_ = false;
        needTimestamp_ = false;
        return {};
    }

    // Decodes the next frame into pending_; false at the end of the data.
    Result<bool> decodeFrame() {
        AVCodecContext* codec = streams_->codec;
        int failures = 0;
        for (;;) {
            int r = avcodec_receive_frame(codec, frame_);
            if (r == 0) {
                const bool taken = takeFrame();
                av_frame_unref(frame_);
                if (taken) return true;
                continue;
            }
            if (r == AVERROR_EOF) return false;
            if (r != AVERROR(EAGAIN)) {
                // A damaged frame: go on with the next one, but not for ever.
                if (++failures > 64)
                    return audioFileError(AudioFileError::readFailed, "Cannot decode audio file", path_,
                                          ffmpegErrorText(r));
                continue;
            }
            if (drained_) return false;
            r = av_read_frame(streams_->format, packet_);
            if (r < 0) {
                // The end, or data that ends early: decode what the decoder still holds.
                avcodec_send_packet(codec, nullptr);
                drained_ = true;
                continue;
            }
            // A packet cut short by the end of the file cannot decode properly; the length leaves it out.
            if (packet_->stream_index != streams_->stream || (packet_->flags & AV_PKT_FLAG_CORRUPT)) {
                av_packet_unref(packet_);
                continue;
            }
            // A packet that does not decode is dropped; the next frame's timestamp shows the hole.
            avcodec_send_packet(codec, packet_);
            av_packet_unref(packet_);
        }
    }

    // Converts frame_ into pending_; false for a frame that does not fit the stream's format.
    bool takeFrame() {
        const int n = frame_->nb_samples;
        if (n <= 0 || frame_->ch_layout.nb_channels != int(channels_) || frame_->sample_rate != rate_)
            return false;
        const bool stamped = frame_->best_effort_timestamp != AV_NOPTS_VALUE;
        const std::int64_t at = stamped ? ffmpegToFrames(frame_->best_effort_timestamp - origin_,
                                                         streams_->audio()->time_base, rate_)
                                        : 0;
        std::int64_t gap = 0;
        if (needTimestamp_) {
            needTimestamp_ = false;
            timestampMissing_ = !stamped;
            if (stamped) position_ = at;
        } else if (stamped && at - position_ >= ffmpegMinimumGap &&
                   at - position_ <= std::int64_t(rate_) * 10) {
            // Packets that did not decode leave a hole in the timeline: fill it with silence so
            // that every later frame stays where it belongs.
            gap = at - position_;
        }
        const std::size_t needed = std::size_t(gap) + std::size_t(n);
        if (pending_[0].size() < needed)
            for (auto& channel : pending_)
                channel.resize(needed);
        for (auto& channel : pending_)
            std::fill_n(channel.begin(), gap, 0.0f);
        if (frame_->format == AV_SAMPLE_FMT_FLTP) {
            for (std::uint32_t c = 0; c < channels_; ++c)
                std::memcpy(pending_[c].data() + gap, frame_->extended_data[c],
                            std::size_t(n) * sizeof(float));
        } else {
            if (!swr_ || swrFormat_ != frame_->format) {
                swr_free(&swr_);
                if (swr_alloc_set_opts2(&swr_, &frame_->ch_layout, AV_SAMPLE_FMT_FLTP, rate_,
                                        &frame_->ch_layout, AVSampleFormat(frame_->format), rate_, 0,
                                        nullptr) < 0 ||
                    swr_init(swr_) < 0) {
                    swr_free(&swr_);
                    return false;
                }
                swrFormat_ = frame_->format;
            }
            swrOut_.resize(channels_);
            for (std::uint32_t c = 0; c < channels_; ++c)
                swrOut_[c] = reinterpret_cast<std::uint8_t*>(pending_[c].data() + gap);
            const int converted = swr_convert(swr_, swrOut_.data(), n,
                                              const_cast<const std::uint8_t**>(frame_->extended_data), n);
            if (converted != n) return false;
        }
        pendingOffset_ = 0;
        pendingCount_ = std::uint32_t(needed);
        return true;
    }

    int descriptor_;
    std::string path_;
    std::unique_ptr<FfmpegStreams> streams_;
    AVPacket* packet_;
    AVFrame* frame_;
    SwrContext* swr_ = nullptr;
    int swrFormat_ = -1;
    std::vector<std::uint8_t*> swrOut_;
    std::uint32_t channels_;
    int rate_;
    std::int64_t origin_ = 0;
    bool timestampSeek_ = true;

    // Decoded samples not handed out yet; the first of them is at file frame position_.
    std::vector<std::vector<float>> pending_;
    std::uint32_t pendingOffset_ = 0;
    std::uint32_t pendingCount_ = 0;
    std::int64_t position_ = 0;
    bool drained_ = false;
    bool needTimestamp_ = false;
    bool timestampMissing_ = false;
};

} // namespace

Result<std::unique_ptr<AudioFileBackend>> openFfmpegReader(int descriptor, const std::string& path,
                                                           AudioFileBackend::Info& info) {
    ffmpegQuietLogs();
    auto streams = std::make_unique<FfmpegStreams>();
    if (std::string problem = ffmpegOpen(descriptor, path, *streams); !problem.empty()) {
        // A movie without sound is told apart from damage; the ADTS and transport-stream demuxers take
        // noise for an empty stream, so there it stays unreadable.
        const bool movie =
            problem == ffmpegNoAudioTrack && streams->format &&
            std::string_view(streams->format->iformat->name).find("mov") != std::string_view::npos;
        return audioFileError(movie ? AudioFileError::noAudioTrack : AudioFileError::unreadable,
                              "Cannot read audio file", path, problem);
    }
    info.fileFormat = ffmpegDescribe(*streams);
    auto reader = std::make_unique<FfmpegReader>(descriptor, path, std::move(streams));
    if (!reader->valid())
        return audioFileError(AudioFileError::unreadable, "Cannot read audio file", path, "out of memory");
    auto length = reader->measureLength();
    if (!length) return length.error();
    if (*length <= 0)
        return audioFileError(AudioFileError::unreadable, "Cannot read audio file", path, "no audio frames");
    info.length = *length;
    return std::unique_ptr<AudioFileBackend>(std::move(reader));
}

} // namespace platform

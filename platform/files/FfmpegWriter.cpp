#include "platform/files/FfmpegWriter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>

namespace platform {

namespace {

std::string ffmpegWriterErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

class FfmpegWriter final : public AudioFileBackend {
public:
    FfmpegWriter(std::string path, std::uint32_t channels) : path_(std::move(path)), channels_(channels) {}
    ~FfmpegWriter() override {
        (void)close();
        release();
    }

    // What open() found wrong: settings the encoder refuses, or a file that cannot be made.
    struct Problem {
        AudioFileError code = AudioFileError::cannotCreate;
        std::string text;
    };

    // Sets up muxer and encoder and writes the header; an empty text on success.
    Problem open(const AudioFileSettings& settings) {
        auto refused = [](std::string text) {
            return Problem{AudioFileError::invalidSettings, std::move(text)};
        };
        auto failed = [](std::string text) { return Problem{AudioFileError::cannotCreate, std::move(text)}; };
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
        if (!codec) return refused("no AAC encoder");
        const int rate = int(settings.sampleRate);
        bool rateTaken = false;
        for (const int* r = codec->supported_samplerates; r && *r; ++r)
            rateTaken = rateTaken || *r == rate;
        if (!rateTaken) return refused("AAC cannot be encoded at " + std::to_string(rate) + " Hz");
        // The "ipod" muxer writes M4A whatever the path's extension (a temporary has none).
        if (avformat_alloc_output_context2(&format_, nullptr, "ipod", nullptr) < 0 || !format_)
            return refused("no MPEG-4 muxer");
        stream_ = avformat_new_stream(format_, nullptr);
        codec_ = avcodec_alloc_context3(codec);
        frame_ = av_frame_alloc();
        packet_ = av_packet_alloc();
        if (!stream_ || !codec_ || !frame_ || !packet_) return failed("out of memory");
        codec_->sample_fmt = AV_SAMPLE_FMT_FLTP;
        codec_->sample_rate = rate;
        av_channel_layout_default(&codec_->ch_layout, int(channels_));
        codec_->bit_rate = settings.encoderBitRate;
        codec_->time_base = AVRational{1, rate};
        if (format_->oformat->flags & AVFMT_GLOBALHEADER) codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        int r = avcodec_open2(codec_, codec, nullptr);
        if (r < 0) return refused("the AAC encoder refuses these settings: " + ffmpegWriterErrorText(r));
        if ((r = avcodec_parameters_from_context(stream_->codecpar, codec_)) < 0)
            return refused(ffmpegWriterErrorText(r));
        stream_->time_base = codec_->time_base;
        // Never follow the path into another protocol.
        const std::string url = "file:" + path_;
        if ((r = avio_open(&format_->pb, url.c_str(), AVIO_FLAG_WRITE)) < 0)
            return failed(ffmpegWriterErrorText(r));
        AVDictionary* options = nullptr;
        // The edit list that hides the priming samples is kept in the movie's time scale: at the
        // default of 1/1000 s the stated length would be rounded.
        av_dict_set_int(&options, "movie_timescale", rate, 0);
        r = avformat_write_header(format_, &options);
        av_dict_free(&options);
        if (r < 0) return failed(ffmpegWriterErrorText(r));
        frameSize_ = codec_->frame_size > 0 ? std::uint32_t(codec_->frame_size) : 1024;
        if (!startFrame()) return failed("out of memory");
        return {};
    }

    Result<void> write(ConstChannelPointers from, std::uint32_t frames) override {
        if (!open_) return closedError();
        std::uint32_t done = 0;
        while (done < frames) {
            const std::uint32_t n = std::min(frames - done, frameSize_ - filled_);
            for (std::uint32_t c = 0; c < channels_; ++c) {
                auto* out = reinterpret_cast<float*>(frame_->data[c]) + filled_;
                const float* in = from.channels[c] + std::size_t(done) * from.stride;
                for (std::uint32_t i = 0; i < n; ++i)
                    out[i] = in[i * from.stride];
            }
            filled_ += n;
            done += n;
            if (filled_ == frameSize_)
                if (auto sent = sendFrame(); !sent) return sent;
        }
        return {};
    }

    // The encoder takes frames in order only.
    Result<void> seek(std::int64_t frame) override {
        if (frame == written_ + filled_) return {};
        return failure("an AAC file is written in order", AudioFileError::writeFailed);
    }

    Result<void> close() override {
        if (!open_) return {};
        open_ = false;
        Result<void> result;
        if (filled_ > 0) result = sendFrame(false);
        if (result) result = encode(nullptr);
        if (result) {
            if (int r = av_write_trailer(format_); r < 0)
                result = failure("Cannot finish the file: " + ffmpegWriterErrorText(r),
                                 AudioFileError::writeFailed);
        }
        if (format_ && format_->pb) {
            const bool failed = format_->pb->error < 0;
            if (avio_closep(&format_->pb) < 0 || failed)
                if (result) result = failure("Cannot finish the file", AudioFileError::writeFailed);
        }
        return result;
    }

    void markOpen() { open_ = true; }

private:
    Error failure(const std::string& text, AudioFileError code) const {
        return Error::make(audioFileErrorDomain, text + " (\"" + path_ + "\")", int(code));
    }
    Error closedError() const { return failure("The file is closed", AudioFileError::wrongMode); }

    bool startFrame() {
        av_frame_unref(frame_);
        frame_->nb_samples = int(frameSize_);
        frame_->format = AV_SAMPLE_FMT_FLTP;
        frame_->sample_rate = codec_->sample_rate;
        if (av_channel_layout_copy(&frame_->ch_layout, &codec_->ch_layout) < 0) return false;
        return av_frame_get_buffer(frame_, 0) >= 0;
    }

    Result<void> sendFrame(bool another = true) {
        frame_->nb_samples = int(filled_);
        frame_->pts = written_;
        written_ += filled_;
        filled_ = 0;
        auto result = encode(frame_);
        if (result && another && !startFrame()) return failure("Out of memory", AudioFileError::writeFailed);
        return result;
    }

    Result<void> encode(const AVFrame* frame) {
        if (int r = avcodec_send_frame(codec_, frame); r < 0)
            return failure("Cannot encode the audio: " + ffmpegWriterErrorText(r),
                           AudioFileError::writeFailed);
        for (;;) {
            int r = avcodec_receive_packet(codec_, packet_);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return {};
            if (r < 0)
                return failure("Cannot encode the audio: " + ffmpegWriterErrorText(r),
                               AudioFileError::writeFailed);
            av_packet_rescale_ts(packet_, codec_->time_base, stream_->time_base);
            packet_->stream_index = stream_->index;
            r = av_interleaved_write_frame(format_, packet_);
            if (r >= 0 && format_->pb->error < 0) r = format_->pb->error;
            if (r < 0)
                return failure("Cannot write the audio: " + ffmpegWriterErrorText(r),
                               AudioFileError::writeFailed);
        }
    }

    void release() {
        av_packet_free(&packet_);
        av_frame_free(&frame_);
        avcodec_free_context(&codec_);
        if (format_ && format_->pb) avio_closep(&format_->pb);
        avformat_free_context(format_);
        format_ = nullptr;
    }

    std::string path_;
    std::uint32_t channels_;
    AVFormatContext* format_ = nullptr;
    AVStream* stream_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    std::uint32_t frameSize_ = 1024;
    std::uint32_t filled_ = 0;
    std::int64_t written_ = 0;
    bool open_ = false;
};

} // namespace

Result<std::unique_ptr<AudioFileBackend>>
openFfmpegWriter(const std::string& path, const AudioFileSettings& settings, AudioFileBackend::Info& info) {
    auto invalid = [&](const std::string& detail) {
        return audioFileError(AudioFileError::invalidSettings, "Cannot create audio file", path, detail);
    };
    const AudioFileType type = settings.fileType.value_or(audioFileTypeForPath(path));
    if (type != AudioFileType::mpeg4) return invalid("AAC is written in MPEG-4 (M4A) files only");
    const double rate = settings.sampleRate;
    if (!std::isfinite(rate) || rate != std::floor(rate)) return invalid("unsupported sample rate");
    const std::uint32_t channels = settings.numberOfChannels;
    if (channels < 1 || channels > 8) return invalid("AAC holds 1 to 8 channels");
    if (settings.encoderBitRate == 0) return invalid("no bit rate");

    av_log_set_level(AV_LOG_FATAL);
    auto writer = std::make_unique<FfmpegWriter>(path, channels);
    if (auto problem = writer->open(settings); !problem.text.empty())
        return audioFileError(problem.code, "Cannot create audio file", path, problem.text);
    writer->markOpen();
    AudioStreamDescription& d = info.fileFormat;
    d.sampleRate = rate;
    d.formatID = audioFormatID::mpeg4AAC;
    d.channelsPerFrame = channels;
    d.fileType = AudioFileType::mpeg4;
    info.length = 0;
    return std::unique_ptr<AudioFileBackend>(std::move(writer));
}

} // namespace platform

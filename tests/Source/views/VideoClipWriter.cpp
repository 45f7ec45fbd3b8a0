#include "tests/Source/views/VideoClipWriter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <cstdint>

namespace vantle::testing {

namespace {

constexpr int clipWidth = 160;
constexpr int clipHeight = 120;
constexpr int clipRate = 25;
constexpr int clipFrames = 25;

// Owns what one clip needs and frees it on every path out.
struct ClipMuxer {
    AVFormatContext* format = nullptr;
    AVCodecContext* video = nullptr;
    AVStream* videoStream = nullptr;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();

    ~ClipMuxer() {
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&video);
        if (format) {
            if (format->pb) avio_closep(&format->pb);
            avformat_free_context(format);
        }
    }

    // Moves what the encoder has ready into the file; false when writing fails.
    bool drain(AVCodecContext* encoder, AVStream* stream) {
        for (;;) {
            const int got = avcodec_receive_packet(encoder, packet);
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return true;
            if (got < 0) return false;
            // Every picture lasts one frame, the last one included, so the clip is exactly as long as
            // its frames.
            if (packet->duration == 0) packet->duration = 1;
            av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
            packet->stream_index = stream->index;
            if (av_interleaved_write_frame(format, packet) < 0) return false;
        }
    }
};

bool clipOpenVideo(ClipMuxer& mux) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    if (!codec) return false;
    mux.videoStream = avformat_new_stream(mux.format, nullptr);
    mux.video = avcodec_alloc_context3(codec);
    if (!mux.videoStream || !mux.video) return false;
    mux.video->width = clipWidth;
    mux.video->height = clipHeight;
    mux.video->pix_fmt = AV_PIX_FMT_YUV420P;
    mux.video->time_base = AVRational{1, clipRate};
    mux.video->framerate = AVRational{clipRate, 1};
    mux.video->gop_size = 5;
    mux.video->bit_rate = 400000;
    mux.video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(mux.video, codec, nullptr) < 0) return false;
    mux.videoStream->time_base = mux.video->time_base;
    return avcodec_parameters_from_context(mux.videoStream->codecpar, mux.video) >= 0;
}

// Moving diagonal stripes whose colour changes from frame to frame.
bool clipWritePictures(ClipMuxer& mux) {
    AVFrame* frame = mux.frame;
    frame->format = mux.video->pix_fmt;
    frame->width = clipWidth;
    frame->height = clipHeight;
    if (av_frame_get_buffer(frame, 0) < 0) return false;
    for (int i = 0; i < clipFrames; ++i) {
        if (av_frame_make_writable(frame) < 0) return false;
        for (int y = 0; y < clipHeight; ++y)
            for (int x = 0; x < clipWidth; ++x)
                frame->data[0][y * frame->linesize[0] + x] = std::uint8_t((x + y + 8 * i) & 0xFF);
        for (int y = 0; y < clipHeight / 2; ++y)
            for (int x = 0; x < clipWidth / 2; ++x) {
                frame->data[1][y * frame->linesize[1] + x] = std::uint8_t(128 + 4 * i);
                frame->data[2][y * frame->linesize[2] + x] = std::uint8_t(128 - 4 * i);
            }
        frame->pts = i;
        if (avcodec_send_frame(mux.video, frame) < 0 || !mux.drain(mux.video, mux.videoStream)) return false;
    }
    av_frame_unref(frame);
    return avcodec_send_frame(mux.video, nullptr) >= 0 && mux.drain(mux.video, mux.videoStream);
}

} // namespace

std::string writeVideoClip(const std::string& path) {
    ClipMuxer mux;
    if (!mux.frame || !mux.packet) return "out of memory";
    if (avformat_alloc_output_context2(&mux.format, nullptr, "mp4", path.c_str()) < 0) return "no MP4 muxer";
    if (!clipOpenVideo(mux)) return "no MPEG-4 video encoder";
    if (avio_open(&mux.format->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) return "cannot create " + path;
    if (avformat_write_header(mux.format, nullptr) < 0) return "cannot write the MP4 header";
    if (!clipWritePictures(mux)) return "cannot encode the pictures";
    if (av_write_trailer(mux.format) < 0) return "cannot finish the MP4 file";
    return {};
}

} // namespace vantle::testing

#pragma once
// Audio made in code for file tests and benchmarks: a tone whose every stretch differs, and AAC files
// encoded with FFmpeg's own encoder (M4A, ADTS, TS). A program that includes this links FFmpeg and
// test_support_files. Test thread.

#include "tests/support/ToneFiles.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

namespace testsupport {

// A tone per channel (440 Hz times the channel number) with bursts of noise, so that every stretch of
// the signal differs from the others and a misplaced frame shows.
inline Channels tone(std::int64_t frames, std::uint32_t channels, double rate, float amplitude = 0.4f) {
    Channels out(channels, std::vector<float>(std::size_t(frames)));
    std::uint32_t seed = 12345;
    for (std::int64_t i = 0; i < frames; ++i)
        for (std::uint32_t c = 0; c < channels; ++c) {
            seed = seed * 1664525u + 1013904223u;
            const float noise = (i / 3000) % 3 == 1 ? 0.2f * (float(seed >> 8) / 16777216.0f - 0.5f) : 0.0f;
            out[c][std::size_t(i)] =
                amplitude * float(std::sin(2.0 * std::numbers::pi * 440.0 * (c + 1) * double(i) / rate)) +
                noise;
        }
    return out;
}

// Encodes with FFmpeg's own AAC encoder into the container the path's extension names (m4a, aac, ts).
// `indexFirst` moves the MPEG-4 index before the audio data, as files made for streaming have it.
inline bool writeAac(const std::string& path, const Channels& data, int rate, bool indexFirst = false) {
    AVFormatContext* out = nullptr;
    if (avformat_alloc_output_context2(&out, nullptr, nullptr, path.c_str()) < 0) return false;
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    AVStream* stream = avformat_new_stream(out, nullptr);
    AVCodecContext* enc = avcodec_alloc_context3(codec);
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    const int channels = int(data.size());
    enc->sample_fmt = AV_SAMPLE_FMT_FLTP;
    enc->sample_rate = rate;
    av_channel_layout_default(&enc->ch_layout, channels);
    enc->bit_rate = 128000;
    enc->time_base = AVRational{1, rate};
    if (out->oformat->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // Noise substitution draws from the decoder's random generator, whose state after a seek is
    // not that of a continuous decode; without it a seek reproduces the decoded samples exactly.
    AVDictionary* codecOptions = nullptr;
    av_dict_set(&codecOptions, "aac_pns", "0", 0);
    bool ok = avcodec_open2(enc, codec, &codecOptions) >= 0 &&
              avcodec_parameters_from_context(stream->codecpar, enc) >= 0;
    av_dict_free(&codecOptions);
    stream->time_base = enc->time_base;
    AVDictionary* options = nullptr;
    // The edit list that hides the priming samples is kept in the movie's time scale: at the
    // default of 1/1000 s the stated length would be rounded.
    av_dict_set_int(&options, "movie_timescale", rate, 0);
    if (indexFirst) av_dict_set(&options, "movflags", "+faststart", 0);
    ok = ok && avio_open(&out->pb, path.c_str(), AVIO_FLAG_WRITE) >= 0 &&
         avformat_write_header(out, &options) >= 0;
    av_dict_free(&options);
    const std::int64_t total = std::int64_t(data[0].size());
    std::int64_t done = 0;
    bool flushing = false;
    while (ok) {
        if (done < total) {
            const int n = int(std::min<std::int64_t>(enc->frame_size, total - done));
            frame->nb_samples = n;
            frame->format = enc->sample_fmt;
            frame->sample_rate = rate;
            av_channel_layout_copy(&frame->ch_layout, &enc->ch_layout);
            ok = av_frame_get_buffer(frame, 0) >= 0;
            for (int c = 0; ok && c < channels; ++c)
                std::copy_n(data[std::size_t(c)].data() + done, n, reinterpret_cast<float*>(frame->data[c]));
            frame->pts = done;
            done += n;
            ok = ok && avcodec_send_frame(enc, frame) >= 0;
            av_frame_unref(frame);
        } else if (!flushing) {
            flushing = true;
            ok = avcodec_send_frame(enc, nullptr) >= 0;
        }
        int r;
        while (ok && (r = avcodec_receive_packet(enc, packet)) == 0) {
            av_packet_rescale_ts(packet, enc->time_base, stream->time_base);
            packet->stream_index = stream->index;
            ok = av_interleaved_write_frame(out, packet) >= 0;
        }
        if (flushing) break;
    }
    ok = ok && av_write_trailer(out) >= 0;
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&enc);
    avio_closep(&out->pb);
    avformat_free_context(out);
    return ok;
}

} // namespace testsupport

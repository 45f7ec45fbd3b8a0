#include "platform/files/AudioFileMetadata.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
}

#include <algorithm>
#include <cctype>
#include <mutex>

namespace platform {

namespace {

std::string metadataLowered(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return result;
}

void metadataAppend(AudioFileMetadata& metadata, const AVDictionary* dictionary, bool skipKnownKeys) {
    const AVDictionaryEntry* entry = nullptr;
    while ((entry = av_dict_get(dictionary, "", entry, AV_DICT_IGNORE_SUFFIX))) {
        std::string key = metadataLowered(entry->key);
        if (skipKnownKeys && metadata.value(key)) continue;
        metadata.items.push_back({std::move(key), entry->value ? entry->value : ""});
    }
}

std::string metadataErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

} // namespace

std::optional<std::string> AudioFileMetadata::value(std::string_view key) const {
    const std::string wanted = metadataLowered(key);
    for (const auto& item : items)
        if (item.key == wanted) return item.value;
    return std::nullopt;
}

Result<AudioFileMetadata> readMetadata(const std::string& path) {
    // A damaged file is reported through the result; FFmpeg's own lines would only be noise.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_FATAL); });

    AVFormatContext* format = nullptr;
    const int opened = avformat_open_input(&format, path.c_str(), nullptr, nullptr);
    if (opened < 0)
        return Error::make("platform.metadata",
                           "cannot read tags of " + path + ": " + metadataErrorText(opened));

    AudioFileMetadata metadata;
    metadataAppend(metadata, format->metadata, false);
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* stream = format->streams[i];
        if (stream->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) continue;
        metadataAppend(metadata, stream->metadata, true);
        break;
    }
    avformat_close_input(&format);
    return metadata;
}

} // namespace platform

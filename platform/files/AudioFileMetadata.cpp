#include "platform/files/AudioFileMetadata.h"

#include "platform/files/FfmpegLimits.h"
#include "platform/foundation/Files.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
}

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

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

// What a demuxer may read while it looks for tags. A header walk over a file whose sizes lie (a WAV
// over 4 GiB with wrapped sizes steps through gigabytes eight bytes at a time) then ends at this
// budget instead of running for minutes; real tags, cover art included, lie well within it.
constexpr std::int64_t metadataByteBudget = std::int64_t(64) << 20;
constexpr int metadataReadBudget = 16384;
constexpr int metadataBufferSize = 32 * 1024;

// The file (or the bytes) FFmpeg reads through, with what is left of the budget.
struct MetadataSource {
    int descriptor = -1;
    // Bytes in memory instead of a file, and where the reading is in them.
    const std::uint8_t* memory = nullptr;
    std::int64_t position = 0;
    // Demuxers ask for the size at every step of a walk; it is taken once.
    std::int64_t size = 0;
    std::int64_t bytesLeft = metadataByteBudget;
    int readsLeft = metadataReadBudget;
};

int metadataRead(void* opaque, std::uint8_t* into, int size) {
    auto& source = *static_cast<MetadataSource*>(opaque);
    if (source.bytesLeft <= 0 || source.readsLeft <= 0) return AVERROR_EOF;
    --source.readsLeft;
    auto wanted = std::size_t(std::min<std::int64_t>(size, source.bytesLeft));
    if (source.memory) {
        wanted = std::size_t(std::min<std::int64_t>(std::int64_t(wanted), source.size - source.position));
        if (wanted == 0) return AVERROR_EOF;
        std::memcpy(into, source.memory + source.position, wanted);
        source.position += std::int64_t(wanted);
        source.bytesLeft -= std::int64_t(wanted);
        return int(wanted);
    }
    ssize_t got;
    do
        got = ::read(source.descriptor, into, wanted);
    while (got < 0 && errno == EINTR);
    if (got < 0) return AVERROR(errno);
    if (got == 0) return AVERROR_EOF;
    source.bytesLeft -= got;
    return int(got);
}

std::int64_t metadataSeek(void* opaque, std::int64_t offset, int whence) {
    auto& source = *static_cast<MetadataSource*>(opaque);
    if (whence & AVSEEK_SIZE) return source.size;
    if (source.memory) {
        const int from = whence & ~AVSEEK_FORCE;
        const std::int64_t at = offset + (from == SEEK_CUR   ? source.position
                                          : from == SEEK_END ? source.size
                                                             : 0);
        if (at < 0 || at > source.size) return AVERROR(EINVAL);
        source.position = at;
        return at;
    }
    const off_t at = ::lseek(source.descriptor, off_t(offset), whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : std::int64_t(at);
}

Error metadataFailure(const std::string& path, const std::string& why) {
    return Error::make("platform.metadata", "cannot read tags of " + path + ": " + why);
}

// The tags FFmpeg finds through `source`; `path` names the file to the probe and in a failure.
Result<AudioFileMetadata> readMetadataThrough(MetadataSource& source, const std::string& path) {
    auto failure = [&](const std::string& why) { return metadataFailure(path, why); };
    // A damaged file is reported through the result; FFmpeg's own lines would only be noise.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_FATAL); });
    auto* buffer = static_cast<unsigned char*>(av_malloc(metadataBufferSize));
    AVIOContext* io = buffer ? avio_alloc_context(buffer, metadataBufferSize, 0, &source, &metadataRead,
                                                  nullptr, &metadataSeek)
                             : nullptr;
    AVFormatContext* format = io ? avformat_alloc_context() : nullptr;
    auto release = [&] {
        avformat_close_input(&format);
        if (io)
            av_freep(&io->buffer);
        else
            av_free(buffer);
        avio_context_free(&io);
    };
    if (!format) {
        release();
        return failure("out of memory");
    }
    format->pb = io;
    AVDictionary* options = nullptr;
    ffmpegLimitInput(&options, ffmpegTagDemuxers);
    // The path still names the file to the probe, whose guess leans on the extension.
    const int opened = avformat_open_input(&format, path.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (opened < 0) {
        release();
        return failure(metadataErrorText(opened));
    }

    AudioFileMetadata metadata;
    metadataAppend(metadata, format->metadata, false);
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* stream = format->streams[i];
        if (stream->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) continue;
        metadataAppend(metadata, stream->metadata, true);
        break;
    }
    release();
    return metadata;
}

} // namespace

std::optional<std::string> AudioFileMetadata::value(std::string_view key) const {
    const std::string wanted = metadataLowered(key);
    for (const auto& item : items)
        if (item.key == wanted) return item.value;
    return std::nullopt;
}

Result<AudioFileMetadata> readMetadata(const std::string& path) {
    // Only a regular file: a FIFO or a device at the path must not hold the caller.
    struct stat st {};
    Result<FileDescriptor> file = openRegularFileForReading(path, &st);
    if (!file)
        return metadataFailure(path, file.error().code == EINVAL ? "not a regular file"
                                                                 : std::strerror(file.error().code));
    MetadataSource source;
    source.descriptor = file->get();
    source.size = std::int64_t(st.st_size);
    return readMetadataThrough(source, path);
}

Result<AudioFileMetadata> readMetadata(const std::vector<std::uint8_t>& bytes, const std::string& name) {
    MetadataSource source;
    source.memory = bytes.data();
    source.size = std::int64_t(bytes.size());
    return readMetadataThrough(source, name);
}

} // namespace platform

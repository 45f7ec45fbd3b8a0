#include "platform/files/SongArchive.h"

#include "platform/files/AudioFileError.h"
#include "platform/files/AudioFileSettings.h"
#include "platform/foundation/Text.h"

#include <zip.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <memory>

namespace platform {

namespace {

std::string songArchiveLower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return lower;
}

// The member's file name without its folders, split at its last dot.
std::pair<std::string, std::string> songArchiveStemAndExtension(std::string_view member) {
    const std::size_t slash = member.find_last_of('/');
    const std::string_view name = slash == std::string_view::npos ? member : member.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos || dot == 0) return {songArchiveLower(name), {}};
    return {songArchiveLower(name.substr(0, dot)), songArchiveLower(name.substr(dot + 1))};
}

Error songArchiveRefusal(const std::string& reason) {
    return Error::make(audioFileErrorDomain, reason, int(AudioFileError::unreadable));
}

// A member's name as a reason shows it: anyone can name a member, with line breaks and text-direction
// overrides that would fake another line or reverse the text of the alert around it.
std::string songArchiveQuoted(const std::string& member) {
    std::string quoted(1, '"');
    quoted += printableLine(member);
    quoted += '"';
    return quoted;
}

std::atomic<std::uint64_t> songArchiveAudioReadCount{0};
thread_local std::uint64_t songArchiveAudioReadsHere = 0;

struct SongArchiveCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using SongArchiveHandle = std::unique_ptr<zip_t, SongArchiveCloser>;

Result<SongArchiveHandle> songArchiveOpen(const std::string& path, const std::string& source) {
    int code = 0;
    zip_t* archive = zip_open((source.empty() ? path : source).c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
    if (!archive) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        std::string reason =
            "not a zip archive that can be read (" + std::string(zip_error_strerror(&error)) + ")";
        zip_error_fini(&error);
        return songArchiveRefusal(reason);
    }
    return SongArchiveHandle(archive);
}

Result<SongArchiveContents> songArchiveContents(zip_t* archive, const SongArchiveLimits& limits) {
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    std::vector<std::pair<std::string, std::uint64_t>> audio, graphics, other;
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive, zip_uint64_t(i), 0, &stat) != 0 || !(stat.valid & ZIP_STAT_NAME))
            return songArchiveRefusal("a member of the zip archive cannot be read");
        const std::string name = stat.name;
        // Folders hold nothing of their own.
        if (!name.empty() && name.back() == '/') continue;
        // Without its password nothing of it reads: said as such, not as damage.
        if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE)
            return songArchiveRefusal(
                songArchiveQuoted(name) +
                " in the zip archive is encrypted: it cannot be read without its password");
        const std::uint64_t size = stat.valid & ZIP_STAT_SIZE ? stat.size : 0;
        const std::string extension = songArchiveStemAndExtension(name).second;
        if (extension == "cdg")
            graphics.emplace_back(name, size);
        else if (audioFileTypeForPath(name) != AudioFileType::unknown)
            audio.emplace_back(name, size);
        else
            other.emplace_back(name, size);
    }
    if (!other.empty())
        return songArchiveRefusal("the zip archive holds " + songArchiveQuoted(other.front().first) +
                                  " beside the song's audio and graphics");
    if (audio.size() != 1 || graphics.size() != 1) {
        if (audio.empty()) return songArchiveRefusal("the zip archive holds no audio file");
        if (graphics.empty()) return songArchiveRefusal("the zip archive holds no .cdg graphics");
        return songArchiveRefusal("the zip archive holds more than one song");
    }
    if (songArchiveStemAndExtension(audio[0].first).first !=
        songArchiveStemAndExtension(graphics[0].first).first)
        return songArchiveRefusal("the zip archive's audio and .cdg graphics have different names");
    if (audio[0].second > limits.audioBytes)
        return songArchiveRefusal("the zip archive's audio is over " +
                                  std::to_string(limits.audioBytes >> 20) + " MiB");
    if (graphics[0].second > limits.graphicsBytes)
        return songArchiveRefusal("the zip archive's graphics are over " +
                                  std::to_string(limits.graphicsBytes >> 20) + " MiB");
    return SongArchiveContents{audio[0].first, graphics[0].first, audio[0].second, graphics[0].second};
}

// Reads a member whole, never more than `bound` bytes whatever its header states; with `headOnly`, its
// first `bound` bytes.
Result<std::vector<std::uint8_t>> songArchiveRead(zip_t* archive, const std::string& member,
                                                  std::uint64_t stated, std::uint64_t bound,
                                                  bool headOnly = false) {
    zip_file_t* file = zip_fopen(archive, member.c_str(), 0);
    if (!file) return songArchiveRefusal(songArchiveQuoted(member) + " in the zip archive cannot be read");
    std::vector<std::uint8_t> bytes;
    bytes.reserve(std::size_t(std::min(stated, bound)));
    std::uint8_t block[65536];
    for (;;) {
        const zip_int64_t got = zip_fread(file, block, sizeof block);
        if (got < 0) {
            const std::string reason = zip_strerror(archive);
            zip_fclose(file);
            return songArchiveRefusal(songArchiveQuoted(member) + " in the zip archive is damaged (" +
                                      reason + ")");
        }
        if (got == 0) break;
        if (bytes.size() + std::uint64_t(got) > bound) {
            if (headOnly) {
                bytes.insert(bytes.end(), block, block + (bound - bytes.size()));
                zip_fclose(file);
                return bytes;
            }
            zip_fclose(file);
            return songArchiveRefusal(songArchiveQuoted(member) + " in the zip archive is over " +
                                      std::to_string(bound >> 20) + " MiB");
        }
        bytes.insert(bytes.end(), block, block + got);
    }
    // A member's checksum is checked at its end: a damaged one fails at close.
    if (zip_fclose(file) != 0)
        return songArchiveRefusal(songArchiveQuoted(member) + " in the zip archive is damaged");
    return bytes;
}

} // namespace

bool isSongArchivePath(std::string_view path) {
    return path.size() > 4 && songArchiveLower(path.substr(path.size() - 4)) == ".zip";
}

std::uint64_t songArchiveAudioReads() {
    return songArchiveAudioReadCount.load(std::memory_order_relaxed);
}

std::uint64_t songArchiveAudioReadsOnThisThread() {
    return songArchiveAudioReadsHere;
}

SongArchiveLimits& songArchiveLimits() {
    static SongArchiveLimits limits;
    return limits;
}

Result<SongArchiveContents> inspectSongArchive(const std::string& path, const SongArchiveLimits& limits,
                                               const std::string& source) {
    Result<SongArchiveHandle> archive = songArchiveOpen(path, source);
    if (!archive) return archive.error();
    return songArchiveContents(archive->get(), limits);
}

Result<SongArchiveAudio> readSongArchiveAudio(const std::string& path, const SongArchiveLimits& limits,
                                              const std::string& source) {
    Result<SongArchiveHandle> archive = songArchiveOpen(path, source);
    if (!archive) return archive.error();
    Result<SongArchiveContents> contents = songArchiveContents(archive->get(), limits);
    if (!contents) return contents.error();
    songArchiveAudioReadCount.fetch_add(1, std::memory_order_relaxed);
    ++songArchiveAudioReadsHere;
    Result<std::vector<std::uint8_t>> bytes =
        songArchiveRead(archive->get(), contents->audioMember, contents->audioBytes, limits.audioBytes);
    if (!bytes) return bytes.error();
    return SongArchiveAudio{contents->audioMember, std::move(bytes.value())};
}

Result<SongArchiveAudio> readSongArchiveAudioHead(const std::string& path, std::uint64_t bytes) {
    Result<SongArchiveHandle> archive = songArchiveOpen(path, {});
    if (!archive) return archive.error();
    Result<SongArchiveContents> contents = songArchiveContents(archive->get(), songArchiveLimits());
    if (!contents) return contents.error();
    Result<std::vector<std::uint8_t>> head =
        songArchiveRead(archive->get(), contents->audioMember, contents->audioBytes, bytes, true);
    if (!head) return head.error();
    return SongArchiveAudio{contents->audioMember, std::move(head.value())};
}

Result<std::vector<std::uint8_t>> readSongArchiveGraphics(const std::string& path,
                                                          const SongArchiveLimits& limits) {
    Result<SongArchiveHandle> archive = songArchiveOpen(path, {});
    if (!archive) return archive.error();
    Result<SongArchiveContents> contents = songArchiveContents(archive->get(), limits);
    if (!contents) return contents.error();
    return songArchiveRead(archive->get(), contents->graphicsMember, contents->graphicsBytes,
                           limits.graphicsBytes);
}

} // namespace platform

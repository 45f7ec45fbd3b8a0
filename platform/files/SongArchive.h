#pragma once
// A song packed in a zip archive, as karaoke discs are often shared: one audio file and one CD+G file
// of the same base name, and nothing else. The members are read into memory, each within a bound, so
// that nothing is unpacked to disk. Any thread; each call opens the archive anew.

#include "platform/foundation/Result.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct SongArchiveLimits {
    // The most audio a song archive may hold, and the most graphics.
    std::uint64_t audioBytes = std::uint64_t(256) << 20;
    std::uint64_t graphicsBytes = std::uint64_t(64) << 20;
};

// What a song archive holds: the names of its two members, as the archive writes them.
struct SongArchiveContents {
    std::string audioMember;
    std::string graphicsMember;
    std::uint64_t audioBytes = 0;
    std::uint64_t graphicsBytes = 0;
};

// The path names a zip archive (by its extension, in any case).
bool isSongArchivePath(std::string_view path);

// The archive at `path` (read through `source` when given: a checked descriptor's path) as a song, or
// why it is not one: unreadable, holding other members than one audio file and its graphics, or audio
// beyond the bound. The error's message is the reason, fit to be shown after the file's name.
Result<SongArchiveContents> inspectSongArchive(const std::string& path, const SongArchiveLimits& limits = {},
                                               const std::string& source = {});

// The audio member's name and bytes (or the graphics' bytes), after the same checks.
struct SongArchiveAudio {
    std::string member;
    std::vector<std::uint8_t> bytes;
};
Result<SongArchiveAudio> readSongArchiveAudio(const std::string& path, const SongArchiveLimits& limits = {},
                                              const std::string& source = {});
// At most the first `bytes` of the audio member (where its tags begin), after the same checks; not counted
// as a read of the audio.
Result<SongArchiveAudio> readSongArchiveAudioHead(const std::string& path, std::uint64_t bytes);
Result<std::vector<std::uint8_t>> readSongArchiveGraphics(const std::string& path,
                                                          const SongArchiveLimits& limits = {});

// How many times an archive's audio has been read whole, by any thread: each is the big read that an
// open of an unchanged archive is spared.
std::uint64_t songArchiveAudioReads();
// The same, by the calling thread alone: what a thread that must not wait has read.
std::uint64_t songArchiveAudioReadsOnThisThread();

// The limits every archive is opened with; tests set a small audio bound to reach it.
SongArchiveLimits& songArchiveLimits();

} // namespace platform

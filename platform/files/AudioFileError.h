#pragma once
// The errors of audio files and their back ends: the domain and its codes. Plain values; any thread.

namespace platform {

// Codes of the errors an AudioFile reports, in the domain audioFileErrorDomain.
enum class AudioFileError : int {
    notFound = 1,
    emptyFile,
    unreadable,      // not audio, damaged, or a format no back end reads
    cannotCreate,    // the file cannot be created at the path
    invalidSettings, // settings that no writable file can hold
    wrongBufferFormat,
    wrongMode, // reading a file open for writing or the reverse
    readFailed,
    writeFailed,
    noAudioTrack,   // a container (a video, say) that holds no audio track
    alreadyExists,  // an exclusive create found a file at the path
    notRegularFile, // a FIFO, a device or a socket, which is never read as audio
    systemFile,     // a file of /proc, /sys or the like, which is never read as audio
};
inline constexpr const char* audioFileErrorDomain = "platform.audiofile";

} // namespace platform

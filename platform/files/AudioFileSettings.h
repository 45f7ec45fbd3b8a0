#pragma once
// The vocabulary of audio files: container types, encoding identifiers, the description of a file's
// own format and the settings a file is written with. Plain values; any thread.

#include "platform/audio/AudioFormat.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The container of an audio file.
enum class AudioFileType {
    unknown,
    wave,
    aiff,
    aifc,
    caf,
    flac,
    ogg,
    mp3,
    au,
    w64,
    rf64,
    mpeg4,               // M4A, MP4, MOV, M4V
    adts,                // raw AAC
    mpegTransportStream, // TS
    other,               // another container libsndfile reads (VOC, NIST, ...)
};

// "WAVE", "AIFF", "CAF", "MPEG-4", ...
std::string_view audioFileTypeName(AudioFileType type);
// The type a path's extension names, compared case-insensitively: "wav" gives wave; unknown otherwise.
AudioFileType audioFileTypeForPath(std::string_view path);
// Every extension audioFileTypeForPath knows, lower case, without the dot: the files the reader opens.
const std::vector<std::string>& audioFileExtensions();

// Four-character encoding identifiers, as the platform's format-identifier key holds them.
namespace audioFormatID {
constexpr std::uint32_t code(const char (&c)[5]) {
    return std::uint32_t(std::uint8_t(c[0])) << 24 | std::uint32_t(std::uint8_t(c[1])) << 16 |
           std::uint32_t(std::uint8_t(c[2])) << 8 | std::uint32_t(std::uint8_t(c[3]));
}
inline constexpr std::uint32_t linearPCM = code("lpcm");
inline constexpr std::uint32_t mpeg4AAC = code("aac ");
inline constexpr std::uint32_t mpegLayer3 = code(".mp3");
inline constexpr std::uint32_t appleLossless = code("alac");
inline constexpr std::uint32_t flac = code("flac");
inline constexpr std::uint32_t opus = code("opus");
inline constexpr std::uint32_t vorbis = code("vorb"); // no platform constant exists; ours
inline constexpr std::uint32_t uLaw = code("ulaw");
inline constexpr std::uint32_t aLaw = code("alaw");
inline constexpr std::uint32_t unknown = 0;
} // namespace audioFormatID

struct AudioFileSettings;

// The format of the audio as a file stores it (the platform's file format with its stream
// description): rate, channels, encoding and container. Lossy encodings have 0 bits per channel;
// lossless ones report the bit depth of their source.
struct AudioStreamDescription {
    double sampleRate = 0.0;
    std::uint32_t formatID = audioFormatID::unknown;
    std::uint32_t channelsPerFrame = 0;
    std::uint32_t bitsPerChannel = 0;
    bool isFloat = false;
    bool isBigEndian = false;
    bool isNonInterleaved = false;
    AudioFileType fileType = AudioFileType::unknown;

    bool isLinearPCM() const { return formatID == audioFormatID::linearPCM; }
    // The settings that write a file of this format (the platform's format settings dictionary).
    AudioFileSettings settings() const;
    // "<2 ch, 44100 Hz, 'lpcm' 24-bit little-endian signed integer, WAVE>"
    std::string description() const;

    friend bool operator==(const AudioStreamDescription&, const AudioStreamDescription&) = default;
};

// What a new file is written with; each field mirrors one key of the platform's audio settings
// dictionary, so toolkit code can build it from the same values.
struct AudioFileSettings {
    std::uint32_t formatID = audioFormatID::linearPCM; // format identifier: linear PCM, or AAC in MPEG-4
    double sampleRate = 44100.0;                       // sample rate
    std::uint32_t numberOfChannels = 2;                // number of channels
    std::uint32_t linearPCMBitDepth = 16;              // 8, 16, 24, 32 (integer) or 32, 64 (float)
    bool linearPCMIsFloat = false;                     // is float
    std::optional<bool> linearPCMIsBigEndian;          // is big endian; absent: the container's own order
    bool linearPCMIsNonInterleaved = false; // is non-interleaved; the caller's layout, not the file's
    std::optional<AudioFileType> fileType;  // absent: from the path's extension
    std::uint32_t encoderBitRate = 128000;  // encoder bit rate of AAC, in bits per second, all channels

    // The settings of a PCM format, as the platform's format settings give them (a buffer's own format).
    static AudioFileSettings forFormat(const AudioFormat& format);

    friend bool operator==(const AudioFileSettings&, const AudioFileSettings&) = default;
};

} // namespace platform

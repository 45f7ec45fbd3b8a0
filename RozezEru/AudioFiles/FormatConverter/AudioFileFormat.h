#pragma once
// The file extensions the format converter and the audio-file helpers speak of. Plain values; any
// thread.

#include <optional>
#include <string_view>

namespace rozezeru {

// Raw values equal the case names.
enum class AudioFileFormat {
    aac,
    aif,
    aifc,
    aiff,
    au,
    caf,
    m4a,
    m4v,
    mov,
    mp3,
    mp4,
    sd2,
    snd,
    ts,
    unknown,
    wav
};

std::string_view rawValue(AudioFileFormat format);
// An exact, case-sensitive match of one of the sixteen raw values; nothing otherwise.
std::optional<AudioFileFormat> audioFileFormat(std::string_view rawValue);

} // namespace rozezeru

#include "RozezEru/AudioFiles/FormatConverter/AudioFileFormat.h"

#include <array>
#include <utility>

namespace rozezeru {

namespace {

constexpr std::array<std::pair<AudioFileFormat, std::string_view>, 16> audioFileFormatNames{{
    {AudioFileFormat::aac, "aac"},
    {AudioFileFormat::aif, "aif"},
    {AudioFileFormat::aifc, "aifc"},
    {AudioFileFormat::aiff, "aiff"},
    {AudioFileFormat::au, "au"},
    {AudioFileFormat::caf, "caf"},
    {AudioFileFormat::m4a, "m4a"},
    {AudioFileFormat::m4v, "m4v"},
    {AudioFileFormat::mov, "mov"},
    {AudioFileFormat::mp3, "mp3"},
    {AudioFileFormat::mp4, "mp4"},
    {AudioFileFormat::sd2, "sd2"},
    {AudioFileFormat::snd, "snd"},
    {AudioFileFormat::ts, "ts"},
    {AudioFileFormat::unknown, "unknown"},
    {AudioFileFormat::wav, "wav"},
}};

} // namespace

std::string_view rawValue(AudioFileFormat format) {
    for (const auto& [value, name] : audioFileFormatNames)
        if (value == format) return name;
    return "unknown";
}

std::optional<AudioFileFormat> audioFileFormat(std::string_view raw) {
    for (const auto& [value, name] : audioFileFormatNames)
        if (name == raw) return value;
    return std::nullopt;
}

} // namespace rozezeru

#include "platform/files/AudioFileSettings.h"

#include <cctype>
#include <cstdio>

namespace platform {

std::string_view audioFileTypeName(AudioFileType type) {
    switch (type) {
    case AudioFileType::unknown:
        return "unknown";
    case AudioFileType::wave:
        return "WAVE";
    case AudioFileType::aiff:
        return "AIFF";
    case AudioFileType::aifc:
        return "AIFC";
    case AudioFileType::caf:
        return "CAF";
    case AudioFileType::flac:
        return "FLAC";
    case AudioFileType::ogg:
        return "Ogg";
    case AudioFileType::mp3:
        return "MP3";
    case AudioFileType::au:
        return "AU";
    case AudioFileType::w64:
        return "W64";
    case AudioFileType::rf64:
        return "RF64";
    case AudioFileType::mpeg4:
        return "MPEG-4";
    case AudioFileType::adts:
        return "ADTS";
    case AudioFileType::mpegTransportStream:
        return "MPEG-TS";
    case AudioFileType::other:
        return "other";
    }
    return "unknown";
}

namespace {

struct AudioExtensionType {
    const char* ext;
    AudioFileType type;
};

constexpr AudioExtensionType audioExtensionTypes[] = {
    {"wav", AudioFileType::wave},
    {"wave", AudioFileType::wave},
    {"aif", AudioFileType::aiff},
    {"aiff", AudioFileType::aiff},
    {"aifc", AudioFileType::aifc},
    {"caf", AudioFileType::caf},
    {"flac", AudioFileType::flac},
    {"ogg", AudioFileType::ogg},
    {"oga", AudioFileType::ogg},
    {"opus", AudioFileType::ogg},
    {"mp3", AudioFileType::mp3},
    {"au", AudioFileType::au},
    {"snd", AudioFileType::au},
    {"w64", AudioFileType::w64},
    {"rf64", AudioFileType::rf64},
    {"m4a", AudioFileType::mpeg4},
    {"mp4", AudioFileType::mpeg4},
    {"m4v", AudioFileType::mpeg4},
    {"mov", AudioFileType::mpeg4},
    {"m4b", AudioFileType::mpeg4},
    {"aac", AudioFileType::adts},
    {"adts", AudioFileType::adts},
    {"ts", AudioFileType::mpegTransportStream},
};

} // namespace

AudioFileType audioFileTypeForPath(std::string_view path) {
    const auto slash = path.find_last_of('/');
    const auto name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const auto dot = name.find_last_of('.');
    if (dot == std::string_view::npos || dot == 0) return AudioFileType::unknown;
    std::string ext;
    for (char c : name.substr(dot + 1))
        ext += char(std::tolower(static_cast<unsigned char>(c)));
    for (const auto& e : audioExtensionTypes)
        if (ext == e.ext) return e.type;
    return AudioFileType::unknown;
}

const std::vector<std::string>& audioFileExtensions() {
    static const std::vector<std::string> extensions = [] {
        std::vector<std::string> all;
        for (const auto& e : audioExtensionTypes)
            all.emplace_back(e.ext);
        return all;
    }();
    return extensions;
}

AudioFileSettings AudioStreamDescription::settings() const {
    AudioFileSettings s;
    s.formatID = formatID;
    s.sampleRate = sampleRate;
    s.numberOfChannels = channelsPerFrame;
    s.linearPCMBitDepth = bitsPerChannel;
    s.linearPCMIsFloat = isFloat;
    s.linearPCMIsBigEndian = isBigEndian;
    s.linearPCMIsNonInterleaved = isNonInterleaved;
    if (fileType != AudioFileType::unknown) s.fileType = fileType;
    return s;
}

std::string AudioStreamDescription::description() const {
    std::string encoding = "unknown";
    if (formatID != audioFormatID::unknown) {
        char id[4] = {char(formatID >> 24), char(formatID >> 16), char(formatID >> 8), char(formatID)};
        for (char& c : id)
            if (!std::isprint(static_cast<unsigned char>(c))) c = '?';
        encoding.assign("'").append(id, 4).append("'");
    }
    if (bitsPerChannel > 0) {
        encoding.append(" ").append(std::to_string(bitsPerChannel)).append("-bit");
        if (isLinearPCM()) {
            if (bitsPerChannel > 8) encoding.append(isBigEndian ? " big-endian" : " little-endian");
            encoding.append(isFloat ? " float" : " signed integer");
        }
    }
    char text[160];
    std::snprintf(text, sizeof text, "<%u ch, %g Hz, %s, %s>", channelsPerFrame, sampleRate, encoding.c_str(),
                  std::string(audioFileTypeName(fileType)).c_str());
    return text;
}

AudioFileSettings AudioFileSettings::forFormat(const AudioFormat& format) {
    AudioFileSettings s;
    s.formatID = audioFormatID::linearPCM;
    s.sampleRate = format.sampleRate();
    s.numberOfChannels = format.channelCount();
    s.linearPCMBitDepth = format.bytesPerSample() * 8;
    s.linearPCMIsFloat = format.commonFormat() == CommonFormat::pcmFloat32 ||
                         format.commonFormat() == CommonFormat::pcmFloat64;
    // A buffer's byte order in memory says nothing about a file's: each container keeps its own.
    s.linearPCMIsNonInterleaved = !format.isInterleaved();
    return s;
}

} // namespace platform

// MP3s as the MPEG stream reader meets them: read through the reader itself (whatever the info header
// says), with the seeks the player makes (to three quarters of the estimate, back, after a failed read)
// and a count; then the same file through AudioFile, as a song is opened.

#include "platform/audio/PcmBuffer.h"
#include "platform/files/AudioFile.h"
#include "platform/files/MpegStreamReader.h"
#include "tests/fuzz/FuzzSupport.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <vector>

namespace {

// Bounds each pass, so that an input of hours of frames costs no more than one of seconds.
constexpr int fuzzMpegReads = 32;
constexpr std::uint32_t fuzzMpegBlock = 4096;

void fuzzMpegReadOn(platform::AudioFileBackend& reader, std::uint32_t channels) {
    std::vector<float> samples(std::size_t(fuzzMpegBlock) * channels);
    std::array<float*, platform::AudioFormat::maxChannels> pointers{};
    for (std::uint32_t c = 0; c < channels; ++c)
        pointers[c] = samples.data() + c;
    for (int i = 0, failures = 0; i < fuzzMpegReads && failures < 3; ++i) {
        auto got = reader.read(platform::ChannelPointers{pointers.data(), channels}, fuzzMpegBlock);
        if (!got) {
            ++failures;
            continue;
        }
        if (*got == 0) break;
    }
}

void fuzzMpegAudioFile(const std::string& path) {
    auto opened = platform::AudioFile::openForReading(path);
    if (!opened) return;
    platform::AudioFile& file = **opened;
    auto buffer = platform::PcmBuffer::make(file.processingFormat(), fuzzMpegBlock);
    if (!buffer) return;
    for (const std::int64_t at : {file.length() * 3 / 4, std::int64_t(0), file.length() + 10000}) {
        file.setFramePosition(at);
        for (int i = 0; i < fuzzMpegReads; ++i)
            if (auto read = file.read(*buffer); read && buffer->frameLength() == 0) break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzzsupport::scratchFile("stream.mp3", data, size);
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return 0;
    platform::MpegInfoHeader header = platform::mpegUnderstatedStream(descriptor, size)
                                          .value_or(platform::MpegInfoHeader{1, 1, size, size / 100});
    platform::AudioFileBackend::Info info;
    if (auto reader = platform::openMpegStreamReader(descriptor, path, header, info)) {
        platform::AudioFileBackend& stream = **reader;
        const std::uint32_t channels = info.fileFormat.channelsPerFrame;
        for (const std::int64_t at : {info.length * 3 / 4, std::int64_t(0), info.length / 2}) {
            (void)stream.seek(at);
            fuzzMpegReadOn(stream, channels);
        }
        if (auto counted = stream.measureLength()) {
            (void)stream.seek(std::max<std::int64_t>(0, *counted - 2000));
            fuzzMpegReadOn(stream, channels);
        }
    }
    ::close(descriptor);
    fuzzMpegAudioFile(path);
    return 0;
}

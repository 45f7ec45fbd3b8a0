#include "SigproRozezEru/Effects/Convolution.h"

#include "RozezEru/AudioFiles/PcmBufferUtilities.h"
#include "RozezEru/Internals/Log.h"
#include "RozezEru/Internals/Settings.h"
#include "RozezEruEX/NodeRozezEruAU.h"
#include "RozezEruEX/RozezEruAU.h"
#include "Sigpro/kernels/SigproKernels.h"
#include "platform/audio/AudioEngine.h"
#include "platform/audio/AudioFormat.h"
#include "platform/audio/AudioNode.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/files/AudioFile.h"

#include <samplerate.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace rozezeru {

namespace {

using ImpulseChannels = std::vector<std::vector<float>>;

// The kernel has two impulse slots, one per output channel.
constexpr std::size_t impulseSlotCount = 2;

void logImpulseLoading(std::string_view message) {
    Log(LogSite("readAudioFile()"), message);
}

bool isUsablePartitionLength(std::int64_t length) {
    return length >= 4 && length <= std::numeric_limits<std::int32_t>::max() && (length & (length - 1)) == 0;
}

// `channels` brought from `fileRate` to `rate`, `frames` frames each. The whole response goes to the
// converter once, its end marked, so that the converted response ends where the file does.
platform::Result<ImpulseChannels> impulseAtRate(const ImpulseChannels& channels, double fileRate, double rate,
                                                std::size_t frames) {
    ImpulseChannels out(channels.size(), std::vector<float>(frames, 0.0f));
    const std::size_t given = channels[0].size();
    if (fileRate == rate) {
        for (std::size_t c = 0; c < channels.size(); ++c)
            std::copy_n(channels[c].begin(), std::min(given, frames), out[c].begin());
        return out;
    }
    const auto count = int(channels.size());
    int error = 0;
    std::unique_ptr<SRC_STATE, SRC_STATE* (*)(SRC_STATE*)> converter(
        src_new(SRC_SINC_MEDIUM_QUALITY, count, &error), &src_delete);
    if (!converter) return platform::Error::make("samplerate", "Error = Converter initialization error");

    std::vector<float> interleaved(given * channels.size());
    for (std::size_t frame = 0; frame < given; ++frame)
        for (std::size_t c = 0; c < channels.size(); ++c)
            interleaved[frame * channels.size() + c] = channels[c][frame];
    std::vector<float> converted(frames * channels.size(), 0.0f);
    SRC_DATA data{};
    data.data_in = interleaved.data();
    data.input_frames = long(given);
    data.data_out = converted.data();
    data.output_frames = long(frames);
    data.src_ratio = rate / fileRate;
    data.end_of_input = 1;
    while (data.output_frames > 0) {
        if ((error = src_process(converter.get(), &data)) != 0)
            return platform::Error::make("samplerate", src_strerror(error), error);
        if (data.output_frames_gen == 0) break;
        data.data_in += data.input_frames_used * count;
        data.input_frames -= data.input_frames_used;
        data.data_out += data.output_frames_gen * count;
        data.output_frames -= data.output_frames_gen;
    }
    for (std::size_t frame = 0; frame < frames; ++frame)
        for (std::size_t c = 0; c < channels.size(); ++c)
            out[c][frame] = converted[frame * channels.size() + c];
    return out;
}

} // namespace

Convolution::Convolution(std::shared_ptr<Node> input, platform::Url impulseResponseFileURL,
                         std::int64_t partitionLength)
    : EffectNode(std::move(input), componentSubType),
      impulseResponseFileURL_(std::move(impulseResponseFileURL)) {
    if (isUsablePartitionLength(partitionLength)) {
        partitionLength_ = partitionLength;
    } else {
        Log(LogSite("init(_:impulseResponseFileURL:partitionLength:)", LogType::error),
            "🛑 Error: A partition length of", partitionLength,
            "is not a power of two of at least 4 that fits 32 bits; 2048 is used");
    }
    setupParameters();
    sigpro::rzConvolutionSetPartitionLength(rozezEruAU(*this).dsp(), std::int32_t(partitionLength_));
    readAudioFile();
    start();
}

void Convolution::readAudioFile() {
    if (const platform::AudioEngine* engine = avAudioNode()->engine(); engine && engine->isRunning()) {
        Log(LogSite("readAudioFile()", LogType::error),
            "🛑 Error: The impulse response cannot be replaced while the engine runs");
        return;
    }
    auto file = platform::AudioFile::openForReading(impulseResponseFileURL_.path());
    if (!file) return logImpulseLoading("Error = Reading impulse file");
    auto buffer = bufferFromFile(*file.value());
    std::optional<ImpulseChannels> channels;
    if (buffer && buffer.value()) channels = toFloatChannelData(*buffer.value());
    if (!channels || channels->empty()) return logImpulseLoading("Error = Reading impulse response file");
    // Only the first two channels have a slot to go to; the others are not converted.
    if (channels->size() > impulseSlotCount) channels->resize(impulseSlotCount);

    const double rate = Settings::sampleRate();
    if (!platform::AudioFormat::standard(rate, std::uint32_t(channels->size())))
        return logImpulseLoading("Error = Output format error");
    const double fileRate = file.value()->processingFormat().sampleRate();
    const double frames = std::floor(rate * (double((*channels)[0].size()) / fileRate));
    if (!(frames >= 1.0 && frames <= double(maximumBufferFrames)))
        return logImpulseLoading("Error = Output buffer creation error");

    auto impulse = impulseAtRate(*channels, fileRate, rate, std::size_t(frames));
    if (!impulse) return logImpulseLoading(impulse.error().message);
    RozezEruAU& unit = rozezEruAU(*this);
    for (std::size_t slot = 0; slot < impulseSlotCount; ++slot) {
        const std::vector<float> none;
        const std::vector<float>& table = slot < impulse->size() ? (*impulse)[slot] : none;
        unit.setWavetable(table, int(slot));
    }
}

} // namespace rozezeru

#include "SigproRozezEru/Generators/PhaseLockedVocoder.h"

#include "RozezEru/Internals/Log.h"
#include "RozezEru/Internals/Settings.h"
#include "RozezEruEX/NodeRozezEruAU.h"
#include "RozezEruEX/RozezEruAU.h"
#include "Sigpro/modules/sp_ftbl.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/files/AudioFile.h"

#include <samplerate.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace rozezeru {

static_assert(PhaseLockedVocoder::maximumFrameCount == sigpro::sp_ftbl_max_size,
              "the vocoder's kernel keeps its samples in one table");

namespace {

constexpr std::uint32_t vocoderReadFrames = 65536;

using VocoderConverter = std::unique_ptr<SRC_STATE, SRC_STATE* (*)(SRC_STATE*)>;

// The failures the file service names are logged as it reports them, at the info level; the others as
// errors.
template <typename... Items> void logVocoderLoad(const Items&... items) {
    Log(LogSite("loadFile(_:)"), items...);
}
template <typename... Items> void refuseVocoderFile(const Items&... items) {
    Log(LogSite("loadFile(_:)", LogType::error), "🛑 Error:", items...);
}

// Appends `in` to `out`, through the converter when there is one, and never beyond `frames` samples;
// `last` drains the converter. Fails with libsamplerate's code.
std::optional<int> appendVocoderSamples(SRC_STATE* converter, double ratio, std::span<const float> in,
                                        bool last, std::vector<float>& out, std::size_t frames) {
    if (!converter) {
        out.insert(out.end(), in.begin(), in.begin() + long(std::min(in.size(), frames - out.size())));
        return std::nullopt;
    }
    std::array<float, 4096> chunk;
    SRC_DATA data{};
    data.data_in = in.data();
    data.input_frames = long(in.size());
    data.src_ratio = ratio;
    data.end_of_input = last ? 1 : 0;
    while (out.size() < frames) {
        data.data_out = chunk.data();
        data.output_frames = long(chunk.size());
        if (const int error = src_process(converter, &data)) return error;
        const auto given = std::min(std::size_t(data.output_frames_gen), frames - out.size());
        out.insert(out.end(), chunk.begin(), chunk.begin() + long(given));
        data.data_in += data.input_frames_used;
        data.input_frames -= data.input_frames_used;
        // Done when nothing more comes out: the input is used up, or held back for the next block.
        if (data.output_frames_gen == 0 && (data.input_frames == 0 || data.input_frames_used == 0)) break;
    }
    return std::nullopt;
}

// The file at `path` as one channel at `rate`, or nothing after a log record saying why.
std::optional<std::vector<float>> vocoderSamples(const std::string& path, double rate) {
    auto opened = platform::AudioFile::openForReading(path);
    if (!opened) {
        logVocoderLoad("ExtAudioFileOpenURL FAILED, Error =", opened.error().code);
        return std::nullopt;
    }
    platform::AudioFile& file = *opened.value();
    const platform::AudioFormat format = file.processingFormat();
    const std::uint32_t channels = format.channelCount();
    if (channels > 2) {
        logVocoderLoad("Unsupported Format, channel count is greater than stereo");
        return std::nullopt;
    }
    const double ratio = rate / format.sampleRate();
    VocoderConverter converter(nullptr, &src_delete);
    if (ratio != 1.0) {
        if (!src_is_valid_ratio(ratio)) {
            logVocoderLoad("ExtAudioFileSetProperty(kExtAudioFileProperty_ClientDataFormat) FAILED, Error =",
                           "a file at", format.sampleRate(), "Hz cannot be brought to", rate, "Hz");
            return std::nullopt;
        }
        int error = 0;
        converter.reset(src_new(SRC_SINC_MEDIUM_QUALITY, 1, &error));
        if (!converter) {
            logVocoderLoad("ExtAudioFileSetProperty(kExtAudioFileProperty_ClientDataFormat) FAILED, Error =",
                           src_strerror(error));
            return std::nullopt;
        }
    }
    // Every frame of the file, at the engine's rate: as many as the kernel can hold.
    const double frames = std::ceil(double(file.length()) * ratio);
    if (frames < 1.0) {
        refuseVocoderFile("The file holds no audio");
        return std::nullopt;
    }
    if (!(frames <= double(PhaseLockedVocoder::maximumFrameCount))) {
        refuseVocoderFile("The file would give", std::int64_t(frames), "frames at", rate,
                          "Hz; the vocoder holds at most", PhaseLockedVocoder::maximumFrameCount);
        return std::nullopt;
    }

    std::vector<float> samples;
    samples.reserve(std::size_t(frames));
    auto block = platform::PcmBuffer::make(format, vocoderReadFrames);
    if (!block) {
        refuseVocoderFile("No buffer can be made to read the file in");
        return std::nullopt;
    }
    std::vector<float> mono(vocoderReadFrames);
    for (bool last = false; !last;) {
        if (auto read = file.read(*block); !read) {
            logVocoderLoad("Error =", read.error().code);
            return std::nullopt;
        }
        const std::uint32_t count = block->frameLength();
        last = count == 0 || file.framePosition() >= file.length();
        // Both channels of a stereo file count alike.
        for (std::uint32_t n = 0; n < count; ++n)
            mono[n] =
                channels == 2 ? 0.5f * (block->channel(0)[n] + block->channel(1)[n]) : block->channel(0)[n];
        if (auto error = appendVocoderSamples(converter.get(), ratio, std::span(mono.data(), count), last,
                                              samples, std::size_t(frames))) {
            logVocoderLoad("Error =", *error, "-", src_strerror(*error));
            return std::nullopt;
        }
    }
    // A converter may give a frame or so less than the rates promise: the end is silence.
    samples.resize(std::size_t(frames), 0.0f);
    return samples;
}

} // namespace

PhaseLockedVocoder::PhaseLockedVocoder(const platform::AudioFile& file, platform::AUValue position,
                                       platform::AUValue amplitude, platform::AUValue pitchRatio)
    : GeneratorNode(componentSubType) {
    setupParameters();
    loadFile(file);
    writeInitialValues({position, amplitude, pitchRatio});
}

void PhaseLockedVocoder::loadFile(const platform::AudioFile& file) {
    const std::optional<std::vector<float>> samples = vocoderSamples(file.path(), Settings::sampleRate());
    if (!samples) return;
    RozezEruAU& unit = rozezEruAU(*this);
    // The kernel sets itself up afresh on new samples, which it must not do while it renders: the unit
    // leaves rendering for that, and comes back.
    const bool rendering = unit.renderResourcesAllocated();
    if (rendering) unit.deallocateRenderResources();
    unit.setWavetable(samples->data(), samples->size(), 0);
    if (rendering)
        if (auto allocated = unit.allocateRenderResources(); !allocated)
            refuseVocoderFile("The vocoder cannot render again:", allocated.error().message);
}

} // namespace rozezeru

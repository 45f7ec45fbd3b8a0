// The route for PCM inputs: read, convert rate and channels, write linear PCM, all on the caller's
// thread.

#include "RozezEru/AudioFiles/FormatConverter/FormatConverter.h"

#include "RozezEru/Internals/Log.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/files/AudioConverter.h"
#include "platform/files/AudioFile.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace rozezeru {

namespace {

constexpr std::uint32_t pcmRouteBlockFrames = 8192;

// The output of the PCM route, from the options and the input's own format.
platform::AudioStreamDescription pcmRouteOutputFormat(const FormatConverter::Options& options,
                                                      const platform::AudioStreamDescription& input) {
    platform::AudioStreamDescription out;
    out.formatID = platform::audioFormatID::linearPCM;
    out.sampleRate = options.sampleRate.value_or(input.sampleRate);
    out.channelsPerFrame = options.channels.value_or(input.channelsPerFrame);
    std::uint32_t bits = options.bitDepth.value_or(input.bitsPerChannel);
    if (options.bitDepthRule == FormatConverter::BitDepthRule::lessThanOrEqual)
        bits = std::min(bits, input.bitsPerChannel);
    const bool substituted = bits == 0;
    out.bitsPerChannel = substituted ? 16 : bits;
    // Packed signed integers unless the caller asks for float, whatever the input holds; integer samples
    // stop at 32 bits, so a 64-bit float input gives 32-bit integers.
    out.isFloat = options.isFloat.value_or(false);
    if (!out.isFloat) out.bitsPerChannel = std::min(out.bitsPerChannel, 32u);
    switch (*options.format) {
    case AudioFileFormat::aif:
        out.fileType = platform::AudioFileType::aiff;
        out.isBigEndian = true;
        break;
    case AudioFileFormat::caf:
        out.fileType = platform::AudioFileType::caf;
        break;
    default:
        out.fileType = platform::AudioFileType::wave;
        break;
    }
    return out;
}

} // namespace

void FormatConverter::convertToPCM(const CompletionHandler& completionHandler) {
    auto report = [&](std::optional<platform::Error> error) {
        completionProxy(std::move(error), true, completionHandler);
    };
    auto fail = [&](std::string message) { report(makeError(std::move(message))); };
    if (!inputURL) return fail("Input file can't be nil.");
    if (!outputURL) return fail("Output file can't be nil.");
    if (!options || !options->format) return fail("Options can't be nil.");
    const AudioFileFormat format = *options->format;
    if (format != AudioFileFormat::aif && format != AudioFileFormat::caf && format != AudioFileFormat::wav)
        return fail("Output file must be caf, wav or aif.");

    auto opened = platform::AudioFile::openForReading(inputURL->path());
    if (!opened) return fail("Unable to open the input file.");
    platform::AudioFile& input = *opened.value();
    const platform::AudioStreamDescription& inFormat = input.fileFormat();
    const platform::AudioStreamDescription outFormat = pcmRouteOutputFormat(*options, inFormat);

    std::string inExtension = inputURL->pathExtension();
    std::transform(inExtension.begin(), inExtension.end(), inExtension.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    if (audioFileFormat(inExtension).value_or(AudioFileFormat::unknown) == format &&
        outFormat.sampleRate == inFormat.sampleRate &&
        outFormat.channelsPerFrame == inFormat.channelsPerFrame &&
        outFormat.bitsPerChannel == inFormat.bitsPerChannel && outFormat.isFloat == inFormat.isFloat &&
        inFormat.isLinearPCM()) {
        Log(LogSite("convertToPCM(completionHandler:)"),
            "No conversion is needed, formats are the same. Copying to", outputURL->path());
        auto partial = beginOutput();
        if (!partial) return report(partial.error());
        std::error_code ec;
        std::filesystem::copy_file(inputURL->path(), *partial,
                                   std::filesystem::copy_options::overwrite_existing, ec);
        if (ec) {
            Log(LogSite("convertToPCM(completionHandler:)"), ec.message());
            return report(platform::Error::make("platform.files", ec.message(), ec.value()));
        }
        if (auto moved = commitOutput(); !moved) return report(moved.error());
        return report(std::nullopt);
    }

    const std::string cannotCreate = "Unable to create output file at " + outputURL->path() + ". " +
                                     "dstFormat " + outFormat.description();
    if (std::uint64_t(outFormat.bitsPerChannel) * outFormat.channelsPerFrame > 0xffffffffu)
        return fail(cannotCreate);
    auto partial = beginOutput();
    if (!partial) return fail(cannotCreate);
    auto created = platform::AudioFile::openForWriting(*partial, outFormat.settings());
    if (!created) return fail(cannotCreate);
    platform::AudioFile& output = *created.value();

    auto converter = platform::AudioConverter::make(input.processingFormat(), output.processingFormat());
    if (!converter) return fail("Unable to set data format on input file.");
    auto block = platform::PcmBuffer::make(input.processingFormat(), pcmRouteBlockFrames);
    if (!block) return fail("Unable to set data format on input file.");

    const auto write = [&](const platform::PcmBuffer& frames) { return output.write(frames); };
    for (;;) {
        if (!input.read(*block)) return fail("Error reading from the input file.");
        if (block->frameLength() == 0) break;
        if (!converter.value()->convert(*block, write)) return fail("Error reading from the output file.");
    }
    if (!converter.value()->finish(write) || !output.close())
        return fail("Error reading from the output file.");
    if (auto moved = commitOutput(); !moved) return report(moved.error());
    report(std::nullopt);
}

} // namespace rozezeru

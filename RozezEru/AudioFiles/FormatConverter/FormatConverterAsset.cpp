// The asset routes: a compressed input or a compressed output, moved by an asset reader and writer
// on a serial queue of the conversion's own; and compressed to compressed through a temporary WAV.

#include "RozezEru/AudioFiles/FormatConverter/FormatConverter.h"

#include "RozezEru/Internals/Log.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/dispatch/SerialQueue.h"
#include "platform/files/AssetReader.h"
#include "platform/files/AssetWriter.h"
#include "platform/foundation/Files.h"

#include <algorithm>

namespace rozezeru {

namespace {

platform::AudioFileType assetRouteFileType(AudioFileFormat format) {
    switch (format) {
    case AudioFileFormat::aif:
        return platform::AudioFileType::aiff;
    case AudioFileFormat::caf:
        return platform::AudioFileType::caf;
    case AudioFileFormat::m4a:
        return platform::AudioFileType::mpeg4;
    default:
        return platform::AudioFileType::wave;
    }
}

} // namespace

void FormatConverter::convertPCMToCompressed(const CompletionHandler& completionHandler) {
    auto report = [&](std::optional<platform::Error> error) {
        completionProxy(std::move(error), true, completionHandler);
    };
    auto fail = [&](std::string message) { report(makeError(std::move(message))); };
    if (!inputURL) return fail("Input file can't be nil.");
    if (!outputURL) return fail("Output file can't be nil.");
    if (!options || !options->format) return fail("Options can't be nil.");
    const AudioFileFormat format = *options->format;
    if (std::find(supportedOutputFormats.begin(), supportedOutputFormats.end(), format) ==
        supportedOutputFormats.end())
        return fail("The output file format isn't able to be produced by this class.");

    auto madeReader = platform::AssetReader::make(inputURL->path());
    if (!madeReader) return report(madeReader.error());
    reader = madeReader.value();
    // The reader has the input open already: its format is the asset's audio format.
    const platform::AudioStreamDescription* input = &reader->fileFormat();

    const platform::AudioFileType type = assetRouteFileType(format);
    auto partial = beginOutput();
    if (!partial) return report(partial.error());
    auto madeWriter = platform::AssetWriter::make(*partial, type);
    if (!madeWriter) return report(madeWriter.error());
    writer = madeWriter.value();

    double sampleRate = options->sampleRate.value_or(input->sampleRate);
    const std::uint32_t channels = options->channels.value_or(input->channelsPerFrame);
    // Only a depth read from the input's own settings can mark the output as float.
    const bool depthFromInput = !options->bitDepth && input->bitsPerChannel > 0;
    const std::uint32_t bitDepth = options->bitDepth.value_or(depthFromInput ? input->bitsPerChannel : 16);
    if (sampleRate == 0.0) {
        Log(LogSite("convertPCMToCompressed(completionHandler:)"),
            "Sample rate can't be 0 - assigning to default format of 48k. inputFormat is", *input);
        sampleRate = 48000.0;
    }

    platform::AudioFileSettings settings;
    settings.sampleRate = sampleRate;
    settings.numberOfChannels = channels;
    if (format == AudioFileFormat::m4a) {
        settings.formatID = platform::audioFormatID::mpeg4AAC;
        settings.sampleRate = std::min(sampleRate, 48000.0);
        settings.encoderBitRate = channels == 1 ? options->bitRate() / 2 : options->bitRate();
    } else {
        settings.formatID = platform::audioFormatID::linearPCM;
        settings.linearPCMBitDepth = bitDepth;
        settings.linearPCMIsFloat =
            options->isFloat.value_or(depthFromInput && input->isFloat && bitDepth == 32);
        settings.linearPCMIsBigEndian = type != platform::AudioFileType::wave;
        settings.linearPCMIsNonInterleaved = !options->isInterleaved.value_or(!input->isNonInterleaved);
    }
    writer->addInput(settings);

    if (!writer->startWriting()) {
        const auto& error = writer->error();
        Log(LogSite("convertPCMToCompressed(completionHandler:)"), "Failed to start writing. Error:",
            error ? std::optional<std::string>(error->message) : std::nullopt);
        return report(error.value_or(makeError("The output file cannot be written.")));
    }
    if (!reader->startReading()) {
        const auto& error = reader->error();
        Log(LogSite("convertPCMToCompressed(completionHandler:)"), "Failed to start reading. Error:",
            error ? std::optional<std::string>(error->message) : std::nullopt);
        writer->cancelWriting();
        return report(error.value_or(makeError("Process canceled")));
    }

    // The queue goes with the last work that holds it, which may be its own.
    auto queue =
        std::make_shared<platform::SerialQueue>("com.fennorastudio.QRX.FormatConverter.convertAsset");
    auto self = keepAlive();
    writer->requestMediaDataWhenReady(
        *queue, [this, self, queue, assetReader = reader, assetWriter = writer, completionHandler] {
            const char* site = "convertPCMToCompressed(completionHandler:)";
            while (assetWriter->isReadyForMoreMediaData()) {
                if (assetReader->status() == platform::AssetReader::Status::reading) {
                    if (auto buffer = assetReader->copyNextSampleBuffer()) {
                        if (assetWriter->append(*buffer)) continue;
                        // A buffer the writer cannot take ends the conversion: the rest would be a file
                        // with a hole.
                        assetReader->cancelReading();
                        Log(LogSite(site), "Conversion failed with error", assetWriter->error()->message);
                        return completionProxy(assetWriter->error(), true, completionHandler);
                    }
                }
                assetWriter->markAsFinished();
                switch (assetReader->status()) {
                case platform::AssetReader::Status::completed:
                    assetWriter->finishWriting([&] {
                        if (assetWriter->status() == platform::AssetWriter::Status::failed) {
                            Log(LogSite(site), "Conversion failed at finishWriting");
                            return completionProxy(assetWriter->error(), true, completionHandler);
                        }
                        auto moved = commitOutput();
                        completionProxy(moved ? std::nullopt : std::optional(moved.error()), true,
                                        completionHandler);
                    });
                    return;
                case platform::AssetReader::Status::cancelled:
                    Log(LogSite(site), "Conversion cancelled");
                    assetWriter->cancelWriting();
                    return completionProxy(makeError("Process canceled"), true, completionHandler);
                default:
                    Log(LogSite(site), "Conversion failed with error",
                        assetReader->error() ? std::optional(assetReader->error()->message) : std::nullopt);
                    assetWriter->cancelWriting();
                    return completionProxy(
                        assetReader->error().value_or(makeError("Error reading from the input file.")), true,
                        completionHandler);
                }
            }
        });
}

void FormatConverter::convertViaTemporaryPCM(const CompletionHandler& completionHandler) {
    auto fail = [&](std::string message) {
        completionProxy(makeError(std::move(message)), false, completionHandler);
    };
    if (!inputURL) return fail("Input file can't be nil.");
    if (!outputURL) return fail("Output file can't be nil.");
    if (!options) return fail("Options can't be nil.");
    // Decoding the whole input only to be refused at the end helps nobody.
    if (options->format && std::find(supportedOutputFormats.begin(), supportedOutputFormats.end(),
                                     *options->format) == supportedOutputFormats.end())
        return fail("The output file format isn't able to be produced by this class.");

    // The intermediate WAV lives in a folder of its own beside the output, so that its name can
    // never be that of a file of the user's.
    const platform::Url folder = outputURL->deletingLastPathComponent();
    const std::string base = outputURL->deletingPathExtension().lastPathComponent();
    auto madeFolder = platform::makeTemporaryDirectory("." + base + ".", folder.path());
    if (!madeFolder) return completionProxy(madeFolder.error(), false, completionHandler);
    const std::string temporaryFolder = *madeFolder;
    const platform::Url temporary =
        platform::Url::fileURLWithPath(temporaryFolder + "/" + base + "_TEMP.wav", false);

    Options intermediate(AudioFileFormat::wav, options->sampleRate, 24, options->channels);
    auto first = std::make_shared<FormatConverter>(inputURL, temporary, intermediate);
    auto self = keepAlive();
    first->start([this, self, temporary, temporaryFolder,
                  completionHandler](const std::optional<platform::Error>& error) {
        if (error) {
            (void)platform::removeTemporaryDirectory(temporaryFolder);
            return completionProxy(makeError("Failed to convert input to PCM: " + error->message), false,
                                   completionHandler);
        }
        const auto originalInput = inputURL;
        inputURL = temporary;
        convertPCMToCompressed([this, self, originalInput, temporaryFolder,
                                completionHandler](const std::optional<platform::Error>& second) {
            (void)platform::removeTemporaryDirectory(temporaryFolder);
            inputURL = originalInput;
            if (completionHandler) completionHandler(second);
        });
    });
}

} // namespace rozezeru

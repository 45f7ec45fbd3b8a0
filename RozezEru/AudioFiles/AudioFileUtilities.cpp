#include "RozezEru/AudioFiles/AudioFileUtilities.h"

#include "RozezEru/AudioFiles/PcmBufferUtilities.h"
#include "RozezEru/Internals/Log.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/files/AudioFile.h"
#include "platform/foundation/Files.h"

#include <algorithm>
#include <cctype>
#include <unistd.h>

namespace rozezeru {

double duration(const platform::AudioFile& file) {
    const double rate = file.fileFormat().sampleRate;
    return rate > 0.0 ? double(file.length()) / rate : 0.0;
}

std::unique_ptr<platform::PcmBuffer> toAVAudioPCMBuffer(platform::AudioFile& file) {
    auto read = bufferFromFile(file);
    if (!read) {
        Log(LogSite("toAVAudioPCMBuffer()", OSLog::fileHandling(), LogType::error),
            "Cannot read into buffer " + read.error().message);
        return nullptr;
    }
    if (read.value())
        Log(LogSite("toAVAudioPCMBuffer()"), "Created buffer with format", read.value()->format());
    return std::move(read.value());
}

std::optional<std::vector<std::vector<float>>> toFloatChannelData(platform::AudioFile& file) {
    auto buffer = toAVAudioPCMBuffer(file);
    if (!buffer) return std::nullopt;
    return toFloatChannelData(*buffer);
}

std::optional<Peak> peak(platform::AudioFile& file) {
    auto buffer = toAVAudioPCMBuffer(file);
    if (!buffer) return std::nullopt;
    return peak(*buffer);
}

platform::Result<std::unique_ptr<platform::AudioFile>> writeAudioFile(const std::string& path,
                                                                      const platform::PcmBuffer& buffer) {
    auto settings = platform::AudioFileSettings::forFormat(buffer.format());
    settings.fileType = platform::audioFileTypeForPath(path);
    auto temporary = platform::makeTemporaryFileBeside(path);
    if (!temporary) return temporary.error();
    auto written = [&]() -> platform::Result<void> {
        auto file = platform::AudioFile::openForWriting(temporary->path(), settings);
        if (!file) return file.error();
        if (auto put = file.value()->write(buffer); !put) {
            Log(LogSite("init(url:fromBuffer:)", LogType::error), put.error().message);
            return put;
        }
        return file.value()->close();
    }();
    if (!written) {
        ::unlink(temporary->path().c_str());
        return written.error();
    }
    if (auto moved = platform::replaceItemWithTemporary(std::move(temporary.value()), path); !moved)
        return moved.error();
    return platform::AudioFile::openForReading(path);
}

std::unique_ptr<platform::AudioFile> extract(platform::AudioFile& file, const platform::Url& destination,
                                             double from, double to, double fadeInTime, double fadeOutTime) {
    auto whole = toAVAudioPCMBuffer(file);
    if (!whole) {
        Log(LogSite("extract(to:from:to:fadeInTime:fadeOutTime:)", LogType::error),
            "Error reading into input buffer");
        return nullptr;
    }
    std::shared_ptr<const platform::PcmBuffer> range = extract(*whole, from, to);
    if (!range) {
        Log(LogSite("extract(to:from:to:fadeInTime:fadeOutTime:)", LogType::error),
            "Failed to create edited buffer");
        return nullptr;
    }
    // Not-a-number lengths count as fades too: the fade itself decides what they mean.
    if (fadeInTime != 0.0 || fadeOutTime != 0.0)
        if (auto faded = fade(range, fadeInTime, fadeOutTime, false)) range = faded;
    platform::Url target = destination;
    std::string extension = target.pathExtension();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    if (extension != "caf") target = target.deletingPathExtension().appendingPathExtension("caf");
    auto written = writeAudioFile(target.path(), *range);
    if (!written) {
        Log(LogSite("extract(to:from:to:fadeInTime:fadeOutTime:)", LogType::error),
            "Failed to write new file at", target.path());
        return nullptr;
    }
    return std::move(written.value());
}

void extract(platform::AudioFile& file, const platform::Url& destination, double from, double to,
             double fadeInTime, double fadeOutTime, std::optional<FormatConverter::Options> options,
             FormatConverter::CompletionHandler completionHandler) {
    auto report = [&](const platform::Error& error) {
        if (completionHandler) completionHandler(error);
    };
    FormatConverter::Options settings = options ? *options : FormatConverter::Options::fromAudioFile(file);
    std::string extension = destination.pathExtension();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    // The options' format when they bring one, else what the destination's name asks for.
    const AudioFileFormat target = (options && options->format)
                                       ? *options->format
                                       : audioFileFormat(extension).value_or(AudioFileFormat::unknown);
    if (std::find(FormatConverter::supportedOutputFormats.begin(),
                  FormatConverter::supportedOutputFormats.end(),
                  target) == FormatConverter::supportedOutputFormats.end())
        return report(converterError("The output file format isn't able to be produced by this class.", 1));
    settings.format = target;

    const platform::Url folder = destination.deletingLastPathComponent();
    const std::string base = destination.deletingPathExtension().lastPathComponent();
    const platform::Url output =
        folder.appendingPathComponent(base, false).appendingPathExtension(std::string(rawValue(target)));
    // The range file lives in a folder of its own, so that its name is never that of a user's file.
    auto madeFolder = platform::makeTemporaryDirectory("." + base + ".", folder.path());
    if (!madeFolder) return report(converterError("Failed to create new file", 1));
    const std::string temporaryFolder = *madeFolder;
    const platform::Url temporary =
        platform::Url::fileURLWithPath(temporaryFolder + "/" + base + "_temp.caf", false);

    if (!extract(file, temporary, from, to, fadeInTime, fadeOutTime)) {
        (void)platform::removeTemporaryDirectory(temporaryFolder);
        return report(converterError("Failed to create new file", 1));
    }
    if (::access(temporary.path().c_str(), R_OK) != 0) {
        (void)platform::removeTemporaryDirectory(temporaryFolder);
        return report(converterError("File wasn't created correctly", 1));
    }
    auto converter = std::make_shared<FormatConverter>(temporary, output, settings);
    converter->start([temporaryFolder, completionHandler](const std::optional<platform::Error>& error) {
        const char* site = "extract(to:from:to:fadeInTime:fadeOutTime:options:completionHandler:)";
        if (error) Log(LogSite(site, LogType::error), "Done, error", error->message);
        if (completionHandler) completionHandler(error);
        if (!platform::removeTemporaryDirectory(temporaryFolder))
            Log(LogSite(site, LogType::error), "Unable to remove temp file at", temporaryFolder);
    });
}

platform::Error converterError(std::string message, int code) {
    return platform::Error::make(std::string(audioFileUtilitiesErrorDomain), std::move(message), code);
}

std::optional<platform::AudioStreamDescription> assetAudioFormat(const platform::Url& url) {
    auto file = platform::AudioFile::openForReading(url.path());
    if (!file) return std::nullopt;
    return file.value()->fileFormat();
}

} // namespace rozezeru

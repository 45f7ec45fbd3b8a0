#include "RozezEru/AudioFiles/FormatConverter/FormatConverter.h"

#include "RozezEru/Internals/Log.h"
#include "platform/files/AssetReader.h"
#include "platform/files/AssetWriter.h"
#include "platform/files/AudioFile.h"
#include "platform/foundation/Files.h"

#include <algorithm>
#include <cctype>
#include <sys/stat.h>
#include <unistd.h>

namespace rozezeru {

namespace {

std::string converterLowercased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

// Whether both paths name one existing file (through links or other spellings of the path).
bool converterSameFile(const std::string& a, const std::string& b) {
    if (a == b) return true;
    struct stat first {
    }, second{};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

} // namespace

// Options ----------------------------------------------------------------------------------------------

FormatConverter::Options::Options(std::optional<AudioFileFormat> format, std::optional<double> sampleRate,
                                  std::optional<std::uint32_t> bitDepth,
                                  std::optional<std::uint32_t> channels)
    : format(format), sampleRate(sampleRate), bitDepth(bitDepth), channels(channels) {}

FormatConverter::Options FormatConverter::Options::fromAudioFile(const platform::AudioFile& file) {
    Options options;
    options.format = audioFileFormat(platform::Url::fileURLWithPath(file.path()).pathExtension())
                         .value_or(AudioFileFormat::unknown);
    const auto& own = file.fileFormat();
    options.sampleRate = own.sampleRate;
    options.bitDepth = own.bitsPerChannel;
    options.channels = own.channelsPerFrame;
    return options;
}

std::optional<FormatConverter::Options> FormatConverter::Options::fromURL(const platform::Url& url) {
    auto file = platform::AudioFile::openForReading(url.path());
    if (!file) return std::nullopt;
    return fromAudioFile(*file.value());
}

void FormatConverter::Options::setBitRate(std::uint32_t bitRate) {
    bitRate_ = std::clamp<std::uint32_t>(bitRate, 64000, 320000);
}

// The converter --------------------------------------------------------------------------------------

FormatConverter::FormatConverter(std::optional<platform::Url> input, std::optional<platform::Url> output,
                                 std::optional<Options> given)
    : inputURL(std::move(input)), outputURL(std::move(output)),
      options(given ? std::move(given) : Options()) {}

FormatConverter::~FormatConverter() {
    // A conversion that never reported (its queue gone with the process's end) leaves no temporary.
    if (!partialOutput_.path().empty()) ::unlink(partialOutput_.path().c_str());
}

platform::Error FormatConverter::makeError(std::string message, int code) {
    return platform::Error::make(std::string(errorDomain), std::move(message), code);
}

std::shared_ptr<FormatConverter> FormatConverter::keepAlive() {
    return weak_from_this().lock();
}

void FormatConverter::start(CompletionHandler completionHandler) {
    auto refuse = [&](std::string message) {
        completionProxy(makeError(std::move(message)), false, completionHandler);
    };
    if (!inputURL) return refuse("Input file can't be nil.");
    if (!outputURL) return refuse("Output file can't be nil.");
    // Checked before anything is removed: the output's removal would take the input with it.
    if (converterSameFile(inputURL->path(), outputURL->path()))
        return refuse("The input and output files are the same. You need to choose another output URL.");
    if (platform::fileExists(outputURL->path())) {
        if (!options || !options->eraseFile)
            return refuse(
                "The output file exists already. You need to choose a unique URL or delete the file.");
        // The old file goes only when the new one is complete and renamed over it.
        Log(LogSite("start(completionHandler:)"), "Warning: removing existing file at", outputURL->path());
    }
    if (options && !options->format)
        options->format = audioFileFormat(converterLowercased(outputURL->pathExtension()))
                              .value_or(AudioFileFormat::unknown);

    const bool inputCompressed = isCompressed(*inputURL, false).value_or(false);
    const bool outputCompressed = isCompressed(*outputURL, false).value_or(false);
    if (!inputCompressed && !outputCompressed)
        convertToPCM(completionHandler);
    else if (!outputCompressed || !inputCompressed)
        convertPCMToCompressed(completionHandler);
    else
        convertViaTemporaryPCM(completionHandler);
}

std::optional<bool> FormatConverter::isCompressed(const platform::Url& url, bool ignoringExtension) {
    if (ignoringExtension) return isCompressedExt(url);
    const std::string extension = converterLowercased(url.pathExtension());
    for (const char* pcm : {"wav", "bwf", "aif", "aiff", "caf"})
        if (extension == pcm) return false;
    for (const char* compressed : {"m4a", "mp3", "mp4", "m4v", "mpg", "flac", "ogg"})
        if (extension == compressed) return true;
    return isCompressedExt(url).value_or(false);
}

std::optional<bool> FormatConverter::isPCM(const platform::Url& url) {
    const auto compressed = isCompressed(url, false);
    if (!compressed) return std::nullopt;
    return !*compressed;
}

std::optional<bool> FormatConverter::isCompressedExt(const platform::Url& url) {
    auto file = platform::AudioFile::openForReading(url.path());
    if (!file) {
        Log(LogSite("isCompressedExt(url:)"), "Unable to open", url.lastPathComponent());
        return std::nullopt;
    }
    const std::uint32_t id = file.value()->fileFormat().formatID;
    return id != platform::audioFormatID::linearPCM && id != platform::audioFormatID::appleLossless;
}

void FormatConverter::completionProxy(std::optional<platform::Error> error, bool deleteOutputOnError,
                                      const CompletionHandler& completionHandler) {
    if (!partialOutput_.path().empty()) {
        // Held until it is removed; one kept on an error is let go for a later sweep.
        const platform::TemporaryFile held = std::exchange(partialOutput_, {});
        const std::string& partial = held.path();
        if (error && deleteOutputOnError && platform::fileExists(partial)) {
            Log(LogSite("completionProxy(error:deleteOutputOnError:completionHandler:)"), "Deleting on error",
                partial);
            if (auto removed = platform::removeItem(partial); !removed)
                Log(LogSite("completionProxy(error:deleteOutputOnError:completionHandler:)"),
                    "Failed to remove file", partial, removed.error().message);
        }
    }
    if (completionHandler) completionHandler(error);
}

platform::Result<std::string> FormatConverter::beginOutput() {
    finalOutput_ = outputURL->path();
    auto temporary = platform::makeTemporaryFileBeside(finalOutput_);
    if (!temporary) return temporary.error();
    partialOutput_ = std::move(temporary.value());
    return partialOutput_.path();
}

platform::Result<void> FormatConverter::commitOutput() {
    // The temporary is gone either way: renamed, or removed by the failed replacement.
    return platform::replaceItemWithTemporary(std::exchange(partialOutput_, {}), finalOutput_);
}

} // namespace rozezeru

#pragma once
// Converts one audio file into another of a chosen container, sample rate, bit depth, channel count
// or bit rate: linear PCM in WAV, AIFF or CAF (integer or float samples) and AAC in M4A. Inputs are
// whatever platform::AudioFile reads (WAV, AIFF, CAF with PCM or Apple Lossless, FLAC, Ogg, MP3, the
// MPEG-4 family, ADTS, TS).
//
// A PCM input is converted on the thread that calls start(), which reports before it returns; a
// compressed input, or compressed output, is converted on a serial queue of the conversion's own
// and reported from there. Make converters with std::make_shared: a running conversion keeps its
// converter alive until it has reported (one not owned by a shared_ptr must be kept by the caller).
// One conversion at a time per converter; callers must not change its fields while one runs.
//
// The output is written to a temporary file beside it and renamed over the output location only
// when it is complete: a failed or cancelled conversion leaves nothing under the output's name, an
// existing file there survives it, and the input is never touched. The implementation is split by
// route: FormatConverter.cpp (options, dispatch, classification), FormatConverterPCM.cpp (PCM
// input) and FormatConverterAsset.cpp (the asset routes).

#include "RozezEru/AudioFiles/FormatConverter/AudioFileFormat.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Result.h"
#include "platform/foundation/Url.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {
class AssetReader;
class AssetWriter;
class AudioFile;
} // namespace platform

namespace rozezeru {

class FormatConverter : public std::enable_shared_from_this<FormatConverter> {
public:
    enum class BitDepthRule {
        lessThanOrEqual, // the output's bit depth is capped at the input's
        any,             // it may rise
    };

    struct Options {
        // Output format; when absent, start() sets it from the output location's extension.
        std::optional<AudioFileFormat> format;
        // Absent: the input's.
        std::optional<double> sampleRate;
        std::optional<std::uint32_t> bitDepth;
        BitDepthRule bitDepthRule = BitDepthRule::lessThanOrEqual;
        std::optional<std::uint32_t> channels;
        // Asset route, PCM output: the layout asked of the writer (files store interleaved frames).
        std::optional<bool> isInterleaved;
        // PCM output: float samples (32 or 64 bits) rather than integers. Absent: the PCM route writes
        // integers whatever the input holds; the asset route writes float only for an input whose own
        // settings say 32 bits of float.
        std::optional<bool> isFloat;
        // Whether an existing file at the output location may be replaced.
        bool eraseFile = true;

        Options() = default;
        Options(std::optional<AudioFileFormat> format, std::optional<double> sampleRate,
                std::optional<std::uint32_t> bitDepth, std::optional<std::uint32_t> channels);
        // Format from the file's extension exactly as written (else unknown); rate, bits and
        // channels from its own format.
        static Options fromAudioFile(const platform::AudioFile& file);
        // Nothing when the location cannot be opened as an audio file.
        static std::optional<Options> fromURL(const platform::Url& url);

        // Bits per second of AAC output; every assignment is clamped to 64000 ... 320000.
        std::uint32_t bitRate() const { return bitRate_; }
        void setBitRate(std::uint32_t bitRate);

    private:
        std::uint32_t bitRate_ = 128000;
    };

    // Called once per conversion with nothing on success, else the error.
    using CompletionHandler = std::function<void(const std::optional<platform::Error>&)>;

    static constexpr std::string_view errorDomain = "com.fennorastudio.FormatConverter.error";
    static constexpr std::array<AudioFileFormat, 4> supportedOutputFormats{
        AudioFileFormat::wav, AudioFileFormat::aif, AudioFileFormat::caf, AudioFileFormat::m4a};
    static constexpr std::array<AudioFileFormat, 17> supportedInputFormats{
        AudioFileFormat::wav,    AudioFileFormat::aif,  AudioFileFormat::caf,  AudioFileFormat::m4a,
        AudioFileFormat::mp3,    AudioFileFormat::snd,  AudioFileFormat::au,   AudioFileFormat::sd2,
        AudioFileFormat::aif,    AudioFileFormat::aiff, AudioFileFormat::aifc, AudioFileFormat::aac,
        AudioFileFormat::mp4,    AudioFileFormat::m4v,  AudioFileFormat::mov,  AudioFileFormat::ts,
        AudioFileFormat::unknown};

    // Without options the converter holds Options().
    FormatConverter(std::optional<platform::Url> inputURL, std::optional<platform::Url> outputURL,
                    std::optional<Options> options = std::nullopt);
    virtual ~FormatConverter();
    FormatConverter(const FormatConverter&) = delete;
    FormatConverter& operator=(const FormatConverter&) = delete;

    std::optional<platform::Url> inputURL;
    std::optional<platform::Url> outputURL;
    std::optional<Options> options;
    // Kept by an asset conversion while it runs; reader->cancelReading() cancels it.
    std::shared_ptr<platform::AssetReader> reader;
    std::shared_ptr<platform::AssetWriter> writer;

    // Checks the locations (an input that is the output is refused), fills in the format and
    // converts by the route the two files' kinds call for: PCM input to PCM output on this thread,
    // anything else through the asset routes.
    virtual void start(CompletionHandler completionHandler = {});

    // True for compressed data, false for PCM (and Apple Lossless); by the extension unless
    // `ignoringExtension` or the extension is not a known one, else from the contents. Nothing only
    // when the contents are asked for and cannot be read.
    static std::optional<bool> isCompressed(const platform::Url& url, bool ignoringExtension);
    static std::optional<bool> isPCM(const platform::Url& url);
    static std::optional<bool> isCompressedExt(const platform::Url& url);

    // An error in errorDomain with the message as its text.
    static platform::Error makeError(std::string message, int code = 1);
    // Every report goes through here: on an error (with deletion asked for) the output this
    // conversion began is removed, then the handler is called once. A file the converter did not
    // write is never removed.
    void completionProxy(std::optional<platform::Error> error, bool deleteOutputOnError,
                         const CompletionHandler& completionHandler);

    // The routes start() chooses; callable directly for a known route.
    void convertToPCM(const CompletionHandler& completionHandler);
    void convertPCMToCompressed(const CompletionHandler& completionHandler);
    void convertViaTemporaryPCM(const CompletionHandler& completionHandler);

private:
    // The temporary beside the output that this conversion writes, made now; nothing when the
    // output's folder does not take it.
    platform::Result<std::string> beginOutput();
    // Renames the finished temporary over the output location.
    platform::Result<void> commitOutput();
    // Keeps the converter alive while queued work refers to it (when it is owned by a shared_ptr).
    std::shared_ptr<FormatConverter> keepAlive();

    // Held while the conversion writes it.
    platform::TemporaryFile partialOutput_;
    std::string finalOutput_;
};

} // namespace rozezeru

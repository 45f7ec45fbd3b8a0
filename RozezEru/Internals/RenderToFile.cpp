#include "RozezEru/Internals/RenderToFile.h"

#include "RozezEru/AudioFiles/PcmBufferUtilities.h"
#include "RozezEru/Internals/Log.h"
#include "platform/audio/AudioEngine.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/files/AudioFile.h"

#include <algorithm>
#include <cmath>

namespace rozezeru {

namespace {

constexpr const char* renderToFileFunction =
    "render(to:maximumFrameCount:duration:renderUntilSilent:silenceThreshold:prerender:progress:)";

platform::Error renderToFileError(const char* message) {
    return platform::Error::make(renderToFileErrorDomain, message, 1);
}

// The frame count of `seconds` at `rate`; nothing for a negative or not-a-number duration and for
// one whose frames a signed 64-bit count cannot hold (converting those would be undefined).
std::optional<std::int64_t> renderToFileFrames(double rate, double seconds) {
    if (!(seconds >= 0.0)) return std::nullopt;
    const double frames = std::trunc(rate * seconds);
    if (!(frames >= 0.0 && frames < 9223372036854775808.0)) return std::nullopt;
    return static_cast<std::int64_t>(frames);
}

} // namespace

platform::Result<void> renderToFile(platform::AudioEngine& engine, platform::AudioFile& file,
                                    std::uint32_t maximumFrameCount, double duration, bool renderUntilSilent,
                                    float silenceThreshold, const std::function<void()>& prerender,
                                    const std::function<void(double)>& progress,
                                    std::optional<double> untilSilentLimit) {
    const platform::AudioFormat format = file.processingFormat();
    const auto target = renderToFileFrames(format.sampleRate(), duration);
    std::optional<std::int64_t> limit;
    if (renderUntilSilent) {
        const double limitSeconds = untilSilentLimit.value_or(duration + renderUntilSilentDefaultOverrun);
        limit = renderToFileFrames(format.sampleRate(), limitSeconds);
    }
    if (!target || (renderUntilSilent && !limit))
        return renderToFileError("Seconds needs to be a positive value");

    const bool wasRunning = engine.isRunning();
    if (wasRunning) engine.stop();

    // Whatever fails from here on, the engine does not stay in manual rendering: it goes back to
    // its device, running again when it ran before.
    auto fail = [&](platform::Error error) -> platform::Result<void> {
        engine.stop();
        (void)engine.disableManualRenderingMode();
        if (wasRunning) (void)engine.start();
        return error;
    };

    if (auto enabled = engine.enableManualRenderingMode(format, maximumFrameCount); !enabled)
        return fail(enabled.error());
    engine.reset();
    if (auto started = engine.start(); !started) return fail(started.error());

    auto buffer =
        platform::PcmBuffer::make(engine.manualRenderingFormat(), engine.manualRenderingMaximumFrameCount());
    if (!buffer) return fail(renderToFileError("Couldn't create buffer in renderToFile"));

    if (prerender) prerender();

    const std::uint32_t channels = buffer->format().channelCount();
    int silentRuns = 0;
    for (bool done = false; !done;) {
        const std::int64_t position = file.framePosition();
        std::uint32_t frames = 0;
        if (renderUntilSilent) {
            if (position >= *limit) {
                Log(LogSite(renderToFileFunction), "⚠️ renderToFile reached its limit of",
                    double(*limit) / format.sampleRate(), "seconds before silence");
                break;
            }
            frames = std::uint32_t(
                std::min<std::int64_t>(engine.manualRenderingMaximumFrameCount(), *limit - position));
        } else {
            if (position >= *target) break;
            frames = std::uint32_t(std::min<std::int64_t>(buffer->frameCapacity(), *target - position));
        }

        auto status = engine.renderOffline(frames, *buffer);
        if (!status) return fail(status.error());

        switch (*status) {
        case platform::ManualRenderingStatus::success: {
            if (auto written = file.write(*buffer); !written) return fail(written.error());
            const std::int64_t written = file.framePosition();
            if (progress) progress(std::min(double(written) / double(*target), 1.0));
            if (renderUntilSilent && written >= *target) {
                // A buffer without float samples never counts as silent.
                const auto rms = averageRms(*buffer, channels);
                if (rms && silenceThreshold > *rms) {
                    done = ++silentRuns > 2;
                } else {
                    silentRuns = 0;
                }
            }
            break;
        }
        case platform::ManualRenderingStatus::cannotDoInCurrentContext:
            // Another render call is under way; this slice is tried again.
            Log(LogSite(renderToFileFunction, LogType::error), "renderToFile cannotDoInCurrentContext");
            break;
        case platform::ManualRenderingStatus::error:
        case platform::ManualRenderingStatus::insufficientDataFromInputNode:
            return fail(renderToFileError("render error"));
        default:
            Log(LogSite(renderToFileFunction, LogType::error), "Unknown render result:", int(*status));
            done = true;
            break;
        }
    }

    engine.stop();
    (void)engine.disableManualRenderingMode();
    return {};
}

} // namespace rozezeru

#include "RozezEru/AudioFiles/WaveformDataRequest.h"

#include "RozezEru/Internals/Log.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/files/AudioFile.h"

#include <algorithm>
#include <cmath>

namespace rozezeru {

namespace {

float waveformRms(const float* samples, std::uint32_t frames) {
    if (frames == 0) return 0.0f;
    double sum = 0.0;
    for (std::uint32_t i = 0; i < frames; ++i)
        sum += double(samples[i]) * samples[i];
    return float(std::sqrt(sum / frames));
}

} // namespace

WaveformDataRequest::WaveformDataRequest(std::shared_ptr<platform::AudioFile> audioFile)
    : audioFile_(std::move(audioFile)) {}

platform::Result<std::shared_ptr<WaveformDataRequest>> WaveformDataRequest::make(const std::string& path) {
    auto file = platform::AudioFile::openForReading(path);
    if (!file) return file.error();
    return std::make_shared<WaveformDataRequest>(
        std::shared_ptr<platform::AudioFile>(std::move(file.value())));
}

WaveformDataRequest::~WaveformDataRequest() {
    Log(LogSite("deinit"), "* { WaveformDataRequest }");
}

void WaveformDataRequest::setAbortGetWaveformData(bool abort) {
    abortWaveformDataQueue_.asyncBarrier([this, abort] { abort_.store(abort, std::memory_order_release); });
}

void WaveformDataRequest::cancel() {
    setAbortGetWaveformData(true);
}

std::optional<WaveformDataRequest::Data> WaveformDataRequest::getData(std::int64_t wanted,
                                                                      std::optional<std::int64_t> offset,
                                                                      std::optional<std::uint64_t> length) {
    const char* site = "getData(with:offset:length:)";
    if (!audioFile_) return std::nullopt;
    platform::AudioFile& file = *audioFile_;
    const auto points = std::uint64_t(std::max<std::int64_t>(wanted, 64));
    const std::int64_t savedFrame = file.framePosition();
    if (std::uint64_t(file.length()) > 0xffffffffu || points > 0xffffffffu) {
        Log(LogSite(site, LogType::error), "The file is too long for waveform data:", file.length(),
            "frames");
        return std::nullopt;
    }
    const auto totalFrames = std::uint32_t(file.length());
    const std::uint32_t framesPerPoint = totalFrames / std::uint32_t(points);
    const std::uint32_t channels = file.processingFormat().channelCount();
    Data data(channels, std::vector<float>(points, 0.0f));
    // Fewer frames than points: every point is empty, and silent.
    if (framesPerPoint == 0) return data;
    auto buffer = platform::PcmBuffer::make(file.processingFormat(), framesPerPoint);
    if (!buffer) return std::nullopt;

    std::uint64_t startPoint = 0;
    std::int64_t startFrame = 0;
    if (offset && *offset >= 0) {
        startPoint = std::uint64_t(*offset);
        startFrame = std::int64_t(std::min<std::uint64_t>(startPoint, points)) * framesPerPoint;
    } else if (offset) {
        startPoint = std::uint64_t(std::max<std::int64_t>(0, savedFrame / framesPerPoint + *offset));
        startFrame = std::int64_t(startPoint) * framesPerPoint;
    } else {
        startPoint = std::uint64_t(std::max<std::int64_t>(0, savedFrame / framesPerPoint));
        startFrame = savedFrame;
    }
    std::uint64_t endPoint = points;
    if (length) endPoint = *length > points - std::min(startPoint, points) ? points : startPoint + *length;
    endPoint = std::min(endPoint, points);
    if (endPoint < startPoint) {
        Log(LogSite(site), "offset is larger than total length.");
        return std::nullopt;
    }

    std::uint32_t framesToRead = framesPerPoint;
    for (std::uint64_t i = startPoint; i < endPoint; ++i) {
        if (abortGetWaveformData()) {
            file.setFramePosition(savedFrame);
            setAbortGetWaveformData(false);
            Log(LogSite(site, LogType::error), "* Aborting waveform data get *");
            return std::nullopt;
        }
        file.setFramePosition(startFrame);
        if (auto read = file.read(*buffer, framesToRead); !read) {
            Log(LogSite(site, OSLog::fileHandling(), LogType::error),
                "Error: Couldn't read into buffer. " + read.error().message);
            return std::nullopt;
        }
        for (std::uint32_t c = 0; c < channels; ++c)
            data[c][i] = waveformRms(buffer->channel(c), buffer->frameLength());
        startFrame += framesToRead;
        if (std::uint64_t(startFrame) + framesToRead > totalFrames) {
            framesToRead = startFrame < totalFrames ? std::uint32_t(totalFrames - startFrame) : 0;
            if (framesToRead == 0) break;
        }
    }
    file.setFramePosition(savedFrame);
    return data;
}

void WaveformDataRequest::getData(std::int64_t points, std::optional<std::int64_t> offset,
                                  std::optional<std::uint64_t> length, platform::DispatchQueue& queue,
                                  std::function<void(std::optional<Data>)> completion) {
    queue.async([self = shared_from_this(), points, offset, length, completion = std::move(completion)] {
        auto data = self->getData(points, offset, length);
        if (completion) completion(std::move(data));
    });
}

} // namespace rozezeru

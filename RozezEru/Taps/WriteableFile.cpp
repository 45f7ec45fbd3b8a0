#include "RozezEru/Taps/WriteableFile.h"

#include "RozezEru/AudioFiles/PcmBufferUtilities.h"
#include "RozezEru/Internals/Log.h"
#include "RozezEru/Taps/RecordingFiles.h"

#include <filesystem>

namespace rozezeru {

WriteableFile::WriteableFile(std::string url, platform::AudioStreamDescription fileFormat,
                             std::int32_t channel, std::uint32_t ioLatency)
    : fileFormat_(fileFormat), channel_(channel), ioLatency_(ioLatency), url_(std::move(url)) {}

std::string WriteableFile::description() const {
    std::lock_guard lock(mutex_);
    return "url: " + url_ + ", channel: " + std::to_string(channel_) +
           ", file is open: " + (file_ ? "true" : "false");
}

std::string WriteableFile::url() const {
    std::lock_guard lock(mutex_);
    return url_;
}

bool WriteableFile::isOpen() const {
    std::lock_guard lock(mutex_);
    return file_ != nullptr;
}

float WriteableFile::amplitude() const {
    std::lock_guard lock(mutex_);
    return amplitude_;
}

double WriteableFile::duration() const {
    std::lock_guard lock(mutex_);
    return double(totalFramesWritten_) / fileFormat_.sampleRate;
}

std::vector<float> WriteableFile::amplitudeArray() const {
    std::lock_guard lock(mutex_);
    return amplitudeArray_;
}

std::optional<platform::AudioTime> WriteableFile::timestamp() const {
    std::lock_guard lock(mutex_);
    return timestamp_;
}

std::uint64_t WriteableFile::totalFramesRead() const {
    std::lock_guard lock(mutex_);
    return totalFramesRead_;
}

std::int64_t WriteableFile::totalFramesWritten() const {
    std::lock_guard lock(mutex_);
    return totalFramesWritten_;
}

bool WriteableFile::ioLatencyHandled() const {
    std::lock_guard lock(mutex_);
    return ioLatencyHandled_;
}

void WriteableFile::createFile() {
    std::lock_guard lock(mutex_);
    if (file_) return;
    timestamp_.reset();
    const std::filesystem::path path(url_);
    std::string extension = path.extension().string();
    if (!extension.empty()) extension.erase(0, 1);
    auto file = createRecordingFile(path.parent_path().string(), path.stem().string(), extension,
                                    fileFormat_.settings());
    if (!file.ok()) {
        Log(LogSite("createFile()"), file.error().message);
        return;
    }
    file_ = std::move(file.value());
    url_ = file_->path();
}

platform::Result<void> WriteableFile::writeFile(const platform::PcmBuffer& buffer,
                                                const platform::AudioTime& time) {
    std::lock_guard lock(mutex_);
    return writeLocked(buffer, time, amplitude_);
}

platform::Result<void> WriteableFile::update(const platform::PcmBuffer& buffer,
                                             const platform::AudioTime& time, bool write) {
    const float level = averageRms(buffer, buffer.format().channelCount()).value_or(0.0f);
    std::lock_guard lock(mutex_);
    lengthBeforeLastWrite_.reset();
    if (write)
        if (auto result = writeLocked(buffer, time, level); !result.ok()) return result;
    amplitude_ = level;
    return {};
}

platform::Result<void> WriteableFile::writeLocked(const platform::PcmBuffer& buffer,
                                                  const platform::AudioTime& time, float level) {
    lengthBeforeLastWrite_.reset();
    if (!file_) return {};
    const std::uint32_t frames = buffer.frameLength();
    totalFramesRead_ += frames;
    if (!timestamp_) timestamp_ = time;
    const platform::PcmBuffer* chosen = &buffer;
    std::unique_ptr<platform::PcmBuffer> partial;
    if (!ioLatencyHandled_ && ioLatency_ != 0) {
        const LogSite site("writeFile(buffer:time:)");
        Log(site, "Actual buffer size is", frames, "totalFramesRead", totalFramesRead_, "Attempting to skip",
            ioLatency_, "frames for latency compensation");
        if (totalFramesRead_ <= ioLatency_) return {};
        const auto past = std::uint32_t(totalFramesRead_ - ioLatency_);
        if (past < frames) partial = copyFrom(buffer, frames - past);
        if (partial) {
            Log(site, "Writing partial buffer", partial->frameLength(), "frames, ioLatency is", ioLatency_,
                "latencyOffset", past);
            chosen = partial.get();
        } else {
            Log(site, "Unexpected buffer size of", frames);
        }
        ioLatencyHandled_ = true;
    }
    const std::int64_t before = file_->length();
    if (auto result = file_->write(*chosen); !result.ok()) return result;
    lengthBeforeLastWrite_ = before;
    // The level of the buffer just written, so that the history lines up with the audio.
    amplitudeArray_.push_back(level);
    totalFramesWritten_ = file_->length();
    return {};
}

platform::Result<void> WriteableFile::undoLastWrite() {
    std::lock_guard lock(mutex_);
    if (!file_ || !lengthBeforeLastWrite_) return {};
    if (auto cut = file_->truncate(*lengthBeforeLastWrite_); !cut.ok()) return cut;
    lengthBeforeLastWrite_.reset();
    if (!amplitudeArray_.empty()) amplitudeArray_.pop_back();
    totalFramesWritten_ = file_->length();
    return {};
}

void WriteableFile::close() {
    std::lock_guard lock(mutex_);
    Log(LogSite("close()"), "recorded duration is", double(totalFramesWritten_) / fileFormat_.sampleRate,
        "initial timestamp is", timestamp_ ? std::optional(timestamp_->hostTime()) : std::nullopt,
        "totalFramesRead", totalFramesRead_, "file.length",
        file_ ? std::optional(file_->length()) : std::nullopt);
    if (file_) {
        if (auto result = file_->close(); !result.ok()) Log(LogSite("close()"), result.error().message);
    }
    file_.reset();
    amplitudeArray_.clear();
}

} // namespace rozezeru

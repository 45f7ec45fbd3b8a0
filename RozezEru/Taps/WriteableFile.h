#pragma once
// One channel file of the multi-channel input tap: creates its file, writes the buffers it is handed
// (skipping the input's latency at the very start), meters them and closes. Every operation takes
// the file's own lock, so the owner's close() never meets the tap thread's write halfway. Any thread
// but the render thread.

#include "platform/audio/AudioTime.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/files/AudioFile.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace rozezeru {

class WriteableFile {
public:
    // Creates nothing yet.
    WriteableFile(std::string url, platform::AudioStreamDescription fileFormat, std::int32_t channel,
                  std::uint32_t ioLatency);
    WriteableFile(const WriteableFile&) = delete;
    WriteableFile& operator=(const WriteableFile&) = delete;

    // "url: <path>, channel: <n>, file is open: true|false"
    std::string description() const;

    // Where the file is; createFile() moves it to " 2", " 3" … when another writer took the name.
    std::string url() const;
    const platform::AudioStreamDescription& fileFormat() const { return fileFormat_; }
    std::int32_t channel() const { return channel_; }
    bool isOpen() const;
    float amplitude() const;
    double duration() const;
    // The level of each buffer written, in order.
    std::vector<float> amplitudeArray() const;
    // The time of the first buffer handed over since the file was created.
    std::optional<platform::AudioTime> timestamp() const;
    std::uint32_t ioLatency() const { return ioLatency_; }
    std::uint64_t totalFramesRead() const;
    std::int64_t totalFramesWritten() const;
    bool ioLatencyHandled() const;

    // Creates the file unless one is open; a failure is logged and later writes do nothing.
    void createFile();
    // Writes the buffer, or its part past the latency; nothing without an open file.
    platform::Result<void> writeFile(const platform::PcmBuffer& buffer, const platform::AudioTime& time);
    // Meters the buffer, and first writes it when `write` is true; a failed write leaves the level.
    platform::Result<void> update(const platform::PcmBuffer& buffer, const platform::AudioTime& time,
                                  bool write);
    void close();
    // Takes the last buffer handed over back out of the file, when it was written there: a take that
    // ends on a failed write keeps every channel to the same frame.
    platform::Result<void> undoLastWrite();

private:
    platform::Result<void> writeLocked(const platform::PcmBuffer& buffer, const platform::AudioTime& time,
                                       float level);

    const platform::AudioStreamDescription fileFormat_;
    const std::int32_t channel_;
    const std::uint32_t ioLatency_;
    mutable std::mutex mutex_;
    std::string url_;
    std::unique_ptr<platform::AudioFile> file_;
    float amplitude_ = 0.0f;
    std::vector<float> amplitudeArray_;
    std::optional<platform::AudioTime> timestamp_;
    std::uint64_t totalFramesRead_ = 0;
    std::int64_t totalFramesWritten_ = 0;
    bool ioLatencyHandled_ = false;
    // What the file held before the last buffer handed over, when that buffer was written.
    std::optional<std::int64_t> lengthBeforeLastWrite_;
};

} // namespace rozezeru

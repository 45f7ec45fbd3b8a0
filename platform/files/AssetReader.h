#pragma once
// Reads the audio of a media file as a sequence of decoded PCM buffers (stands in for the
// platform's asset reader with one track output). Buffers are 32-bit float, non-interleaved, at the
// file's own rate and channel count, in file order. Made and started on one thread, read on one
// thread at a time; status() and cancelReading() may be called from any thread.

#include "platform/audio/AudioFormat.h"
#include "platform/files/AudioFileSettings.h"
#include "platform/foundation/Result.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform {

class AudioFile;
class PcmBuffer;

class AssetReader {
public:
    enum class Status { unknown, reading, completed, failed, cancelled };

    // Fails with the audio file's error when the file cannot be read.
    static Result<std::shared_ptr<AssetReader>> make(const std::string& path);
    ~AssetReader();
    AssetReader(const AssetReader&) = delete;
    AssetReader& operator=(const AssetReader&) = delete;

    const AudioStreamDescription& fileFormat() const;
    const AudioFormat& processingFormat() const;

    // unknown → reading; false in any other status.
    bool startReading();
    // The next buffer; null at the end, after a failure or a cancellation, the status being set
    // (completed, failed or cancelled) before it returns, so a null buffer never leaves it reading.
    std::shared_ptr<const PcmBuffer> copyNextSampleBuffer();
    // Stops reading at the next buffer; nothing after completion or failure.
    void cancelReading();
    Status status() const { return status_.load(std::memory_order_acquire); }
    // Why reading failed; set before the status turns failed.
    const std::optional<Error>& error() const { return error_; }

private:
    explicit AssetReader(std::unique_ptr<AudioFile> file);

    std::unique_ptr<AudioFile> file_;
    std::atomic<Status> status_{Status::unknown};
    std::optional<Error> error_;
};

} // namespace platform

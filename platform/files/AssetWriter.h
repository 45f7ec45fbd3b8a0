#pragma once
// Writes one audio input into a new file (stands in for the platform's asset writer with one audio
// writer input): buffers appended in any rate and channel count are converted to the input's
// settings and stored as linear PCM (WAV, AIFF, CAF) or AAC in M4A. The writer writes exactly where
// it is told; callers that must never expose a half-written file give it a temporary path. One
// thread at a time; status() may be read from any thread.

#include "platform/files/AudioFileSettings.h"
#include "platform/foundation/Result.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace platform {

class AudioConverter;
class AudioFile;
class DispatchQueue;
class PcmBuffer;

class AssetWriter {
public:
    enum class Status { unknown, writing, completed, failed, cancelled };

    // Fails when `type` is not one the writer writes.
    static Result<std::shared_ptr<AssetWriter>> make(const std::string& path, AudioFileType type);
    ~AssetWriter();
    AssetWriter(const AssetWriter&) = delete;
    AssetWriter& operator=(const AssetWriter&) = delete;

    // The one audio input, before startWriting(); false when there is one already or writing began.
    bool addInput(const AudioFileSettings& settings);
    // Creates the file: unknown → writing. On failure the status is failed and error() says why.
    bool startWriting();

    // The input takes buffers while writing and not marked finished.
    bool isReadyForMoreMediaData() const;
    // Posts `block` to `queue`; the block appends while the input is ready.
    void requestMediaDataWhenReady(DispatchQueue& queue, std::function<void()> block);
    // Appends 32-bit float, non-interleaved frames; a failure turns the status failed.
    bool append(const PcmBuffer& buffer);
    void markAsFinished();

    // Writes what the conversion still holds and closes the file (completed or failed), then calls
    // `handler` on this thread.
    void finishWriting(const std::function<void()>& handler);
    // Closes the file and leaves it as it is (the caller removes it): cancelled.
    void cancelWriting();

    Status status() const { return status_.load(std::memory_order_acquire); }
    const std::optional<Error>& error() const { return error_; }

private:
    AssetWriter(std::string path, AudioFileType type);
    void fail(Error error);

    std::string path_;
    AudioFileType type_;
    std::optional<AudioFileSettings> settings_;
    std::unique_ptr<AudioFile> file_;
    std::unique_ptr<AudioConverter> converter_;
    bool finished_ = false;
    std::atomic<Status> status_{Status::unknown};
    std::optional<Error> error_;
};

} // namespace platform

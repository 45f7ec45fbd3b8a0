#pragma once
// The numbers behind a waveform picture: for a number of points across a whole audio file, the
// root-mean-square level of each channel over the frames of each point, read one point at a time
// (memory is one point's frames, whatever the file's length). A running request can be cancelled
// from any thread; it stops at its next point.
//
// One reader at a time: requests share the file and its read position. getData() runs on the
// caller's thread, its asynchronous form on the queue the caller names; cancel() and
// abortGetWaveformData() from any thread.

#include "platform/dispatch/ConcurrentQueue.h"
#include "platform/foundation/Result.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class AudioFile;
class DispatchQueue;
} // namespace platform

namespace rozezeru {

class WaveformDataRequest : public std::enable_shared_from_this<WaveformDataRequest> {
public:
    // One array per channel, one level per point.
    using Data = std::vector<std::vector<float>>;

    explicit WaveformDataRequest(std::shared_ptr<platform::AudioFile> audioFile);
    // Opens the file for reading; its error is passed on.
    static platform::Result<std::shared_ptr<WaveformDataRequest>> make(const std::string& path);
    // Logs "* { WaveformDataRequest }".
    ~WaveformDataRequest();

    const std::shared_ptr<platform::AudioFile>& audioFile() const { return audioFile_; }

    // Levels for `points` points across the file (at least 64; the frames that do not fill a last
    // point belong to none), computed for `length` points (none: to the end) from `offset`: a point
    // index; a negative one steps back that many points from the point holding the file's position;
    // none starts at that point but reads from the position itself. Other points stay 0. The file's
    // position is put back afterwards. None when the file is missing or cannot be read, the offset is
    // past the end, the request was cancelled, or the file holds more than 4294967295 frames. A file
    // with fewer frames than points gives all zeros.
    std::optional<Data> getData(std::int64_t points, std::optional<std::int64_t> offset = std::nullopt,
                                std::optional<std::uint64_t> length = std::nullopt);
    // The same on `queue`, handing the result to `completion` there; keeps the request alive until then.
    void getData(std::int64_t points, std::optional<std::int64_t> offset, std::optional<std::uint64_t> length,
                 platform::DispatchQueue& queue, std::function<void(std::optional<Data>)> completion);

    // Sets the abort flag (through the request's queue): a running request stops at its next point.
    void cancel();
    bool abortGetWaveformData() const { return abort_.load(std::memory_order_acquire); }
    void setAbortGetWaveformData(bool abort);

private:
    std::shared_ptr<platform::AudioFile> audioFile_;
    std::atomic<bool> abort_{false};
    // Declared last: its destruction waits for pending flag writes, which use the flag.
    platform::ConcurrentQueue abortWaveformDataQueue_{"WaveformDataRequest.abortWaveformDataQueue"};
};

} // namespace rozezeru

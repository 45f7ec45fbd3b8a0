#pragma once
// Records chosen channels of an engine's input node into one mono 24-bit file per channel, named
// after the channel and numbered by take ("Audio 3 #1.wav"). The tap stays on the node between takes,
// so the files' levels follow the input; only during a take is anything written. Make it with
// std::make_shared: the installed tap holds it. Set-up, record() and stop() on one controlling thread;
// the buffers arrive on the process's tap thread, never the render thread.

#include "RozezEru/Internals/ThreadLockedAccessor.h"
#include "RozezEru/Taps/WriteableFile.h"
#include "platform/audio/AudioFormat.h"
#include "platform/audio/AudioTime.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/files/AudioFileSettings.h"
#include "platform/foundation/Result.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class InputNode;
} // namespace platform

namespace rozezeru {

class MultiChannelInputNodeTap;

// Told about the tap; implement all four.
class MultiChannelInputNodeTapDelegate {
public:
    virtual ~MultiChannelInputNodeTapDelegate() = default;
    // On the thread that changed recordEnabled.
    virtual void tapInstalled(MultiChannelInputNodeTap& tap) = 0;
    virtual void tapRemoved(MultiChannelInputNodeTap& tap) = 0;
    // On the tap thread, after each buffer handled while the tap is enabled.
    virtual void dataProcessed(MultiChannelInputNodeTap& tap, std::uint32_t frameLength,
                               const platform::AudioTime& time) = 0;
    // On the tap thread, once the take has ended because a channel file could not be written (a
    // full disk, say): every file is closed with the buffers written in full before.
    virtual void recordingFailed(MultiChannelInputNodeTap& tap, const platform::Error& error) = 0;
};

class MultiChannelInputNodeTap : public std::enable_shared_from_this<MultiChannelInputNodeTap> {
public:
    using WriteableFile = rozezeru::WriteableFile;

    struct FileChannel {
        std::string name;     // the file names' stem
        std::int32_t channel; // 0-based device input channel
        friend bool operator==(const FileChannel&, const FileChannel&) = default;
    };

    // The node belongs to its engine, which must outlive the tap.
    explicit MultiChannelInputNodeTap(platform::InputNode* inputNode);
    ~MultiChannelInputNodeTap();
    MultiChannelInputNodeTap(const MultiChannelInputNodeTap&) = delete;
    MultiChannelInputNodeTap& operator=(const MultiChannelInputNodeTap&) = delete;

    void setDelegate(std::weak_ptr<MultiChannelInputNodeTapDelegate> delegate);
    const std::optional<std::vector<FileChannel>>& fileChannels() const { return fileChannels_; }
    // Sets the channel map to the entries' channels too.
    void setFileChannels(std::optional<std::vector<FileChannel>> fileChannels);
    // One slot per file channel, in order; an empty slot is a channel that found no free file name and
    // is not recorded.
    std::vector<std::shared_ptr<WriteableFile>> files() const { return files_.wrappedValue(); }
    platform::InputNode* inputNode() const { return inputNode_; }
    bool isRecording() const { return isRecording_.load(); }
    const std::string& recordFileType() const { return recordFileType_; }
    void setRecordFileType(std::string type) { recordFileType_ = std::move(type); }
    std::optional<platform::AudioFormat> recordFormat() const;
    std::optional<platform::AudioFormat> bufferFormat() const;
    const std::optional<platform::AudioStreamDescription>& fileFormat() const { return fileFormat_; }
    double sampleRate() const { return sampleRate_; }
    std::uint32_t channels() const { return 1; }
    std::uint32_t bitsPerChannel() const { return 24; }
    std::uint32_t bufferSize() const { return bufferSize_; }
    // Applies at the next installation.
    void setBufferSize(std::uint32_t frames);
    bool recordEnabled() const { return recordEnabled_.load(); }
    // Installs or removes the tap; nothing without a record format.
    void setRecordEnabled(bool enabled);
    const std::optional<std::string>& directory() const { return directory_; }
    void setDirectory(std::optional<std::string> directory) { directory_ = std::move(directory); }
    // The take number the next name search starts from; never below 1.
    std::int64_t recordCounter() const { return recordCounter_; }
    void setRecordCounter(std::int64_t counter) { recordCounter_ = counter < 2 ? 1 : counter; }
    std::optional<platform::AudioTime> startedAtTime() const;
    std::optional<platform::AudioTime> stoppedAtTime() const;
    const std::vector<std::int32_t>& channelMap() const { return channelMap_; }
    // Entry i is the device channel heard on channel i of the tap; a map the node refuses changes
    // nothing. A new map removes the tap.
    void setChannelMap(std::vector<std::int32_t> map);
    std::uint32_t ioLatency() const { return ioLatency_; }
    void setIOLatency(std::uint32_t frames) { ioLatency_ = frames; }

    // One file channel "Audio <c + 1>" per device channel c, then as prepare(fileChannels).
    void prepare(const std::vector<std::int32_t>& channelMap);
    // Sets the channels, builds the formats, lists the first take's files and installs the tap.
    void prepare(const std::vector<FileChannel>& fileChannels);

    // Starts a take into fresh files; fails, not recording, when no channel file can be made.
    platform::Result<void> record();
    // Ends the take and closes its files; the tap stays. A take also ends by itself, told to the
    // delegate, when a channel file cannot be written.
    void stop();
    // Seconds of the last finished take; none before the first stop and while a take runs.
    std::optional<double> durationRecorded() const;

private:
    std::optional<platform::AudioFormat> createRecordFormat(const std::vector<std::int32_t>& map) const;
    void initFormats();
    // Whether it listed this take's files.
    bool createFiles();
    std::optional<std::string> nextFileURL(const std::string& directory, const std::string& name,
                                           std::int64_t counter) const;
    void recordingChanged();
    // With takeMutex_ held: ends the take and closes its files; false when no take was running.
    bool endTake();
    void process(const platform::PcmBuffer& buffer, const platform::AudioTime& time);
    std::shared_ptr<MultiChannelInputNodeTapDelegate> delegate() const;

    platform::InputNode* inputNode_;
    std::optional<std::vector<FileChannel>> fileChannels_;
    ThreadLockedAccessor<std::vector<std::shared_ptr<WriteableFile>>> files_;
    std::atomic<bool> isRecording_{false};
    // Held by the tap thread over each buffer's channels and by record() and stop() while they open or
    // close a take, so that every channel of a take starts and ends on the same frame.
    std::mutex takeMutex_;
    std::atomic<bool> recordEnabled_{false};
    std::string recordFileType_ = "wav";
    // Guards what the tap thread reads of the set-up: the formats and the delegate.
    mutable std::mutex setupMutex_;
    std::optional<platform::AudioFormat> recordFormat_;
    std::optional<platform::AudioFormat> bufferFormat_;
    std::weak_ptr<MultiChannelInputNodeTapDelegate> delegate_;
    std::optional<platform::AudioStreamDescription> fileFormat_;
    double sampleRate_ = 48000.0;
    std::uint32_t bufferSize_ = 2048;
    std::optional<std::string> directory_;
    std::int64_t recordCounter_ = 1;
    // Also cleared by the tap thread when a failed write ends the take.
    std::atomic<bool> filesReady_{false};
    // Under setupMutex_: a failed write stamps the stop on the tap thread.
    std::optional<platform::AudioTime> startedAtTime_;
    std::optional<platform::AudioTime> stoppedAtTime_;
    std::vector<std::int32_t> channelMap_;
    std::uint32_t ioLatency_ = 0;
};

} // namespace rozezeru

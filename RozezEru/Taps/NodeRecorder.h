#pragma once
// Records one output bus of a node into Core Audio Format files it names by their creation time.
// Make it with std::make_shared: the installed tap holds the recorder until stop(). The control
// operations run on the owner's thread; the writes happen on the process's tap thread, never on the
// render thread. Releasing a recorder with its cleanup switch on deletes the files it created, and
// only those.

#include "platform/audio/AudioFormat.h"
#include "platform/audio/AudioTime.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/files/AudioFile.h"
#include "platform/foundation/Clock.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace rozezeru {

class Node;

class NodeRecorder : public std::enable_shared_from_this<NodeRecorder> {
public:
    // Channel 0 of each written buffer; on the tap thread.
    using AudioDataCallback = std::function<void(const std::vector<float>&, const platform::AudioTime&)>;
    // A write that failed (a full disk, say) and so ended the recording; on the tap thread.
    using RecordingFailedCallback = std::function<void(const platform::Error&)>;

    // No directory: the process's temporary folder. The first recording file is created here; when it
    // cannot be, the recorder starts without one.
    NodeRecorder(std::shared_ptr<Node> node, std::optional<std::string> fileDirectoryURL = std::nullopt,
                 std::int64_t bus = 0, bool shouldCleanupRecordings = true,
                 AudioDataCallback audioDataCallback = {});
    ~NodeRecorder();
    NodeRecorder(const NodeRecorder&) = delete;
    NodeRecorder& operator=(const NodeRecorder&) = delete;

    const std::shared_ptr<Node>& node() const { return node_; }
    bool isRecording() const { return isRecording_.load(); }
    bool isPaused() const { return isPaused_.load(); }
    // Seconds; 0 records without end. Recording stops by itself when the file holds exactly this much.
    double durationToRecord() const { return durationToRecord_.load(); }
    void setDurationToRecord(double seconds) { durationToRecord_ = seconds; }
    // The seconds in the file being written; 0 without one.
    double currentFileDuration() const;
    // The tap's format; none taps in the bus's own format. Takes effect at the next record().
    std::optional<platform::AudioFormat> recordFormat() const;
    void setRecordFormat(std::optional<platform::AudioFormat> format);
    void setAudioDataCallback(AudioDataCallback callback);
    // When a buffer cannot be written the recording stops: the file keeps every buffer written
    // before, is closed and becomes the recorded file (audioFile()), the failure is logged once and
    // this callback is told.
    void setRecordingFailedCallback(RecordingFailedCallback callback);

    // Closes the file being written and opens the last recorded file for reading; a new object each
    // time; nullptr (logged) when there is none or it cannot be opened.
    std::unique_ptr<platform::AudioFile> audioFile();

    // Records into `file` from now on; the caller's pointer becomes null. The recorder never deletes
    // an adopted file.
    void adoptFile(std::unique_ptr<platform::AudioFile>& file);

    // Fails, staying idle, when no recording file can be made or the file's channels or rate differ
    // from the tapped format; a node without an engine is logged and leaves the recorder idle.
    platform::Result<void> record();
    // Also from inside the tap's own delivery.
    void stop();
    void pauseRecording() { isPaused_ = true; }
    void resumeRecording() { isPaused_ = false; }
    // Stops, deletes the recorded file and starts an empty one at the same place; an adopted file is
    // kept and an empty file of the recorder's own takes its place.
    platform::Result<void> reset();
    void startNewFile();

    // Creates a new, empty recording file in `fileDirectoryURL` named by the clock's local time,
    // "yyyy-MM-dd HH-mm-ss.SSSS.caf" (" 2", " 3" … before the extension when taken), in the layout of
    // Settings::audioFormat() interleaved, and lists it; nullptr when it cannot be created.
    static std::unique_ptr<platform::AudioFile>
    createAudioFile(const std::string& fileDirectoryURL,
                    const platform::Clock& clock = platform::Clock::system());
    // Every file created so far and not yet removed, in creation order.
    static std::vector<std::string> temporaryFileURLs();
    // Deletes every listed file, whichever recorder made it, and empties the list.
    static void removeRecordedFiles();
    static std::string timestampString(const platform::Clock& clock = platform::Clock::system());

private:
    static void removeRecordedFiles(const std::vector<std::string>& own);
    void process(const platform::PcmBuffer& buffer, const platform::AudioTime& time);
    void deliverAudioData(const platform::PcmBuffer& buffer, const platform::AudioTime& time);
    // With fileMutex_ held.
    void closeFile(std::unique_ptr<platform::AudioFile>& file);
    std::unique_ptr<platform::AudioFile> createOwnFile();
    // A new file of the recorder's own becomes the recording file; an error when none can be made.
    platform::Result<void> switchToOwnFile();

    const std::shared_ptr<Node> node_;
    const std::string fileDirectoryURL_;
    const bool shouldCleanupRecordings_;
    std::int64_t bus_ = 0;
    std::atomic<bool> isRecording_{false};
    std::atomic<bool> isPaused_{false};
    std::atomic<double> durationToRecord_{0.0};
    std::atomic<double> recordBufferDuration_;

    // Guards the file and what names it against the tap thread's writes.
    mutable std::mutex fileMutex_;
    std::unique_ptr<platform::AudioFile> internalAudioFile_;
    std::optional<std::string> recordedFileURL_;
    std::optional<platform::AudioFormat> recordFormat_;
    AudioDataCallback audioDataCallback_;
    RecordingFailedCallback recordingFailedCallback_;
    std::vector<std::string> ownFiles_;
};

} // namespace rozezeru

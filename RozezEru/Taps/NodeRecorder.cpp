#include "RozezEru/Taps/NodeRecorder.h"

#include "RozezEru/AudioFiles/PcmBufferUtilities.h"
#include "RozezEru/Internals/Log.h"
#include "RozezEru/Internals/Settings.h"
#include "RozezEru/Nodes/Node.h"
#include "RozezEru/Taps/RecordingFiles.h"
#include "platform/audio/AudioNode.h"

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

namespace rozezeru {

namespace {

// Set while the tap thread is inside a recorder's delivery, where stop() must not wait.
thread_local bool insideDelivery = false;

std::string temporaryDirectory() {
    std::error_code ec;
    std::filesystem::path path = std::filesystem::temp_directory_path(ec);
    return ec ? "/tmp" : path.string();
}

// The files every recorder of the process made, for temporaryFileURLs() and removeRecordedFiles().
struct RecordingList {
    std::mutex mutex;
    std::vector<std::string> paths;
};

RecordingList& recordingList() {
    static RecordingList list;
    return list;
}

} // namespace

NodeRecorder::NodeRecorder(std::shared_ptr<Node> node, std::optional<std::string> fileDirectoryURL,
                           std::int64_t bus, bool shouldCleanupRecordings,
                           AudioDataCallback audioDataCallback)
    : node_(std::move(node)), fileDirectoryURL_(fileDirectoryURL.value_or(temporaryDirectory())),
      shouldCleanupRecordings_(shouldCleanupRecordings),
      recordBufferDuration_(16384.0 / Settings::sampleRate()),
      audioDataCallback_(std::move(audioDataCallback)) {
    startNewFile();
    bus_ = bus;
}

NodeRecorder::~NodeRecorder() {
    std::vector<std::string> own;
    {
        std::lock_guard lock(fileMutex_);
        internalAudioFile_.reset();
        own = ownFiles_;
    }
    if (shouldCleanupRecordings_) removeRecordedFiles(own);
}

double NodeRecorder::currentFileDuration() const {
    std::lock_guard lock(fileMutex_);
    if (!internalAudioFile_) return 0.0;
    return double(internalAudioFile_->length()) / internalAudioFile_->fileFormat().sampleRate;
}

std::optional<platform::AudioFormat> NodeRecorder::recordFormat() const {
    std::lock_guard lock(fileMutex_);
    return recordFormat_;
}

void NodeRecorder::setRecordFormat(std::optional<platform::AudioFormat> format) {
    std::lock_guard lock(fileMutex_);
    recordFormat_ = std::move(format);
}

void NodeRecorder::setAudioDataCallback(AudioDataCallback callback) {
    std::lock_guard lock(fileMutex_);
    audioDataCallback_ = std::move(callback);
}

void NodeRecorder::setRecordingFailedCallback(RecordingFailedCallback callback) {
    std::lock_guard lock(fileMutex_);
    recordingFailedCallback_ = std::move(callback);
}

platform::Result<void> NodeRecorder::switchToOwnFile() {
    std::unique_ptr<platform::AudioFile> file = createOwnFile();
    if (!file)
        return platform::Error::make(platform::audioFileErrorDomain,
                                     "Cannot create a recording file in \"" + fileDirectoryURL_ + "\".",
                                     int(platform::AudioFileError::cannotCreate));
    std::lock_guard lock(fileMutex_);
    internalAudioFile_ = std::move(file);
    return {};
}

std::unique_ptr<platform::AudioFile> NodeRecorder::createOwnFile() {
    std::unique_ptr<platform::AudioFile> file = createAudioFile(fileDirectoryURL_);
    if (file) {
        std::lock_guard lock(fileMutex_);
        ownFiles_.push_back(file->path());
    }
    return file;
}

void NodeRecorder::closeFile(std::unique_ptr<platform::AudioFile>& file) {
    if (file) recordedFileURL_ = file->path();
    file.reset();
}

void NodeRecorder::adoptFile(std::unique_ptr<platform::AudioFile>& file) {
    std::lock_guard lock(fileMutex_);
    if (file) recordedFileURL_ = file->path();
    internalAudioFile_ = std::move(file);
}

std::unique_ptr<platform::AudioFile> NodeRecorder::audioFile() {
    std::optional<std::string> url;
    {
        std::lock_guard lock(fileMutex_);
        closeFile(internalAudioFile_);
        url = recordedFileURL_;
    }
    if (!url) return nullptr;
    auto file = platform::AudioFile::openForReading(*url);
    if (!file.ok()) {
        Log(LogSite("audioFile"),
            "Error, Cannot create internal audio file for reading: " + file.error().message);
        return nullptr;
    }
    return std::move(file.value());
}

platform::Result<void> NodeRecorder::record() {
    if (isRecording_) {
        Log(LogSite("record()"), "Warning: already recording");
        return {};
    }
    bool needsFile = false;
    {
        std::lock_guard lock(fileMutex_);
        // A file deleted behind the recorder's back would swallow everything written to it.
        needsFile = !internalAudioFile_ || !std::filesystem::exists(internalAudioFile_->path());
    }
    if (needsFile) {
        if (auto switched = switchToOwnFile(); !switched) return switched;
    }
    const std::uint32_t bufferSize = sampleCount(Settings::recorderBufferLength.load());
    std::optional<platform::AudioFormat> format;
    {
        std::lock_guard lock(fileMutex_);
        Log(LogSite("record()"), "⏺ Recording using format",
            internalAudioFile_ ? std::optional(internalAudioFile_->processingFormat().description())
                               : std::nullopt);
        format = recordFormat_;
    }
    const std::shared_ptr<platform::AudioNode> platformNode = node_->avAudioNode();
    if (!platformNode->engine()) {
        Log(LogSite("record()"),
            "🛑 Error: Error recording. Input node '" + node_->description() + "' has no engine.");
        return {};
    }
    const auto bus = std::uint32_t(bus_);
    const platform::AudioFormat tapFormat = format.value_or(platformNode->outputFormat(bus));
    {
        std::lock_guard lock(fileMutex_);
        // A file that takes no buffer of the tap would stay empty while the recorder looks busy.
        if (internalAudioFile_ &&
            (internalAudioFile_->processingFormat().channelCount() != tapFormat.channelCount() ||
             internalAudioFile_->processingFormat().sampleRate() != tapFormat.sampleRate()))
            return platform::Error::make(
                platform::audioFileErrorDomain,
                "The recording file (" + internalAudioFile_->processingFormat().description() +
                    ") cannot take the tapped format " + tapFormat.description() + ".",
                int(platform::AudioFileError::wrongBufferFormat));
    }
    isRecording_ = true;
    const bool installed = platformNode->taps().install(
        bus, bufferSize, tapFormat,
        [recorder = shared_from_this()](std::shared_ptr<platform::PcmBuffer> buffer,
                                        const platform::AudioTime& when) {
            insideDelivery = true;
            recorder->process(*buffer, when);
            insideDelivery = false;
        });
    if (!installed) {
        isRecording_ = false;
        return platform::Error::make(platform::audioFileErrorDomain, "Bus " + std::to_string(bus) + " of '" +
                                                                         node_->description() +
                                                                         "' cannot be tapped.");
    }
    return {};
}

void NodeRecorder::process(const platform::PcmBuffer& buffer, const platform::AudioTime& time) {
    if (isPaused_) return;
    bool reached = false;
    std::optional<platform::Error> failure;
    RecordingFailedCallback failed;
    std::unique_ptr<platform::PcmBuffer> head;
    const platform::PcmBuffer* written = &buffer;
    {
        std::lock_guard lock(fileMutex_);
        if (!internalAudioFile_) return;
        recordBufferDuration_ = buffer.frameLength() / Settings::sampleRate();
        const double rate = internalAudioFile_->fileFormat().sampleRate;
        const double limit = durationToRecord_;
        std::uint32_t frames = buffer.frameLength();
        if (limit > 0.0) {
            // The buffer that reaches the limit is written up to it: a 2 s recording is 2 s long.
            const std::int64_t wanted = std::llround(limit * rate) - internalAudioFile_->length();
            if (wanted < std::int64_t(frames)) {
                frames = std::uint32_t(std::max<std::int64_t>(wanted, 0));
                head = frames > 0 ? copyPrefix(buffer, frames) : nullptr;
                if (head) written = head.get();
            }
        }
        if (frames > 0) {
            if (auto result = internalAudioFile_->write(*written); !result.ok()) {
                // Going on would leave a gap in the recording, and every later buffer fail alike: the
                // file, cut back to its last whole write, is closed as the recording, and the buffers
                // still on their way find no file.
                failure = result.error();
                failed = recordingFailedCallback_;
                closeFile(internalAudioFile_);
            }
        }
        if (!failure) reached = limit > 0.0 && double(internalAudioFile_->length()) / rate >= limit;
        if (frames == 0) written = nullptr;
    }
    if (failure) {
        Log(LogSite("process(buffer:time:)"), "Write failed: error -> " + failure->message);
        if (isRecording_) stop();
        if (failed) failed(*failure);
        return;
    }
    if (reached) stop();
    if (written) deliverAudioData(*written, time);
}

void NodeRecorder::deliverAudioData(const platform::PcmBuffer& buffer, const platform::AudioTime& time) {
    const float* const* channels = buffer.floatChannelData();
    if (!channels) return;
    AudioDataCallback callback;
    {
        std::lock_guard lock(fileMutex_);
        callback = audioDataCallback_;
    }
    if (!callback) return;
    // The valid frames from the start; the rest of the capacity holds nothing that was delivered.
    const std::uint32_t stride = buffer.stride();
    std::vector<float> samples(buffer.frameLength());
    for (std::uint32_t i = 0; i < buffer.frameLength(); ++i)
        samples[i] = channels[0][std::size_t(i) * stride];
    callback(samples, time);
}

void NodeRecorder::stop() {
    // One caller wins, be it the owner or the tap thread at the duration's end.
    if (!isRecording_.exchange(false)) {
        Log(LogSite("stop()"), "Warning: Cannot stop recording, already stopped");
        return;
    }
    // Sleeping inside the delivery would hold back the very buffer it waits for.
    if (Settings::delayRecorderStop && !insideDelivery)
        std::this_thread::sleep_for(std::chrono::microseconds(std::uint32_t(recordBufferDuration_ * 1e6)));
    node_->avAudioNode()->taps().remove(std::uint32_t(bus_));
    isPaused_ = false;
}

platform::Result<void> NodeRecorder::reset() {
    if (isRecording_) stop();
    std::unique_ptr<platform::AudioFile> recorded = audioFile();
    if (!recorded) return {};
    const std::string path = recorded->path();
    const platform::AudioFileSettings settings = recorded->fileFormat().settings();
    recorded.reset();
    bool own = false;
    {
        std::lock_guard lock(fileMutex_);
        own = std::find(ownFiles_.begin(), ownFiles_.end(), path) != ownFiles_.end();
    }
    if (!own) {
        // An adopted file is the caller's recording: it stays, and the recorder starts over in one of
        // its own.
        if (auto switched = switchToOwnFile(); !switched) return switched;
        Log(LogSite("reset()"), "File has been cleared");
        return {};
    }
    const std::string name = std::filesystem::path(path).filename().string();
    std::error_code ec;
    if (!std::filesystem::remove(path, ec) || ec)
        Log(LogSite("reset()"), "Error: Can't delete" + name + (ec ? ec.message() : "the file is gone"));
    auto file = platform::AudioFile::openForWriting(path, settings, recordingWriteOptions);
    if (!file.ok()) {
        Log(LogSite("reset()"), "Error: Can't record to" + name);
        return file.error();
    }
    std::lock_guard lock(fileMutex_);
    internalAudioFile_ = std::move(file.value());
    Log(LogSite("reset()"), "File has been cleared");
    return {};
}

void NodeRecorder::startNewFile() {
    if (isRecording_) stop();
    std::unique_ptr<platform::AudioFile> file = createOwnFile();
    std::lock_guard lock(fileMutex_);
    internalAudioFile_ = std::move(file);
}

std::string NodeRecorder::timestampString(const platform::Clock& clock) {
    const double seconds = clock.now().timeIntervalSince1970();
    const double whole = std::floor(seconds);
    const auto since1970 = time_t(whole);
    std::tm parts{};
    ::localtime_r(&since1970, &parts);
    // Four digits of the fraction, cut rather than rounded so that a time never reads as the next
    // second; the half microsecond absorbs what the double lost of a fraction such as .1234.
    const int fraction = std::min(9999, int((seconds - whole) * 10000.0 + 0.005));
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d-%02d-%02d.%04d", parts.tm_year + 1900,
                  parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec, fraction);
    return text;
}

std::unique_ptr<platform::AudioFile> NodeRecorder::createAudioFile(const std::string& fileDirectoryURL,
                                                                   const platform::Clock& clock) {
    const std::string stem = timestampString(clock);
    platform::AudioFileSettings settings = platform::AudioFileSettings::forFormat(Settings::audioFormat());
    settings.linearPCMIsNonInterleaved = false;
    auto file = createRecordingFile(fileDirectoryURL, stem, "caf", settings);
    // The name actually made: a taken one gets " 2", " 3" ….
    Log(LogSite("createAudioFile(fileDirectoryURL:)"), "Creating temp file at",
        file.ok() ? file.value()->path()
                  : (std::filesystem::path(fileDirectoryURL) / (stem + ".caf")).string());
    if (!file.ok()) return nullptr;
    RecordingList& list = recordingList();
    std::lock_guard lock(list.mutex);
    list.paths.push_back(file.value()->path());
    return std::move(file.value());
}

std::vector<std::string> NodeRecorder::temporaryFileURLs() {
    RecordingList& list = recordingList();
    std::lock_guard lock(list.mutex);
    return list.paths;
}

void NodeRecorder::removeRecordedFiles() {
    removeRecordedFiles(temporaryFileURLs());
}

void NodeRecorder::removeRecordedFiles(const std::vector<std::string>& own) {
    {
        RecordingList& list = recordingList();
        std::lock_guard lock(list.mutex);
        std::erase_if(list.paths, [&](const std::string& path) {
            return std::find(own.begin(), own.end(), path) != own.end();
        });
    }
    for (const std::string& path : own) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        Log(LogSite("removeRecordedFiles()"), "𝗫 Deleted tmp file at", path);
    }
}

} // namespace rozezeru

#include "RozezEru/Taps/MultiChannelInputNodeTap.h"

#include "RozezEru/Internals/Log.h"
#include "platform/audio/IONodes.h"
#include "platform/foundation/HostTime.h"

#include <algorithm>
#include <filesystem>

namespace rozezeru {

namespace {

// The last take number a file-name search tries.
constexpr std::int64_t lastTake = 10000;

std::string mapText(const std::vector<std::int32_t>& map) {
    std::string text = "[";
    for (std::size_t i = 0; i < map.size(); ++i)
        text += (i ? ", " : "") + std::to_string(map[i]);
    return text + "]";
}

std::string filesText(const std::vector<std::shared_ptr<WriteableFile>>& files) {
    std::string text = "[";
    for (std::size_t i = 0; i < files.size(); ++i)
        text += (i ? ", " : "") + (files[i] ? files[i]->description() : std::string("nil"));
    return text + "]";
}

std::string timeText(const std::optional<platform::AudioTime>& time) {
    return time ? "host time " + std::to_string(time->hostTime()) : "nil";
}

platform::AudioTime now() {
    return platform::AudioTime::withHostTime(platform::hostTime());
}

} // namespace

MultiChannelInputNodeTap::MultiChannelInputNodeTap(platform::InputNode* inputNode) : inputNode_(inputNode) {
    const std::optional<platform::AudioFormat> format =
        inputNode_ ? std::optional(inputNode_->outputFormat(0)) : std::nullopt;
    if (format && format->isValid()) sampleRate_ = format->sampleRate();
    Log(LogSite("init(inputNode:)"), "inputNode", format ? format->channelCount() : 0u, "channels at",
        sampleRate_, "kHz");
}

MultiChannelInputNodeTap::~MultiChannelInputNodeTap() {
    Log(LogSite("deinit"), "* { MultiChannelInputNodeTap }");
    files_.setWrappedValue({});
}

void MultiChannelInputNodeTap::setDelegate(std::weak_ptr<MultiChannelInputNodeTapDelegate> delegate) {
    std::lock_guard lock(setupMutex_);
    delegate_ = std::move(delegate);
}

std::shared_ptr<MultiChannelInputNodeTapDelegate> MultiChannelInputNodeTap::delegate() const {
    std::lock_guard lock(setupMutex_);
    return delegate_.lock();
}

std::optional<platform::AudioFormat> MultiChannelInputNodeTap::recordFormat() const {
    std::lock_guard lock(setupMutex_);
    return recordFormat_;
}

std::optional<platform::AudioFormat> MultiChannelInputNodeTap::bufferFormat() const {
    std::lock_guard lock(setupMutex_);
    return bufferFormat_;
}

void MultiChannelInputNodeTap::setFileChannels(std::optional<std::vector<FileChannel>> fileChannels) {
    fileChannels_ = std::move(fileChannels);
    if (!fileChannels_) return;
    std::vector<std::int32_t> map;
    for (const FileChannel& entry : *fileChannels_)
        map.push_back(entry.channel);
    setChannelMap(std::move(map));
}

void MultiChannelInputNodeTap::setChannelMap(std::vector<std::int32_t> map) {
    if (map == channelMap_) return;
    const LogSite site("channelMap");
    Log(site, "Attempting to update channelMap to", mapText(map));
    if (!inputNode_) {
        Log(site, "inputNode.audioUnit is nil");
        return;
    }
    if (auto result = inputNode_->setChannelMap(map); !result.ok()) {
        Log(site, "Failed setting channel map", result.error().message);
        return;
    }
    channelMap_ = std::move(map);
    Log(site, "Updated channelMap to", mapText(channelMap_));
    std::optional<platform::AudioFormat> format = createRecordFormat(channelMap_);
    {
        std::lock_guard lock(setupMutex_);
        recordFormat_ = std::move(format);
    }
    setRecordEnabled(false);
}

std::optional<platform::AudioFormat>
MultiChannelInputNodeTap::createRecordFormat(const std::vector<std::int32_t>& map) const {
    const LogSite site("createRecordFormat(channelMap:)");
    if (map.empty()) {
        Log(site, "You must specify a valid channel map");
        return std::nullopt;
    }
    std::optional<platform::AudioFormat> format =
        platform::AudioFormat::standard(sampleRate_, std::uint32_t(map.size()));
    Log(site, "recordFormat", format);
    return format;
}

void MultiChannelInputNodeTap::initFormats() {
    const LogSite site("initFormats()");
    std::optional<platform::AudioFormat> buffer = platform::AudioFormat::standard(sampleRate_, channels());
    Log(site, "bufferFormat", buffer);
    {
        std::lock_guard lock(setupMutex_);
        bufferFormat_ = std::move(buffer);
    }
    fileFormat_ = platform::AudioStreamDescription{.sampleRate = sampleRate_,
                                                   .formatID = platform::audioFormatID::linearPCM,
                                                   .channelsPerFrame = channels(),
                                                   .bitsPerChannel = bitsPerChannel()};
    Log(site, "fileFormat", fileFormat_);
}

std::optional<std::string> MultiChannelInputNodeTap::nextFileURL(const std::string& directory,
                                                                 const std::string& name,
                                                                 std::int64_t counter) const {
    const std::string dot = recordFileType_.empty() ? "" : "." + recordFileType_;
    for (std::int64_t n = counter; n <= lastTake; ++n) {
        const std::filesystem::path candidate =
            std::filesystem::path(directory) / (name + " #" + std::to_string(n) + dot);
        std::error_code ec;
        if (!std::filesystem::exists(candidate, ec) && !ec) return candidate.string();
    }
    return std::nullopt;
}

bool MultiChannelInputNodeTap::createFiles() {
    const LogSite site("createFiles()");
    const std::optional<platform::AudioFormat> format = recordFormat();
    if (!directory_ || !fileFormat_ || !format || !fileChannels_) {
        Log(site, "File Format is nil");
        return false;
    }
    if (format->channelCount() != channelMap_.size()) {
        Log(site, "Channel count mismatch", format->channelCount(), "vs", channelMap_.size());
        return false;
    }
    std::vector<std::shared_ptr<WriteableFile>> files;
    for (const FileChannel& entry : *fileChannels_) {
        const std::optional<std::string> url = nextFileURL(*directory_, entry.name, recordCounter_);
        if (!url) {
            Log(site, "Failed to create URL in", *directory_, "with name", entry.name);
            // The slot stays, empty, so that the later channels still reach their own files.
            files.push_back(nullptr);
            continue;
        }
        Log(site, "Creating destination:", *url);
        files.push_back(std::make_shared<WriteableFile>(*url, *fileFormat_, entry.channel, ioLatency_));
    }
    files_.setWrappedValue(files);
    Log(site, "Created", filesText(files), "latency in frames", ioLatency_);
    // Ready also with an empty slot: that channel is left out, the others keep their places.
    filesReady_ = true;
    setRecordCounter(recordCounter_ + 1);
    return true;
}

void MultiChannelInputNodeTap::prepare(const std::vector<std::int32_t>& channelMap) {
    std::vector<FileChannel> fileChannels;
    for (std::int32_t c : channelMap)
        fileChannels.push_back({"Audio " + std::to_string(std::int64_t(c) + 1), c});
    prepare(fileChannels);
}

void MultiChannelInputNodeTap::prepare(const std::vector<FileChannel>& fileChannels) {
    setFileChannels(fileChannels);
    initFormats();
    createFiles();
    setRecordEnabled(true);
}

void MultiChannelInputNodeTap::setBufferSize(std::uint32_t frames) {
    bufferSize_ = frames;
    Log(LogSite("bufferSize"), "Attempting to set bufferSize to", frames,
        "The implementation may choose another size.");
}

void MultiChannelInputNodeTap::setRecordEnabled(bool enabled) {
    const std::optional<platform::AudioFormat> format = recordFormat();
    if (!format || enabled == recordEnabled_) return;
    recordEnabled_ = enabled;
    const LogSite site("recordEnabled");
    if (enabled) {
        Log(site, "🚰 Installing Tap with format", format, "requested bufferSize", bufferSize_);
        if (inputNode_ &&
            !inputNode_->taps().install(
                0, bufferSize_, *format,
                [tap = shared_from_this()](std::shared_ptr<platform::PcmBuffer> buffer,
                                           const platform::AudioTime& when) { tap->process(*buffer, when); }))
            Log(site, "Unable to install a tap on bus", 0);
        if (auto delegate = this->delegate()) delegate->tapInstalled(*this);
    } else {
        Log(site, "🚰 Removing Tap");
        if (inputNode_) inputNode_->taps().remove(0);
        if (auto delegate = this->delegate()) delegate->tapRemoved(*this);
    }
}

std::optional<platform::AudioTime> MultiChannelInputNodeTap::startedAtTime() const {
    std::lock_guard lock(setupMutex_);
    return startedAtTime_;
}

std::optional<platform::AudioTime> MultiChannelInputNodeTap::stoppedAtTime() const {
    std::lock_guard lock(setupMutex_);
    return stoppedAtTime_;
}

void MultiChannelInputNodeTap::recordingChanged() {
    const platform::AudioTime time = now();
    {
        std::lock_guard lock(setupMutex_);
        (isRecording_ ? startedAtTime_ : stoppedAtTime_) = time;
    }
    if (isRecording_)
        Log(LogSite("isRecording"), "⏺", files().size(), " to record", timeText(time));
    else
        Log(LogSite("isRecording"), "⏹", files().size(), "recorded", timeText(time));
}

bool MultiChannelInputNodeTap::endTake() {
    if (!isRecording_) return false;
    isRecording_ = false;
    for (const auto& file : files())
        if (file) file->close();
    // The next take makes new files with the next take number.
    filesReady_ = false;
    return true;
}

platform::Result<void> MultiChannelInputNodeTap::record() {
    if (isRecording_) {
        Log(LogSite("record()"), "Already recording");
        return {};
    }
    // A take with nothing to write into would be a recording in name only; so would one into the
    // closed files of the last take.
    const bool ready = filesReady_ || createFiles();
    const std::vector<std::shared_ptr<WriteableFile>> files = this->files();
    if (!ready ||
        std::find_if(files.begin(), files.end(), [](const auto& f) { return f != nullptr; }) == files.end()) {
        Log(LogSite("record()"), "No channel file to record into");
        return platform::Error::make("MultiChannelInputNodeTap", "There is no channel file to record into.");
    }
    {
        std::lock_guard take(takeMutex_);
        bool opened = false;
        for (const auto& file : files)
            if (file) {
                file->createFile();
                opened = file->isOpen() || opened;
            }
        isRecording_ = opened;
    }
    if (!isRecording_) {
        // An unwritable or vanished folder: the files stay listed, so a later record() tries again.
        Log(LogSite("record()"), "No channel file could be created in", directory_.value_or(""));
        return platform::Error::make("MultiChannelInputNodeTap", "No channel file could be created in \"" +
                                                                     directory_.value_or("") + "\".");
    }
    recordingChanged();
    setRecordEnabled(true);
    Log(LogSite("record()"), "⏺ Recording " + std::to_string(files.size()) + " files using format",
        recordFormat());
    return {};
}

void MultiChannelInputNodeTap::stop() {
    bool ended = false;
    {
        // A failed write may end the take on the tap thread at any moment.
        std::lock_guard take(takeMutex_);
        ended = endTake();
    }
    if (!ended) {
        Log(LogSite("stop()"), "Not Recording");
        return;
    }
    recordingChanged();
    Log(LogSite("stop()"), "⏹", filesText(files()));
}

std::optional<double> MultiChannelInputNodeTap::durationRecorded() const {
    std::lock_guard lock(setupMutex_);
    if (isRecording_ || !startedAtTime_ || !stoppedAtTime_) return std::nullopt;
    return platform::AudioTime::secondsForHostTime(stoppedAtTime_->hostTime()) -
           platform::AudioTime::secondsForHostTime(startedAtTime_->hostTime());
}

void MultiChannelInputNodeTap::process(const platform::PcmBuffer& buffer, const platform::AudioTime& time) {
    const LogSite site("process(buffer:time:)");
    const std::optional<platform::AudioFormat> format = bufferFormat();
    if (!format) {
        Log(site, "bufferFormat is nil");
        return;
    }
    const float* const* channels = buffer.floatChannelData();
    if (!channels) {
        Log(site, "buffer.floatChannelData is nil");
        return;
    }
    const std::uint32_t frames = buffer.frameLength();
    const std::uint32_t stride = buffer.stride();
    // One buffer serves every channel in turn: each file writes and meters it before the next copy.
    const std::unique_ptr<platform::PcmBuffer> channel = platform::PcmBuffer::make(*format, frames);
    if (!channel) {
        Log(site, "Failed creating channelBuffer");
        return;
    }
    std::unique_lock take(takeMutex_);
    bool write = isRecording_;
    std::optional<platform::Error> failure;
    const std::vector<std::shared_ptr<WriteableFile>> files = this->files();
    for (std::uint32_t c = 0; c < buffer.format().channelCount(); ++c) {
        const float* in = buffer.format().isInterleaved() ? channels[0] + c : channels[c];
        float* out = channel->channel(0);
        for (std::uint32_t f = 0; f < frames; ++f)
            out[f] = in[std::size_t(f) * stride];
        channel->setFrameLength(frames);
        if (files.size() <= c) {
            Log(site, "Count mismatch");
            return;
        }
        if (!files[c]) continue;
        if (auto result = files[c]->update(*channel, time, write); !result.ok()) {
            // Going on would leave this channel with a gap and fail alike at every buffer: the take
            // ends here, each file keeping what was written in full.
            failure = result.error();
            write = false;
        }
    }
    if (failure && isRecording_) {
        // The channels before the failed one took this buffer: out it comes again.
        for (const auto& file : files)
            if (file)
                if (auto undone = file->undoLastWrite(); !undone.ok()) Log(site, undone.error().message);
        endTake();
        take.unlock();
        recordingChanged();
        Log(site, "Write failed", failure->message, "The take has stopped.");
        if (auto delegate = this->delegate()) delegate->recordingFailed(*this, *failure);
    }
    if (take.owns_lock()) take.unlock();
    if (recordEnabled_)
        if (auto delegate = this->delegate()) delegate->dataProcessed(*this, frames, time);
}

} // namespace rozezeru

#include "platform/files/AssetWriter.h"

#include "platform/audio/PcmBuffer.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/files/AudioConverter.h"
#include "platform/files/AudioFile.h"
#include "platform/files/AudioFileBackend.h"

namespace platform {

Result<std::shared_ptr<AssetWriter>> AssetWriter::make(const std::string& path, AudioFileType type) {
    switch (type) {
    case AudioFileType::wave:
    case AudioFileType::aiff:
    case AudioFileType::aifc:
    case AudioFileType::caf:
    case AudioFileType::mpeg4:
        return std::shared_ptr<AssetWriter>(new AssetWriter(path, type));
    default:
        return audioFileError(AudioFileError::invalidSettings, "Cannot write a file of type",
                              std::string(audioFileTypeName(type)));
    }
}

AssetWriter::AssetWriter(std::string path, AudioFileType type) : path_(std::move(path)), type_(type) {}

AssetWriter::~AssetWriter() = default;

bool AssetWriter::addInput(const AudioFileSettings& settings) {
    if (settings_ || status() != Status::unknown) return false;
    settings_ = settings;
    settings_->fileType = type_;
    return true;
}

void AssetWriter::fail(Error error) {
    error_ = std::move(error);
    converter_.reset();
    file_.reset();
    status_.store(Status::failed, std::memory_order_release);
}

bool AssetWriter::startWriting() {
    if (status() != Status::unknown) return false;
    if (!settings_) {
        fail(audioFileError(AudioFileError::invalidSettings, "No audio input to write to", path_));
        return false;
    }
    auto file = AudioFile::openForWriting(path_, *settings_);
    if (!file) {
        fail(file.error());
        return false;
    }
    file_ = std::move(file.value());
    status_.store(Status::writing, std::memory_order_release);
    return true;
}

bool AssetWriter::isReadyForMoreMediaData() const {
    return status() == Status::writing && !finished_;
}

void AssetWriter::requestMediaDataWhenReady(DispatchQueue& queue, std::function<void()> block) {
    queue.async(std::move(block));
}

bool AssetWriter::append(const PcmBuffer& buffer) {
    if (!isReadyForMoreMediaData()) return false;
    // The conversion is set up from the first buffer: the input's own format needs no hint.
    if (!converter_ || converter_->from() != buffer.format()) {
        if (converter_) {
            fail(audioFileError(AudioFileError::wrongBufferFormat, "Buffers of another format for", path_));
            return false;
        }
        auto converter = AudioConverter::make(buffer.format(), file_->processingFormat());
        if (!converter) {
            fail(converter.error());
            return false;
        }
        converter_ = std::move(converter.value());
    }
    auto written = converter_->convert(buffer, [&](const PcmBuffer& block) { return file_->write(block); });
    if (!written) fail(written.error());
    return bool(written);
}

void AssetWriter::markAsFinished() {
    finished_ = true;
}

void AssetWriter::finishWriting(const std::function<void()>& handler) {
    if (status() == Status::writing) {
        Result<void> done;
        if (converter_)
            done = converter_->finish([&](const PcmBuffer& block) { return file_->write(block); });
        if (done) done = file_->close();
        if (done) {
            converter_.reset();
            file_.reset();
            status_.store(Status::completed, std::memory_order_release);
        } else {
            fail(done.error());
        }
    }
    if (handler) handler();
}

void AssetWriter::cancelWriting() {
    if (status() != Status::writing) return;
    converter_.reset();
    file_.reset();
    status_.store(Status::cancelled, std::memory_order_release);
}

} // namespace platform

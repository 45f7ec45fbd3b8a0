#include "platform/files/AssetReader.h"

#include "platform/audio/PcmBuffer.h"
#include "platform/files/AudioFile.h"

namespace platform {

namespace {
constexpr std::uint32_t assetReaderBufferFrames = 16384;
} // namespace

Result<std::shared_ptr<AssetReader>> AssetReader::make(const std::string& path) {
    auto file = AudioFile::openForReading(path);
    if (!file) return file.error();
    return std::shared_ptr<AssetReader>(new AssetReader(std::move(file.value())));
}

AssetReader::AssetReader(std::unique_ptr<AudioFile> file) : file_(std::move(file)) {}

AssetReader::~AssetReader() = default;

const AudioStreamDescription& AssetReader::fileFormat() const {
    return file_->fileFormat();
}

const AudioFormat& AssetReader::processingFormat() const {
    return file_->processingFormat();
}

bool AssetReader::startReading() {
    Status expected = Status::unknown;
    return status_.compare_exchange_strong(expected, Status::reading, std::memory_order_acq_rel);
}

std::shared_ptr<const PcmBuffer> AssetReader::copyNextSampleBuffer() {
    if (status() != Status::reading) return nullptr;
    std::shared_ptr<PcmBuffer> buffer = PcmBuffer::make(file_->processingFormat(), assetReaderBufferFrames);
    Status next = Status::completed;
    if (!buffer) {
        error_ = Error::make(audioFileErrorDomain, "Out of memory reading \"" + file_->path() + "\".",
                             int(AudioFileError::readFailed));
        next = Status::failed;
    } else if (auto read = file_->read(*buffer); !read) {
        error_ = read.error();
        next = Status::failed;
    } else if (buffer->frameLength() > 0) {
        return buffer;
    }
    // A cancellation that came first stands.
    Status expected = Status::reading;
    status_.compare_exchange_strong(expected, next, std::memory_order_acq_rel);
    return nullptr;
}

void AssetReader::cancelReading() {
    Status current = status();
    while ((current == Status::unknown || current == Status::reading) &&
           !status_.compare_exchange_weak(current, Status::cancelled, std::memory_order_acq_rel)) {
    }
}

} // namespace platform

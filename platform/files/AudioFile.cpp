#include "platform/files/AudioFile.h"

#include "platform/audio/PcmBuffer.h"
#include "platform/files/FfmpegReader.h"
#include "platform/files/FfmpegWriter.h"
#include "platform/files/MpegStreamReader.h"
#include "platform/files/SndfileBackend.h"
#include "platform/files/SongArchive.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/SystemFiles.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace platform {

namespace {

// Per-channel pointers and stride of a float32 buffer in either layout.
template <typename Pointers, typename Float>
Pointers audioFileChannels(Float* const* data, const AudioFormat& format,
                           std::array<Float*, AudioFormat::maxChannels>& slots) {
    const std::uint32_t channels = format.channelCount();
    if (!format.isInterleaved()) return Pointers{data, 1};
    for (std::uint32_t c = 0; c < channels; ++c)
        slots[c] = data[0] + c;
    return Pointers{slots.data(), channels};
}

bool audioFilePrefersFfmpeg(const std::string& path) {
    switch (audioFileTypeForPath(path)) {
    case AudioFileType::mpeg4:
    case AudioFileType::adts:
    case AudioFileType::mpegTransportStream:
        return true;
    default:
        return false;
    }
}

// Whether the RIFF (WAV) or FORM (AIFF) header of the file open at `descriptor`, `fileSize` bytes
// long, states no more bytes than the file holds. Other containers, and sizes that wrapped past 4 GiB
// (stated short), count as complete.
bool audioFileHoldsStatedSize(int descriptor, std::uint64_t fileSize) {
    unsigned char head[12];
    if (::pread(descriptor, head, sizeof head, 0) != 12) return true;
    std::uint64_t stated = 0;
    if (std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0)
        stated = std::uint64_t(head[4]) | std::uint64_t(head[5]) << 8 | std::uint64_t(head[6]) << 16 |
                 std::uint64_t(head[7]) << 24;
    else if (std::memcmp(head, "FORM", 4) == 0 &&
             (std::memcmp(head + 8, "AIFF", 4) == 0 || std::memcmp(head + 8, "AIFC", 4) == 0))
        stated = std::uint64_t(head[4]) << 24 | std::uint64_t(head[5]) << 16 | std::uint64_t(head[6]) << 8 |
                 std::uint64_t(head[7]);
    else
        return true;
    // 0xFFFFFFFF is a placeholder some writers leave (and RF64's mark): no length is stated.
    // A missing pad byte after odd-sized data is no sign of a writer still at work.
    return stated == 0xFFFFFFFFu || stated + 8 <= fileSize + 1;
}

// Why the file at `source`, known as `path`, did not open for reading.
Error audioFileOpenFailure(const std::string& path, const std::string& source, const Error& refused) {
    struct stat st {};
    if (::stat(source.c_str(), &st) != 0)
        return audioFileError(AudioFileError::notFound, "No audio file at", path);
    if (S_ISDIR(st.st_mode))
        return audioFileError(AudioFileError::unreadable, "Not an audio file but a folder:", path);
    if (!S_ISREG(st.st_mode)) {
        const char* kind = S_ISFIFO(st.st_mode)                         ? "a FIFO"
                           : S_ISSOCK(st.st_mode)                       ? "a socket"
                           : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "a device"
                                                                        : "something else";
        return audioFileError(AudioFileError::notRegularFile, "Cannot read audio file", path,
                              std::string("it is not a regular file but ") + kind);
    }
    return audioFileError(AudioFileError::unreadable, "Cannot read audio file", path,
                          std::strerror(refused.code));
}

} // namespace

// The audio of one state of a song archive, copied into a file in memory: every reader of the archive
// unchanged since reads this copy, so that the player's open at each play and seek reads nothing
// more of the archive (its audio may be hundreds of MiB).
struct AudioFile::ArchiveCopy {
    FileStamp archive;
    std::string member;
    FileDescriptor memory;
};

namespace {

// The copies some reader still holds. Held weakly: a copy goes with its last reader, and nothing here
// keeps a song's audio in memory after the player has moved on.
class AudioFileArchiveCopies {
public:
    std::shared_ptr<const AudioFile::ArchiveCopy> find(const FileStamp& archive) {
        std::lock_guard lock(mutex_);
        for (const auto& known : copies_)
            if (auto copy = known.lock(); copy && copy->archive == archive) return copy;
        return nullptr;
    }
    void remember(const std::shared_ptr<const AudioFile::ArchiveCopy>& copy) {
        std::lock_guard lock(mutex_);
        std::erase_if(copies_, [](const auto& known) { return known.expired(); });
        copies_.push_back(copy);
    }

private:
    std::mutex mutex_;
    std::vector<std::weak_ptr<const AudioFile::ArchiveCopy>> copies_;
};

// Never destroyed: a reader on a background queue may still open a file while the program's statics go.
AudioFileArchiveCopies& audioFileArchiveCopies() {
    static AudioFileArchiveCopies* const copies = new AudioFileArchiveCopies;
    return *copies;
}

} // namespace

Result<std::shared_ptr<const AudioFile::ArchiveCopy>>
AudioFile::archiveCopyOf(const std::string& path, int archive, const struct stat& status) {
    const FileStamp stamp = fileStampOf(status);
    if (auto known = audioFileArchiveCopies().find(stamp)) return known;
    // The archive's audio goes to a file in memory, never to disk; the back ends read it as any file.
    Result<SongArchiveAudio> audio = readSongArchiveAudio(path, songArchiveLimits(), descriptorPath(archive));
    if (!audio)
        return audioFileError(AudioFileError::unreadable, "Cannot read audio file", path,
                              audio.error().message);
    const std::vector<std::uint8_t>& bytes = audio->bytes;
    if (bytes.empty()) return audioFileError(AudioFileError::emptyFile, "The audio file is empty:", path);
    FileDescriptor memory(memfd_create("vantle-song", MFD_CLOEXEC));
    if (memory.get() < 0)
        return audioFileError(AudioFileError::unreadable, "Cannot read audio file", path,
                              std::strerror(errno));
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t wrote = ::write(memory.get(), bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0)
            return audioFileError(AudioFileError::unreadable, "Cannot read audio file", path,
                                  std::strerror(errno));
        done += std::size_t(wrote);
    }
    auto copy = std::make_shared<const ArchiveCopy>(ArchiveCopy{stamp, audio->member, std::move(memory)});
    audioFileArchiveCopies().remember(copy);
    return copy;
}

Result<std::unique_ptr<AudioFile>> AudioFile::openForReading(const std::string& path) {
    return openReader(path, path);
}

Result<std::unique_ptr<AudioFile>> AudioFile::openForReading(const std::string& path,
                                                             const FileDescriptor& checked) {
    return openReader(path, descriptorPath(checked.get()));
}

Result<std::unique_ptr<AudioFile>> AudioFile::openAgain() const {
    if (writing_ || heldDescriptor_.get() < 0) return openForReading(path_);
    if (!archiveMember_.empty()) {
        auto again = openReader(path_, descriptorPath(heldDescriptor_.get()), archiveMember_);
        if (again) (*again)->archiveCopy_ = archiveCopy_;
        return again;
    }
    return openForReading(path_, heldDescriptor_);
}

Result<std::unique_ptr<AudioFile>> AudioFile::openReader(const std::string& path, const std::string& source,
                                                         const std::string& member) {
    // The back ends read through this descriptor: the file checked is the file read, and it is the one
    // descriptor the reader holds.
    struct stat st {};
    Result<FileDescriptor> opened = openRegularFileForReading(source, &st);
    if (!opened) return audioFileOpenFailure(path, source, opened.error());
    // Unread: it may hold secrets, and one of /proc states a size of 0 whatever it holds.
    if (isSystemFile(source, opened->get()))
        return audioFileError(AudioFileError::systemFile, "Cannot read audio file", path,
                              "it is a system file, not audio");
    if (st.st_size == 0) return audioFileError(AudioFileError::emptyFile, "The audio file is empty:", path);
    std::string typed = member.empty() ? path : member;
    std::shared_ptr<const ArchiveCopy> copy;
    if (member.empty() && isSongArchivePath(path)) {
        Result<std::shared_ptr<const ArchiveCopy>> held = archiveCopyOf(path, opened->get(), st);
        if (!held) return held.error();
        copy = std::move(held.value());
        // A descriptor of its own on the copy: each reader keeps its own position in it.
        Result<FileDescriptor> reader = openRegularFileForReading(descriptorPath(copy->memory.get()), &st);
        if (!reader)
            return audioFileError(AudioFileError::unreadable, "Cannot read audio file", path,
                                  std::strerror(reader.error().code));
        opened = std::move(reader);
        typed = copy->member;
    }

    // By extension first, then by content: a file whose extension lies still opens.
    AudioFileBackend::Info info;
    using Opener =
        Result<std::unique_ptr<AudioFileBackend>> (*)(int, const std::string&, AudioFileBackend::Info&);
    Opener first = openSndfileReader, second = openFfmpegReader;
    if (audioFilePrefersFfmpeg(typed)) std::swap(first, second);
    // An MP3 whose header states less than the file holds is read to the end of its stream instead.
    const std::optional<MpegInfoHeader> understated =
        mpegUnderstatedStream(opened->get(), std::uint64_t(st.st_size));
    auto backend = understated ? openMpegStreamReader(opened->get(), path, *understated, info)
                               : first(opened->get(), path, info);
    if (!backend && understated) {
        // Then as much as the header says.
        info = {};
        backend = first(opened->get(), path, info);
    }
    if (!backend) {
        info = {};
        auto other = second(opened->get(), path, info);
        if (!other) return backend.error();
        backend = std::move(other);
    }

    auto format = AudioFormat::standard(info.fileFormat.sampleRate, info.fileFormat.channelsPerFrame);
    if (!format)
        return audioFileError(AudioFileError::unreadable, "Cannot read audio file", path,
                              "unsupported format");
    std::unique_ptr<AudioFile> file(new AudioFile);
    file->complete_ = audioFileHoldsStatedSize(opened->get(), std::uint64_t(st.st_size));
    file->heldDescriptor_ = std::move(opened.value());
    file->path_ = path;
    if (typed != path) file->archiveMember_ = typed;
    file->archiveCopy_ = std::move(copy);
    file->fileFormat_ = info.fileFormat;
    file->processingFormat_ = *format;
    file->length_ = info.length;
    file->lengthExact_ = !info.lengthIsEstimate;
    file->backend_ = std::move(backend.value());
    return file;
}

Result<void> AudioFile::measureLength() {
    if (lengthExact_) return {};
    if (!backend_ || writing_)
        return Error::make(audioFileErrorDomain, "The file is not open for reading.",
                           int(AudioFileError::wrongMode));
    // The count leaves the back end where it stood; a failed one may not.
    backendPosition_ = -1;
    Result<std::int64_t> counted = backend_->measureLength();
    if (!counted) return counted.error();
    length_ = *counted;
    lengthExact_ = true;
    position_ = std::min(position_, length_);
    return {};
}

void AudioFile::stopLengthCounts() {
    stopMpegStreamCounts();
}

Result<std::unique_ptr<AudioFile>> AudioFile::openForWriting(const std::string& path,
                                                             const AudioFileSettings& settings,
                                                             const AudioFileWriteOptions& options) {
    if (isDirectory(path))
        return audioFileError(AudioFileError::cannotCreate, "Cannot create audio file", path,
                              "it is a folder");
    AudioFileBackend::Info info;
    const bool aac = settings.formatID == audioFormatID::mpeg4AAC;
    if (aac && (options.exclusive || options.headerAfterEachWrite))
        return audioFileError(AudioFileError::invalidSettings, "Cannot create audio file", path,
                              "only linear PCM files are created exclusively or kept current");
    auto backend =
        aac ? openFfmpegWriter(path, settings, info) : openSndfileWriter(path, settings, options, info);
    if (!backend) return backend.error();
    auto format = AudioFormat::standard(info.fileFormat.sampleRate, info.fileFormat.channelsPerFrame);
    if (!format)
        return audioFileError(AudioFileError::invalidSettings, "Cannot create audio file", path,
                              "unsupported format");
    std::unique_ptr<AudioFile> file(new AudioFile);
    file->path_ = path;
    file->writing_ = true;
    file->fileFormat_ = info.fileFormat;
    file->processingFormat_ = *format;
    file->backend_ = std::move(backend.value());
    return file;
}

AudioFile::~AudioFile() {
    // The back end goes before the descriptor it reads through.
    (void)close();
}

bool AudioFile::nextReadWalks() const {
    return backend_ && !writing_ && backendPosition_ != position_ && backend_->seekWalks(position_);
}

void AudioFile::setFramePosition(std::int64_t frame) {
    position_ = lengthExact_ ? std::clamp<std::int64_t>(frame, 0, length_) : std::max<std::int64_t>(frame, 0);
}

Result<void> AudioFile::checkBuffer(const AudioFormat& format, const char* what) const {
    if (format.commonFormat() == CommonFormat::pcmFloat32 &&
        format.channelCount() == processingFormat_.channelCount() &&
        format.sampleRate() == processingFormat_.sampleRate())
        return {};
    return Error::make(audioFileErrorDomain,
                       std::string("Cannot ") + what + " a buffer of format " + format.description() +
                           ": the file's processing format is " + processingFormat_.description(),
                       int(AudioFileError::wrongBufferFormat));
}

Result<void> AudioFile::read(PcmBuffer& into) {
    return read(into, into.frameCapacity());
}

Result<void> AudioFile::read(PcmBuffer& into, std::uint32_t frames) {
    if (!backend_ || writing_)
        return Error::make(audioFileErrorDomain, "The file is not open for reading.",
                           int(AudioFileError::wrongMode));
    if (auto ok = checkBuffer(into.format(), "read into"); !ok) return ok;
    into.setFrameLength(0);
    if (readError_) return std::exchange(readError_, std::nullopt).value();
    // An estimate does not bound a read: the stream does.
    const std::int64_t left = lengthExact_ ? length_ - position_ : std::numeric_limits<std::int64_t>::max();
    const auto wanted = std::uint32_t(std::min<std::int64_t>({frames, into.frameCapacity(), left}));
    if (wanted == 0) return {};
    // After a failure the back end's position is unknown: the next read seeks again.
    const bool moved = backendPosition_ != position_;
    if (moved) {
        backendPosition_ = -1;
        if (auto sought = backend_->seek(position_); !sought) return sought;
        backendPosition_ = position_;
    }
    std::array<float*, AudioFormat::maxChannels> slots{};
    const ChannelPointers channels =
        audioFileChannels<ChannelPointers>(into.floatChannelData(), into.format(), slots);
    auto got = backend_->read(channels, wanted);
    if (!got) {
        backendPosition_ = -1;
        return got.error();
    }
    std::uint32_t done = *got;
    // A stream not yet counted ends only where it says it does: a short read may be a failure to come.
    while (!lengthExact_ && done > 0 && done < wanted) {
        std::array<float*, AudioFormat::maxChannels> rest{};
        for (std::uint32_t c = 0; c < into.format().channelCount(); ++c)
            rest[c] = channels.channels[c] + std::size_t(done) * channels.stride;
        auto more = backend_->read(ChannelPointers{rest.data(), channels.stride}, wanted - done);
        if (!more) {
            readError_ = more.error();
            break;
        }
        if (*more == 0) break;
        done += *more;
    }
    into.setFrameLength(done);
    position_ += done;
    backendPosition_ = readError_ ? -1 : position_;
    if (!lengthExact_ && !readError_) {
        // Read to its end, the stream has told its length; but nothing read at a place sought past a
        // short estimate says only that the stream ends somewhere before: the count tells where.
        if (moved) beyondStream_ = done == 0;
        if (done < wanted && (done > 0 || !beyondStream_)) {
            lengthExact_ = true;
            length_ = position_;
        } else if (done > 0) {
            length_ = std::max(length_, position_);
        }
    }
    return {};
}

Result<void> AudioFile::write(const PcmBuffer& from) {
    if (!backend_ || !writing_)
        return Error::make(audioFileErrorDomain, "The file is not open for writing.",
                           int(AudioFileError::wrongMode));
    if (auto ok = checkBuffer(from.format(), "write"); !ok) return ok;
    if (from.frameLength() == 0) return {};
    if (backendPosition_ != position_) {
        backendPosition_ = -1;
        if (auto moved = backend_->seek(position_); !moved) return moved;
        backendPosition_ = position_;
    }
    std::array<const float*, AudioFormat::maxChannels> slots{};
    auto put = backend_->write(
        audioFileChannels<ConstChannelPointers>(from.floatChannelData(), from.format(), slots),
        from.frameLength());
    if (!put) {
        // A write that failed halfway (a full disk) may have left some of its frames behind: the file
        // goes back to what it held before, so that it never holds part of a write.
        backendPosition_ = -1;
        Error error = put.error();
        if (auto cut = backend_->truncate(length_); cut) {
            backendPosition_ = length_;
            error.message += " The file keeps its first " + std::to_string(length_) + " frames.";
        } else {
            error.message += " " + cut.error().message;
        }
        return error;
    }
    position_ += from.frameLength();
    backendPosition_ = position_;
    length_ = std::max(length_, position_);
    return {};
}

Result<void> AudioFile::truncate(std::int64_t frames) {
    if (!backend_ || !writing_)
        return Error::make(audioFileErrorDomain, "The file is not open for writing.",
                           int(AudioFileError::wrongMode));
    frames = std::clamp<std::int64_t>(frames, 0, length_);
    backendPosition_ = -1;
    if (auto cut = backend_->truncate(frames); !cut) return cut;
    length_ = position_ = backendPosition_ = frames;
    return {};
}

Result<void> AudioFile::close() {
    if (!backend_) return {};
    auto closed = backend_->close();
    backend_.reset();
    return closed;
}

} // namespace platform

#pragma once
// An audio file open for reading or for writing (stands in for the platform's audio file).
// Reading decodes WAV, AIFF, CAF, FLAC, Ogg, MP3 and AU through libsndfile (an MP3 whose info header
// states less than the file holds through mpg123 itself) and the MPEG-4 family, ADTS and transport
// streams through FFmpeg, always to 32-bit float at the file's own rate, with an exact length (for that
// MP3, once counted) and sample-accurate positioning. Writing stores linear PCM in WAV, AIFF or CAF through
// libsndfile, or AAC in an MPEG-4 (M4A) file through FFmpeg's own encoder.
// Any thread may use a file, one thread at a time: an object is not shared between threads.
// Not for the render thread (it does I/O and may allocate).

#include "platform/audio/AudioFormat.h"
#include "platform/files/AudioFileError.h"
#include "platform/files/AudioFileSettings.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Result.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform {

class AudioFileBackend;
class PcmBuffer;

class AudioFile {
public:
    // Fails with a readable message for a missing, empty, damaged or foreign file, and for a FIFO,
    // device or socket, which is refused without being read. The file is read through the one
    // descriptor that was opened and checked.
    static Result<std::unique_ptr<AudioFile>> openForReading(const std::string& path);
    // The file already open and checked as `checked`, known as `path`: what is read is that very file.
    static Result<std::unique_ptr<AudioFile>> openForReading(const std::string& path,
                                                             const FileDescriptor& checked);
    // Another reader of the file this one reads, with a position of its own: the same file even when
    // its path has since been removed or names another file. A file open for writing, or one whose
    // file can no longer be reached, is opened anew by its path.
    Result<std::unique_ptr<AudioFile>> openAgain() const;
    // Creates (or replaces) the file at `path`; the container is the settings' file type, else the
    // path's extension. Big endian in a WAV file is ignored: WAV is little-endian. AAC needs the
    // MPEG-4 container and a rate its encoder takes (8000 ... 96000 Hz); the written file states its
    // exact length, so that readers drop the encoder's priming and padding.
    static Result<std::unique_ptr<AudioFile>> openForWriting(const std::string& path,
                                                             const AudioFileSettings& settings,
                                                             const AudioFileWriteOptions& options = {});

    // Closes the file; a written file is finished first (use close() to learn whether that worked).
    ~AudioFile();
    AudioFile(const AudioFile&) = delete;
    AudioFile& operator=(const AudioFile&) = delete;

    const std::string& path() const { return path_; }
    bool isOpenForWriting() const { return writing_; }

    // The file's own format: rate, channels, encoding, container.
    const AudioStreamDescription& fileFormat() const { return fileFormat_; }
    // The format frames are read and written in: float32, non-interleaved, the file's rate and channels.
    const AudioFormat& processingFormat() const { return processingFormat_; }
    // Frames in the file; for a file being written, the frames written so far. An estimate while
    // isLengthExact() is false: reads then go on to the end of the stream, past an estimate that fell
    // short, and reaching that end makes the length exact.
    std::int64_t length() const { return length_; }
    // False for a file read whose header states more than the file holds (a WAV or AIFF file whose
    // writer put its full length first and is still writing, or one cut short): length() counts only
    // the frames there are, and a later reader may find more.
    bool isComplete() const { return complete_; }
    // False while length() is an estimate from the file's size and bit rate: an MP3 whose info header
    // states less than the file holds (files joined end to end, or a header written before the stream
    // ended), which is read to the end of its stream. measureLength() makes it exact.
    bool isLengthExact() const { return lengthExact_; }
    // Counts the frames of a file whose length is an estimate, reading all of it: slow, so not for the
    // main thread. Afterwards length() is exact, and so is that of every later open of the unchanged
    // file. Nothing to do for a file whose length is exact.
    Result<void> measureLength();
    // At quit: every count running now or later stops at its next frame and fails, so that the program
    // neither waits for it nor ends under it.
    static void stopLengthCounts();
    // Whether the next read first walks a long way through the file to its frame position (a far place
    // in a stream not yet counted): a thread that must not wait leaves that read to another.
    bool nextReadWalks() const;
    // The next frame to read or write.
    std::int64_t framePosition() const { return position_; }
    // For a song archive (a zip of one song's audio and graphics), the audio member's name in it, whose
    // bytes this reads from memory; empty for any other file.
    const std::string& archiveMember() const { return archiveMember_; }
    // Clamped to [0, length()], or only to 0 while the length is an estimate: a place past a short
    // estimate stays asked for until the stream's end is known. Takes effect at the next read or write.
    void setFramePosition(std::int64_t frame);

    // Reads up to `frames` (at most the buffer's capacity) from the frame position, sets the buffer's
    // frame length to the frames read and advances the position. At the end it reads 0 frames and
    // succeeds. A failure after some frames were read gives those frames, and the failure at the next
    // read; it ends no estimate. The buffer must hold float32 at the file's rate and channel count, in
    // either layout.
    Result<void> read(PcmBuffer& into, std::uint32_t frames);
    // Up to the buffer's capacity.
    Result<void> read(PcmBuffer& into);

    // Writes the buffer's valid frames at the frame position (float32, the file's rate and channel
    // count, either layout); samples beyond ±1 are clipped in integer files. A write that fails (a
    // full disk, say) leaves a linear-PCM file cut back to the length() it had before, header
    // included, so that no part of the failed write stays in it.
    Result<void> write(const PcmBuffer& from);

    // Cuts a linear-PCM file being written back to its first `frames` frames (no more than its
    // length), header included, and moves the frame position there. Fails for a file not open for
    // writing, or one whose container cannot be cut (M4A).
    Result<void> truncate(std::int64_t frames);

    // Finishes a written file (its header gets the final length) and releases the file; later calls
    // of read and write fail. Closing twice is harmless.
    Result<void> close();

    // Whether both read one and the same copy of a song archive's audio (the archive unchanged between
    // their opens): a length counted through one holds for the other.
    bool sharesArchiveCopyWith(const AudioFile& other) const {
        return archiveCopy_ && archiveCopy_ == other.archiveCopy_;
    }

    // A song archive's audio, copied into memory once for every reader of the unchanged archive.
    struct ArchiveCopy;

private:
    AudioFile() = default;
    // The copy in memory of the song archive at `path`, open as `archive` with `status`: the one a
    // reader already holds while the archive is unchanged, else read anew.
    static Result<std::shared_ptr<const ArchiveCopy>> archiveCopyOf(const std::string& path, int archive,
                                                                    const struct stat& status);
    // Reads the file at `source`, known to the caller as `path` (its type is guessed from the latter).
    // A song archive's audio is read into memory first; `member` names it when `source` already holds
    // that copy.
    static Result<std::unique_ptr<AudioFile>> openReader(const std::string& path, const std::string& source,
                                                         const std::string& member = {});
    Result<void> checkBuffer(const AudioFormat& format, const char* what) const;

    std::string path_;
    bool writing_ = false;
    AudioStreamDescription fileFormat_;
    AudioFormat processingFormat_;
    std::int64_t length_ = 0;
    bool complete_ = true;
    bool lengthExact_ = true;
    // A failure met after the frames a read gave: the answer to the next read.
    std::optional<Error> readError_;
    // The last place sought in a stream not yet counted lies past its end.
    bool beyondStream_ = false;
    std::int64_t position_ = 0;
    // Where the back end stands; differs from position_ after setFramePosition until the next access.
    std::int64_t backendPosition_ = 0;
    std::unique_ptr<AudioFileBackend> backend_;
    // The read-only descriptor of a file read: the back end reads through it, and another reader
    // reaches the file by it after its path no longer does. None (-1) for a file written.
    FileDescriptor heldDescriptor_;
    // The audio member of the song archive at path_, read from a copy in memory; empty otherwise.
    std::string archiveMember_;
    // What archiveMember_ is read from, shared with every other reader of the unchanged archive.
    std::shared_ptr<const ArchiveCopy> archiveCopy_;
};

} // namespace platform

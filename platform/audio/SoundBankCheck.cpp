#include "platform/audio/SoundBankCheck.h"

#include "platform/foundation/Files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

namespace platform {

namespace {

Error soundBankError(const std::string& path, const std::string& reason) {
    return Error::make("AudioUnit", "Not a sound bank the sampler can play: " + path + ": " + reason,
                       samplerInvalidFileError);
}

std::uint32_t littleEndian32(const std::uint8_t* bytes) {
    return std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 | std::uint32_t(bytes[2]) << 16 |
           std::uint32_t(bytes[3]) << 24;
}

std::uint16_t littleEndian16(const std::uint8_t* bytes) {
    return std::uint16_t(bytes[0] | bytes[1] << 8);
}

struct BankFile {
    FileDescriptor fd;
    std::uint64_t size = 0;
    bool read(std::uint64_t at, void* into, std::size_t count) const {
        if (at > size || count > size - at) return false;
        auto* bytes = static_cast<char*>(into);
        while (count > 0) {
            const ssize_t got = ::pread(fd.get(), bytes, count, off_t(at));
            if (got <= 0) return false;
            bytes += got, at += std::uint64_t(got), count -= std::size_t(got);
        }
        return true;
    }
};

struct ChunkSpan {
    std::uint64_t offset = 0, size = 0; // of the chunk's data
};

// Finds the chunk `id` (or the list of that type, when `list` is set) among the chunks in `within`.
std::optional<ChunkSpan> findChunk(const BankFile& file, ChunkSpan within, const char* id, bool list) {
    std::uint64_t at = within.offset;
    const std::uint64_t end = within.offset + within.size;
    while (at + 8 <= end) {
        std::uint8_t header[12];
        if (!file.read(at, header, 8)) return std::nullopt;
        const std::uint64_t size = littleEndian32(header + 4);
        if (size > end - at - 8) return std::nullopt;
        if (list) {
            if (std::memcmp(header, "LIST", 4) == 0 && size >= 4 && file.read(at + 8, header + 8, 4) &&
                std::memcmp(header + 8, id, 4) == 0)
                return ChunkSpan{at + 12, size - 4};
        } else if (std::memcmp(header, id, 4) == 0) {
            return ChunkSpan{at + 8, size};
        }
        at += 8 + size + (size & 1);
    }
    return std::nullopt;
}

} // namespace

Result<void> checkSoundBankFile(const std::string& path) {
    BankFile file;
    // Only a regular file: a FIFO or a device would hold the loader until someone writes to it.
    struct stat status {};
    Result<FileDescriptor> opened = openRegularFileForReading(path, &status);
    if (!opened) {
        const int code = opened.error().code;
        return soundBankError(path, code == EINVAL ? "not a regular file" : std::strerror(code));
    }
    file.fd = std::move(opened.value());
    file.size = std::uint64_t(status.st_size);
    std::uint8_t riff[12];
    if (!file.read(0, riff, 12) || std::memcmp(riff, "RIFF", 4) != 0)
        return soundBankError(path, "not a RIFF file");
    if (std::memcmp(riff + 8, "sfbk", 4) != 0) return Result<void>();
    const std::uint64_t riffSize = std::min<std::uint64_t>(littleEndian32(riff + 4), file.size - 8);
    if (riffSize < 4) return soundBankError(path, "the RIFF chunk is empty");
    const ChunkSpan whole{12, riffSize - 4};
    const auto sdta = findChunk(file, whole, "sdta", true);
    const auto pdta = findChunk(file, whole, "pdta", true);
    const auto smplFound = sdta ? findChunk(file, *sdta, "smpl", false) : std::nullopt;
    const auto shdrFound = pdta ? findChunk(file, *pdta, "shdr", false) : std::nullopt;
    if (!smplFound || !shdrFound) return soundBankError(path, "no sample data or no sample headers");
    const ChunkSpan smpl = *smplFound, shdr = *shdrFound;
    constexpr std::size_t recordSize = 46;
    if (shdr.size < recordSize || shdr.size % recordSize != 0)
        return soundBankError(path, "the sample headers are damaged");
    const std::uint64_t frames = smpl.size / 2;
    // The last record only ends the list.
    const std::uint64_t count = shdr.size / recordSize - 1;
    // One read for all the headers: the chunk lies within the file, so its size is bounded by the
    // file's.
    std::vector<std::uint8_t> headers(std::size_t(count * recordSize));
    if (!file.read(shdr.offset, headers.data(), headers.size()))
        return soundBankError(path, "the sample headers are cut short");
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint8_t* record = headers.data() + i * recordSize;
        const std::uint32_t start = littleEndian32(&record[20]), end = littleEndian32(&record[24]);
        const std::uint32_t loopStart = littleEndian32(&record[28]), loopEnd = littleEndian32(&record[32]);
        const std::uint32_t rate = littleEndian32(&record[36]);
        const std::uint16_t type = littleEndian16(&record[44]);
        // FluidSynth skips samples that live in a synthesizer's ROM.
        if (type & 0x8000) continue;
        const std::string which = "sample " + std::to_string(i);
        // A compressed sample (SoundFont 3) counts its bounds in bytes of the sample chunk.
        const std::uint64_t limit = (type & 0x10) ? smpl.size : frames;
        if (start >= end || end > limit) return soundBankError(path, which + " lies outside the sample data");
        if (!(type & 0x10) && (loopStart < start || loopEnd > end || loopStart > loopEnd))
            return soundBankError(path, which + " has its loop outside the sample");
        if (rate < minimumSamplerRate || rate > maximumSamplerRate)
            return soundBankError(path, which + " has a sample rate of " + std::to_string(rate) + " Hz");
    }
    return Result<void>();
}

} // namespace platform

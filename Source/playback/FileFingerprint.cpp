#include "Source/playback/FileFingerprint.h"

#include "platform/foundation/Files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>

namespace vantle {

namespace {

constexpr std::uint64_t fingerprintSpan = 64 * 1024;

// FNV-1a: a checksum, not a defence against a crafted file.
std::uint64_t fingerprintMix(std::uint64_t sum, const unsigned char* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        sum ^= bytes[i];
        sum *= 0x100000001b3ull;
    }
    return sum;
}

// Adds `count` bytes from `offset` to the sum; false when they cannot all be read.
bool fingerprintRead(int descriptor, std::uint64_t offset, std::uint64_t count, std::uint64_t& sum) {
    std::array<unsigned char, 16 * 1024> chunk;
    while (count > 0) {
        const std::size_t want = count < chunk.size() ? static_cast<std::size_t>(count) : chunk.size();
        const ssize_t got = ::pread(descriptor, chunk.data(), want, static_cast<off_t>(offset));
        if (got <= 0) return false;
        sum = fingerprintMix(sum, chunk.data(), static_cast<std::size_t>(got));
        offset += static_cast<std::uint64_t>(got);
        count -= static_cast<std::uint64_t>(got);
    }
    return true;
}

} // namespace

std::optional<FileFingerprint> FileFingerprint::of(const std::string& path) {
    // A FIFO or a device put at the path must not hold the caller.
    platform::Result<platform::FileDescriptor> opened = platform::openRegularFileForReading(path);
    if (!opened) return std::nullopt;
    const int descriptor = opened->get();
    struct stat status {};
    std::optional<FileFingerprint> result;
    if (::fstat(descriptor, &status) == 0) {
        FileFingerprint print;
        print.device = static_cast<std::uint64_t>(status.st_dev);
        print.inode = static_cast<std::uint64_t>(status.st_ino);
        print.size = static_cast<std::uint64_t>(status.st_size);
        std::uint64_t sum = 0xcbf29ce484222325ull;
        const std::uint64_t head = print.size < fingerprintSpan ? print.size : fingerprintSpan;
        const std::uint64_t tailStart =
            print.size - (print.size - head < fingerprintSpan ? print.size - head : fingerprintSpan);
        if (fingerprintRead(descriptor, 0, head, sum) &&
            fingerprintRead(descriptor, tailStart, print.size - tailStart, sum)) {
            print.headAndTail = sum;
            result = print;
        }
    }
    return result;
}

bool FileFingerprint::namedBy(const std::string& path) const {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && static_cast<std::uint64_t>(status.st_dev) == device &&
           static_cast<std::uint64_t>(status.st_ino) == inode;
}

} // namespace vantle

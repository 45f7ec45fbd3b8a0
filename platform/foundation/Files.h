#pragma once
// File operations of the platform layer. Any thread; no shared state.

#include "platform/foundation/Result.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

using Bytes = std::vector<std::uint8_t>;

bool fileExists(const std::string& path);
bool isDirectory(const std::string& path);

// Far above any session, state, notes or preset file, far below what the machine can hold.
inline constexpr std::uint64_t readFileSizeLimit = std::uint64_t(1) << 30;

// The whole of a regular file (after links are followed). Anything else (a folder, a device, a
// FIFO, a socket) is refused without waiting for it, as is a file larger than `sizeLimit`.
Result<Bytes> readFile(const std::string& path, std::uint64_t sizeLimit = readFileSizeLimit);

// Writes through a temporary file in the same folder that is flushed to disk and then
// renamed over the target, so the old file survives any failure (full disk, no permission,
// crash half-way) and readers never see a half-written file. Temporaries of the same target
// that a crashed writer left behind are removed once they are a minute old.
Result<void> writeFileAtomically(const std::string& path, const void* data, std::size_t size);
inline Result<void> writeFileAtomically(const std::string& path, const Bytes& bytes) {
    return writeFileAtomically(path, bytes.data(), bytes.size());
}
inline Result<void> writeFileAtomically(const std::string& path, std::string_view text) {
    return writeFileAtomically(path, text.data(), text.size());
}

// For writers that cannot hand over their bytes at once (an encoder, a library that opens the path
// itself): an empty file with a unique name beside `path`, in the form writeFileAtomically uses,
// with the permissions `path` has or would get. Write it, then move it into place with
// replaceItemWithTemporary(); on failure remove it.
Result<std::string> makeTemporaryFileBeside(const std::string& path);
// Flushes the finished temporary to disk and renames it over `path` (the old file, if any, goes only
// then). On failure the temporary is removed and `path` is left as it was.
Result<void> replaceItemWithTemporary(const std::string& temporary, const std::string& path);
// Removes every temporary of `path` that writeFileAtomically left behind, whatever its age, except
// one that writeFileAtomically is filling at this moment (in any process). For the start of a program that is
// the only writer of `path`, where a killed run's leftovers would otherwise wait for a write a minute later.
void removeTemporariesOf(const std::string& path);

Result<void> removeItem(const std::string& path);
// Creates the folder and any missing parents; succeeds when it already exists.
Result<void> createDirectory(const std::string& path);
// Fails when the target exists, like the platform's copy.
Result<void> copyItem(const std::string& from, const std::string& to);

// A fresh, empty folder named prefix + six random characters under `parent`, by default the system's
// temporary folder.
Result<std::string> makeTemporaryDirectory(std::string_view prefix = "vantle",
                                           const std::string& parent = {});

} // namespace platform

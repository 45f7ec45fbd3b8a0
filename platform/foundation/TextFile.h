#pragma once
// Reading and writing whole text files as UTF-8. Any thread; no shared state.

#include "platform/foundation/Result.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// The file's text as UTF-8. The encoding is taken from the byte-order mark: UTF-8 (mark
// dropped), UTF-16 little- or big-endian (converted); without a mark the file must be UTF-8.
// Ill-formed text is an error, never a guess.
Result<std::string> readTextFile(const std::string& path);
// The same, refusing a file of more than `sizeLimit` bytes without reading it (error code EFBIG).
Result<std::string> readTextFile(const std::string& path, std::uint64_t sizeLimit);

// The same for bytes already read from the file at `path` (which only names it in errors).
Result<std::string> textFromFileBytes(const std::string& path, const std::uint8_t* data, std::size_t size);

// Writes the text as UTF-8 without a byte-order mark, atomically (the old file survives any
// failure). Ill-formed sequences, such as a file-system path in a legacy encoding, are written
// as U+FFFD so that the file always reads back.
Result<void> writeTextFile(const std::string& path, std::string_view text);

} // namespace platform

#pragma once
// Property lists: the binary writer and a reader of the binary and XML formats, for the value tree
// of PlistValue.h. Any thread, no shared state.

#include "platform/foundation/Files.h"
#include "platform/foundation/PlistValue.h"
#include "platform/foundation/Result.h"

#include <cstddef>
#include <cstdint>

namespace platform {

// The binary format ("bplist00"). The output depends only on the value: equal strings and
// numbers are stored once, in the order of first appearance. Fails only for a string that is not
// valid UTF-8.
Result<Bytes> serializeBinaryPlist(const PlistValue& root);

// Reads a binary ("bplist00") or XML property list. Malformed, truncated or hostile input gives
// an error, never a crash.
Result<PlistValue> parsePlist(const std::uint8_t* data, std::size_t size);
inline Result<PlistValue> parsePlist(const Bytes& bytes) {
    return parsePlist(bytes.data(), bytes.size());
}

} // namespace platform

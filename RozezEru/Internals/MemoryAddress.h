#pragma once
// The printable address of an object, which names mixers and MIDI objects that were given no
// name. A plain value; any thread.

#include <cstdint>
#include <string>

namespace rozezeru {

struct MemoryAddress {
    explicit MemoryAddress(const void* object);

    // The address as an integer.
    std::int64_t opaquePointerAddress;

    // "0x" and the address in lower-case hexadecimal, zero-padded to 18 characters in all
    // ("0x00007f3a5c001230").
    static std::string addressString(const void* object);

    std::string description() const;
};

} // namespace rozezeru

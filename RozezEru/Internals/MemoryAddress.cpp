#include "RozezEru/Internals/MemoryAddress.h"

namespace rozezeru {

namespace {

// By hand: the C library's "%018p" does not zero-pad here.
std::string memoryAddressText(std::uint64_t address) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text = "0x0000000000000000";
    for (auto position = text.size(); address != 0; address >>= 4)
        text[--position] = digits[address & 0xf];
    return text;
}

} // namespace

MemoryAddress::MemoryAddress(const void* object)
    : opaquePointerAddress(static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(object))) {}

std::string MemoryAddress::addressString(const void* object) {
    return memoryAddressText(reinterpret_cast<std::uintptr_t>(object));
}

std::string MemoryAddress::description() const {
    return memoryAddressText(static_cast<std::uint64_t>(opaquePointerAddress));
}

} // namespace rozezeru

#include "platform/midi/MIDIPacketList.h"

#include <cstring>
#include <limits>

namespace platform {

namespace {

template <typename T> T readLittleEndian(std::span<const std::uint8_t> bytes, std::size_t offset) {
    T value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        value |= static_cast<T>(static_cast<T>(bytes[offset + i]) << (8 * i));
    return value;
}

template <typename T> void writeLittleEndian(std::span<std::uint8_t> bytes, std::size_t offset, T value) {
    for (std::size_t i = 0; i < sizeof(T); ++i)
        bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

} // namespace

std::uint32_t MIDIPacketListView::numPackets() const {
    if (bytes_.size() < kMIDIPacketListHeaderSize) return 0;
    return readLittleEndian<std::uint32_t>(bytes_, 0);
}

MIDIPacketListView::iterator::iterator(std::span<const std::uint8_t> bytes, std::uint32_t count)
    : bytes_(bytes), remaining_(count), atEnd_(false) {
    read();
}

void MIDIPacketListView::iterator::read() {
    if (remaining_ == 0 || offset_ + kMIDIPacketHeaderSize > bytes_.size()) {
        atEnd_ = true;
        return;
    }
    const auto length = readLittleEndian<std::uint16_t>(bytes_, offset_ + 8);
    if (offset_ + kMIDIPacketHeaderSize + length > bytes_.size()) {
        atEnd_ = true;
        return;
    }
    packet_.timeStamp = readLittleEndian<std::uint64_t>(bytes_, offset_);
    packet_.data = bytes_.subspan(offset_ + kMIDIPacketHeaderSize, length);
}

MIDIPacketListView::iterator& MIDIPacketListView::iterator::operator++() {
    if (atEnd_) return *this;
    offset_ += kMIDIPacketHeaderSize + packet_.data.size();
    --remaining_;
    read();
    return *this;
}

MIDIPacketListBuilder::MIDIPacketListBuilder(std::span<std::uint8_t> buffer) : buffer_(buffer) {
    if (buffer_.size() < kMIDIPacketListHeaderSize) return;
    writeLittleEndian<std::uint32_t>(buffer_, 0, 0);
    used_ = kMIDIPacketListHeaderSize;
}

bool MIDIPacketListBuilder::add(MIDITimeStamp timeStamp, std::span<const std::uint8_t> data) {
    if (used_ == 0 || data.size() > std::numeric_limits<std::uint16_t>::max()) return false;
    if (buffer_.size() - used_ < kMIDIPacketHeaderSize + data.size()) return false;
    writeLittleEndian<std::uint64_t>(buffer_, used_, timeStamp);
    writeLittleEndian<std::uint16_t>(buffer_, used_ + 8, static_cast<std::uint16_t>(data.size()));
    if (!data.empty()) std::memcpy(buffer_.data() + used_ + kMIDIPacketHeaderSize, data.data(), data.size());
    used_ += kMIDIPacketHeaderSize + data.size();
    writeLittleEndian<std::uint32_t>(buffer_, 0, ++count_);
    return true;
}

std::size_t packetListSize(std::span<const std::size_t> dataSizes) {
    std::size_t size = kMIDIPacketListHeaderSize;
    for (auto dataSize : dataSizes)
        size += kMIDIPacketHeaderSize + dataSize;
    return size;
}

std::vector<std::uint8_t> makePacketList(MIDITimeStamp timeStamp, std::span<const std::uint8_t> data) {
    const std::size_t sizes[] = {data.size()};
    std::vector<std::uint8_t> buffer(packetListSize(sizes));
    MIDIPacketListBuilder builder(buffer);
    if (!builder.add(timeStamp, data)) buffer.resize(builder.bytes().size());
    return buffer;
}

} // namespace platform

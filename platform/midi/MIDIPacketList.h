#pragma once
// MIDI 1.0 packet lists as bytes, in the layout the toolkit reads them in: a 4-byte packet count, then
// packets back to back (8-byte host time stamp, 2-byte length, the data bytes), all little-endian and
// unaligned. Lists are built and walked through these classes, never read as a packed struct. Also the
// event lists of universal MIDI packets that input ports receive. Any thread.

#include "platform/midi/MIDITypes.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace platform {

inline constexpr std::size_t kMIDIPacketListHeaderSize = 4;
inline constexpr std::size_t kMIDIPacketHeaderSize = 10;

// One packet of a list: a view of its data bytes inside the list's buffer.
struct MIDIPacket {
    MIDITimeStamp timeStamp = 0;
    std::span<const std::uint8_t> data;
};

// Walks the packets of a list held in `bytes`. The declared count and lengths are checked against the
// buffer: the walk ends after the declared count or at the first packet that does not fit whole.
class MIDIPacketListView {
public:
    explicit MIDIPacketListView(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    // The declared count; 0 when the buffer is too short to hold it.
    std::uint32_t numPackets() const;

    class iterator {
    public:
        using value_type = MIDIPacket;
        using difference_type = std::ptrdiff_t;
        iterator() = default;
        const MIDIPacket& operator*() const { return packet_; }
        const MIDIPacket* operator->() const { return &packet_; }
        iterator& operator++();
        void operator++(int) { ++*this; }
        bool operator==(const iterator& other) const { return atEnd_ == other.atEnd_; }

    private:
        friend class MIDIPacketListView;
        iterator(std::span<const std::uint8_t> bytes, std::uint32_t count);
        void read();
        std::span<const std::uint8_t> bytes_;
        std::uint32_t remaining_ = 0;
        std::size_t offset_ = kMIDIPacketListHeaderSize;
        MIDIPacket packet_;
        bool atEnd_ = true;
    };

    iterator begin() const { return iterator(bytes_, numPackets()); }
    iterator end() const { return iterator(); }

private:
    std::span<const std::uint8_t> bytes_;
};

// Builds a packet list in a caller-owned buffer.
class MIDIPacketListBuilder {
public:
    // Writes an empty list (count 0) at the start of `buffer`; a buffer shorter than the count holds no list.
    explicit MIDIPacketListBuilder(std::span<std::uint8_t> buffer);

    // Appends one packet; false, with the list unchanged, when it does not fit in the buffer or holds
    // more than 65535 bytes.
    bool add(MIDITimeStamp timeStamp, std::span<const std::uint8_t> data);

    // The bytes of the list as built so far.
    std::span<const std::uint8_t> bytes() const { return buffer_.first(used_); }
    std::uint32_t numPackets() const { return count_; }

private:
    std::span<std::uint8_t> buffer_;
    std::size_t used_ = 0;
    std::uint32_t count_ = 0;
};

// The buffer size a list of packets with these data sizes needs.
std::size_t packetListSize(std::span<const std::size_t> dataSizes);

// A list of one packet holding `data`, in a buffer of its own.
std::vector<std::uint8_t> makePacketList(MIDITimeStamp timeStamp, std::span<const std::uint8_t> data);

// One packet of universal MIDI packets: a host time stamp and 32-bit words in host order.
struct MIDIEventPacket {
    MIDITimeStamp timeStamp = 0;
    std::vector<std::uint32_t> words;
};

// What an input port receives: the protocol of the messages, and the packets.
struct MIDIEventList {
    MIDIProtocolID protocol = MIDIProtocolID::midi1_0;
    std::vector<MIDIEventPacket> packets;
};

} // namespace platform

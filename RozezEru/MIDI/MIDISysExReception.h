#pragma once
// The system-exclusive messages arriving from one source: the MIDI 1.0 message collected across packets,
// and one message per group assembled from universal packets. Each input and each of the client's
// destinations keeps its own, so messages from two sources never mix. Used on the thread that delivers
// that source's input.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace rozezeru {

class MIDISysExReception {
public:
    bool isReceivingSysEx() const { return isReceivingSysEx_; }
    // The bytes collected so far; kept after the message ends, until the next one starts.
    const std::vector<std::uint8_t>& incomingSysEx() const { return incomingSysEx_; }

    // Logs the start, and collects from `bytes` on.
    void startReceivingSysEx(std::vector<std::uint8_t> bytes);
    // Logs the end; the collected bytes stay.
    void stopReceivingSysEx();
    void appendIncomingSysEx(std::span<const std::uint8_t> bytes);

    // The message being assembled from universal packets of a group (0...15), and whether a start has
    // been seen for it.
    std::vector<std::uint8_t>& incomingUMPSysExMessage(std::uint8_t group) {
        return ump_[group & 0x0F].bytes;
    }
    bool isAssemblingUMPSysEx(std::uint8_t group) const { return ump_[group & 0x0F].assembling; }
    void setAssemblingUMPSysEx(std::uint8_t group, bool assembling) {
        ump_[group & 0x0F].assembling = assembling;
    }

private:
    struct Assembly {
        std::vector<std::uint8_t> bytes;
        bool assembling = false;
    };
    bool isReceivingSysEx_ = false;
    std::vector<std::uint8_t> incomingSysEx_;
    std::array<Assembly, 16> ump_;
};

} // namespace rozezeru

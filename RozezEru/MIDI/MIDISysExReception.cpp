#include "RozezEru/MIDI/MIDISysExReception.h"

#include "RozezEru/Internals/Log.h"

namespace rozezeru {

void MIDISysExReception::startReceivingSysEx(std::vector<std::uint8_t> bytes) {
    Log(LogSite("startReceivingSysEx(with:)", OSLog::midi()), "Starting to receive SysEx");
    isReceivingSysEx_ = true;
    incomingSysEx_ = std::move(bytes);
}

void MIDISysExReception::stopReceivingSysEx() {
    Log(LogSite("stopReceivingSysEx()", OSLog::midi()), "Done receiving SysEx");
    isReceivingSysEx_ = false;
}

void MIDISysExReception::appendIncomingSysEx(std::span<const std::uint8_t> bytes) {
    incomingSysEx_.insert(incomingSysEx_.end(), bytes.begin(), bytes.end());
}

} // namespace rozezeru

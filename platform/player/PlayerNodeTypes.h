#pragma once
// The vocabulary of the player node's schedule: buffer options, completion callback types and the
// completion handler. Plain values; any thread.

#include <cstdint>
#include <functional>

namespace platform {

// How a scheduled buffer plays (a bit set; stands in for the platform's buffer options).
enum class PlayerBufferOptions : std::uint32_t {
    none = 0,
    // Plays the buffer again and again until it is interrupted or the player stops.
    loops = 1,
    // Drops whatever plays or waits before the buffer, which then plays at once.
    interrupts = 2,
    // Drops whatever waits before the buffer; what plays finishes its current pass (the current loop
    // of a looping buffer) and the buffer follows it.
    interruptsAtLoop = 4,
};

constexpr PlayerBufferOptions operator|(PlayerBufferOptions a, PlayerBufferOptions b) {
    return PlayerBufferOptions(std::uint32_t(a) | std::uint32_t(b));
}
constexpr bool hasOption(PlayerBufferOptions options, PlayerBufferOptions option) {
    return (std::uint32_t(options) & std::uint32_t(option)) != 0;
}

// When a scheduled item's completion is called (stands in for the platform's callback types).
enum class PlayerCompletionCallbackType {
    // The player no longer needs the item's data: a file segment has been read completely (which
    // happens ahead of playback), a buffer has been rendered for the last time.
    dataConsumed = 0,
    // The item's last frame has been rendered.
    dataRendered = 1,
    // The item's last frame has been played through the output (rendered plus the output latency).
    dataPlayedBack = 2,
};

// Called once per scheduled item, with the item's callback type; never on the render thread.
using PlayerCompletionHandler = std::function<void(PlayerCompletionCallbackType)>;

} // namespace platform

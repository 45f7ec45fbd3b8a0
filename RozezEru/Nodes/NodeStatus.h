#pragma once
// The shared playback state of player nodes. Plain values; any thread.

namespace rozezeru {

namespace NodeStatus {

enum class Playback {
    stopped = 0,
    playing = 1,
    paused = 2,
    scheduling = 3,
};

} // namespace NodeStatus

} // namespace rozezeru

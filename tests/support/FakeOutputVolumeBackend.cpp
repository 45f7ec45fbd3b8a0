#include "tests/support/FakeOutputVolumeBackend.h"

#include <cstdio>

namespace testsupport {

bool FakeOutputVolumeBackend::writeVolume(std::uint32_t, float value) {
    char line[32];
    std::snprintf(line, sizeof line, "volume %.2f", double(value));
    writes.emplace_back(line);
    if (!hasVolume || volumeWriteFails) return false;
    volume = value;
    return true;
}

bool FakeOutputVolumeBackend::writeMute(std::uint32_t, bool value) {
    writes.emplace_back(value ? "mute 1" : "mute 0");
    if (!hasMute || muteWriteFails) return false;
    muted = value;
    return true;
}

} // namespace testsupport

#pragma once
// Where a song's audio is over for good: a karaoke track often runs on for seconds after its music,
// silent or fading, and the room would hear nothing. Qt-free; any thread (the file is read, so not the
// window's).

#include <optional>
#include <string>
#include <vector>

namespace vantle {

struct SongTail {
    // The span read, from the file's end.
    static constexpr double readSeconds = 60.0;
    static constexpr double windowSeconds = 0.05;
    // Below this, or this far under the song's loud level, the music is over.
    static constexpr double silentDbfs = -50.0;
    static constexpr double fadedBelowLoudDb = 30.0;

    // From the peaks of consecutive windows (linear, the first starting at `offsetSeconds`): the start
    // of the last stretch that stays quiet to the end; nullopt when the end itself is not quiet.
    static std::optional<double> quietFrom(const std::vector<float>& windowPeaks, double offsetSeconds);
    // The same for the audio file (or song archive) at `path`; nullopt when it does not read.
    static std::optional<double> audioEnd(const std::string& path);
};

} // namespace vantle

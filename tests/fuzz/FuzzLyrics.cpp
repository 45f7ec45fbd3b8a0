// LRC lyrics files, read as the player reads the one beside a song, and lit at the times they give.

#include "Source/karaoke/LyricsFile.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto lyrics = vantle::parseLrc(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!lyrics) return 0;
    for (const vantle::LyricLine& line : lyrics->lines) {
        for (const double t : {*line.time - 3.5, *line.time, *line.time + 0.37}) {
            const vantle::LyricsMoment moment = vantle::lyricsMomentAt(*lyrics, t);
            if (moment.litBytes < 0 || (moment.line >= 0 && std::size_t(moment.litBytes) >
                                                                lyrics->lines[std::size_t(moment.line)].text.size()))
                __builtin_trap();
            (void)lyrics->nextLineTime(t);
            (void)lyrics->previousLineTime(t);
        }
    }
    return 0;
}

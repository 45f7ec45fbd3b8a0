// CD+G graphics files, decoded as the karaoke screens decode them: forward to the end, back to the
// middle and the start, each picture turned into RGB both ways.

#include "Source/karaoke/CdgDecoder.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto timeline = vantle::CdgTimeline::fromBytes(std::vector<std::uint8_t>(data, data + size));
    if (!timeline) return 0;
    std::vector<std::uint8_t> rgb;
    const double end = timeline->duration();
    for (double t : {end, end / 2, 0.0, end / 3, end + 1.0, -1.0}) {
        const vantle::CdgScreen& screen = timeline->screenAt(t);
        vantle::cdgToRgb(screen, false, rgb);
        vantle::cdgToRgb(screen, true, rgb);
    }
    return 0;
}

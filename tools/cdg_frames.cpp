// cdg_frames FILE.cdg OUTDIR T1 T2 ...: the CD+G picture at each heard time Tn (seconds) as a binary
// PPM of 300 x 216 RGB pixels, border included and the transparent colour drawn as its colour, named
// <file's base name>-<Tn with three decimals>.ppm in OUTDIR. One line per frame on standard output;
// errors on standard error with a non-zero exit.

#include "Source/karaoke/CdgDecoder.h"
#include "Source/karaoke/CdgFile.h"
#include "platform/foundation/Files.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

std::optional<double> parseTime(const char* text) {
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || errno == ERANGE || !std::isfinite(value) || value < 0.0)
        return std::nullopt;
    return value;
}

std::string baseNameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const auto dot = name.rfind('.');
    if (dot != std::string::npos && dot != 0) name.resize(dot);
    return name;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: cdg_frames FILE.cdg OUTDIR T1 [T2 ...]  (times in seconds)\n");
        return 2;
    }
    const std::string input = argv[1];
    const std::string outFolder = argv[2];
    // Every time is checked before anything is written, so a bad argument leaves no partial output.
    std::vector<double> times;
    for (int i = 3; i < argc; ++i) {
        const auto time = parseTime(argv[i]);
        if (!time) {
            std::fprintf(stderr, "cdg_frames: \"%s\" is not a time in seconds (a number 0 or more)\n",
                         argv[i]);
            return 2;
        }
        times.push_back(*time);
    }
    auto bytes = vantle::readCdgFile(input);
    if (!bytes) {
        std::fprintf(stderr, "cdg_frames: %s\n", bytes.error().message.c_str());
        return 1;
    }
    auto timeline = vantle::CdgTimeline::fromBytes(std::move(*bytes));
    if (!timeline || timeline->packetCount() == 0) {
        std::fprintf(stderr, "cdg_frames: \"%s\" holds no CD+G packet (a file of 24-byte packets)\n",
                     input.c_str());
        return 1;
    }
    if (auto made = platform::createDirectory(outFolder); !made) {
        std::fprintf(stderr, "cdg_frames: %s\n", made.error().message.c_str());
        return 1;
    }
    const std::string base = baseNameOf(input);
    std::vector<std::uint8_t> rgb;
    for (const double time : times) {
        vantle::cdgToRgb(timeline->screenAt(time), false, rgb);
        char timeText[64];
        std::snprintf(timeText, sizeof timeText, "%.3f", time);
        const std::string path = outFolder + "/" + base + "-" + timeText + ".ppm";
        std::string ppm = "P6\n" + std::to_string(vantle::CdgScreen::width) + " " +
                          std::to_string(vantle::CdgScreen::height) + "\n255\n";
        ppm.append(reinterpret_cast<const char*>(rgb.data()), rgb.size());
        if (auto written = platform::writeFileAtomically(path, ppm); !written) {
            std::fprintf(stderr, "cdg_frames: %s\n", written.error().message.c_str());
            return 1;
        }
        const double last = std::floor(time * vantle::CdgTimeline::packetsPerSecond);
        std::printf("%s  t=%s s  packets 0..%.0f of %zu\n", path.c_str(), timeText,
                    std::min(last, double(timeline->packetCount() - 1)), timeline->packetCount());
    }
    return 0;
}

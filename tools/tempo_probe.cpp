// tempo_probe [--dance NAME] FILE: analyses one file's tempo as the player does and prints one JSON line
// {"bpm", "beatsPerBar", "beats", "downbeats", "sure"}, times in the file's own seconds.

#include "Source/tempo/TempoAnalysis.h"

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

int usage() {
    std::fprintf(stderr, "usage: tempo_probe [--dance NAME] FILE\n");
    return 2;
}

std::string jsonTimes(const std::vector<double>& times) {
    std::string text = "[";
    char number[32];
    for (std::size_t i = 0; i < times.size(); ++i) {
        std::snprintf(number, sizeof number, "%s%.4f", i > 0 ? ", " : "", times[i]);
        text += number;
    }
    return text + "]";
}

} // namespace

int main(int argc, char** argv) {
    std::optional<vantle::Dance> dance;
    std::string path;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--dance") {
            if (++i >= argc) return usage();
            dance = vantle::danceFromKey(argv[i]);
            if (!dance) {
                std::fprintf(stderr, "tempo_probe: no dance is called \"%s\"\n", argv[i]);
                return 2;
            }
        } else if (path.empty() && !(argument.size() > 1 && argument[0] == '-')) {
            path = argument;
        } else {
            return usage();
        }
    }
    if (path.empty()) return usage();
    std::string whyNot;
    const auto tempo = vantle::analyseTempoFile(path, dance, nullptr, &whyNot);
    if (!tempo) {
        std::fprintf(stderr, "tempo_probe: %s: %s\n", path.c_str(), whyNot.c_str());
        return 1;
    }
    std::printf("{\"bpm\": %.3f, \"beatsPerBar\": %d, \"beats\": %s, \"downbeats\": %s, \"sure\": %s}\n",
                tempo->bpm, tempo->beatsPerBar, jsonTimes(tempo->beats).c_str(),
                jsonTimes(tempo->downbeats).c_str(), tempo->sure ? "true" : "false");
    return 0;
}

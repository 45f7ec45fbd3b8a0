// Writes seed inputs for the MIDI fuzz targets into a folder, made with the project's own writers:
//   midi_fuzz_seeds
//   fuzz_midi_packet_list|fuzz_midi_universal_packets|fuzz_midi_file|fuzz_music_sequence_file|
//                   fuzz_midi_endpoint_json <folder>
#include "RozezEru/MIDI/EndpointInfo.h"
#include "platform/midi/MIDIPacketList.h"
#include "platform/midi/UniversalPackets.h"
#include "tests/support/MIDIFileBytes.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

const std::vector<Bytes> messages = {
    {0x90, 0x3C, 0x64, 0x3E, 0x64},
    {0xC0, 0x05, 0xF8, 0xB1, 0x07, 0x64},
    {0xF0, 0x7E, 0x00, 0x09, 0x01, 0xF7, 0x90, 0x3C, 0x64},
    {0xF0, 0x01, 0x02},
    {0x03, 0xF7, 0xE3, 0x00, 0x40},
    {0xF2, 0x10, 0x20, 0xF1, 0x23, 0xF6, 0xFF},
    {0x80, 0x80, 0x90, 0x3C, 0x40, 0x80, 0x3E, 0x40},
    {0xFF, 0x03, 0x04, 'B', 'a', 's', 's'},
};

bool write(const std::string& path, const Bytes& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr,
                     "usage: %s fuzz_midi_packet_list|fuzz_midi_universal_packets|fuzz_midi_file|"
                     "fuzz_music_sequence_file|fuzz_midi_endpoint_json <folder>\n",
                     argv[0]);
        return 2;
    }
    const std::string target = argv[1], folder = argv[2];
    int n = 0;
    if (target == "fuzz_midi_file" || target == "fuzz_music_sequence_file") {
        using namespace testsupport;
        const MIDIBytes files[] = {
            formatOneFile(),
            formatZeroFile(),
            join({header(0, 1, 480),
                  chunk("MTrk", join({{0x00, 0x90, 0x3C, 0x40, 0x10, 0x3E, 0x40}, endOfTrack}))}),
        };
        for (const auto& file : files)
            if (!write(folder + "/seed" + std::to_string(n++), file)) return 1;
        return 0;
    }
    if (target == "fuzz_midi_endpoint_json") {
        // The description's own JSON: plain, with a port, with a name that is not UTF-8 (which the
        // writer replaces) and with texts that need escaping.
        rozezeru::EndpointInfo infos[4];
        infos[0] = {"Synth", "Synth", "", "", "", "", 0, 0, std::nullopt};
        infos[1] = {"MIDI In", "Keys:MIDI In", "K-49", "Fennora", "/usr/share/k49.png", "snd-usb",
                    -12,       4000000000u,    3u};
        infos[2] = {"Port \xC3(\xFF", "", "", "", "", "", 2000001, 7, std::nullopt};
        infos[3] = {"\"quoted\" \\ tab\t line\n \u00FC \u2713", "", "", "", "", "", 1, 1, 0u};
        for (const auto& info : infos) {
            const auto text = info.json();
            if (!write(folder + "/seed" + std::to_string(n++), Bytes(text.begin(), text.end()))) return 1;
        }
        return 0;
    }
    for (std::size_t i = 0; i < messages.size(); ++i) {
        Bytes seed;
        if (target == "fuzz_midi_packet_list") {
            // Each message alone, and with the next one as a second packet.
            const std::size_t sizes[] = {messages[i].size(), messages[(i + 1) % messages.size()].size()};
            seed.resize(platform::packetListSize(sizes));
            platform::MIDIPacketListBuilder builder(seed);
            builder.add(i, messages[i]);
            builder.add(i + 1, messages[(i + 1) % messages.size()]);
        } else {
            platform::UniversalPacketEncoder encoder(static_cast<std::uint8_t>(i));
            std::vector<std::uint32_t> words;
            encoder.encode(messages[i], words);
            words.push_back(0xFF000000);
            encoder.encode(messages[(i + 1) % messages.size()], words);
            seed.resize(words.size() * 4);
            std::memcpy(seed.data(), words.data(), seed.size());
        }
        if (!write(folder + "/seed" + std::to_string(n++), seed)) {
            std::fprintf(stderr, "cannot write into %s\n", folder.c_str());
            return 1;
        }
    }
    return 0;
}

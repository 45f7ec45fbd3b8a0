#pragma once
// Sound banks made in code: SoundFont 2 files of 16-bit samples, one instrument and one preset per
// sample, with every sample header field settable (so tests can make headers that lie), and DLS
// level 1 collections of one instrument. Test thread.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace testsupport {

using RiffBytes = std::vector<std::uint8_t>;

inline void riffPut32(RiffBytes& to, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        to.push_back(std::uint8_t(value >> (8 * i)));
}

inline void riffPut16(RiffBytes& to, std::uint16_t value) {
    to.push_back(std::uint8_t(value));
    to.push_back(std::uint8_t(value >> 8));
}

inline void riffPutText(RiffBytes& to, const std::string& text, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i)
        to.push_back(i < text.size() ? std::uint8_t(text[i]) : 0);
}

inline RiffBytes riffChunk(const char* id, const RiffBytes& data) {
    RiffBytes chunk(id, id + 4);
    riffPut32(chunk, std::uint32_t(data.size()));
    chunk.insert(chunk.end(), data.begin(), data.end());
    if (data.size() % 2) chunk.push_back(0);
    return chunk;
}

// A "LIST" (or, with `outer` "RIFF", the file) of `type` holding the chunks.
inline RiffBytes riffList(const char* type, const std::vector<RiffBytes>& chunks,
                          const char* outer = "LIST") {
    RiffBytes data(type, type + 4);
    for (const auto& chunk : chunks)
        data.insert(data.end(), chunk.begin(), chunk.end());
    return riffChunk(outer, data);
}

inline std::vector<std::int16_t> pcm16(const std::vector<float>& samples) {
    std::vector<std::int16_t> pcm;
    for (float s : samples)
        pcm.push_back(std::int16_t(std::max(-1.0f, std::min(1.0f, s)) * 32767.0f));
    return pcm;
}

struct SoundFontSample {
    std::vector<std::int16_t> data;
    std::uint32_t rate = 44100;
    std::uint8_t rootKey = 60;
    bool loop = false;
    // Relative to the sample's first frame; the loop is written as it is, even when it lies.
    std::uint32_t loopStart = 0, loopEnd = 0;
    // When set, the header's end (relative to the first frame) in place of the sample's length.
    std::int64_t end = -1;
};

struct SoundFontPreset {
    std::uint16_t program = 0, bank = 0;
    std::size_t sample = 0;
};

inline RiffBytes soundFontBytes(const std::vector<SoundFontSample>& samples,
                                const std::vector<SoundFontPreset>& presets) {
    RiffBytes smpl, shdr, phdr, pbag, pgen, inst, ibag, igen, modTerminal(10, 0);
    std::vector<std::uint32_t> starts;
    for (const auto& sample : samples) {
        starts.push_back(std::uint32_t(smpl.size() / 2));
        for (std::int16_t s : sample.data)
            riffPut16(smpl, std::uint16_t(s));
        for (int guard = 0; guard < 46; ++guard)
            riffPut16(smpl, 0);
    }
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto& sample = samples[i];
        const std::uint32_t start = starts[i];
        riffPutText(shdr, "sample" + std::to_string(i), 20);
        riffPut32(shdr, start);
        riffPut32(shdr,
                  start + std::uint32_t(sample.end >= 0 ? sample.end : std::int64_t(sample.data.size())));
        riffPut32(shdr, start + sample.loopStart);
        riffPut32(shdr, start + sample.loopEnd);
        riffPut32(shdr, sample.rate);
        shdr.push_back(sample.rootKey);
        shdr.push_back(0);
        riffPut16(shdr, 0);
        riffPut16(shdr, 1); // mono
        // Instrument i: one zone playing sample i, looped when asked.
        riffPutText(inst, "instrument" + std::to_string(i), 20);
        riffPut16(inst, std::uint16_t(ibag.size() / 4));
        riffPut16(ibag, std::uint16_t(igen.size() / 4));
        riffPut16(ibag, 0);
        riffPut16(igen, 54); // sampleModes
        riffPut16(igen, sample.loop ? 1 : 0);
        riffPut16(igen, 53); // sampleID
        riffPut16(igen, std::uint16_t(i));
    }
    riffPutText(shdr, "EOS", 46);
    riffPutText(inst, "EOI", 20);
    riffPut16(inst, std::uint16_t(ibag.size() / 4));
    riffPut16(ibag, std::uint16_t(igen.size() / 4));
    riffPut16(ibag, 0);
    riffPut32(igen, 0);
    for (const auto& preset : presets) {
        riffPutText(phdr, "preset" + std::to_string(preset.program), 20);
        riffPut16(phdr, preset.program);
        riffPut16(phdr, preset.bank);
        riffPut16(phdr, std::uint16_t(pbag.size() / 4));
        for (int i = 0; i < 3; ++i)
            riffPut32(phdr, 0);
        riffPut16(pbag, std::uint16_t(pgen.size() / 4));
        riffPut16(pbag, 0);
        riffPut16(pgen, 41); // instrument
        riffPut16(pgen, std::uint16_t(preset.sample));
    }
    riffPutText(phdr, "EOP", 24);
    riffPut16(phdr, std::uint16_t(pbag.size() / 4));
    for (int i = 0; i < 3; ++i)
        riffPut32(phdr, 0);
    riffPut16(pbag, std::uint16_t(pgen.size() / 4));
    riffPut16(pbag, 0);
    riffPut32(pgen, 0);
    RiffBytes version;
    riffPut16(version, 2);
    riffPut16(version, 1);
    RiffBytes engine, name;
    riffPutText(engine, "EMU8000", 8);
    riffPutText(name, "Test bank", 10);
    return riffList(
        "sfbk",
        {riffList("INFO", {riffChunk("ifil", version), riffChunk("isng", engine), riffChunk("INAM", name)}),
         riffList("sdta", {riffChunk("smpl", smpl)}),
         riffList("pdta",
                  {riffChunk("phdr", phdr), riffChunk("pbag", pbag), riffChunk("pmod", modTerminal),
                   riffChunk("pgen", pgen), riffChunk("inst", inst), riffChunk("ibag", ibag),
                   riffChunk("imod", modTerminal), riffChunk("igen", igen), riffChunk("shdr", shdr)})},
        "RIFF");
}

// A DLS level 1 collection of one melodic instrument (bank 0, `program`) with one region over every
// key, playing one 16-bit mono wave rooted at `rootKey`, looped over its whole length.
inline RiffBytes dlsBytes(const std::vector<std::int16_t>& wave, std::uint32_t rate, std::uint8_t rootKey,
                          std::uint32_t program = 0) {
    RiffBytes colh, insh, rgnh, wsmp, wlnk, ptbl, format, data;
    riffPut32(colh, 1);
    riffPut32(insh, 1); // regions
    riffPut32(insh, 0); // bank 0, melodic
    riffPut32(insh, program);
    riffPut16(rgnh, 0); // keys 0 … 127
    riffPut16(rgnh, 127);
    riffPut16(rgnh, 0); // velocities 0 … 127
    riffPut16(rgnh, 127);
    riffPut16(rgnh, 0);
    riffPut16(rgnh, 0);
    riffPut32(wsmp, 20);
    riffPut16(wsmp, rootKey);
    riffPut16(wsmp, 0);
    riffPut32(wsmp, 0);
    riffPut32(wsmp, 0);
    riffPut32(wsmp, 1); // one loop
    riffPut32(wsmp, 16);
    riffPut32(wsmp, 0); // forward
    riffPut32(wsmp, 0);
    riffPut32(wsmp, std::uint32_t(wave.size()));
    riffPut16(wlnk, 0);
    riffPut16(wlnk, 0);
    riffPut32(wlnk, 1); // left channel
    riffPut32(wlnk, 0); // wave 0 of the pool
    riffPut32(ptbl, 8);
    riffPut32(ptbl, 1);
    riffPut32(ptbl, 0);   // the first wave starts the pool
    riffPut16(format, 1); // PCM
    riffPut16(format, 1);
    riffPut32(format, rate);
    riffPut32(format, rate * 2);
    riffPut16(format, 2);
    riffPut16(format, 16);
    for (std::int16_t s : wave)
        riffPut16(data, std::uint16_t(s));
    const RiffBytes region =
        riffList("rgn ", {riffChunk("rgnh", rgnh), riffChunk("wsmp", wsmp), riffChunk("wlnk", wlnk)});
    const RiffBytes instrument = riffList("ins ", {riffChunk("insh", insh), riffList("lrgn", {region})});
    return riffList(
        "DLS ",
        {riffChunk("colh", colh), riffList("lins", {instrument}), riffChunk("ptbl", ptbl),
         riffList("wvpl", {riffList("wave", {riffChunk("fmt ", format), riffChunk("data", data)})})},
        "RIFF");
}

} // namespace testsupport

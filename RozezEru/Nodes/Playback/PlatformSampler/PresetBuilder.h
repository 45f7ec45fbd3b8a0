#pragma once
// Writes sampler presets: XML property lists in the schema the platform's sampler unit reads, one layer
// and one zone per playable sample, one file reference per distinct audio file, and a shared amplitude
// envelope. The text generators return fixed-layout fragments that callers may also join themselves;
// names and paths are escaped for XML. Any thread; calls naming different paths do not interact.

#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Result.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rozezeru {

enum class SampleTriggerMode { Hold, Trigger, Loop, Repeat };
std::string rawValue(SampleTriggerMode mode);
std::optional<SampleTriggerMode> sampleTriggerMode(const std::string& rawValue);

// One sample: "filename" (string), "rootnote", "startnote", "endnote" (whole numbers 0 … 255) and
// "triggerMode" (string).
using SampleDescription = platform::PlistDictionary;

class PresetBuilder {
public:
    PresetBuilder() = delete;

    static SampleDescription makeSampleDescription(std::int64_t rootNote, const std::string& filename,
                                                   std::int64_t startNote, std::int64_t endNote);

    // Writes the preset to `path` atomically: on failure the previous file stays and the error says why
    // (also logged). A description without a file name, or with a name or path XML cannot carry, fails
    // the whole call. Absent attack or release times are 0.
    static platform::Result<void> createAUPreset(const std::vector<SampleDescription>& dict,
                                                 const std::string& path, const std::string& instrumentName,
                                                 std::optional<double> attack, std::optional<double> release);

    static std::string generateAUPreset(const std::string& instrumentName, const std::string& connections,
                                        const std::string& envelopes, const std::string& filters,
                                        const std::string& lfos, const std::string& zones,
                                        const std::string& fileRefs, const std::string& layers);
    static std::string generateLayer(const std::string& connections, const std::string& envelopes,
                                     const std::string& filters, const std::string& lfos,
                                     const std::string& zones, std::int64_t layer, std::int64_t voiceCount,
                                     bool triggerMode);
    static std::string generateHeader();
    static std::string generateLayerStart();
    static std::string generateEnvelope(std::int64_t id, double delay, double attack, double hold,
                                        double decay, double sustain, double release);
    static std::string generateFilter(double cutoff, double resonance);
    static std::string generateLayerID(std::int64_t layer);
    static std::string generateLFO(std::int64_t id, std::int64_t waveform, double delay, double rate);
    static std::string generateConnection(std::int64_t id, std::int64_t source, std::int64_t destination,
                                          std::int64_t scale, bool inverse);
    static std::string generateLayerConnections(std::int64_t layer);
    static std::string generateZone(std::int64_t id, std::uint8_t rootNote, std::uint8_t minNote,
                                    std::uint8_t maxNote, std::int64_t waveform, std::int64_t offset,
                                    bool loopEnabled);
    static std::string generateFileRef(std::int64_t sampleNum, const std::string& path);
    static std::string generateInstrumentName(const std::string& name);
    static std::string generateCoarseTune(std::int64_t value);
    static std::string generateManufacturer(std::int64_t value);
    static std::string generateOutput(std::int64_t value);
    static std::string generateVoiceCount(std::int64_t value);
    static std::string generateName(const std::string& name);
    // `keyLine` is a whole line, indentation and line feed included.
    static std::string generateReal(const std::string& keyLine, double value);

    // Text with & < > " ' as character references.
    static std::string escapeXML(const std::string& text);
    // Whether XML 1.0 can carry the text (no control characters but tab, line feed and return).
    static bool isXMLText(const std::string& text);
};

} // namespace rozezeru

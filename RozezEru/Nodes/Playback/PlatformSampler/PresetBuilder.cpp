#include "RozezEru/Nodes/Playback/PlatformSampler/PresetBuilder.h"

#include "RozezEru/Internals/Log.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/FloatText.h"

#include <cmath>

namespace rozezeru {

namespace {

std::string presetLine(int indent, std::string_view text) {
    std::string line(std::size_t(indent), ' ');
    line += text;
    line += '\n';
    return line;
}

std::string presetInteger(std::int64_t value) {
    return "<integer>" + std::to_string(value) + "</integer>";
}

std::string presetReal(double value) {
    return "<real>" + platform::floatText(value) + "</real>";
}

std::string presetBool(bool value) {
    return value ? "<true/>" : "<false/>";
}

constexpr std::int64_t firstSampleNumber = 268435457; // 0x10000001

// One connection of the default layer: a scale, or a range of values.
struct PresetDefaultConnection {
    std::int64_t id, control, destination;
    bool inverse;
    const char* scale;
    const char* maxValue;
    const char* minValue;
    std::int64_t source, transform;
};

constexpr PresetDefaultConnection presetDefaultConnections[] = {
    {0, 0, 816840704, false, "12800", nullptr, nullptr, 300, 1},
    {1, 0, 1343225856, true, "-96", nullptr, nullptr, 301, 2},
    {2, 0, 1343225856, true, "-96", nullptr, nullptr, 7, 2},
    {4, 0, 1344274432, false, nullptr, "0.50800001621246338", "-0.50800001621246338", 10, 1},
    {7, 241, 816840704, false, nullptr, "12800", "-12800", 224, 1},
    {8, 0, 816840704, false, nullptr, "100", "-100", 242, 1},
    {6, 1, 816840704, false, nullptr, "50", "-50", 268435456, 1},
    {5, 0, 1343225856, true, "-96", nullptr, nullptr, 536870912, 1},
};

std::string presetDefaultConnectionsText() {
    std::string text;
    for (const auto& c : presetDefaultConnections) {
        text += presetLine(24, "<dict>");
        text += presetLine(28, "<key>ID</key>") + presetLine(28, presetInteger(c.id));
        text += presetLine(28, "<key>control</key>") + presetLine(28, presetInteger(c.control));
        text += presetLine(28, "<key>destination</key>") + presetLine(28, presetInteger(c.destination));
        text += presetLine(28, "<key>enabled</key>") + presetLine(28, "<true/>");
        text += presetLine(28, "<key>inverse</key>") + presetLine(28, presetBool(c.inverse));
        if (c.scale) {
            text += presetLine(28, "<key>scale</key>") +
                    presetLine(28, std::string("<real>") + c.scale + "</real>");
        } else {
            text += presetLine(28, "<key>max value</key>") +
                    presetLine(28, std::string("<real>") + c.maxValue + "</real>");
            text += presetLine(28, "<key>min value</key>") +
                    presetLine(28, std::string("<real>") + c.minValue + "</real>");
        }
        text += presetLine(28, "<key>source</key>") + presetLine(28, presetInteger(c.source));
        text += presetLine(28, "<key>transform</key>") + presetLine(28, presetInteger(c.transform));
        text += presetLine(24, "</dict>");
    }
    return text;
}

// Steps shared by a generated layer and the document's default layer, up to the Zones array.
std::string presetLayerBody(const std::string& connections, const std::string& envelopes,
                            const std::string& filters, const std::string& lfos, const std::string& zones,
                            std::int64_t layer, const std::string& defaultConnections) {
    std::string text = PresetBuilder::generateLayerStart();
    text += presetLine(20, "<key>Connections</key>") + presetLine(20, "<array>");
    text += connections.empty() ? defaultConnections : connections;
    text += presetLine(20, "</array>");
    text += presetLine(20, "<key>Envelopes</key>") + presetLine(20, "<array>");
    text += envelopes.empty() ? PresetBuilder::generateEnvelope(0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0) : envelopes;
    text += presetLine(20, "</array>");
    text += filters.empty() ? PresetBuilder::generateFilter(20000.0, 0.0) : filters;
    text += PresetBuilder::generateLayerID(layer);
    text += presetLine(20, "<key>LFOs</key>") + presetLine(20, "<array>");
    text += lfos.empty() ? PresetBuilder::generateLFO(0, 0, 0.0, 3.0) : lfos;
    text += presetLine(20, "</array>");
    text += presetLine(20, "<key>Oscillator</key>") + presetLine(20, "<dict>");
    text += presetLine(24, "<key>ID</key>") + presetLine(24, "<integer>0</integer>");
    text += presetLine(24, "<key>enabled</key>") + presetLine(24, "<true/>");
    text += presetLine(20, "</dict>");
    text += presetLine(20, "<key>Zones</key>") + presetLine(20, "<array>");
    text += zones;
    text += presetLine(20, "</array>");
    return text;
}

// A whole number from 0 to 255, given as an integer or a real; a string is no note.
std::optional<std::uint8_t> presetNote(const SampleDescription& description, std::string_view key) {
    const platform::PlistValue* value = description.find(key);
    if (!value) return std::nullopt;
    if (auto integer = value->asInteger())
        return *integer >= 0 && *integer <= 255 ? std::optional<std::uint8_t>(std::uint8_t(*integer))
                                                : std::nullopt;
    if (auto real = value->asReal())
        return *real >= 0.0 && *real <= 255.0 && std::floor(*real) == *real
                   ? std::optional<std::uint8_t>(std::uint8_t(*real))
                   : std::nullopt;
    return std::nullopt;
}

const std::string* presetText(const SampleDescription& description, std::string_view key) {
    const platform::PlistValue* value = description.find(key);
    return value ? value->asString() : nullptr;
}

platform::Error presetFailure(const std::string& message) {
    Log(LogSite("createAUPreset(dict:path:instrumentName:attack:release:)"), message);
    return platform::Error::make("PresetBuilder", message);
}

} // namespace

std::string rawValue(SampleTriggerMode mode) {
    switch (mode) {
    case SampleTriggerMode::Hold:
        return "hold";
    case SampleTriggerMode::Trigger:
        return "trigger";
    case SampleTriggerMode::Loop:
        return "loop";
    case SampleTriggerMode::Repeat:
        return "repeat";
    }
    return "";
}

std::optional<SampleTriggerMode> sampleTriggerMode(const std::string& raw) {
    for (auto mode : {SampleTriggerMode::Hold, SampleTriggerMode::Trigger, SampleTriggerMode::Loop,
                      SampleTriggerMode::Repeat})
        if (rawValue(mode) == raw) return mode;
    return std::nullopt;
}

std::string PresetBuilder::escapeXML(const std::string& text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        case '\'':
            escaped += "&apos;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

bool PresetBuilder::isXMLText(const std::string& text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') return false;
    return true;
}

SampleDescription PresetBuilder::makeSampleDescription(std::int64_t rootNote, const std::string& filename,
                                                       std::int64_t startNote, std::int64_t endNote) {
    SampleDescription description;
    description.set("rootnote", rootNote);
    description.set("startnote", startNote);
    description.set("endnote", endNote);
    description.set("filename", filename);
    return description;
}

platform::Result<void> PresetBuilder::createAUPreset(const std::vector<SampleDescription>& dict,
                                                     const std::string& path,
                                                     const std::string& instrumentName,
                                                     std::optional<double> attack,
                                                     std::optional<double> release) {
    struct Processed {
        std::string filename;
        std::int64_t sampleNum;
    };
    if (!isXMLText(instrumentName)) return presetFailure("The instrument name cannot be written in XML");
    std::vector<Processed> processed;
    std::int64_t distinctFiles = 0;
    std::string fileRefs, layers;
    const std::string envelope =
        generateEnvelope(0, 0.0, attack.value_or(0.0), 0.0, 0.0, 1.0, release.value_or(0.0));
    for (std::size_t i = 0; i < dict.size(); ++i) {
        const SampleDescription& description = dict[i];
        const std::string* filename = presetText(description, "filename");
        if (!filename)
            return presetFailure(processed.empty() ? "No filename provided in PresetBuilder"
                                                   : "Unable to load new sound in PresetBuilder");
        if (!isXMLText(*filename)) return presetFailure("A file name cannot be written in XML: " + *filename);
        std::optional<std::int64_t> sampleNum;
        for (const auto& earlier : processed)
            if (earlier.filename == *filename) sampleNum = earlier.sampleNum;
        if (!sampleNum) {
            sampleNum = firstSampleNumber + distinctFiles++;
            fileRefs += generateFileRef(*sampleNum, *filename);
        }
        processed.push_back({*filename, *sampleNum});

        const auto root = presetNote(description, "rootnote");
        const bool hasRange = description.find("startnote") && description.find("endnote");
        const auto start = hasRange ? presetNote(description, "startnote").value_or(root.value_or(0)) : root;
        const auto end = hasRange ? presetNote(description, "endnote").value_or(root.value_or(0)) : root;
        if (!root || !start || !end) continue;
        const std::string* mode = presetText(description, "triggerMode");
        const bool loop = mode && *mode == "loop";
        const bool triggerMode = !mode || (*mode != "loop" && *mode != "hold");
        const auto id = std::int64_t(i);
        const std::string zone = generateZone(id, *root, *start, *end, *sampleNum, 0, loop);
        layers +=
            generateLayer(generateLayerConnections(id + 1), envelope, "", "", zone, id + 1, 1, triggerMode);
    }
    const std::string document = generateAUPreset(instrumentName, "", "", "", "", "", fileRefs, layers);
    if (auto written = platform::writeFileAtomically(path, document); !written) {
        Log(LogSite("createAUPreset(dict:path:instrumentName:attack:release:)"),
            "Could not write to " + path);
        return presetFailure(written.error().message);
    }
    return platform::Result<void>();
}

std::string PresetBuilder::generateHeader() {
    return presetLine(0, R"(<?xml version="1.0" encoding="UTF-8"?>)") +
           presetLine(0, R"(<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" )"
                         R"("http://www.apple.com/DTDs/PropertyList-1.0.dtd">)") +
           presetLine(0, R"(<plist version="1.0">)") + presetLine(4, "<dict>") +
           presetLine(8, "<key>AU version</key>") + presetLine(8, "<real>1</real>");
}

std::string PresetBuilder::generateLayerStart() {
    return presetLine(16, "<dict>") + presetLine(20, "<key>Amplifier</key>") + presetLine(20, "<dict>") +
           presetLine(24, "<key>ID</key>") + presetLine(24, "<integer>0</integer>") +
           presetLine(24, "<key>enabled</key>") + presetLine(24, "<true/>") + presetLine(20, "</dict>");
}

std::string PresetBuilder::generateEnvelope(std::int64_t id, double delay, double attack, double hold,
                                            double decay, double sustain, double release) {
    struct Stage {
        int curve;
        const char* key;
        std::string value;
    };
    const Stage stages[] = {
        {20, "time", platform::floatText(delay)},    {22, "time", platform::floatText(attack)},
        {20, "time", platform::floatText(hold)},     {20, "time", platform::floatText(decay)},
        {-1, "level", platform::floatText(sustain)}, {20, "time", platform::floatText(release)},
        {20, "time", "0.004999999888241291"}};
    std::string text = presetLine(34, "<dict>") + presetLine(38, "<key>ID</key>") +
                       presetLine(38, presetInteger(id)) + presetLine(38, "<key>Stages</key>") +
                       presetLine(38, "<array>");
    for (int n = 0; n < 7; ++n) {
        const Stage& stage = stages[n];
        text += presetLine(42, "<dict>");
        if (stage.curve >= 0)
            text += presetLine(46, "<key>curve</key>") + presetLine(46, presetInteger(stage.curve));
        if (stage.curve < 0)
            text += presetLine(46, "<key>level</key>") + presetLine(46, "<real>" + stage.value + "</real>");
        text += presetLine(46, "<key>stage</key>") + presetLine(46, presetInteger(n));
        if (stage.curve >= 0)
            text += presetLine(46, "<key>time</key>") + presetLine(46, "<real>" + stage.value + "</real>");
        text += presetLine(42, "</dict>");
    }
    return text + presetLine(38, "</array>") + presetLine(38, "<key>enabled</key>") +
           presetLine(38, "<true/>") + presetLine(34, "</dict>");
}

std::string PresetBuilder::generateFilter(double cutoff, double resonance) {
    return presetLine(20, "<key>Filters</key>") + presetLine(20, "<dict>") + presetLine(24, "<key>ID</key>") +
           presetLine(24, "<integer>0</integer>") + presetLine(24, "<key>cutoff</key>") +
           presetLine(24, presetReal(cutoff)) + presetLine(24, "<key>enabled</key>") +
           presetLine(24, "<false/>") + presetLine(24, "<key>resonance</key>") +
           presetLine(24, presetReal(resonance)) + presetLine(24, "<key>type</key>") +
           presetLine(24, "<integer>40</integer>") + presetLine(20, "</dict>");
}

std::string PresetBuilder::generateLayerID(std::int64_t layer) {
    return presetLine(20, "<key>ID</key>") + presetLine(20, presetInteger(layer));
}

std::string PresetBuilder::generateLFO(std::int64_t id, std::int64_t waveform, double delay, double rate) {
    std::string text = presetLine(24, "<dict>") + presetLine(28, "<key>ID</key>") +
                       presetLine(28, presetInteger(id)) + presetLine(28, "<key>delay</key>") +
                       presetLine(28, presetReal(delay)) + presetLine(28, "<key>enabled</key>") +
                       presetLine(28, "<true/>") + presetLine(28, "<key>rate</key>") +
                       presetLine(28, presetReal(rate));
    if (waveform != 0)
        text += presetLine(28, "<key>waveform</key>") + presetLine(28, presetInteger(waveform));
    return text + presetLine(24, "</dict>");
}

std::string PresetBuilder::generateConnection(std::int64_t id, std::int64_t source, std::int64_t destination,
                                              std::int64_t scale, bool inverse) {
    return presetLine(34, "<dict>") + presetLine(38, "<key>ID</key>") + presetLine(38, presetInteger(id)) +
           presetLine(38, "<key>control</key>") + presetLine(38, "<integer>0</integer>") +
           presetLine(38, "<key>destination</key>") + presetLine(38, presetInteger(destination)) +
           presetLine(38, "<key>enabled</key>") + presetLine(38, "<true/>") +
           presetLine(38, "<key>inverse</key>") + presetLine(38, presetBool(inverse)) +
           presetLine(38, "<key>scale</key>") + presetLine(38, "<real>" + std::to_string(scale) + "</real>") +
           presetLine(38, "<key>source</key>") + presetLine(38, presetInteger(source)) +
           presetLine(38, "<key>transform</key>") + presetLine(38, "<integer>1</integer>") +
           presetLine(34, "</dict>");
}

std::string PresetBuilder::generateLayerConnections(std::int64_t layer) {
    const std::int64_t offset = 256 * layer;
    return generateConnection(0, 300, 816840704 + offset, 12800, false) +
           generateConnection(1, 536870912 + offset, 1343225856 + offset, -96, true) +
           generateConnection(2, 301, 1343225856 + offset, -96, true);
}

std::string PresetBuilder::generateZone(std::int64_t id, std::uint8_t rootNote, std::uint8_t minNote,
                                        std::uint8_t maxNote, std::int64_t waveform, std::int64_t offset,
                                        bool loopEnabled) {
    return presetLine(20, "<dict>") + presetLine(24, "<key>ID</key>") + presetLine(24, presetInteger(id)) +
           presetLine(24, "<key>enabled</key>") + presetLine(24, "<true/>") +
           presetLine(24, "<key>loop enabled</key>") + presetLine(24, presetBool(loopEnabled)) +
           presetLine(24, "<key>max key</key>") + presetLine(24, presetInteger(maxNote)) +
           presetLine(24, "<key>min key</key>") + presetLine(24, presetInteger(minNote)) +
           presetLine(24, "<key>root key</key>") + presetLine(24, presetInteger(rootNote)) +
           presetLine(24, "<key>waveform</key>") + presetLine(24, presetInteger(waveform + offset)) +
           presetLine(21, "</dict>");
}

std::string PresetBuilder::generateFileRef(std::int64_t sampleNum, const std::string& path) {
    return presetLine(12, "<key>Sample:" + std::to_string(sampleNum) + "</key>") +
           presetLine(12, "<string>" + escapeXML(path) + "</string>");
}

std::string PresetBuilder::generateInstrumentName(const std::string& name) {
    return presetLine(12, "<key>name</key>") + presetLine(12, "<string>" + escapeXML(name) + "</string>") +
           presetLine(8, "</dict>");
}

std::string PresetBuilder::generateCoarseTune(std::int64_t value) {
    return presetLine(8, "<key>coarse tune</key>") + presetLine(8, presetInteger(value));
}

std::string PresetBuilder::generateManufacturer(std::int64_t value) {
    return presetLine(8, "<key>manufacturer</key>") + presetLine(8, presetInteger(value));
}

std::string PresetBuilder::generateOutput(std::int64_t value) {
    return presetLine(8, "<key>output</key>") + presetLine(8, presetInteger(value));
}

std::string PresetBuilder::generateVoiceCount(std::int64_t value) {
    return presetLine(8, "<key>voice count</key>") + presetLine(8, presetInteger(value));
}

std::string PresetBuilder::generateName(const std::string& name) {
    return presetLine(8, "<key>name</key>") + presetLine(8, "<string>" + escapeXML(name) + "</string>");
}

std::string PresetBuilder::generateReal(const std::string& keyLine, double value) {
    return keyLine + presetLine(8, presetReal(value));
}

std::string PresetBuilder::generateLayer(const std::string& connections, const std::string& envelopes,
                                         const std::string& filters, const std::string& lfos,
                                         const std::string& zones, std::int64_t layer,
                                         std::int64_t voiceCount, bool triggerMode) {
    std::string text =
        presetLayerBody(connections, envelopes, filters, lfos, zones, layer, generateLayerConnections(layer));
    if (triggerMode)
        text += presetLine(8, "<key>trigger mode</key>") + presetLine(8, "<integer>11</integer>");
    return text + generateVoiceCount(voiceCount) + presetLine(16, "</dict>");
}

std::string PresetBuilder::generateAUPreset(const std::string& instrumentName, const std::string& connections,
                                            const std::string& envelopes, const std::string& filters,
                                            const std::string& lfos, const std::string& zones,
                                            const std::string& fileRefs, const std::string& layers) {
    std::string text = generateHeader();
    text += presetLine(8, "<key>Instrument</key>") + presetLine(8, "<dict>");
    text += presetLine(12, "<key>Layers</key>") + presetLine(12, "<array>");
    if (!layers.empty())
        text += layers;
    else
        text +=
            presetLayerBody(connections, envelopes, filters, lfos, zones, 0, presetDefaultConnectionsText()) +
            presetLine(16, "</dict>");
    text += presetLine(12, "</array>");
    text += generateInstrumentName("Code Generated Instrument");
    text += generateCoarseTune(0);
    text += presetLine(8, "<key>data</key>") + presetLine(8, "<data>") +
            presetLine(12, "AAAAAAAAAAAAAAAEAAADhAAAAAAAAAOFAAAAAAAAA4YAAAAAAAADhwAAAAA=") +
            presetLine(8, "</data>");
    text += presetLine(8, "<key>file-references</key>") + presetLine(8, "<dict>") + fileRefs +
            presetLine(8, "</dict>");
    text += generateReal(presetLine(8, "<key>fine tune</key>"), 0.0);
    text += generateReal(presetLine(8, "<key>gain</key>"), 0.0);
    text += generateManufacturer(1634758764);
    text += generateName(instrumentName);
    text += generateOutput(0);
    text += generateReal(presetLine(8, "<key>pan</key>"), 0.0);
    text += presetLine(8, "<key>subtype</key>") + presetLine(8, "<integer>1935764848</integer>");
    text += presetLine(8, "<key>type</key>") + presetLine(8, "<integer>1635085685</integer>");
    text += presetLine(8, "<key>version</key>") + presetLine(8, "<integer>0</integer>");
    text += generateVoiceCount(16);
    return text + presetLine(4, "</dict>") + presetLine(0, "</plist>");
}

} // namespace rozezeru

#include "RozezEru/Nodes/Playback/PlatformSampler/PlatformSampler.h"
#include "RozezEru/Nodes/Playback/PlatformSampler/PresetBuilder.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PropertyList.h"

#include "tests/support/Spectrum.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/ToneFiles.h"
#include "tests/support/ToolkitLogCapture.h"
#include "tests/support/ToolkitRig.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using platform::PlistValue;
using rozezeru::PresetBuilder;
using rozezeru::SampleDescription;

PlistValue parsedPreset(const std::string& path) {
    auto root = platform::parsePlist(platform::readFile(path).valueOr(platform::Bytes{}));
    EXPECT_TRUE(root) << (root ? "" : root.error().message);
    return root ? root.value() : PlistValue();
}

const PlistValue& layerAt(const PlistValue& preset, std::size_t index) {
    static const PlistValue none;
    const PlistValue* layers =
        preset.find("Instrument") ? preset.find("Instrument")->find("Layers") : nullptr;
    return layers && layers->at(index) ? *layers->at(index) : none;
}

std::int64_t integerAt(const PlistValue& dict, std::string_view key) {
    return dict.find(key) ? dict.find(key)->asInteger().value_or(-1) : -1;
}

SampleDescription described(PlistValue filename, std::optional<PlistValue> root,
                            std::optional<PlistValue> start = {}, std::optional<PlistValue> end = {},
                            const char* mode = nullptr) {
    SampleDescription d;
    d.set("filename", std::move(filename));
    if (root) d.set("rootnote", *root);
    if (start) d.set("startnote", *start);
    if (end) d.set("endnote", *end);
    if (mode) d.set("triggerMode", mode);
    return d;
}

TEST(PresetBuilderTest, DocumentsParseIntoTheExpectedStructure) {
    testsupport::TemporaryFolder folder;
    const std::string path = folder.file("p.aupreset");
    const std::string odd = "/samples/R&B <lead> \"x\".wav";
    const std::vector<SampleDescription> dict = {
        described("a.wav", 60),                    // root only: 60 … 60
        described(odd, 62, 48, {}, "loop"),        // start without end: the root
        described("a.wav", 64.0, 50, 70, "Loop"),  // a whole real is a note; "Loop" is no loop
        described("c.wav", {}),                    // no root: a file, no layer
        described("d.wav", 67, "60", 256, "hold"), // notes that are no notes: the root
    };
    ASSERT_TRUE(PresetBuilder::createAUPreset(dict, path, "Strings & <Pads>", 0.5, 2.0));
    const PlistValue preset = parsedPreset(path);
    EXPECT_EQ(*preset.find("name")->asString(), "Strings & <Pads>");
    EXPECT_EQ(integerAt(preset, "subtype"), 1935764848);
    const PlistValue* refs = preset.find("file-references");
    ASSERT_TRUE(refs && refs->asDictionary());
    EXPECT_EQ(refs->asDictionary()->size(), 4u);
    EXPECT_EQ(*refs->find("Sample:268435458")->asString(), odd);
    // ID, waveform, root, lowest and highest key, looping and triggered by a note.
    using I = std::int64_t;
    const std::tuple<I, I, I, I, I, bool, bool> expected[] = {{1, 268435457, 60, 60, 60, false, true},
                                                              {2, 268435458, 62, 62, 62, true, false},
                                                              {3, 268435457, 64, 50, 70, false, true},
                                                              {5, 268435460, 67, 67, 67, false, false}};
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const auto& [id, waveform, root, minKey, maxKey, loop, triggerMode] = expected[i];
        const PlistValue& layer = layerAt(preset, i);
        const PlistValue* zone = layer.find("Zones") ? layer.find("Zones")->at(0) : nullptr;
        ASSERT_NE(zone, nullptr) << i;
        EXPECT_EQ(std::tuple(integerAt(layer, "ID"), integerAt(*zone, "ID"), integerAt(*zone, "waveform"),
                             integerAt(*zone, "root key"), integerAt(*zone, "min key"),
                             integerAt(*zone, "max key")),
                  std::tuple(id, id - 1, waveform, root, minKey, maxKey))
            << i;
        EXPECT_EQ(zone->find("loop enabled")->asBool(), loop) << i;
        EXPECT_EQ(integerAt(layer, "trigger mode"), triggerMode ? 11 : -1) << i;
        EXPECT_EQ(integerAt(*layer.find("Connections")->at(1), "destination"), 1343225856 + 256 * id);
        const PlistValue* stages = layer.find("Envelopes")->at(0)->find("Stages");
        EXPECT_EQ(stages->at(1)->find("time")->asReal(), 0.5);
        EXPECT_EQ(stages->at(5)->find("time")->asReal(), 2.0);
    }
    EXPECT_EQ(layerAt(preset, 4).find("ID"), nullptr);
}

TEST(PresetBuilderTest, EmptyZoneListsWriteTheDefaultLayer) {
    testsupport::TemporaryFolder folder;
    for (const auto& dict : {std::vector<SampleDescription>{}, std::vector{described("x.wav", {})}}) {
        const std::string path = folder.file("empty.aupreset");
        ASSERT_TRUE(PresetBuilder::createAUPreset(dict, path, "", std::nullopt, std::nullopt));
        const PlistValue preset = parsedPreset(path);
        const PlistValue& layer = layerAt(preset, 0);
        ASSERT_NE(layer.find("Zones"), nullptr);
        EXPECT_TRUE(layer.find("Zones")->asArray()->empty());
        EXPECT_EQ(layer.find("Connections")->asArray()->size(), 8u);
        EXPECT_EQ(layer.find("LFOs")->at(0)->find("rate")->asReal(), 3.0);
        EXPECT_EQ(preset.find("file-references")->asDictionary()->size(), dict.size());
        EXPECT_EQ(*preset.find("name")->asString(), "");
    }
}

TEST(PresetBuilderTest, FailuresReachTheCallerAndKeepThePreviousFile) {
    testsupport::TemporaryFolder folder;
    testsupport::ToolkitLogCapture log;
    const std::string path = folder.file("kept.aupreset");
    ASSERT_TRUE(platform::writeFileAtomically(path, std::string_view("previous")));
    using Dict = std::vector<SampleDescription>;
    for (const auto& [name, dict, target, message] :
         std::vector<std::tuple<const char*, Dict, std::string, std::string>>{
             {"first without a file name", {described(1, 60)}, path, "No filename provided in PresetBuilder"},
             {"later without a file name",
              {described("a.wav", 60), described(2, 60)},
              path,
              "Unable to load new sound in PresetBuilder"},
             {"control character",
              {described("a\x01.wav", 60)},
              path,
              "A file name cannot be written in XML: a\x01.wav"},
             {"folder is a file",
              {described("a.wav", 60)},
              path + "/inner.aupreset",
              "Could not write to " + path + "/inner.aupreset"},
         }) {
        EXPECT_FALSE(PresetBuilder::createAUPreset(dict, target, "n", 0.0, 0.0)) << name;
        const auto logged =
            log.contents("PresetBuilder.cpp", "createAUPreset(dict:path:instrumentName:attack:release:)");
        ASSERT_FALSE(logged.empty());
        EXPECT_NE(std::find(logged.begin(), logged.end(), message), logged.end()) << name;
    }
    EXPECT_EQ(platform::readFile(path).value(), platform::Bytes({'p', 'r', 'e', 'v', 'i', 'o', 'u', 's'}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path), {}), 1) << "no partial file";
}

TEST(PresetBuilderTest, FragmentsKeepTheirLayout) {
    const std::string zone = PresetBuilder::generateZone(3, 60, 48, 72, 268435457, 2, true);
    const std::string envelope = PresetBuilder::generateEnvelope(0, 0, 0.5, 0, 0, 1, 2);
    for (const auto& [text, piece] : std::vector<std::pair<std::string, std::string>>{
             {zone, std::string(21, ' ') + "</dict>\n"},
             {zone, "<integer>268435459</integer>"},
             {envelope, "<real>0.5</real>"},
             {envelope, "<real>2.0</real>"},
             {envelope, "<real>0.004999999888241291</real>"},
             {PresetBuilder::generateConnection(1, 300, 5, -96, true), "<real>-96</real>"},
             {PresetBuilder::generateLayerConnections(3), "<integer>816841472</integer>"},
             {PresetBuilder::generateLFO(0, -2, 0, 3), "<key>waveform</key>"}})
        EXPECT_NE(text.find(piece), std::string::npos) << piece;
    EXPECT_EQ(PresetBuilder::generateLFO(0, 0, 0, 3).find("waveform"), std::string::npos);
    EXPECT_EQ(PresetBuilder::generateLayer("", "", "", "", "", 1, 1, false).find("trigger"),
              std::string::npos);
    // Given layers, the pieces of the default layer leave no trace.
    EXPECT_EQ(PresetBuilder::generateAUPreset("n", "@", "@", "@", "@", "@", "", "<l/>\n").find('@'),
              std::string::npos);
}

TEST(PresetBuilderTest, TheSamplerPlaysWhatTheBuilderWrote) {
    testsupport::TemporaryFolder folder;
    const std::string sample = folder.file("tone & <friends>.wav");
    ASSERT_TRUE(testsupport::writeSineFile(sample, 3.0, 440.0, 0.5, 44100, 1));
    const std::string preset = folder.file("played");
    ASSERT_TRUE(PresetBuilder::createAUPreset({PresetBuilder::makeSampleDescription(69, sample, 0, 127)},
                                              preset + ".aupreset", "Tone", 0.0, 0.1));
    auto sampler = std::make_shared<rozezeru::PlatformSampler>();
    ASSERT_TRUE(sampler->loadInstrument(preset, "aupreset", rozezeru::Bundle(folder.path)));
    auto engine = testsupport::offlineToolkitEngine(sampler, 5.0);
    sampler->play(76, 100, 0);
    const auto out = testsupport::renderToolkit(*engine, 40000)[0];
    EXPECT_NEAR(testsupport::spectralPeakFrequency(out, 2048, 44100.0) / (440.0 * std::exp2(7.0 / 12.0)), 1.0,
                0.005);
}

} // namespace

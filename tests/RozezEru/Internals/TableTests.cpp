#include "RozezEru/Internals/Table.h"

#include "platform/files/AudioFile.h"
#include "tests/support/Signals.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/ToneFiles.h"
#include "tests/support/ToolkitLogCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

using rozezeru::HarmonicBand;
using rozezeru::Table;
using rozezeru::TableType;
using Samples = std::vector<float>;
using Tables = std::vector<std::shared_ptr<Table>>;

namespace {

void tableTestExpectSamples(const Table& table, const Samples& expected, const std::string& what) {
    ASSERT_EQ(table.count(), std::int64_t(expected.size())) << what;
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_NEAR(table[std::int64_t(i)], expected[i], 1e-6f) << what << " sample " << i;
}

// A float WAV file `name` of `frames` frames whose left channel counts up from 0 and right channel is -1.
platform::Url tableTestFile(const testsupport::TemporaryFolder& folder, const char* name,
                            std::uint32_t frames) {
    EXPECT_TRUE(testsupport::writeWithSndfile(
        folder.file(name), SF_FORMAT_WAV | SF_FORMAT_FLOAT,
        {testsupport::ramp(frames, 0.0f, 1.0f / float(frames)), std::vector<float>(frames, -1.0f)}, 44100));
    return platform::Url::fileURLWithPath(folder.file(name));
}

} // namespace

TEST(Table, GeneratesEachShapeFromItsPhase) {
    const float s1 = 0.95105654f, s2 = 0.58778524f;
    const std::tuple<TableType, std::int64_t, float, Samples> cases[] = {
        {TableType::sine, 4, 0, {0, 1, 0, -1}},
        {TableType::sine, 5, 0, {0, s1, s2, -s2, -s1}},
        {TableType::positiveSine, 4, 0, {0.5f, 1, 0.5f, 0}},
        {TableType::positiveSine, 5, 0, {0.5f, 0.5f + s1 / 2, 0.5f + s2 / 2, 0.5f - s2 / 2, 0.5f - s1 / 2}},
        {TableType::triangle, 4, 0, {-1, 0, 1, 0}},
        {TableType::triangle, 5, 0, {-1, -0.2f, 0.6f, 0.6f, -0.2f}}, // turns at 2.5, not above 1
        {TableType::positiveTriangle, 4, 0, {0, 0.5f, 1, 0.5f}},
        {TableType::positiveTriangle, 5, 0, {0, 0.4f, 0.8f, 0.8f, 0.4f}},
        {TableType::square, 4, 0, {-1, -1, 1, 1}},
        {TableType::square, 5, 0, {-1, -1, 1, 1, 1}},
        {TableType::positiveSquare, 4, 0, {0, 0, 1, 1}},
        {TableType::positiveSquare, 5, 0, {0, 0, 1, 1, 1}},
        {TableType::sawtooth, 4, 0, {-1, -0.5f, 0, 0.5f}},
        {TableType::sawtooth, 5, 0, {-1, -0.6f, -0.2f, 0.2f, 0.6f}},
        {TableType::reverseSawtooth, 4, 0, {1, 0.5f, 0, -0.5f}},
        {TableType::reverseSawtooth, 5, 0, {1, 0.6f, 0.2f, -0.2f, -0.6f}},
        {TableType::positiveSawtooth, 4, 0, {0, 0.25f, 0.5f, 0.75f}},
        {TableType::positiveSawtooth, 5, 0, {0, 0.2f, 0.4f, 0.6f, 0.8f}},
        {TableType::positiveReverseSawtooth, 4, 0, {1, 0.75f, 0.5f, 0.25f}},
        {TableType::positiveReverseSawtooth, 5, 0, {1, 0.8f, 0.6f, 0.4f, 0.2f}},
        {TableType::zero, 5, 0, {0, 0, 0, 0, 0}},
        {TableType::custom, 3, 0, {0, 0, 0}},
        {TableType::square, 4, 0.25f, {-1, 1, 1, -1}},
        {TableType::sawtooth, 4, 1.25f, {-0.5f, 0, 0.5f, -1}}, // offset 5 wraps
        {TableType::triangle, 4, 0.5f, {1, 0, -1, 0}},
        {TableType::sawtooth, 4, -0.25f, {0.5f, -1, -0.5f, 0}}, // a negative start wraps the same way
        {TableType::harmonicType({0.5f}), 4, 0.25f, {1.5f, -0.5f, -0.5f, -0.5f}}, // offset once per partial
        {TableType::triangle, 0, 0, {}},
    };
    for (const auto& [type, count, phase, expected] : cases)
        tableTestExpectSamples(Table(type, count, phase), expected,
                               "shape " + std::to_string(type.shape()) + " of " + std::to_string(count));
    EXPECT_NEAR(Table(TableType::sine, 4)[2], -8.742278e-8f, 1e-12f);
}

TEST(Table, AddsHarmonicsFromPhaseZero) {
    const float q = 0.70710677f, third = 1.0f / 3, ninth = 1.0f / 9;
    const std::tuple<void (Table::*)(std::int64_t, bool), std::int64_t, Samples> cases[] = {
        {&Table::addSawtoothHarmonics, 2, {0, q + 0.5f, 1, q - 0.5f, 0, 0.5f - q, -1, -q - 0.5f}},
        {&Table::addSquareHarmonics,
         3,
         {0, q + q * third, 1 - third, q + q * third, 0, -q - q * third, third - 1, -q - q * third}},
        {&Table::addTriangleHarmonics,
         3,
         {0, q - q * ninth, 1 + ninth, q - q * ninth, 0, q * ninth - q, -1 - ninth, q * ninth - q}},
    };
    for (const auto& [add, harmonics, expected] : cases) {
        Table table(TableType::sine, 8, 0.5f);
        (table.*add)(harmonics, true);
        EXPECT_EQ(table.phase(), 0.0f);
        tableTestExpectSamples(table, expected, "harmonics " + std::to_string(harmonics));
    }
    Table onto(Samples{1, 1, 1, 1});
    onto.addSawtoothHarmonics(1, false);
    tableTestExpectSamples(onto, {1, 2, 1, 0}, "onto the content");
    Table pulse(TableType::zero, 4);
    pulse.fillPulseHarmonics(1, 0.5f);
    tableTestExpectSamples(pulse, {0, 4 / 3.1415927f, 0, -4 / 3.1415927f}, "pulse");
}

TEST(Table, ChangesInPlace) {
    Table table(TableType::sine, 4, 1.25f);
    EXPECT_EQ(table.phase(), 1.25f);
    table.setPhase(1.7f);
    EXPECT_EQ(table.phase(), 1.0f);
    table.setPhase(-0.2f);
    EXPECT_EQ(table.phase(), 0.0f);

    testsupport::ToolkitLogCapture capture;
    Table loud(Samples{0.5f, -2, 1});
    loud.normalize();
    tableTestExpectSamples(loud, {0.25f, -1, 0.5f}, "normalized");
    Table silent(Samples{0, 0});
    silent.normalize();
    tableTestExpectSamples(silent, {0, 0}, "silence");
    const auto records = capture.sink.records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(testsupport::toolkitLogContent(records[0].text, "Table.cpp", "normalize()"),
              "absMax = 2.0: NOW NORMALIZED");
    EXPECT_EQ(testsupport::toolkitLogContent(records[1].text, "Table.cpp", "normalize()"),
              "absMax = 0.0: NOT NORMALIZED");

    loud.reverseInPlace();
    loud.negateInPlace();
    tableTestExpectSamples(loud, {-0.5f, 1, -0.25f}, "reversed and negated");
    const auto extremes = loud.extremes();
    EXPECT_EQ(std::tuple(extremes.smallest, extremes.largest, extremes.magnitude),
              std::tuple(-0.5f, 1.0f, 1.0f));
    EXPECT_EQ(Table(Samples{0, 0, 0, 0}).rootSquareDifference(Table(Samples{1, 1, 1, 1})), 0.5f);

    Table empty(TableType::square, 0);
    empty.normalize();
    empty.reverseInPlace();
    EXPECT_TRUE(empty.isEmpty());
    const auto start = empty.extremes();
    EXPECT_EQ(std::tuple(start.smallest, start.largest, start.magnitude),
              std::tuple(999999.0f, -999999.0f, -1.0f));
}

TEST(Table, PlansHarmonicBandsAndRefusesEndlessPlans) {
    using Bands = std::vector<HarmonicBand>;
    EXPECT_EQ(Table::harmonicBands(5000, 1), (Bands{{5512.5, 4}, {11025, 2}, {22050, 1}}));
    EXPECT_EQ(Table::harmonicBands(11025, 0.25), (Bands{{22050, 1}}));
    EXPECT_EQ(Table::harmonicBands(22050, 1), Bands{});
    EXPECT_EQ(Table::harmonicBands(1, 200, 300), (Bands{{22050, 1}}));
    EXPECT_EQ(Table::harmonicBands(0, 200, 300), Bands{});
    EXPECT_EQ(Table::harmonicBands(3, 0, 22050), (Bands{{22050, 1}})); // 0 Hz is skipped
    for (auto [start, step] :
         {std::pair(0.0, 1.0), {-5.0, 1.0}, {100.0, 0.0}, {100.0, -1.0}, {1e-300, 1.0}, {100.0, 1e-300}})
        EXPECT_EQ(Table::harmonicBands(start, step), Bands{}) << start << " " << step;
}

TEST(Table, CutsDecimatesAndInterpolatesLists) {
    Samples ten(10), ramp(4096);
    std::iota(ten.begin(), ten.end(), 0.0f);
    std::iota(ramp.begin(), ramp.end(), 0.0f);
    const Tables split = Table::splitIntoTables(ten, 4);
    ASSERT_EQ(split.size(), 2u);
    tableTestExpectSamples(*split[1], {4, 5, 6, 7}, "second cut");
    EXPECT_EQ(split[1]->type(), TableType::custom);

    const Tables decimated = Table::downsampleTables({std::make_shared<Table>(ramp)}, 1024);
    ASSERT_EQ(decimated.size(), 1u);
    ASSERT_EQ(decimated[0]->count(), 1024); // the last pair included
    EXPECT_EQ((*decimated[0])[1023], 4092.5f);

    auto a = std::make_shared<Table>(Samples{0, 0}), b = std::make_shared<Table>(Samples{1, 2}),
         c = std::make_shared<Table>(Samples{3, 4});
    const Tables four = Table::interpolateTables({a, b, c}, 4);
    ASSERT_EQ(four.size(), 4u);
    EXPECT_EQ(four[0], a);
    tableTestExpectSamples(*four[1], {0.5f, 1}, "half way from a to b");
    EXPECT_EQ(four[2], b);
    tableTestExpectSamples(*four[3], {2, 3}, "half way from b to c");
    const Tables three = Table::interpolateTables({a, b}, 3);
    ASSERT_EQ(three.size(), 3u);
    tableTestExpectSamples(*three[2], {2.0f / 3, 4.0f / 3}, "two thirds");
    EXPECT_TRUE(Table::interpolateTables({}, 4).empty());
}

TEST(Table, ReadsChannelZeroOfAudioFiles) {
    const testsupport::TemporaryFolder folder;
    const platform::Url url = tableTestFile(folder, "signal.wav", 600);
    const auto table = Table::fromAudioFile(url);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->type(), TableType::sine);
    ASSERT_EQ(table->count(), 600);
    EXPECT_EQ((*table)[300], 0.5f);
    auto open = platform::AudioFile::openForReading(folder.file("signal.wav"));
    ASSERT_TRUE(open);
    EXPECT_EQ(Table::fromAudioFile(*open.value())->content(), table->content());
    const platform::Url none = platform::Url::fileURLWithPath(folder.file("none.wav"));
    EXPECT_EQ(Table::fromAudioFile(none), nullptr);

    const Tables tables = Table::wavetablesFromAudioFile(url, 256);
    ASSERT_EQ(tables.size(), 256u);
    EXPECT_EQ(tables.back()->count(), 256);
    // Shorter than one table, or unreadable: no tables.
    EXPECT_TRUE(Table::wavetablesFromAudioFile(tableTestFile(folder, "short.wav", 100), 256).empty());
    EXPECT_TRUE(Table::wavetablesFromAudioFile(none, 256).empty());
}

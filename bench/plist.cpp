// Property lists and keyed coding: a document holding an array of 10,000 records of twelve keys
// each, written and read both as a bare tree and through the keyed coders.

#include "platform/foundation/KeyedCoding.h"

#include <benchmark/benchmark.h>

using namespace platform;

namespace {

constexpr int benchRecordCount = 10000;

struct BenchRange {
    double start = 0;
    double end = 0;
    void encode(KeyedEncoder& e) const {
        e.encode("start", start);
        e.encode("end", end);
    }
    static BenchRange decode(const KeyedDecoder& d) {
        return {d.decode<double>("start"), d.decode<double>("end")};
    }
};

struct BenchRangeSet {
    std::vector<BenchRange> ranges;
    void encode(KeyedEncoder& e) const { e.encode("ranges", ranges); }
    static BenchRangeSet decode(const KeyedDecoder& d) {
        return {d.decode<std::vector<BenchRange>>("ranges")};
    }
};

struct BenchRecord {
    std::string url;
    std::optional<BenchRangeSet> current;
    BenchRangeSet prev;
    std::vector<double> zeros;
    std::vector<Date> playedDates;
    std::optional<Bytes> bookmark;
    std::optional<double> duration;
    std::vector<std::string> sideDocuments;
    bool checked = false;
    bool inHistory = false;
    bool playedSinceHistory = false;
    std::optional<std::string> tags;

    void encode(KeyedEncoder& e) const {
        e.encode("_url", url);
        e.encode("prevTimeRangeSet", prev);
        e.encodeIfPresent("currentTimeRangeSet", current);
        e.encode("zeros", zeros);
        e.encode("playedDates", playedDates);
        e.encodeIfPresent("storedBookmark", bookmark);
        e.encodeIfPresent("_cachedDuration", duration);
        e.encode("sideDocuments", sideDocuments);
        e.encode("isCheckmarked", checked);
        e.encode("inHistory", inHistory);
        e.encode("playedSinceHistory", playedSinceHistory);
        e.encodeIfPresent("tags", tags);
    }
    static BenchRecord decode(const KeyedDecoder& d) {
        BenchRecord r;
        r.url = d.decode<std::string>("_url");
        r.prev = d.decode<BenchRangeSet>("prevTimeRangeSet");
        r.current = d.tryDecode<BenchRangeSet>("currentTimeRangeSet");
        r.zeros = d.decode("zeros", std::vector<double>{});
        r.playedDates = d.decode("playedDates", std::vector<Date>{});
        r.bookmark = d.tryDecode<Bytes>("storedBookmark");
        r.duration = d.tryDecode<double>("_cachedDuration");
        r.sideDocuments = d.decode("sideDocuments", std::vector<std::string>{});
        r.checked = d.decode("isCheckmarked", false);
        r.inHistory = d.decode("inHistory", false);
        r.playedSinceHistory = d.decode("playedSinceHistory", false);
        r.tags = d.tryDecode<std::string>("tags");
        return r;
    }
};

struct BenchDocument {
    std::vector<BenchRecord> records;
    double currentTime = 0;
    void encode(KeyedEncoder& e) const {
        e.encode("playlist", records);
        e.encode("currentTime", currentTime);
    }
    static BenchDocument decode(const KeyedDecoder& d) {
        return {d.decode<std::vector<BenchRecord>>("playlist"), d.decode<double>("currentTime")};
    }
};

const BenchDocument& benchDocument() {
    static const BenchDocument document = [] {
        BenchDocument doc;
        doc.currentTime = 42.5;
        for (int i = 0; i < benchRecordCount; ++i) {
            BenchRecord r;
            r.url = "file:///home/user/Music/Practice/track-" + std::to_string(i) + ".mp3";
            r.prev.ranges = {{0, 10.5 + i}, {20, 30}, {45.25, 61}};
            r.current = BenchRangeSet{{{1, 2 + i * 0.01}}};
            r.zeros = {1.5, 2.5 + i};
            r.playedDates = {Date{786000000.0 + i}, Date{786100000.5 + i}};
            r.bookmark = Bytes(64, static_cast<std::uint8_t>(i));
            r.duration = 180.0 + i * 0.37;
            r.checked = i % 2 == 0;
            r.tags = i % 3 == 0 ? "ab" : "c";
            doc.records.push_back(std::move(r));
        }
        return doc;
    }();
    return document;
}

void BM_SerializeTree(benchmark::State& state) {
    PlistValue tree = encodePlistValue(benchDocument()).value();
    std::size_t size = 0;
    for (auto _ : state) {
        Bytes bytes = serializeBinaryPlist(tree).value();
        size = bytes.size();
        benchmark::DoNotOptimize(bytes.data());
    }
    state.counters["bytes"] = static_cast<double>(size);
}
BENCHMARK(BM_SerializeTree)->Unit(benchmark::kMillisecond);

void BM_ParseBytes(benchmark::State& state) {
    Bytes bytes = encodePlist(benchDocument()).value();
    for (auto _ : state) {
        Result<PlistValue> tree = parsePlist(bytes);
        benchmark::DoNotOptimize(tree.ok());
    }
}
BENCHMARK(BM_ParseBytes)->Unit(benchmark::kMillisecond);

void BM_EncodeRecords(benchmark::State& state) {
    const BenchDocument& doc = benchDocument();
    for (auto _ : state) {
        Result<Bytes> bytes = encodePlist(doc);
        benchmark::DoNotOptimize(bytes.ok());
    }
}
BENCHMARK(BM_EncodeRecords)->Unit(benchmark::kMillisecond);

void BM_DecodeRecords(benchmark::State& state) {
    Bytes bytes = encodePlist(benchDocument()).value();
    for (auto _ : state) {
        Result<BenchDocument> doc = decodePlist<BenchDocument>(bytes);
        if (!doc.ok() || doc->records.size() != benchRecordCount) state.SkipWithError("decoding failed");
    }
}
BENCHMARK(BM_DecodeRecords)->Unit(benchmark::kMillisecond);

} // namespace

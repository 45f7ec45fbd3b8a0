// Large property-list dictionaries: building one key by key, and reading one from the XML and the
// binary format, for 10,000, 40,000 and 100,000 keys. The time per key stays flat when both are
// linear in the dictionary's size.

#include "platform/foundation/PropertyList.h"

#include <benchmark/benchmark.h>

#include <string>

using namespace platform;

namespace {

std::string benchKey(std::int64_t i) {
    return "key " + std::to_string(i);
}

std::string benchXmlDictionary(std::int64_t keys) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n";
    for (std::int64_t i = 0; i < keys; ++i)
        xml += "\t<key>" + benchKey(i) + "</key>\n\t<integer>" + std::to_string(i) + "</integer>\n";
    xml += "</dict>\n</plist>\n";
    return xml;
}

void BM_BuildBySet(benchmark::State& state) {
    for (auto _ : state) {
        PlistDictionary dictionary;
        for (std::int64_t i = 0; i < state.range(0); ++i)
            dictionary.set(benchKey(i), i);
        benchmark::DoNotOptimize(dictionary);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_ReadXml(benchmark::State& state) {
    const std::string xml = benchXmlDictionary(state.range(0));
    for (auto _ : state) {
        auto tree = parsePlist(reinterpret_cast<const std::uint8_t*>(xml.data()), xml.size());
        if (!tree) state.SkipWithError("unreadable");
        benchmark::DoNotOptimize(tree);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_ReadBinary(benchmark::State& state) {
    const std::string xml = benchXmlDictionary(state.range(0));
    const Bytes binary =
        serializeBinaryPlist(*parsePlist(reinterpret_cast<const std::uint8_t*>(xml.data()), xml.size()))
            .value();
    for (auto _ : state) {
        auto tree = parsePlist(binary);
        if (!tree) state.SkipWithError("unreadable");
        benchmark::DoNotOptimize(tree);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

} // namespace

BENCHMARK(BM_BuildBySet)->Arg(10000)->Arg(40000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadXml)->Arg(10000)->Arg(40000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadBinary)->Arg(10000)->Arg(40000)->Arg(100000)->Unit(benchmark::kMillisecond);

// Binary property lists: whatever the reader accepts, the writer writes again and the reader reads
// back as the same tree.

#include "platform/foundation/PropertyList.h"

#include <cmath>
#include <cstdlib>

namespace {

// Reals and dates compare as numbers, so a NaN anywhere makes a tree differ from itself.
bool fuzzHasNaN(const platform::PlistValue& value) {
    if (auto real = value.asReal()) return std::isnan(*real);
    if (auto date = value.asDate()) return std::isnan(date->timeIntervalSinceReferenceDate);
    if (const auto* array = value.asArray()) {
        for (const auto& item : *array)
            if (fuzzHasNaN(item)) return true;
    }
    if (const auto* dictionary = value.asDictionary()) {
        for (const auto& [key, item] : *dictionary)
            if (fuzzHasNaN(item)) return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto tree = platform::parsePlist(data, size);
    if (!tree) return 0;
    const auto bytes = platform::serializeBinaryPlist(*tree);
    if (!bytes) return 0; // a string that is not UTF-8 cannot be written
    const auto again = platform::parsePlist(*bytes);
    if (!again || (!fuzzHasNaN(*tree) && !(*again == *tree))) std::abort();
    return 0;
}

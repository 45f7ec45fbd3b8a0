#pragma once
// A stored value that starts from a fixed default given by a source type, and is coded as the
// bare value (no key or nesting of its own). A value; any thread.
//
//     struct FiveSource { using Value = int; static constexpr int defaultValue = 5; };
//     DecodableDefault::Wrapper<FiveSource> count; // count.wrappedValue == 5
//
// An absent key is not filled in with the default: asking a keyed decoder for a wrapper under a
// missing key fails like any required value.

#include "platform/foundation/KeyedCoding.h"

#include <concepts>
#include <cstddef>
#include <functional>
#include <utility>

namespace vantle {

template <typename Source>
concept DecodableDefaultSource = requires {
    typename Source::Value;
    { Source::defaultValue } -> std::convertible_to<typename Source::Value>;
};

struct DecodableDefault {
    DecodableDefault() = delete;

    template <DecodableDefaultSource Source> struct Wrapper {
        using Value = typename Source::Value;

        Value wrappedValue = Source::defaultValue;

        Wrapper() = default;
        explicit Wrapper(Value value) : wrappedValue(std::move(value)) {}

        friend bool operator==(const Wrapper& a, const Wrapper& b) requires std::equality_comparable<Value> {
            return a.wrappedValue == b.wrappedValue;
        }
    };
};

} // namespace vantle

template <typename Source> struct platform::PlistCoding<vantle::DecodableDefault::Wrapper<Source>> {
    using Wrapped = vantle::DecodableDefault::Wrapper<Source>;
    static PlistValue encode(const Wrapped& value) { return coding_detail::encodeValue(value.wrappedValue); }
    static Wrapped decode(const PlistValue& value, const CodingPath& path) {
        return Wrapped(coding_detail::decodeValue<typename Wrapped::Value>(value, path));
    }
};

template <typename Source>
requires requires(const typename Source::Value& v) {
    std::hash<typename Source::Value>{}(v);
}
struct std::hash<vantle::DecodableDefault::Wrapper<Source>> {
    std::size_t operator()(const vantle::DecodableDefault::Wrapper<Source>& value) const {
        return std::hash<typename Source::Value>{}(value.wrappedValue);
    }
};

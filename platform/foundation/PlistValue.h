#pragma once
// A property-list value tree: dictionaries that keep their keys in order, arrays and scalars.
// Values are plain data: any thread, no shared state.

#include "platform/foundation/Date.h"
#include "platform/foundation/Files.h"

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace platform {

class PlistValue;

// A property-list dictionary that keeps its keys in the order they were first set, so that
// documents are written with their keys in the order the coder wrote them. Beyond a few keys it
// keeps a hash index beside them: building or reading a dictionary of n keys costs O(n).
class PlistDictionary {
public:
    using Entry = std::pair<std::string, PlistValue>;

    PlistDictionary() = default;
    PlistDictionary(std::initializer_list<Entry> entries);
    // A repeated key keeps its first place and its last value.
    explicit PlistDictionary(std::vector<Entry> entries);

    std::size_t size() const;
    bool empty() const;
    void reserve(std::size_t count);

    const PlistValue* find(std::string_view key) const;
    PlistValue* find(std::string_view key);
    bool contains(std::string_view key) const { return find(key) != nullptr; }

    // Replaces the value of a key in place, or appends the key at the end.
    PlistValue& set(std::string key, PlistValue value);
    // Appends without looking for the key; for builders that know their keys are new.
    PlistValue& append(std::string key, PlistValue value);
    bool remove(std::string_view key);

    const std::vector<Entry>& entries() const { return entries_; }
    std::vector<Entry>::const_iterator begin() const;
    std::vector<Entry>::const_iterator end() const;

    friend bool operator==(const PlistDictionary& a, const PlistDictionary& b);

private:
    static constexpr std::size_t notFound = static_cast<std::size_t>(-1);
    std::size_t position(std::string_view key) const;
    void indexEntry(std::size_t position);
    void rebuildIndex();

    std::vector<Entry> entries_;
    // Open addressing with linear probing: each slot holds a position in entries_ plus one, 0 when
    // free; at most half full. Empty while the dictionary is small enough to scan.
    std::vector<std::uint32_t> index_;
};

// How many stored keys the dictionary look-ups of this thread have compared with a wanted key:
// the work of a look-up, whatever the machine's speed.
std::uint64_t plistKeyComparisons();

// One property-list value: dictionary, array, string (UTF-8), real, signed integer, boolean,
// date or data.
class PlistValue {
public:
    using Array = std::vector<PlistValue>;
    enum class Type { dictionary, array, string, real, integer, boolean, date, data };

    PlistValue() = default; // an empty dictionary
    PlistValue(PlistDictionary value) : storage_(std::move(value)) {}
    PlistValue(Array value) : storage_(std::move(value)) {}
    PlistValue(std::string value) : storage_(std::move(value)) {}
    PlistValue(std::string_view value) : storage_(std::string(value)) {}
    PlistValue(const char* value) : storage_(std::string(value)) {}
    PlistValue(double value) : storage_(value) {}
    template <std::integral I>
    requires(!std::same_as<I, bool>) PlistValue(I value) : storage_(static_cast<std::int64_t>(value)) {}
    PlistValue(bool value) : storage_(value) {}
    PlistValue(Date value) : storage_(value) {}
    PlistValue(Bytes value) : storage_(std::move(value)) {}

    Type type() const { return static_cast<Type>(storage_.index()); }
    bool is(Type t) const { return type() == t; }

    // Each accessor gives the value only when it has exactly that type; no conversions.
    const PlistDictionary* asDictionary() const { return std::get_if<PlistDictionary>(&storage_); }
    PlistDictionary* asDictionary() { return std::get_if<PlistDictionary>(&storage_); }
    const Array* asArray() const { return std::get_if<Array>(&storage_); }
    Array* asArray() { return std::get_if<Array>(&storage_); }
    const std::string* asString() const { return std::get_if<std::string>(&storage_); }
    const Bytes* asData() const { return std::get_if<Bytes>(&storage_); }
    std::optional<double> asReal() const { return optionalOf<double>(); }
    std::optional<std::int64_t> asInteger() const { return optionalOf<std::int64_t>(); }
    std::optional<bool> asBool() const { return optionalOf<bool>(); }
    std::optional<Date> asDate() const { return optionalOf<Date>(); }

    // The value under a key of a dictionary, or the element of an array; null when absent or when
    // this value is of another type.
    const PlistValue* find(std::string_view key) const;
    const PlistValue* at(std::size_t index) const;

    // Exact equality; reals compare as numbers (so NaN differs from itself).
    friend bool operator==(const PlistValue& a, const PlistValue& b);

private:
    template <typename T> std::optional<T> optionalOf() const {
        if (const T* v = std::get_if<T>(&storage_)) return *v;
        return std::nullopt;
    }

    // The order of the alternatives is that of Type.
    std::variant<PlistDictionary, Array, std::string, double, std::int64_t, bool, Date, Bytes> storage_;
};

using PlistArray = PlistValue::Array;

// Defined here because std::vector needs its element type complete before its members are used.
inline std::size_t PlistDictionary::size() const {
    return entries_.size();
}
inline bool PlistDictionary::empty() const {
    return entries_.empty();
}
inline std::vector<PlistDictionary::Entry>::const_iterator PlistDictionary::begin() const {
    return entries_.begin();
}
inline std::vector<PlistDictionary::Entry>::const_iterator PlistDictionary::end() const {
    return entries_.end();
}

// "dictionary", "array", "string", "real", "integer", "boolean", "date" or "data".
std::string_view plistTypeName(PlistValue::Type type);

} // namespace platform

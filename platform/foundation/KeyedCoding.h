#pragma once
// Keyed coding of records to and from property lists, the counterpart of the platform's Codable
// with its property-list encoder and decoder. Coders live on the stack of the thread that uses them.
//
// A record opts in with two members:
//
//     void encode(KeyedEncoder& e) const {
//         e.encode("_url", url);                         // always written
//         e.encodeIfPresent("tags", tags);               // std::optional: written when present
//     }
//     static Entry decode(const KeyedDecoder& d) {       // or a constructor Entry(const KeyedDecoder&)
//         Entry e{d.decode<std::string>("_url")};        // required: missing or wrong type fails
//         e.tags = d.tryDecode<std::string>("tags");     // lenient: missing or bad gives nullopt
//         e.checked = d.decode("isCheckmarked", false);  // lenient with a default
//         e.units = d.decodeIfPresent<AgeUnits>("ageUnits"); // strict: present but bad fails
//         return e;
//     }
//
// Values: bool, integers, double, float, std::string, Date, Bytes (as data), std::vector<T>,
// std::map<std::string, T>, std::shared_ptr<T> / std::unique_ptr<T> of a codable T, PlistValue,
// records as above, enums with raw values (free functions found by argument-dependent lookup:
// `R rawValue(E)` and `std::optional<E> fromRawValue(std::type_identity<E>, const R&)` with R a
// string or an integer), and any type with a specialization of PlistCoding.
//
// Numbers follow the platform's decoder: an integer decodes as a floating-point value, a real with
// an integral value decodes as an integer, 2.5 does not, and booleans and numbers never mix.
//
// Failures inside decoding throw DecodingError (with a path like "playlist[3]._url"); the entry
// points encodePlist and decodePlist turn every exception into an error result.

#include "platform/foundation/PropertyList.h"

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace platform {

inline constexpr std::string_view codingErrorDomain = "platform.coding";

// Where a value sits in the document being decoded: a chain of keys and indexes, kept on the
// stack of the decoders and rendered only for error messages.
struct CodingPath {
    const CodingPath* parent = nullptr;
    std::string_view key;
    std::size_t index = 0;
    bool isIndex = false;

    CodingPath child(std::string_view childKey) const { return CodingPath{this, childKey, 0, false}; }
    CodingPath child(std::size_t childIndex) const { return CodingPath{this, {}, childIndex, true}; }
    // "playlist[3]._url"; empty at the top.
    std::string render() const;
};

// A value that cannot be decoded: path() tells where, reason() why.
class DecodingError : public std::runtime_error {
public:
    DecodingError(std::string path, std::string reason);
    const std::string& path() const { return path_; }
    const std::string& reason() const { return reason_; }

private:
    std::string path_;
    std::string reason_;
};

// A value that cannot be stored in a property list (an unsigned number beyond the signed range,
// a null reference).
class EncodingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class KeyedEncoder;
class KeyedDecoder;
class UnkeyedEncoder;
class UnkeyedDecoder;

// Customization point: static PlistValue encode(const T&); static T decode(const PlistValue&,
// const CodingPath&), throwing DecodingError for a value it cannot take.
template <typename T> struct PlistCoding;

template <typename T>
concept HasPlistCoding = requires(const T& value, const PlistValue& plist, const CodingPath& path) {
    { PlistCoding<T>::encode(value) } -> std::convertible_to<PlistValue>;
    { PlistCoding<T>::decode(plist, path) } -> std::convertible_to<T>;
};

template <typename T>
concept KeyedEncodable = requires(const T& value, KeyedEncoder& encoder) {
    value.encode(encoder);
};

template <typename T>
concept KeyedDecodable = requires(const KeyedDecoder& decoder) {
    { T::decode(decoder) } -> std::convertible_to<T>;
}
|| std::constructible_from<T, const KeyedDecoder&>;

template <typename T>
concept RawValueCodable = requires(const T& value) {
    rawValue(value);
    { fromRawValue(std::type_identity<T>{}, rawValue(value)) } -> std::same_as<std::optional<T>>;
};

namespace coding_detail {

template <typename> inline constexpr bool unsupportedType = false;

[[noreturn]] void throwTypeMismatch(const CodingPath& path, std::string_view expected,
                                    const PlistValue& found);
[[noreturn]] void throwInvalidRawValue(const CodingPath& path, std::string describedValue);
std::string describeRawValue(const std::string& value);
std::string describeRawValue(std::int64_t value);
// An integer, or a real with an integral value inside the 64-bit range.
std::int64_t integerValue(const PlistValue& value, const CodingPath& path);
// A real, or an integer converted.
double realValue(const PlistValue& value, const CodingPath& path);

template <typename T> PlistValue encodeValue(const T& value);
template <typename T> T decodeValue(const PlistValue& value, const CodingPath& path);
template <typename T> std::shared_ptr<T> decodeShared(const PlistValue& value, const CodingPath& path);

} // namespace coding_detail

// Writes a record's keys into a dictionary, in the order written. A key written twice keeps its
// first place and takes the last value.
class KeyedEncoder {
public:
    explicit KeyedEncoder(PlistDictionary& target) : target_(target) {}

    template <typename T> void encode(std::string_view key, const T& value) {
        target_.set(std::string(key), coding_detail::encodeValue(value));
    }
    void encode(std::string_view key, const char* value) { target_.set(std::string(key), PlistValue(value)); }

    template <typename T> void encodeIfPresent(std::string_view key, const std::optional<T>& value) {
        if (value) encode(key, *value);
    }
    template <typename T> void encodeIfPresent(std::string_view key, const std::shared_ptr<T>& value) {
        if (value) encode(key, *value);
    }

    // The nested container is filled by `fill(KeyedEncoder&)` / `fill(UnkeyedEncoder&)` and stored
    // under the key when it returns.
    template <typename Fill> void nestedContainer(std::string_view key, Fill&& fill);
    template <typename Fill> void nestedUnkeyedContainer(std::string_view key, Fill&& fill);

    const PlistDictionary& dictionary() const { return target_; }

private:
    PlistDictionary& target_;
};

// Appends values to an array.
class UnkeyedEncoder {
public:
    explicit UnkeyedEncoder(PlistArray& target) : target_(target) {}

    template <typename T> void encode(const T& value) {
        target_.push_back(coding_detail::encodeValue(value));
    }
    void encode(const char* value) { target_.emplace_back(value); }

    template <typename Fill> void nestedContainer(Fill&& fill) {
        PlistDictionary dict;
        KeyedEncoder inner(dict);
        fill(inner);
        target_.emplace_back(std::move(dict));
    }
    template <typename Fill> void nestedUnkeyedContainer(Fill&& fill) {
        PlistArray array;
        UnkeyedEncoder inner(array);
        fill(inner);
        target_.emplace_back(std::move(array));
    }

    std::size_t count() const { return target_.size(); }

private:
    PlistArray& target_;
};

template <typename Fill> void KeyedEncoder::nestedContainer(std::string_view key, Fill&& fill) {
    PlistDictionary dict;
    KeyedEncoder inner(dict);
    fill(inner);
    target_.set(std::string(key), std::move(dict));
}

template <typename Fill> void KeyedEncoder::nestedUnkeyedContainer(std::string_view key, Fill&& fill) {
    PlistArray array;
    UnkeyedEncoder inner(array);
    fill(inner);
    target_.set(std::string(key), std::move(array));
}

// Reads a record's keys from a dictionary. It refers to the decoded tree and, for error paths, to
// the decoder it was nested in: use it while those live.
class KeyedDecoder {
public:
    explicit KeyedDecoder(const PlistDictionary& source, CodingPath path = {})
        : source_(&source), path_(path) {}

    const CodingPath& codingPath() const { return path_; }
    const PlistDictionary& dictionary() const { return *source_; }
    bool contains(std::string_view key) const { return source_->contains(key); }
    std::vector<std::string> allKeys() const;

    // Required: fails when the key is missing or its value cannot be decoded as a T.
    template <typename T> T decode(std::string_view key) const {
        const auto* entry = require(key);
        return coding_detail::decodeValue<T>(entry->second, path_.child(entry->first));
    }

    // Optional, strict: nullopt when the key is missing; fails when the value cannot be decoded.
    template <typename T> std::optional<T> decodeIfPresent(std::string_view key) const {
        const auto* entry = lookup(key);
        if (!entry) return std::nullopt;
        return coding_detail::decodeValue<T>(entry->second, path_.child(entry->first));
    }

    // Lenient: the default when the key is missing or its value cannot be decoded.
    template <typename T> T decode(std::string_view key, T defaultValue) const {
        if (auto value = tryDecode<T>(key)) return std::move(*value);
        return defaultValue;
    }
    std::string decode(std::string_view key, const char* defaultValue) const {
        return decode<std::string>(key, std::string(defaultValue));
    }

    // Lenient optional: nullopt when the key is missing or its value cannot be decoded.
    template <typename T> std::optional<T> tryDecode(std::string_view key) const {
        const auto* entry = lookup(key);
        if (!entry) return std::nullopt;
        try {
            return coding_detail::decodeValue<T>(entry->second, path_.child(entry->first));
        } catch (const DecodingError&) {
            return std::nullopt;
        }
    }

    // Required nested containers.
    KeyedDecoder nestedContainer(std::string_view key) const;
    UnkeyedDecoder nestedUnkeyedContainer(std::string_view key) const;

    // An error for a value this record rejects, to be thrown by the record.
    DecodingError error(std::string_view key, std::string reason) const;

private:
    const PlistDictionary::Entry* lookup(std::string_view key) const;
    const PlistDictionary::Entry* require(std::string_view key) const;

    const PlistDictionary* source_;
    CodingPath path_;
};

// Reads the elements of an array in order. Same lifetime rule as KeyedDecoder.
class UnkeyedDecoder {
public:
    explicit UnkeyedDecoder(const PlistArray& source, CodingPath path = {}) : source_(&source), path_(path) {}

    const CodingPath& codingPath() const { return path_; }
    std::size_t count() const { return source_->size(); }
    std::size_t currentIndex() const { return index_; }
    bool isAtEnd() const { return index_ >= source_->size(); }

    // The next element; the position advances only when it decodes.
    template <typename T> T decode() {
        const PlistValue& element = next();
        T value = coding_detail::decodeValue<T>(element, path_.child(index_));
        ++index_;
        return value;
    }

    KeyedDecoder nestedContainer();
    UnkeyedDecoder nestedUnkeyedContainer();

private:
    const PlistValue& next() const;

    const PlistArray* source_;
    CodingPath path_;
    std::size_t index_ = 0;
};

// ---- built-in value codings -------------------------------------------------------------------

template <> struct PlistCoding<bool> {
    static PlistValue encode(bool value) { return value; }
    static bool decode(const PlistValue& value, const CodingPath& path);
};

template <typename T>
requires(std::integral<T> && !std::same_as<T, bool>) struct PlistCoding<T> {
    static PlistValue encode(T value) {
        if constexpr (std::is_unsigned_v<T> && sizeof(T) >= sizeof(std::int64_t)) {
            if (value > static_cast<T>(std::numeric_limits<std::int64_t>::max()))
                throw EncodingError("unsigned value beyond the signed 64-bit range");
        }
        return static_cast<std::int64_t>(value);
    }
    static T decode(const PlistValue& value, const CodingPath& path) {
        std::int64_t v = coding_detail::integerValue(value, path);
        if (!std::in_range<T>(v)) throw DecodingError(path.render(), "number does not fit the integer type");
        return static_cast<T>(v);
    }
};

template <> struct PlistCoding<double> {
    static PlistValue encode(double value) { return value; }
    static double decode(const PlistValue& value, const CodingPath& path) {
        return coding_detail::realValue(value, path);
    }
};

template <> struct PlistCoding<float> {
    static PlistValue encode(float value) { return static_cast<double>(value); }
    static float decode(const PlistValue& value, const CodingPath& path);
};

template <> struct PlistCoding<std::string> {
    static PlistValue encode(const std::string& value) { return value; }
    static std::string decode(const PlistValue& value, const CodingPath& path);
};

template <> struct PlistCoding<Date> {
    static PlistValue encode(Date value) { return value; }
    static Date decode(const PlistValue& value, const CodingPath& path);
};

// Bytes are data, not an array of numbers.
template <> struct PlistCoding<Bytes> {
    static PlistValue encode(const Bytes& value) { return value; }
    static Bytes decode(const PlistValue& value, const CodingPath& path);
};

template <> struct PlistCoding<PlistValue> {
    static PlistValue encode(const PlistValue& value) { return value; }
    static PlistValue decode(const PlistValue& value, const CodingPath&) { return value; }
};

template <> struct PlistCoding<PlistDictionary> {
    static PlistValue encode(const PlistDictionary& value) { return value; }
    static PlistDictionary decode(const PlistValue& value, const CodingPath& path);
};

template <typename T> struct PlistCoding<std::vector<T>> {
    static PlistValue encode(const std::vector<T>& values) {
        PlistArray array;
        array.reserve(values.size());
        for (const T& value : values)
            array.push_back(coding_detail::encodeValue(value));
        return array;
    }
    static std::vector<T> decode(const PlistValue& value, const CodingPath& path) {
        const PlistArray* array = value.asArray();
        if (!array) coding_detail::throwTypeMismatch(path, "array", value);
        std::vector<T> result;
        result.reserve(array->size());
        for (std::size_t i = 0; i < array->size(); ++i)
            result.push_back(coding_detail::decodeValue<T>((*array)[i], path.child(i)));
        return result;
    }
};

template <typename T> struct PlistCoding<std::map<std::string, T>> {
    static PlistValue encode(const std::map<std::string, T>& values) {
        PlistDictionary dict;
        dict.reserve(values.size());
        for (const auto& [key, value] : values)
            dict.append(key, coding_detail::encodeValue(value));
        return dict;
    }
    static std::map<std::string, T> decode(const PlistValue& value, const CodingPath& path) {
        const PlistDictionary* dict = value.asDictionary();
        if (!dict) coding_detail::throwTypeMismatch(path, "dictionary", value);
        std::map<std::string, T> result;
        for (const auto& [key, element] : *dict)
            result.emplace(key, coding_detail::decodeValue<T>(element, path.child(std::string_view(key))));
        return result;
    }
};

// Shared records (reference types): a null pointer cannot be encoded; use encodeIfPresent.
template <typename T> struct PlistCoding<std::shared_ptr<T>> {
    static PlistValue encode(const std::shared_ptr<T>& value) {
        if (!value) throw EncodingError("null reference");
        return coding_detail::encodeValue(*value);
    }
    static std::shared_ptr<T> decode(const PlistValue& value, const CodingPath& path) {
        return coding_detail::decodeShared<T>(value, path);
    }
};

template <typename T> struct PlistCoding<std::unique_ptr<T>> {
    static PlistValue encode(const std::unique_ptr<T>& value) {
        if (!value) throw EncodingError("null reference");
        return coding_detail::encodeValue(*value);
    }
    static std::unique_ptr<T> decode(const PlistValue& value, const CodingPath& path);
};

// ---- dispatch ---------------------------------------------------------------------------------

namespace coding_detail {

template <typename T> PlistValue encodeValue(const T& value) {
    if constexpr (HasPlistCoding<T>) {
        return PlistCoding<T>::encode(value);
    } else if constexpr (KeyedEncodable<T>) {
        PlistDictionary dict;
        KeyedEncoder encoder(dict);
        value.encode(encoder);
        return dict;
    } else if constexpr (RawValueCodable<T>) {
        return encodeValue(rawValue(value));
    } else {
        static_assert(unsupportedType<T>, "this type has no property-list coding");
    }
}

template <typename T>
const PlistDictionary& recordDictionary(const PlistValue& value, const CodingPath& path) {
    const PlistDictionary* dict = value.asDictionary();
    if (!dict) throwTypeMismatch(path, "dictionary", value);
    return *dict;
}

template <typename T> T decodeValue(const PlistValue& value, const CodingPath& path) {
    if constexpr (HasPlistCoding<T>) {
        return PlistCoding<T>::decode(value, path);
    } else if constexpr (KeyedDecodable<T>) {
        KeyedDecoder decoder(recordDictionary<T>(value, path), path);
        if constexpr (requires(const KeyedDecoder& d) { T::decode(d); })
            return T::decode(decoder);
        else
            return T(decoder);
    } else if constexpr (RawValueCodable<T>) {
        using Raw = std::decay_t<decltype(rawValue(std::declval<const T&>()))>;
        Raw raw = decodeValue<Raw>(value, path);
        std::optional<T> result = fromRawValue(std::type_identity<T>{}, raw);
        if (!result) {
            if constexpr (std::integral<Raw>)
                throwInvalidRawValue(path, describeRawValue(static_cast<std::int64_t>(raw)));
            else
                throwInvalidRawValue(path, describeRawValue(std::string(raw)));
        }
        return std::move(*result);
    } else {
        static_assert(unsupportedType<T>, "this type has no property-list coding");
    }
}

template <typename T> std::shared_ptr<T> decodeShared(const PlistValue& value, const CodingPath& path) {
    if constexpr (!HasPlistCoding<T> && KeyedDecodable<T> &&
                  std::constructible_from<T, const KeyedDecoder&>) {
        KeyedDecoder decoder(recordDictionary<T>(value, path), path);
        return std::make_shared<T>(decoder); // records without a move constructor
    } else {
        return std::make_shared<T>(decodeValue<T>(value, path));
    }
}

} // namespace coding_detail

template <typename T>
std::unique_ptr<T> PlistCoding<std::unique_ptr<T>>::decode(const PlistValue& value, const CodingPath& path) {
    if constexpr (!HasPlistCoding<T> && KeyedDecodable<T> &&
                  std::constructible_from<T, const KeyedDecoder&>) {
        KeyedDecoder decoder(coding_detail::recordDictionary<T>(value, path), path);
        return std::make_unique<T>(decoder);
    } else {
        return std::make_unique<T>(coding_detail::decodeValue<T>(value, path));
    }
}

// ---- entry points -----------------------------------------------------------------------------

Error codingError(const std::exception& failure);

// The value as a property-list tree.
template <typename T> Result<PlistValue> encodePlistValue(const T& value) {
    try {
        return coding_detail::encodeValue(value);
    } catch (const std::exception& failure) {
        return codingError(failure);
    }
}

// The value as a binary property list, with the platform encoder's default settings.
template <typename T> Result<Bytes> encodePlist(const T& value) {
    Result<PlistValue> tree = encodePlistValue(value);
    if (!tree) return tree.error();
    return serializeBinaryPlist(*tree);
}

template <typename T> Result<T> decodePlistValue(const PlistValue& tree) {
    try {
        return coding_detail::decodeValue<T>(tree, CodingPath{});
    } catch (const std::exception& failure) {
        return codingError(failure);
    }
}

// Decodes a binary or XML property list.
template <typename T> Result<T> decodePlist(const Bytes& bytes) {
    Result<PlistValue> tree = parsePlist(bytes);
    if (!tree) return tree.error();
    return decodePlistValue<T>(*tree);
}

} // namespace platform

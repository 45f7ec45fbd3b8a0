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
//
// Coders work on a value tree (KeyedEncoder over a PlistDictionary, KeyedDecoder over one) or straight on
// the binary format: encodePlist streams records into a BinaryPlistWriter and decodePlist reads binary
// documents in place, with no tree in between. A PlistCoding may add `static void write(BinaryPlistWriter&,
// const T&)` and `static T read(const BinaryPlistValue&, const CodingPath&)` for that; without them its
// value goes through a small tree.

#include "platform/foundation/BinaryPlist.h"
#include "platform/foundation/CodingCore.h"
#include "platform/foundation/PlistValueCodings.h"
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

// Writes a record's keys into a dictionary, in the order written, or straight into a binary document.
// A key written twice keeps its first place and takes the last value.
class KeyedEncoder {
public:
    explicit KeyedEncoder(PlistDictionary& target) : target_(&target) {}
    // Into the dictionary the writer has open.
    explicit KeyedEncoder(BinaryPlistWriter& writer) : writer_(&writer) {}

    template <typename T> void encode(std::string_view key, const T& value) {
        if (writer_) {
            writer_->key(key);
            coding_detail::writeValue(*writer_, value);
            return;
        }
        target_->set(std::string(key), coding_detail::encodeValue(value));
    }
    void encode(std::string_view key, const char* value) { encode(key, std::string_view(value)); }
    void encode(std::string_view key, std::string_view value) {
        if (writer_) {
            writer_->key(key);
            writer_->writeString(value);
            return;
        }
        target_->set(std::string(key), PlistValue(value));
    }

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

    // The dictionary being filled; empty for an encoder that writes a binary document.
    const PlistDictionary& dictionary() const;

private:
    PlistDictionary* target_ = nullptr;
    BinaryPlistWriter* writer_ = nullptr;
};

// Appends values to an array, or to the array a binary writer has open.
class UnkeyedEncoder {
public:
    explicit UnkeyedEncoder(PlistArray& target) : target_(&target) {}
    explicit UnkeyedEncoder(BinaryPlistWriter& writer) : writer_(&writer) {}

    template <typename T> void encode(const T& value) {
        ++count_;
        if (writer_)
            coding_detail::writeValue(*writer_, value);
        else
            target_->push_back(coding_detail::encodeValue(value));
    }
    void encode(const char* value) { encode(std::string(value)); }

    template <typename Fill> void nestedContainer(Fill&& fill) {
        ++count_;
        if (writer_) {
            writer_->beginDictionary();
            KeyedEncoder inner(*writer_);
            fill(inner);
            writer_->endDictionary();
            return;
        }
        PlistDictionary dict;
        KeyedEncoder inner(dict);
        fill(inner);
        target_->emplace_back(std::move(dict));
    }
    template <typename Fill> void nestedUnkeyedContainer(Fill&& fill) {
        ++count_;
        if (writer_) {
            writer_->beginArray();
            UnkeyedEncoder inner(*writer_);
            fill(inner);
            writer_->endArray();
            return;
        }
        PlistArray array;
        UnkeyedEncoder inner(array);
        fill(inner);
        target_->emplace_back(std::move(array));
    }

    std::size_t count() const { return target_ ? target_->size() : count_; }

private:
    PlistArray* target_ = nullptr;
    BinaryPlistWriter* writer_ = nullptr;
    std::size_t count_ = 0;
};

template <typename Fill> void KeyedEncoder::nestedContainer(std::string_view key, Fill&& fill) {
    if (writer_) {
        writer_->key(key);
        writer_->beginDictionary();
        KeyedEncoder inner(*writer_);
        fill(inner);
        writer_->endDictionary();
        return;
    }
    PlistDictionary dict;
    KeyedEncoder inner(dict);
    fill(inner);
    target_->set(std::string(key), std::move(dict));
}

template <typename Fill> void KeyedEncoder::nestedUnkeyedContainer(std::string_view key, Fill&& fill) {
    if (writer_) {
        writer_->key(key);
        writer_->beginArray();
        UnkeyedEncoder inner(*writer_);
        fill(inner);
        writer_->endArray();
        return;
    }
    PlistArray array;
    UnkeyedEncoder inner(array);
    fill(inner);
    target_->set(std::string(key), std::move(array));
}

// Reads a record's keys from a dictionary of a tree or of a binary document. It refers to the decoded
// data and, for error paths, to the decoder it was nested in: use it while those live.
class KeyedDecoder {
public:
    explicit KeyedDecoder(const PlistDictionary& source, CodingPath path = {})
        : source_(&source), path_(path) {}
    // Over a dictionary of a binary document.
    KeyedDecoder(const BinaryPlistValue& source, CodingPath path) : binary_(source), path_(path) {}

    const CodingPath& codingPath() const { return path_; }
    // The dictionary read; empty for a decoder that reads a binary document in place.
    const PlistDictionary& dictionary() const;
    bool contains(std::string_view key) const;
    std::vector<std::string> allKeys() const;

    // Required: fails when the key is missing or its value cannot be decoded as a T.
    template <typename T> T decode(std::string_view key) const {
        if (binary_) return coding_detail::decodeValue<T>(requireBinary(key), path_.child(key));
        const auto* entry = require(key);
        return coding_detail::decodeValue<T>(entry->second, path_.child(entry->first));
    }

    // Optional, strict: nullopt when the key is missing; fails when the value cannot be decoded.
    template <typename T> std::optional<T> decodeIfPresent(std::string_view key) const {
        if (binary_) {
            const auto value = findBinary(key);
            if (!value) return std::nullopt;
            return coding_detail::decodeValue<T>(*value, path_.child(key));
        }
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
        try {
            return decodeIfPresent<T>(key);
        } catch (const DecodingError&) {
            return std::nullopt;
        }
    }

    // The elements of the array under `key` that decode as a T, each on its own: one that does not is
    // left out. Empty when the key is missing or holds no array.
    template <typename T> std::vector<T> decodeEachThatDecodes(std::string_view key) const;

    // Required nested containers.
    KeyedDecoder nestedContainer(std::string_view key) const;
    UnkeyedDecoder nestedUnkeyedContainer(std::string_view key) const;

    // An error for a value this record rejects, to be thrown by the record.
    DecodingError error(std::string_view key, std::string reason) const;

private:
    const PlistDictionary::Entry* lookup(std::string_view key) const;
    const PlistDictionary::Entry* require(std::string_view key) const;
    BinaryPlistValue requireBinary(std::string_view key) const;

    std::optional<BinaryPlistValue> findBinary(std::string_view key) const {
        return binary_->find(key, keys_);
    }

    const PlistDictionary* source_ = nullptr;
    std::optional<BinaryPlistValue> binary_;
    mutable BinaryPlistKeyIndex keys_;
    CodingPath path_;
};

// Reads the elements of an array in order. Same lifetime rule as KeyedDecoder.
class UnkeyedDecoder {
public:
    explicit UnkeyedDecoder(const PlistArray& source, CodingPath path = {})
        : source_(&source), count_(source.size()), path_(path) {}
    // Over an array of a binary document.
    UnkeyedDecoder(const BinaryPlistValue& source, CodingPath path)
        : binary_(source), count_(source.count()), path_(path) {}

    const CodingPath& codingPath() const { return path_; }
    std::size_t count() const { return count_; }
    std::size_t currentIndex() const { return index_; }
    bool isAtEnd() const { return index_ >= count_; }

    // The next element; the position advances only when it decodes.
    template <typename T> T decode() {
        checkNext();
        T value = binary_ ? coding_detail::decodeValue<T>(binary_->element(index_), path_.child(index_))
                          : coding_detail::decodeValue<T>((*source_)[index_], path_.child(index_));
        ++index_;
        return value;
    }

    KeyedDecoder nestedContainer();
    UnkeyedDecoder nestedUnkeyedContainer();

private:
    void checkNext() const;

    const PlistArray* source_ = nullptr;
    std::optional<BinaryPlistValue> binary_;
    std::size_t count_ = 0;
    CodingPath path_;
    std::size_t index_ = 0;
};

template <typename T> std::vector<T> KeyedDecoder::decodeEachThatDecodes(std::string_view key) const {
    std::vector<T> values;
    const CodingPath path = path_.child(key);
    auto each = [&](std::size_t count, auto&& element) {
        values.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            try {
                values.push_back(element(i));
            } catch (const DecodingError&) {
            }
        }
    };
    if (binary_) {
        const auto array = findBinary(key);
        if (!array || array->type() != PlistValue::Type::array) return values;
        coding_detail::binaryContainer(*array, path, PlistValue::Type::array);
        each(array->count(),
             [&](std::size_t i) { return coding_detail::decodeValue<T>(array->element(i), path.child(i)); });
        return values;
    }
    const auto* entry = lookup(key);
    const PlistArray* array = entry ? entry->second.asArray() : nullptr;
    if (!array) return values;
    each(array->size(),
         [&](std::size_t i) { return coding_detail::decodeValue<T>((*array)[i], path.child(i)); });
    return values;
}

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

template <typename T> void writeValue(BinaryPlistWriter& writer, const T& value) {
    if constexpr (StreamsPlistCoding<T>) {
        PlistCoding<T>::write(writer, value);
    } else if constexpr (HasPlistCoding<T>) {
        writer.writeValue(PlistCoding<T>::encode(value));
    } else if constexpr (KeyedEncodable<T>) {
        writer.beginDictionary();
        KeyedEncoder encoder(writer);
        value.encode(encoder);
        writer.endDictionary();
    } else if constexpr (RawValueCodable<T>) {
        writeValue(writer, rawValue(value));
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

template <typename T> T fromRaw(const auto& raw, const CodingPath& path) {
    std::optional<T> result = fromRawValue(std::type_identity<T>{}, raw);
    if (!result) {
        if constexpr (std::integral<std::decay_t<decltype(raw)>>)
            throwInvalidRawValue(path, describeRawValue(static_cast<std::int64_t>(raw)));
        else
            throwInvalidRawValue(path, describeRawValue(std::string(raw)));
    }
    return std::move(*result);
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
        return fromRaw<T>(decodeValue<Raw>(value, path), path);
    } else {
        static_assert(unsupportedType<T>, "this type has no property-list coding");
    }
}

template <typename T> T decodeValue(const BinaryPlistValue& value, const CodingPath& path) {
    if constexpr (ReadsPlistCoding<T>) {
        return PlistCoding<T>::read(value, path);
    } else if constexpr (HasPlistCoding<T>) {
        return PlistCoding<T>::decode(value.materialize(), path);
    } else if constexpr (KeyedDecodable<T>) {
        KeyedDecoder decoder(binaryContainer(value, path, PlistValue::Type::dictionary), path);
        if constexpr (requires(const KeyedDecoder& d) { T::decode(d); })
            return T::decode(decoder);
        else
            return T(decoder);
    } else if constexpr (RawValueCodable<T>) {
        using Raw = std::decay_t<decltype(rawValue(std::declval<const T&>()))>;
        return fromRaw<T>(decodeValue<Raw>(value, path), path);
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

template <typename T> std::shared_ptr<T> decodeShared(const BinaryPlistValue& value, const CodingPath& path) {
    if constexpr (!HasPlistCoding<T> && KeyedDecodable<T> &&
                  std::constructible_from<T, const KeyedDecoder&>) {
        KeyedDecoder decoder(binaryContainer(value, path, PlistValue::Type::dictionary), path);
        return std::make_shared<T>(decoder);
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

template <typename T>
std::unique_ptr<T> PlistCoding<std::unique_ptr<T>>::read(const BinaryPlistValue& value,
                                                         const CodingPath& path) {
    if constexpr (!HasPlistCoding<T> && KeyedDecodable<T> &&
                  std::constructible_from<T, const KeyedDecoder&>) {
        KeyedDecoder decoder(coding_detail::binaryContainer(value, path, PlistValue::Type::dictionary), path);
        return std::make_unique<T>(decoder);
    } else {
        return std::make_unique<T>(coding_detail::decodeValue<T>(value, path));
    }
}

// ---- entry points -----------------------------------------------------------------------------

Error codingError(const std::exception& failure);
Error codingError(const BinaryPlistFailure& failure);

// The value as a property-list tree.
template <typename T> Result<PlistValue> encodePlistValue(const T& value) {
    try {
        return coding_detail::encodeValue(value);
    } catch (const std::exception& failure) {
        return codingError(failure);
    }
}

// The value as a binary property list, with the platform encoder's default settings, written as the
// value is walked.
template <typename T> Result<Bytes> encodePlist(const T& value) {
    BinaryPlistWriter writer;
    try {
        coding_detail::writeValue(writer, value);
    } catch (const std::exception& failure) {
        return codingError(failure);
    }
    return writer.finish();
}

template <typename T> Result<T> decodePlistValue(const PlistValue& tree) {
    try {
        return coding_detail::decodeValue<T>(tree, CodingPath{});
    } catch (const std::exception& failure) {
        return codingError(failure);
    }
}

// Decodes a binary property list where it lies, or an XML one through its tree.
template <typename T> Result<T> decodePlist(const Bytes& bytes) {
    if (bytes.size() >= 6 && std::string_view(reinterpret_cast<const char*>(bytes.data()), 6) == "bplist") {
        auto reader = BinaryPlistReader::open(bytes.data(), bytes.size());
        if (!reader) return reader.error();
        try {
            return coding_detail::decodeValue<T>((*reader)->top(), CodingPath{});
        } catch (const BinaryPlistFailure& failure) {
            return codingError(failure);
        } catch (const std::exception& failure) {
            return codingError(failure);
        }
    }
    Result<PlistValue> tree = parsePlist(bytes);
    if (!tree) return tree.error();
    return decodePlistValue<T>(*tree);
}

} // namespace platform

#pragma once
// The codings of the built-in value types: numbers, texts, dates, data, containers and pointers of
// codable values. Include KeyedCoding.h to code records.

#include "platform/foundation/CodingCore.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace platform {

template <> struct PlistCoding<bool> {
    static PlistValue encode(bool value) { return value; }
    static bool decode(const PlistValue& value, const CodingPath& path);
    static void write(BinaryPlistWriter& writer, bool value) { writer.writeBoolean(value); }
    static bool read(const BinaryPlistValue& value, const CodingPath& path);
};

template <typename T>
requires(std::integral<T> && !std::same_as<T, bool>) struct PlistCoding<T> {
    static std::int64_t stored(T value) {
        if constexpr (std::is_unsigned_v<T> && sizeof(T) >= sizeof(std::int64_t)) {
            if (value > static_cast<T>(std::numeric_limits<std::int64_t>::max()))
                throw EncodingError("unsigned value beyond the signed 64-bit range");
        }
        return static_cast<std::int64_t>(value);
    }
    static T fitted(std::int64_t v, const CodingPath& path) {
        if (!std::in_range<T>(v)) throw DecodingError(path.render(), "number does not fit the integer type");
        return static_cast<T>(v);
    }
    static PlistValue encode(T value) { return stored(value); }
    static T decode(const PlistValue& value, const CodingPath& path) {
        return fitted(coding_detail::integerValue(value, path), path);
    }
    static void write(BinaryPlistWriter& writer, T value) { writer.writeInteger(stored(value)); }
    static T read(const BinaryPlistValue& value, const CodingPath& path) {
        return fitted(coding_detail::integerValue(value, path), path);
    }
};

template <> struct PlistCoding<double> {
    static PlistValue encode(double value) { return value; }
    static double decode(const PlistValue& value, const CodingPath& path) {
        return coding_detail::realValue(value, path);
    }
    static void write(BinaryPlistWriter& writer, double value) { writer.writeReal(value); }
    static double read(const BinaryPlistValue& value, const CodingPath& path) {
        return coding_detail::realValue(value, path);
    }
};

template <> struct PlistCoding<float> {
    static PlistValue encode(float value) { return static_cast<double>(value); }
    static float decode(const PlistValue& value, const CodingPath& path);
    static void write(BinaryPlistWriter& writer, float value) {
        writer.writeReal(static_cast<double>(value));
    }
    static float read(const BinaryPlistValue& value, const CodingPath& path);
};

template <> struct PlistCoding<std::string> {
    static PlistValue encode(const std::string& value) { return value; }
    static std::string decode(const PlistValue& value, const CodingPath& path);
    static void write(BinaryPlistWriter& writer, const std::string& value) { writer.writeString(value); }
    static std::string read(const BinaryPlistValue& value, const CodingPath& path);
};

template <> struct PlistCoding<Date> {
    static PlistValue encode(Date value) { return value; }
    static Date decode(const PlistValue& value, const CodingPath& path);
    static void write(BinaryPlistWriter& writer, Date value) { writer.writeDate(value); }
    static Date read(const BinaryPlistValue& value, const CodingPath& path);
};

// Bytes are data, not an array of numbers.
template <> struct PlistCoding<Bytes> {
    static PlistValue encode(const Bytes& value) { return value; }
    static Bytes decode(const PlistValue& value, const CodingPath& path);
    static void write(BinaryPlistWriter& writer, const Bytes& value) {
        writer.writeData(value.data(), value.size());
    }
    static Bytes read(const BinaryPlistValue& value, const CodingPath& path);
};

template <> struct PlistCoding<PlistValue> {
    static PlistValue encode(const PlistValue& value) { return value; }
    static PlistValue decode(const PlistValue& value, const CodingPath&) { return value; }
    static void write(BinaryPlistWriter& writer, const PlistValue& value) { writer.writeValue(value); }
    static PlistValue read(const BinaryPlistValue& value, const CodingPath&) { return value.materialize(); }
};

template <> struct PlistCoding<PlistDictionary> {
    static PlistValue encode(const PlistDictionary& value) { return value; }
    static PlistDictionary decode(const PlistValue& value, const CodingPath& path);
    static void write(BinaryPlistWriter& writer, const PlistDictionary& value);
    static PlistDictionary read(const BinaryPlistValue& value, const CodingPath& path);
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
    static void write(BinaryPlistWriter& writer, const std::vector<T>& values) {
        writer.beginArray();
        for (const T& value : values)
            coding_detail::writeValue(writer, value);
        writer.endArray();
    }
    static std::vector<T> read(const BinaryPlistValue& value, const CodingPath& path) {
        const BinaryPlistValue& array = coding_detail::binaryContainer(value, path, PlistValue::Type::array);
        const std::size_t count = array.count();
        std::vector<T> result;
        result.reserve(count);
        for (std::size_t i = 0; i < count; ++i)
            result.push_back(coding_detail::decodeValue<T>(array.element(i), path.child(i)));
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
    static void write(BinaryPlistWriter& writer, const std::map<std::string, T>& values) {
        writer.beginDictionary();
        for (const auto& [key, value] : values) {
            writer.key(key);
            coding_detail::writeValue(writer, value);
        }
        writer.endDictionary();
    }
    static std::map<std::string, T> read(const BinaryPlistValue& value, const CodingPath& path) {
        const BinaryPlistValue& dict =
            coding_detail::binaryContainer(value, path, PlistValue::Type::dictionary);
        std::map<std::string, T> result;
        // A repeated key takes its last value, as in a dictionary read into a tree.
        for (std::size_t i = 0, count = dict.count(); i < count; ++i) {
            std::string key = dict.keyAt(i);
            T element = coding_detail::decodeValue<T>(dict.valueAt(i), path.child(std::string_view(key)));
            result.insert_or_assign(std::move(key), std::move(element));
        }
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
    static void write(BinaryPlistWriter& writer, const std::shared_ptr<T>& value) {
        if (!value) throw EncodingError("null reference");
        coding_detail::writeValue(writer, *value);
    }
    static std::shared_ptr<T> read(const BinaryPlistValue& value, const CodingPath& path) {
        return coding_detail::decodeShared<T>(value, path);
    }
};

template <typename T> struct PlistCoding<std::unique_ptr<T>> {
    static PlistValue encode(const std::unique_ptr<T>& value) {
        if (!value) throw EncodingError("null reference");
        return coding_detail::encodeValue(*value);
    }
    static std::unique_ptr<T> decode(const PlistValue& value, const CodingPath& path);
    static void write(BinaryPlistWriter& writer, const std::unique_ptr<T>& value) {
        if (!value) throw EncodingError("null reference");
        coding_detail::writeValue(writer, *value);
    }
    static std::unique_ptr<T> read(const BinaryPlistValue& value, const CodingPath& path);
};

} // namespace platform

#include "platform/foundation/KeyedCoding.h"

#include <cmath>
#include <cstdio>
#include <unordered_set>

namespace platform {

std::string CodingPath::render() const {
    std::vector<const CodingPath*> chain;
    for (const CodingPath* node = this; node; node = node->parent)
        chain.push_back(node);
    std::string text;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        const CodingPath& node = **it;
        if (node.isIndex) {
            text += '[' + std::to_string(node.index) + ']';
        } else if (!node.key.empty()) {
            if (!text.empty()) text += '.';
            text += node.key;
        }
    }
    return text;
}

namespace {

std::string codingMessage(const std::string& path, const std::string& reason) {
    return path.empty() ? reason : path + ": " + reason;
}

} // namespace

DecodingError::DecodingError(std::string path, std::string reason)
    : std::runtime_error(codingMessage(path, reason)), path_(std::move(path)), reason_(std::move(reason)) {}

Error codingError(const std::exception& failure) {
    return Error::make(std::string(codingErrorDomain), failure.what());
}

Error codingError(const BinaryPlistFailure& failure) {
    // Malformed bytes fail the read as they fail parsePlist.
    return Error::make("platform.propertyList", failure.message);
}

namespace coding_detail {

void throwTypeMismatch(const CodingPath& path, std::string_view expected, const PlistValue& found) {
    throwTypeMismatch(path, expected, found.type());
}

void throwTypeMismatch(const CodingPath& path, std::string_view expected, PlistValue::Type found) {
    throw DecodingError(path.render(),
                        "expected " + std::string(expected) + ", found " + std::string(plistTypeName(found)));
}

void throwInvalidRawValue(const CodingPath& path, std::string describedValue) {
    throw DecodingError(path.render(), "invalid value " + describedValue);
}

std::string describeRawValue(const std::string& value) {
    return '"' + value + '"';
}
std::string describeRawValue(std::int64_t value) {
    return std::to_string(value);
}

namespace {

template <typename Value> std::int64_t codingIntegerValue(const Value& value, const CodingPath& path) {
    if (auto integer = value.asInteger()) return *integer;
    if (auto real = value.asReal()) {
        // 2^63 itself is out of range; every double below it with no fraction converts exactly.
        if (std::trunc(*real) == *real && *real >= -0x1p63 && *real < 0x1p63)
            return static_cast<std::int64_t>(*real);
        char text[40];
        std::snprintf(text, sizeof text, "%.17g", *real);
        throw DecodingError(path.render(), std::string("number ") + text + " does not fit an integer");
    }
    throwTypeMismatch(path, "number", value.type());
}

template <typename Value> double codingRealValue(const Value& value, const CodingPath& path) {
    if (auto real = value.asReal()) return *real;
    if (auto integer = value.asInteger()) return static_cast<double>(*integer);
    throwTypeMismatch(path, "number", value.type());
}

// Deeper documents are refused rather than risk the stack; records nest a few levels.
constexpr int codingMaxDepth = 512;

} // namespace

std::int64_t integerValue(const PlistValue& value, const CodingPath& path) {
    return codingIntegerValue(value, path);
}
double realValue(const PlistValue& value, const CodingPath& path) {
    return codingRealValue(value, path);
}
std::int64_t integerValue(const BinaryPlistValue& value, const CodingPath& path) {
    return codingIntegerValue(value, path);
}
double realValue(const BinaryPlistValue& value, const CodingPath& path) {
    return codingRealValue(value, path);
}

const BinaryPlistValue& binaryContainer(const BinaryPlistValue& value, const CodingPath& path,
                                        PlistValue::Type type) {
    if (path.depth > codingMaxDepth) throw BinaryPlistFailure{"nested too deeply"};
    const PlistValue::Type found = value.type();
    if (found != type) throwTypeMismatch(path, plistTypeName(type), found);
    return value;
}

} // namespace coding_detail

bool PlistCoding<bool>::decode(const PlistValue& value, const CodingPath& path) {
    if (auto b = value.asBool()) return *b;
    coding_detail::throwTypeMismatch(path, "boolean", value);
}

bool PlistCoding<bool>::read(const BinaryPlistValue& value, const CodingPath& path) {
    if (auto b = value.asBool()) return *b;
    coding_detail::throwTypeMismatch(path, "boolean", value.type());
}

namespace {

float codingFloat(double v, const CodingPath& path) {
    if (std::isfinite(v) && std::fabs(v) > std::numeric_limits<float>::max())
        throw DecodingError(path.render(), "number does not fit a float");
    return static_cast<float>(v);
}

} // namespace

float PlistCoding<float>::decode(const PlistValue& value, const CodingPath& path) {
    return codingFloat(coding_detail::realValue(value, path), path);
}

float PlistCoding<float>::read(const BinaryPlistValue& value, const CodingPath& path) {
    return codingFloat(coding_detail::realValue(value, path), path);
}

std::string PlistCoding<std::string>::decode(const PlistValue& value, const CodingPath& path) {
    if (const std::string* text = value.asString()) return *text;
    coding_detail::throwTypeMismatch(path, "string", value);
}

std::string PlistCoding<std::string>::read(const BinaryPlistValue& value, const CodingPath& path) {
    if (auto text = value.asString()) return std::move(*text);
    coding_detail::throwTypeMismatch(path, "string", value.type());
}

Date PlistCoding<Date>::decode(const PlistValue& value, const CodingPath& path) {
    if (auto date = value.asDate()) return *date;
    coding_detail::throwTypeMismatch(path, "date", value);
}

Date PlistCoding<Date>::read(const BinaryPlistValue& value, const CodingPath& path) {
    if (auto date = value.asDate()) return *date;
    coding_detail::throwTypeMismatch(path, "date", value.type());
}

Bytes PlistCoding<Bytes>::decode(const PlistValue& value, const CodingPath& path) {
    if (const Bytes* data = value.asData()) return *data;
    coding_detail::throwTypeMismatch(path, "data", value);
}

Bytes PlistCoding<Bytes>::read(const BinaryPlistValue& value, const CodingPath& path) {
    if (auto data = value.asData()) return std::move(*data);
    coding_detail::throwTypeMismatch(path, "data", value.type());
}

PlistDictionary PlistCoding<PlistDictionary>::decode(const PlistValue& value, const CodingPath& path) {
    if (const PlistDictionary* dict = value.asDictionary()) return *dict;
    coding_detail::throwTypeMismatch(path, "dictionary", value);
}

void PlistCoding<PlistDictionary>::write(BinaryPlistWriter& writer, const PlistDictionary& value) {
    writer.beginDictionary();
    for (const auto& [key, element] : value) {
        writer.key(key);
        writer.writeValue(element);
    }
    writer.endDictionary();
}

PlistDictionary PlistCoding<PlistDictionary>::read(const BinaryPlistValue& value, const CodingPath& path) {
    coding_detail::binaryContainer(value, path, PlistValue::Type::dictionary);
    return std::move(*value.materialize().asDictionary());
}

const PlistDictionary& KeyedEncoder::dictionary() const {
    static const PlistDictionary none;
    return target_ ? *target_ : none;
}

const PlistDictionary& KeyedDecoder::dictionary() const {
    static const PlistDictionary none;
    return source_ ? *source_ : none;
}

bool KeyedDecoder::contains(std::string_view key) const {
    return binary_ ? findBinary(key).has_value() : source_->contains(key);
}

std::vector<std::string> KeyedDecoder::allKeys() const {
    std::vector<std::string> keys;
    if (binary_) {
        // A repeated key is listed once, at its first place.
        std::unordered_set<std::string> seen;
        for (std::size_t i = 0, count = binary_->count(); i < count; ++i) {
            std::string key = binary_->keyAt(i);
            if (seen.insert(key).second) keys.push_back(std::move(key));
        }
        return keys;
    }
    keys.reserve(source_->size());
    for (const auto& entry : *source_)
        keys.push_back(entry.first);
    return keys;
}

BinaryPlistValue KeyedDecoder::requireBinary(std::string_view key) const {
    if (auto value = findBinary(key)) return *value;
    throw DecodingError(path_.child(key).render(), "missing key");
}

const PlistDictionary::Entry* KeyedDecoder::lookup(std::string_view key) const {
    for (const auto& entry : *source_)
        if (entry.first == key) return &entry;
    return nullptr;
}

const PlistDictionary::Entry* KeyedDecoder::require(std::string_view key) const {
    if (const auto* entry = lookup(key)) return entry;
    throw DecodingError(path_.child(key).render(), "missing key");
}

KeyedDecoder KeyedDecoder::nestedContainer(std::string_view key) const {
    if (binary_) {
        const BinaryPlistValue value = requireBinary(key);
        const CodingPath path = path_.child(binary_->keptKey(key));
        return KeyedDecoder(coding_detail::binaryContainer(value, path, PlistValue::Type::dictionary), path);
    }
    const auto* entry = require(key);
    CodingPath path = path_.child(entry->first);
    const PlistDictionary* dict = entry->second.asDictionary();
    if (!dict) coding_detail::throwTypeMismatch(path, "dictionary", entry->second);
    return KeyedDecoder(*dict, path);
}

UnkeyedDecoder KeyedDecoder::nestedUnkeyedContainer(std::string_view key) const {
    if (binary_) {
        const BinaryPlistValue value = requireBinary(key);
        const CodingPath path = path_.child(binary_->keptKey(key));
        return UnkeyedDecoder(coding_detail::binaryContainer(value, path, PlistValue::Type::array), path);
    }
    const auto* entry = require(key);
    CodingPath path = path_.child(entry->first);
    const PlistArray* array = entry->second.asArray();
    if (!array) coding_detail::throwTypeMismatch(path, "array", entry->second);
    return UnkeyedDecoder(*array, path);
}

DecodingError KeyedDecoder::error(std::string_view key, std::string reason) const {
    return DecodingError(path_.child(key).render(), std::move(reason));
}

void UnkeyedDecoder::checkNext() const {
    if (isAtEnd()) throw DecodingError(path_.child(index_).render(), "no more elements");
}

KeyedDecoder UnkeyedDecoder::nestedContainer() {
    checkNext();
    CodingPath path = path_.child(index_);
    if (binary_) {
        const BinaryPlistValue element = binary_->element(index_);
        coding_detail::binaryContainer(element, path, PlistValue::Type::dictionary);
        ++index_;
        return KeyedDecoder(element, path);
    }
    const PlistValue& element = (*source_)[index_];
    const PlistDictionary* dict = element.asDictionary();
    if (!dict) coding_detail::throwTypeMismatch(path, "dictionary", element);
    ++index_;
    return KeyedDecoder(*dict, path);
}

UnkeyedDecoder UnkeyedDecoder::nestedUnkeyedContainer() {
    checkNext();
    CodingPath path = path_.child(index_);
    if (binary_) {
        const BinaryPlistValue element = binary_->element(index_);
        coding_detail::binaryContainer(element, path, PlistValue::Type::array);
        ++index_;
        return UnkeyedDecoder(element, path);
    }
    const PlistValue& element = (*source_)[index_];
    const PlistArray* array = element.asArray();
    if (!array) coding_detail::throwTypeMismatch(path, "array", element);
    ++index_;
    return UnkeyedDecoder(*array, path);
}

} // namespace platform

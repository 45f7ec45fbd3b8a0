#include "platform/foundation/KeyedCoding.h"

#include <cmath>
#include <cstdio>

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

namespace coding_detail {

void throwTypeMismatch(const CodingPath& path, std::string_view expected, const PlistValue& found) {
    throw DecodingError(path.render(), "expected " + std::string(expected) + ", found " +
                                           std::string(plistTypeName(found.type())));
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

std::int64_t integerValue(const PlistValue& value, const CodingPath& path) {
    if (auto integer = value.asInteger()) return *integer;
    if (auto real = value.asReal()) {
        // 2^63 itself is out of range; every double below it with no fraction converts exactly.
        if (std::trunc(*real) == *real && *real >= -0x1p63 && *real < 0x1p63)
            return static_cast<std::int64_t>(*real);
        char text[40];
        std::snprintf(text, sizeof text, "%.17g", *real);
        throw DecodingError(path.render(), std::string("number ") + text + " does not fit an integer");
    }
    throwTypeMismatch(path, "number", value);
}

double realValue(const PlistValue& value, const CodingPath& path) {
    if (auto real = value.asReal()) return *real;
    if (auto integer = value.asInteger()) return static_cast<double>(*integer);
    throwTypeMismatch(path, "number", value);
}

} // namespace coding_detail

bool PlistCoding<bool>::decode(const PlistValue& value, const CodingPath& path) {
    if (auto b = value.asBool()) return *b;
    coding_detail::throwTypeMismatch(path, "boolean", value);
}

float PlistCoding<float>::decode(const PlistValue& value, const CodingPath& path) {
    double v = coding_detail::realValue(value, path);
    if (std::isfinite(v) && std::fabs(v) > std::numeric_limits<float>::max())
        throw DecodingError(path.render(), "number does not fit a float");
    return static_cast<float>(v);
}

std::string PlistCoding<std::string>::decode(const PlistValue& value, const CodingPath& path) {
    if (const std::string* text = value.asString()) return *text;
    coding_detail::throwTypeMismatch(path, "string", value);
}

Date PlistCoding<Date>::decode(const PlistValue& value, const CodingPath& path) {
    if (auto date = value.asDate()) return *date;
    coding_detail::throwTypeMismatch(path, "date", value);
}

Bytes PlistCoding<Bytes>::decode(const PlistValue& value, const CodingPath& path) {
    if (const Bytes* data = value.asData()) return *data;
    coding_detail::throwTypeMismatch(path, "data", value);
}

PlistDictionary PlistCoding<PlistDictionary>::decode(const PlistValue& value, const CodingPath& path) {
    if (const PlistDictionary* dict = value.asDictionary()) return *dict;
    coding_detail::throwTypeMismatch(path, "dictionary", value);
}

std::vector<std::string> KeyedDecoder::allKeys() const {
    std::vector<std::string> keys;
    keys.reserve(source_->size());
    for (const auto& entry : *source_)
        keys.push_back(entry.first);
    return keys;
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
    const auto* entry = require(key);
    CodingPath path = path_.child(entry->first);
    const PlistDictionary* dict = entry->second.asDictionary();
    if (!dict) coding_detail::throwTypeMismatch(path, "dictionary", entry->second);
    return KeyedDecoder(*dict, path);
}

UnkeyedDecoder KeyedDecoder::nestedUnkeyedContainer(std::string_view key) const {
    const auto* entry = require(key);
    CodingPath path = path_.child(entry->first);
    const PlistArray* array = entry->second.asArray();
    if (!array) coding_detail::throwTypeMismatch(path, "array", entry->second);
    return UnkeyedDecoder(*array, path);
}

DecodingError KeyedDecoder::error(std::string_view key, std::string reason) const {
    return DecodingError(path_.child(key).render(), std::move(reason));
}

const PlistValue& UnkeyedDecoder::next() const {
    if (isAtEnd()) throw DecodingError(path_.child(index_).render(), "no more elements");
    return (*source_)[index_];
}

KeyedDecoder UnkeyedDecoder::nestedContainer() {
    const PlistValue& element = next();
    CodingPath path = path_.child(index_);
    const PlistDictionary* dict = element.asDictionary();
    if (!dict) coding_detail::throwTypeMismatch(path, "dictionary", element);
    ++index_;
    return KeyedDecoder(*dict, path);
}

UnkeyedDecoder UnkeyedDecoder::nestedUnkeyedContainer() {
    const PlistValue& element = next();
    CodingPath path = path_.child(index_);
    const PlistArray* array = element.asArray();
    if (!array) coding_detail::throwTypeMismatch(path, "array", element);
    ++index_;
    return UnkeyedDecoder(*array, path);
}

} // namespace platform

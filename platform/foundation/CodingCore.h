#pragma once
// What keyed coding is made of: coding paths, the coding errors, the concepts a codable type meets and
// the value functions the codings call. Include KeyedCoding.h to code records.

#include "platform/foundation/BinaryPlist.h"
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
    int depth = 0;

    CodingPath child(std::string_view childKey) const {
        return CodingPath{this, childKey, 0, false, depth + 1};
    }
    CodingPath child(std::size_t childIndex) const {
        return CodingPath{this, {}, childIndex, true, depth + 1};
    }
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
concept StreamsPlistCoding = requires(const T& value, BinaryPlistWriter& writer) {
    PlistCoding<T>::write(writer, value);
};

template <typename T>
concept ReadsPlistCoding = requires(const BinaryPlistValue& node, const CodingPath& path) {
    { PlistCoding<T>::read(node, path) } -> std::convertible_to<T>;
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
[[noreturn]] void throwTypeMismatch(const CodingPath& path, std::string_view expected,
                                    PlistValue::Type found);
[[noreturn]] void throwInvalidRawValue(const CodingPath& path, std::string describedValue);
std::string describeRawValue(const std::string& value);
std::string describeRawValue(std::int64_t value);
// An integer, or a real with an integral value inside the 64-bit range.
std::int64_t integerValue(const PlistValue& value, const CodingPath& path);
// A real, or an integer converted.
double realValue(const PlistValue& value, const CodingPath& path);
std::int64_t integerValue(const BinaryPlistValue& value, const CodingPath& path);
double realValue(const BinaryPlistValue& value, const CodingPath& path);
// A container of a binary document at `path`, checked to be of the type and not nested too deeply.
const BinaryPlistValue& binaryContainer(const BinaryPlistValue& value, const CodingPath& path,
                                        PlistValue::Type type);

template <typename T> PlistValue encodeValue(const T& value);
template <typename T> void writeValue(BinaryPlistWriter& writer, const T& value);
template <typename T> T decodeValue(const PlistValue& value, const CodingPath& path);
template <typename T> T decodeValue(const BinaryPlistValue& value, const CodingPath& path);
template <typename T> std::shared_ptr<T> decodeShared(const PlistValue& value, const CodingPath& path);
template <typename T> std::shared_ptr<T> decodeShared(const BinaryPlistValue& value, const CodingPath& path);

} // namespace coding_detail
} // namespace platform

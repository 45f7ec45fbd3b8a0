#include "platform/foundation/PropertyList.h"

#include "platform/foundation/BinaryPlist.h"

#include <plist/plist.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <unordered_map>

// The binary format is read and written here rather than through libplist 2.2: libplist holds a
// date as whole seconds plus microseconds (both directions), so dates would not survive a round
// trip bit for bit, and it has no signed integers. libplist still parses the XML format.

namespace platform {

namespace plist_detail {

// ---- UTF-8 / UTF-16 -------------------------------------------------------------------------

// Decodes one UTF-8 sequence at text[i]; returns the code point and advances i, or returns -1
// (advancing past one byte) for an invalid, overlong or surrogate sequence.
long nextCodePoint(std::string_view text, std::size_t& i) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char c = byte(i);
    if (c < 0x80) {
        ++i;
        return c;
    }
    int extra;
    long cp;
    long minimum;
    if ((c & 0xE0) == 0xC0) {
        extra = 1, cp = c & 0x1F, minimum = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        extra = 2, cp = c & 0x0F, minimum = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        extra = 3, cp = c & 0x07, minimum = 0x10000;
    } else {
        ++i;
        return -1;
    }
    if (i + extra >= text.size()) {
        ++i;
        return -1;
    }
    for (int k = 1; k <= extra; ++k) {
        unsigned char next = byte(i + k);
        if ((next & 0xC0) != 0x80) {
            ++i;
            return -1;
        }
        cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return -1;
    }
    i += extra + 1;
    return cp;
}

void appendUtf16(std::vector<std::uint16_t>& out, long cp) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<std::uint16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<std::uint16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<std::uint16_t>(cp));
    }
}

void appendUtf8(std::string& out, unsigned long cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace plist_detail

namespace {

constexpr std::string_view plistErrorDomain = "platform.propertyList";
// Deeper documents are refused rather than risk the stack; real documents nest a few levels.
constexpr int plistMaxDepth = 512;

Error plistError(std::string message) {
    return Error::make(std::string(plistErrorDomain), std::move(message));
}

// Text from outside (libplist's XML parser) with every invalid sequence replaced by U+FFFD, so
// that every string of a parsed value can be written again.
std::string plistSanitizedUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        long cp = plist_detail::nextCodePoint(text, i);
        plist_detail::appendUtf8(out, cp < 0 ? 0xFFFD : static_cast<unsigned long>(cp));
    }
    return out;
}

// ---- writer ---------------------------------------------------------------------------------

std::uint8_t bplistBytesFor(std::uint64_t value) {
    if (value < (1ull << 8)) return 1;
    if (value < (1ull << 16)) return 2;
    if (value < (1ull << 32)) return 4;
    return 8;
}

class BplistWriter {
public:
    Result<Bytes> run(const PlistValue& root);

private:
    // An object to write: a value of the tree, or a dictionary key (text set, value null).
    struct Object {
        const PlistValue* value;
        const std::string* text;
        std::size_t firstRef; // containers: their references in refs_
    };
    struct ScalarKey {
        std::uint8_t tag;
        std::uint64_t bits;
        bool operator==(const ScalarKey&) const = default;
    };
    struct ScalarKeyHash {
        std::size_t operator()(const ScalarKey& k) const {
            return std::hash<std::uint64_t>()(k.bits * 31 + k.tag);
        }
    };

    std::uint64_t add(const PlistValue& value);
    std::uint64_t addText(const std::string& text, const PlistValue* value);
    std::uint64_t addScalar(ScalarKey key, const PlistValue& value);
    bool writeObject(const Object& object);
    void writeBigEndian(std::uint64_t value, unsigned size);
    void writeMarker(std::uint8_t type, std::uint64_t count);
    void writeInteger(std::int64_t value);
    void writeDouble(std::uint8_t marker, double value);

    std::vector<Object> objects_;
    std::vector<std::uint64_t> refs_;
    std::unordered_map<std::string_view, std::uint64_t> texts_;
    std::unordered_map<ScalarKey, std::uint64_t, ScalarKeyHash> scalars_;
    std::vector<std::uint16_t> utf16_;
    unsigned refSize_ = 1;
    Bytes out_;
    std::string failure_;
};

std::uint64_t BplistWriter::addText(const std::string& text, const PlistValue* value) {
    auto [it, inserted] = texts_.try_emplace(std::string_view(text), objects_.size());
    if (inserted) objects_.push_back({value, &text, 0});
    return it->second;
}

std::uint64_t BplistWriter::addScalar(ScalarKey key, const PlistValue& value) {
    auto [it, inserted] = scalars_.try_emplace(key, objects_.size());
    if (inserted) objects_.push_back({&value, nullptr, 0});
    return it->second;
}

// Numbers objects depth first, a container before its children and a dictionary's keys before
// its values, as the platform's own writer does.
std::uint64_t BplistWriter::add(const PlistValue& value) {
    switch (value.type()) {
    case PlistValue::Type::dictionary: {
        const PlistDictionary& dict = *value.asDictionary();
        std::uint64_t index = objects_.size();
        std::size_t first = refs_.size();
        refs_.resize(first + 2 * dict.size());
        objects_.push_back({&value, nullptr, first});
        std::size_t slot = first;
        for (const auto& entry : dict)
            refs_[slot++] = addText(entry.first, nullptr);
        for (const auto& entry : dict) {
            std::uint64_t child = add(entry.second);
            refs_[slot++] = child;
        }
        return index;
    }
    case PlistValue::Type::array: {
        const PlistArray& array = *value.asArray();
        std::uint64_t index = objects_.size();
        std::size_t first = refs_.size();
        refs_.resize(first + array.size());
        objects_.push_back({&value, nullptr, first});
        for (std::size_t i = 0; i < array.size(); ++i) {
            std::uint64_t child = add(array[i]);
            refs_[first + i] = child;
        }
        return index;
    }
    case PlistValue::Type::string:
        return addText(*value.asString(), &value);
    case PlistValue::Type::real:
        return addScalar({'r', std::bit_cast<std::uint64_t>(*value.asReal())}, value);
    case PlistValue::Type::integer:
        return addScalar({'i', static_cast<std::uint64_t>(*value.asInteger())}, value);
    case PlistValue::Type::boolean:
        return addScalar({'b', *value.asBool() ? 1u : 0u}, value);
    case PlistValue::Type::date:
        return addScalar({'d', std::bit_cast<std::uint64_t>(value.asDate()->timeIntervalSinceReferenceDate)},
                         value);
    case PlistValue::Type::data:
        objects_.push_back({&value, nullptr, 0});
        return objects_.size() - 1;
    }
    return 0;
}

void BplistWriter::writeBigEndian(std::uint64_t value, unsigned size) {
    std::uint8_t bytes[8];
    for (unsigned i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * (size - 1 - i)));
    out_.insert(out_.end(), bytes, bytes + size);
}

void BplistWriter::writeInteger(std::int64_t value) {
    // Negative numbers take all eight bytes: shorter integers are read as unsigned.
    auto u = static_cast<std::uint64_t>(value);
    unsigned size = value < 0 ? 8 : bplistBytesFor(u);
    out_.push_back(static_cast<std::uint8_t>(0x10 | std::countr_zero(size)));
    writeBigEndian(u, size);
}

void BplistWriter::writeMarker(std::uint8_t type, std::uint64_t count) {
    if (count < 15) {
        out_.push_back(static_cast<std::uint8_t>(type | count));
    } else {
        out_.push_back(static_cast<std::uint8_t>(type | 0x0F));
        writeInteger(static_cast<std::int64_t>(count));
    }
}

void BplistWriter::writeDouble(std::uint8_t marker, double value) {
    out_.push_back(marker);
    writeBigEndian(std::bit_cast<std::uint64_t>(value), 8);
}

bool BplistWriter::writeObject(const Object& object) {
    if (object.text) {
        const std::string& text = *object.text;
        bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; });
        if (ascii) {
            writeMarker(0x50, text.size());
            out_.insert(out_.end(), text.begin(), text.end());
            return true;
        }
        utf16_.clear();
        for (std::size_t i = 0; i < text.size();) {
            long cp = plist_detail::nextCodePoint(text, i);
            if (cp < 0) {
                failure_ = "string is not valid UTF-8";
                return false;
            }
            plist_detail::appendUtf16(utf16_, cp);
        }
        writeMarker(0x60, utf16_.size());
        for (std::uint16_t unit : utf16_)
            writeBigEndian(unit, 2);
        return true;
    }
    const PlistValue& value = *object.value;
    switch (value.type()) {
    case PlistValue::Type::dictionary: {
        std::size_t count = value.asDictionary()->size();
        writeMarker(0xD0, count);
        for (std::size_t i = 0; i < 2 * count; ++i)
            writeBigEndian(refs_[object.firstRef + i], refSize_);
        break;
    }
    case PlistValue::Type::array: {
        std::size_t count = value.asArray()->size();
        writeMarker(0xA0, count);
        for (std::size_t i = 0; i < count; ++i)
            writeBigEndian(refs_[object.firstRef + i], refSize_);
        break;
    }
    case PlistValue::Type::string: // written through `text`
        break;
    case PlistValue::Type::real:
        writeDouble(0x23, *value.asReal());
        break;
    case PlistValue::Type::integer:
        writeInteger(*value.asInteger());
        break;
    case PlistValue::Type::boolean:
        out_.push_back(*value.asBool() ? 0x09 : 0x08);
        break;
    case PlistValue::Type::date:
        writeDouble(0x33, value.asDate()->timeIntervalSinceReferenceDate);
        break;
    case PlistValue::Type::data: {
        const Bytes& data = *value.asData();
        writeMarker(0x40, data.size());
        out_.insert(out_.end(), data.begin(), data.end());
        break;
    }
    }
    return true;
}

Result<Bytes> BplistWriter::run(const PlistValue& root) {
    add(root);
    refSize_ = bplistBytesFor(objects_.size());
    out_.reserve(16 + objects_.size() * 12 + refs_.size() * refSize_);
    static constexpr char magic[] = "bplist00";
    out_.insert(out_.end(), magic, magic + 8);
    std::vector<std::uint64_t> offsets(objects_.size());
    for (std::size_t i = 0; i < objects_.size(); ++i) {
        offsets[i] = out_.size();
        if (!writeObject(objects_[i])) return plistError(failure_);
    }
    std::uint64_t tableOffset = out_.size();
    unsigned offsetSize = bplistBytesFor(tableOffset);
    for (std::uint64_t offset : offsets)
        writeBigEndian(offset, offsetSize);
    // Trailer: five unused bytes, the sort version, the two sizes, object count, top object and
    // the offset table's position.
    out_.insert(out_.end(), 6, 0);
    out_.push_back(static_cast<std::uint8_t>(offsetSize));
    out_.push_back(static_cast<std::uint8_t>(refSize_));
    writeBigEndian(objects_.size(), 8);
    writeBigEndian(0, 8);
    writeBigEndian(tableOffset, 8);
    return std::move(out_);
}

// ---- XML through libplist -------------------------------------------------------------------

struct PlistNodeDeleter {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};

std::optional<PlistValue> plistFromLibplist(plist_t node, int depth) {
    if (!node || depth > plistMaxDepth) return std::nullopt;
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        std::uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return PlistValue(value != 0);
    }
    case PLIST_UINT: {
        // libplist keeps every integer as 64 unsigned bits; "-1" arrives as 2^64 - 1.
        std::uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return PlistValue(static_cast<std::int64_t>(value));
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return PlistValue(value);
    }
    case PLIST_STRING: {
        std::uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        return PlistValue(plistSanitizedUtf8(std::string_view(text ? text : "", text ? length : 0)));
    }
    case PLIST_DATE: {
        std::int32_t sec = 0;
        std::int32_t usec = 0;
        plist_get_date_val(node, &sec, &usec);
        return PlistValue(Date{static_cast<double>(sec) + static_cast<double>(usec) / 1e6});
    }
    case PLIST_DATA: {
        std::uint64_t length = 0;
        const char* bytes = plist_get_data_ptr(node, &length);
        const auto* begin = reinterpret_cast<const std::uint8_t*>(bytes);
        return PlistValue(bytes ? Bytes(begin, begin + length) : Bytes{});
    }
    case PLIST_ARRAY: {
        PlistArray array;
        std::uint32_t count = plist_array_get_size(node);
        array.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i) {
            auto item = plistFromLibplist(plist_array_get_item(node, i), depth + 1);
            if (!item) return std::nullopt;
            array.push_back(std::move(*item));
        }
        return PlistValue(std::move(array));
    }
    case PLIST_DICT: {
        PlistDictionary dict;
        plist_dict_iter iter = nullptr;
        plist_dict_new_iter(node, &iter);
        std::unique_ptr<void, decltype(&std::free)> iterOwner(iter, &std::free);
        for (;;) {
            char* key = nullptr;
            plist_t item = nullptr;
            plist_dict_next_item(node, iter, &key, &item);
            std::unique_ptr<char, decltype(&std::free)> keyOwner(key, &std::free);
            if (!item) break;
            auto value = plistFromLibplist(item, depth + 1);
            if (!value || !key) return std::nullopt;
            dict.set(plistSanitizedUtf8(key), std::move(*value));
        }
        return PlistValue(std::move(dict));
    }
    default: // keys as values, UIDs
        return std::nullopt;
    }
}

Result<PlistValue> parseXmlPlist(const std::uint8_t* data, std::size_t size) {
    if (size > std::numeric_limits<std::uint32_t>::max()) return plistError("property list is too large");
    plist_t root = nullptr;
    plist_from_xml(reinterpret_cast<const char*>(data), static_cast<std::uint32_t>(size), &root);
    if (!root) return plistError("malformed XML property list");
    std::unique_ptr<void, PlistNodeDeleter> owner(root);
    auto value = plistFromLibplist(root, 0);
    if (!value) return plistError("unsupported content in XML property list");
    return std::move(*value);
}

} // namespace

Result<Bytes> serializeBinaryPlist(const PlistValue& root) {
    return BplistWriter().run(root);
}

Result<PlistValue> parsePlist(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return plistError("empty property list");
    if (size >= 6 && std::memcmp(data, "bplist", 6) == 0) {
        auto reader = BinaryPlistReader::open(data, size);
        if (!reader) return reader.error();
        try {
            return (*reader)->top().materialize();
        } catch (const BinaryPlistFailure& failure) {
            return plistError(failure.message);
        }
    }
    std::size_t i = 0;
    if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) i = 3; // byte-order mark
    while (i < size && (data[i] == ' ' || data[i] == '\t' || data[i] == '\r' || data[i] == '\n'))
        ++i;
    if (i < size && data[i] == '<') return parseXmlPlist(data + i, size - i);
    return plistError("not a property list");
}

} // namespace platform

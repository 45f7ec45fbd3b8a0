// Reads binary property lists: the trailer and offset table checked first, objects decoded on demand,
// either into values or in place.

#include "platform/foundation/BinaryPlist.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <type_traits>
#include <unordered_map>
#include <utility>

namespace platform {

namespace {

// Deeper documents are refused rather than risk the stack; real documents nest a few levels.
constexpr int binaryPlistMaxDepth = 512;

} // namespace

namespace plist_detail {

Error binaryPlistError(std::string message) {
    return Error::make("platform.propertyList", std::move(message));
}

struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
};

// Texts to numbers, looked up by string_view.
using TextMap = std::unordered_map<std::string, std::uint32_t, TextHash, std::equal_to<>>;

} // namespace plist_detail

// ---- reader ---------------------------------------------------------------------------------

struct BinaryPlistReader::KeyTable {
    // The id of each key object's text (0 until it was looked at), and the ids of texts.
    std::vector<std::uint32_t> byRef;
    plist_detail::TextMap ids;
    // The text of each id, kept by `ids`.
    std::vector<std::string_view> texts{std::string_view()};
    // Per id, the dictionary whose keys were last listed with it: a repeated key shows in one pass.
    std::vector<std::uint32_t> stamps;
    std::uint32_t stamp = 0;
    // The texts asked for last, by where the caller keeps them (mostly literals) and their length.
    struct Wanted {
        const char* data = nullptr;
        std::size_t size = 0;
        std::uint32_t id = 0;
        std::string text;
    };
    Wanted wanted[64];
};

BinaryPlistReader::BinaryPlistReader(const std::uint8_t* data, std::size_t size)
    : data_(data), size_(size), keys_(std::make_unique<KeyTable>()) {}

BinaryPlistReader::~BinaryPlistReader() = default;

void BinaryPlistReader::fail(std::string message) {
    throw BinaryPlistFailure{std::move(message)};
}

Result<std::unique_ptr<BinaryPlistReader>> BinaryPlistReader::open(const std::uint8_t* data,
                                                                   std::size_t size) {
    constexpr std::size_t trailerSize = 32;
    if (size < 8 + 1 + trailerSize)
        return plist_detail::binaryPlistError("binary property list is truncated");
    if (std::memcmp(data, "bplist00", 8) != 0)
        return plist_detail::binaryPlistError("unsupported binary property list version");
    std::unique_ptr<BinaryPlistReader> reader(new BinaryPlistReader(data, size));
    BinaryPlistReader& r = *reader;
    const std::uint64_t trailer = size - trailerSize;
    r.offsetSize_ = data[trailer + 6];
    r.refSize_ = data[trailer + 7];
    r.objectCount_ = r.readBigEndian(trailer + 8, 8);
    r.top_ = r.readBigEndian(trailer + 16, 8);
    r.tableOffset_ = r.readBigEndian(trailer + 24, 8);
    auto validSize = [](unsigned s) { return s == 1 || s == 2 || s == 4 || s == 8; };
    if (!validSize(r.offsetSize_) || !validSize(r.refSize_))
        return plist_detail::binaryPlistError("malformed trailer");
    if (r.objectCount_ == 0 || r.top_ >= r.objectCount_)
        return plist_detail::binaryPlistError("malformed trailer");
    if (r.tableOffset_ < 9 || r.tableOffset_ > trailer ||
        r.objectCount_ > (trailer - r.tableOffset_) / r.offsetSize_)
        return plist_detail::binaryPlistError("offset table out of range");
    r.objectsEnd_ = trailer;
    // Without shared containers every object is read once per reference, and each reference costs at
    // least a byte; allow some sharing on top of that.
    r.budget_ = 2 * static_cast<std::uint64_t>(size) + 1024;
    return reader;
}

std::uint64_t BinaryPlistReader::readBigEndian(std::uint64_t at, unsigned size) const {
    std::uint64_t value = 0;
    for (unsigned i = 0; i < size; ++i)
        value = (value << 8) | data_[at + i];
    return value;
}

std::uint64_t BinaryPlistReader::readUnit(std::uint64_t at, unsigned size) const {
    const std::uint8_t* from = data_ + at;
    switch (size) {
    case 1:
        return from[0];
    case 2:
        return std::uint64_t(from[0]) << 8 | from[1];
    case 4: {
        std::uint32_t unit;
        std::memcpy(&unit, from, 4);
        return std::endian::native == std::endian::little ? __builtin_bswap32(unit) : unit;
    }
    default: {
        std::uint64_t unit;
        std::memcpy(&unit, from, 8);
        return std::endian::native == std::endian::little ? __builtin_bswap64(unit) : unit;
    }
    }
}

// Fails unless `count` units of `unitSize` bytes starting at `at` lie inside the object area.
inline void BinaryPlistReader::need(std::uint64_t at, std::uint64_t count, std::uint64_t unitSize) const {
    std::uint64_t bytes = count;
    if (at > objectsEnd_ || (unitSize != 1 && __builtin_mul_overflow(count, unitSize, &bytes)) ||
        bytes > objectsEnd_ - at)
        fail("object runs past the end of the data");
}

void BinaryPlistReader::spend() const {
    if (budget_ == 0) fail("too many objects");
    --budget_;
}

BinaryPlistReader::Header BinaryPlistReader::header(std::uint64_t ref) const {
    if (ref >= objectCount_) fail("object reference out of range");
    const std::uint64_t offset = readUnit(tableOffset_ + ref * offsetSize_, offsetSize_);
    if (offset < 8 || offset >= objectsEnd_) fail("object offset out of range");
    Header h{data_[offset], 0, offset + 1};
    const unsigned kind = h.marker >> 4;
    switch (kind) {
    case 0x0:
        if (h.marker != 0x08 && h.marker != 0x09) fail("unsupported object type");
        return h;
    case 0x1:
        if ((h.marker & 0x0F) > 4) fail("malformed integer");
        need(h.at, 1u << (h.marker & 0x0F), 1);
        return h;
    case 0x2:
        if (h.marker != 0x22 && h.marker != 0x23) fail("malformed real");
        need(h.at, h.marker == 0x22 ? 4 : 8, 1);
        return h;
    case 0x3:
        if (h.marker != 0x33) fail("malformed date");
        need(h.at, 8, 1);
        return h;
    case 0x4:
    case 0x5:
    case 0x6:
    case 0xA:
    case 0xD: {
        h.count = h.marker & 0x0F;
        if (h.count == 0x0F) {
            need(h.at, 1, 1);
            const std::uint8_t intMarker = data_[h.at++];
            if ((intMarker & 0xF0) != 0x10 || (intMarker & 0x0F) > 3) fail("malformed object length");
            const unsigned size = 1u << (intMarker & 0x0F);
            need(h.at, size, 1);
            h.count = readBigEndian(h.at, size);
            h.at += size;
        }
        const std::uint64_t unit = kind == 0x6 ? 2 : kind == 0xA ? refSize_ : kind == 0xD ? 2 * refSize_ : 1;
        need(h.at, h.count, unit);
        return h;
    }
    default:
        fail("unsupported object type");
    }
}

std::string BinaryPlistReader::text(const Header& h) const {
    std::string out;
    out.reserve(h.count);
    if ((h.marker >> 4) == 0x5) {
        const std::uint8_t* bytes = data_ + h.at;
        if (std::all_of(bytes, bytes + h.count, [](std::uint8_t b) { return b < 0x80; })) {
            out.assign(reinterpret_cast<const char*>(bytes), h.count);
            return out;
        }
        for (std::uint64_t i = 0; i < h.count; ++i)
            plist_detail::appendUtf8(out, bytes[i]); // Latin-1 at worst
        return out;
    }
    for (std::uint64_t i = 0; i < h.count; ++i) {
        unsigned long unit = readBigEndian(h.at + 2 * i, 2);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < h.count) {
            unsigned long next = readBigEndian(h.at + 2 * (i + 1), 2);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                plist_detail::appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
                ++i;
                continue;
            }
        }
        plist_detail::appendUtf8(out, unit >= 0xD800 && unit <= 0xDFFF ? 0xFFFD : unit);
    }
    return out;
}

std::uint32_t BinaryPlistReader::wantedId(std::string_view text) const {
    const auto slot = (reinterpret_cast<std::uintptr_t>(text.data()) >> 3 ^ text.size()) & 63;
    KeyTable::Wanted& wanted = keys_->wanted[slot];
    // The text is compared too: the caller's buffer may hold another text by now.
    if (wanted.data == text.data() && wanted.size == text.size() && wanted.text == text) return wanted.id;
    wanted.data = text.data();
    wanted.size = text.size();
    wanted.text.assign(text);
    return wanted.id = textId(text);
}

std::uint32_t BinaryPlistReader::textId(std::string_view text) const {
    auto found = keys_->ids.find(text);
    if (found != keys_->ids.end()) return found->second;
    const auto id = std::uint32_t(keys_->ids.size() + 1);
    keys_->texts.push_back(keys_->ids.emplace(std::string(text), id).first->first);
    return id;
}

std::string_view BinaryPlistReader::keptText(std::string_view text) const {
    textId(text);
    return keys_->ids.find(text)->first;
}

inline std::uint32_t BinaryPlistReader::keyId(std::uint64_t ref) const {
    if (ref < keys_->byRef.size() && keys_->byRef[ref] != 0) return keys_->byRef[ref];
    return newKeyId(ref);
}

std::uint32_t BinaryPlistReader::newKeyId(std::uint64_t ref) const {
    const Header h = header(ref);
    if ((h.marker >> 4) != 0x5 && (h.marker >> 4) != 0x6) fail("dictionary key is not a string");
    if (keys_->byRef.empty()) keys_->byRef.assign(objectCount_, 0);
    return keys_->byRef[ref] = textId(text(h));
}

PlistValue BinaryPlistReader::materialize(std::uint64_t ref, int depth) const {
    if (depth > binaryPlistMaxDepth) fail("nested too deeply");
    // Shared objects are expanded at each use; a small file must not unfold into a huge tree.
    spend();
    const Header h = header(ref);
    switch (h.marker >> 4) {
    case 0xA:
    case 0xD: {
        const bool isDict = (h.marker >> 4) == 0xD;
        if (active_.empty()) active_.assign(objectCount_, false);
        if (active_[ref]) fail("object contains itself");
        active_[ref] = true;
        PlistValue result;
        if (isDict) {
            std::vector<PlistDictionary::Entry> entries;
            entries.reserve(h.count);
            for (std::uint64_t i = 0; i < h.count; ++i) {
                PlistValue key = materialize(entryRef(h.at, i), depth + 1);
                if (!key.asString()) fail("dictionary key is not a string");
                PlistValue value = materialize(entryRef(h.at, h.count + i), depth + 1);
                entries.emplace_back(std::move(*key.asString()), std::move(value));
            }
            result = PlistDictionary(std::move(entries));
        } else {
            PlistArray array;
            array.reserve(h.count);
            for (std::uint64_t i = 0; i < h.count; ++i)
                array.push_back(materialize(entryRef(h.at, i), depth + 1));
            result = std::move(array);
        }
        active_[ref] = false;
        return result;
    }
    default:
        break;
    }
    const BinaryPlistValue value(*this, ref);
    switch (value.type()) {
    case PlistValue::Type::boolean:
        return *value.asBool();
    case PlistValue::Type::integer:
        return *value.asInteger();
    case PlistValue::Type::real:
        return *value.asReal();
    case PlistValue::Type::date:
        return *value.asDate();
    case PlistValue::Type::data:
        return *value.asData();
    default:
        return *value.asString();
    }
}

// ---- values read in place -------------------------------------------------------------------

BinaryPlistValue::BinaryPlistValue(const BinaryPlistReader& reader, std::uint64_t ref)
    : reader_(&reader), ref_(ref) {
    const BinaryPlistReader::Header h = reader.header(ref);
    marker_ = h.marker;
    count_ = h.count;
    at_ = h.at;
}

BinaryPlistValue BinaryPlistReader::top() const {
    return BinaryPlistValue(*this, top_);
}

PlistValue::Type BinaryPlistValue::type() const {
    switch (kind()) {
    case 0x0:
        return PlistValue::Type::boolean;
    case 0x1:
        return PlistValue::Type::integer;
    case 0x2:
        return PlistValue::Type::real;
    case 0x3:
        return PlistValue::Type::date;
    case 0x4:
        return PlistValue::Type::data;
    case 0x5:
    case 0x6:
        return PlistValue::Type::string;
    case 0xA:
        return PlistValue::Type::array;
    default:
        return PlistValue::Type::dictionary;
    }
}

std::optional<bool> BinaryPlistValue::asBool() const {
    if (kind() != 0x0) return std::nullopt;
    return marker_ == 0x09;
}

std::optional<std::int64_t> BinaryPlistValue::asInteger() const {
    if (kind() != 0x1) return std::nullopt;
    const unsigned size = 1u << (marker_ & 0x0F);
    // 1, 2 and 4 bytes are unsigned; 8 bytes are two's complement.
    if (size <= 8) return static_cast<std::int64_t>(reader_->readUnit(at_, size));
    const std::uint64_t high = reader_->readUnit(at_, 8);
    const std::uint64_t low = reader_->readUnit(at_ + 8, 8);
    const bool fits = (high == 0 && low >> 63 == 0) || (high == ~0ull && low >> 63 == 1);
    if (!fits) BinaryPlistReader::fail("integer out of range");
    return static_cast<std::int64_t>(low);
}

std::optional<double> BinaryPlistValue::asReal() const {
    if (marker_ == 0x22)
        return static_cast<double>(std::bit_cast<float>(std::uint32_t(reader_->readUnit(at_, 4))));
    if (marker_ == 0x23) return std::bit_cast<double>(reader_->readUnit(at_, 8));
    return std::nullopt;
}

std::optional<Date> BinaryPlistValue::asDate() const {
    if (marker_ != 0x33) return std::nullopt;
    return Date{std::bit_cast<double>(reader_->readUnit(at_, 8))};
}

std::optional<std::string_view> BinaryPlistValue::asStringView(std::string& scratch) const {
    if (kind() == 0x5) {
        const auto* bytes = reinterpret_cast<const char*>(reader_->data_ + at_);
        if (std::all_of(bytes, bytes + count_, [](char c) { return (c & 0x80) == 0; }))
            return std::string_view(bytes, count_);
    }
    if (kind() != 0x5 && kind() != 0x6) return std::nullopt;
    scratch = reader_->text(BinaryPlistReader::Header{marker_, count_, at_});
    return std::string_view(scratch);
}

std::optional<std::string> BinaryPlistValue::asString() const {
    if (kind() != 0x5 && kind() != 0x6) return std::nullopt;
    return reader_->text(BinaryPlistReader::Header{marker_, count_, at_});
}

std::optional<Bytes> BinaryPlistValue::asData() const {
    if (kind() != 0x4) return std::nullopt;
    const std::uint8_t* bytes = reader_->data_ + at_;
    return Bytes(bytes, bytes + count_);
}

std::uint64_t BinaryPlistValue::count() const {
    return kind() == 0xA || kind() == 0xD ? count_ : 0;
}

BinaryPlistValue BinaryPlistValue::element(std::uint64_t index) const {
    reader_->spend();
    return BinaryPlistValue(*reader_, reader_->entryRef(at_, index));
}

std::string BinaryPlistValue::keyAt(std::uint64_t index) const {
    const auto key = reader_->header(reader_->entryRef(at_, index));
    if ((key.marker >> 4) != 0x5 && (key.marker >> 4) != 0x6)
        BinaryPlistReader::fail("dictionary key is not a string");
    return reader_->text(key);
}

BinaryPlistValue BinaryPlistValue::valueAt(std::uint64_t index) const {
    reader_->spend();
    return BinaryPlistValue(*reader_, reader_->entryRef(at_, count_ + index));
}

std::optional<BinaryPlistValue> BinaryPlistValue::find(std::string_view key) const {
    if (kind() != 0xD) return std::nullopt;
    const std::uint32_t wanted = reader_->wantedId(key);
    // From the end: the last of repeated keys is the one that counts.
    for (std::uint64_t i = count_; i-- > 0;)
        if (reader_->keyId(reader_->entryRef(at_, i)) == wanted) return valueAt(i);
    return std::nullopt;
}

std::optional<BinaryPlistValue> BinaryPlistValue::find(std::string_view key,
                                                       BinaryPlistKeyIndex& index) const {
    if (kind() != 0xD || count_ > BinaryPlistKeyIndex::capacity) return find(key);
    if (!index.read) {
        index.read = true;
        index.count = std::uint32_t(count_);
        BinaryPlistReader::KeyTable& keys = *reader_->keys_;
        const std::uint32_t stamp = ++keys.stamp;
        for (std::uint32_t i = 0; i < index.count; ++i) {
            const std::uint32_t id = index.ids[i] = reader_->keyId(reader_->entryRef(at_, i));
            if (id >= keys.stamps.size()) keys.stamps.resize(keys.texts.size(), 0);
            index.repeated |= keys.stamps[id] == stamp;
            keys.stamps[id] = stamp;
        }
    }
    // A repeated key must be looked for from the end.
    if (index.repeated) return find(key);
    // The key after the last one found is the likely one: compared by text, nothing to look up.
    if (index.next < index.count && reader_->keys_->texts[index.ids[index.next]] == key) {
        const std::uint32_t i = index.next;
        index.next = i + 1 < index.count ? i + 1 : 0;
        return valueAt(i);
    }
    const std::uint32_t wanted = reader_->wantedId(key);
    for (std::uint32_t probe = 0; probe < index.count; ++probe) {
        std::uint32_t i = index.next + probe;
        if (i >= index.count) i -= index.count;
        if (index.ids[i] == wanted) {
            index.next = i + 1 < index.count ? i + 1 : 0;
            return valueAt(i);
        }
    }
    return std::nullopt;
}

std::string_view BinaryPlistValue::keptKey(std::string_view key) const {
    return reader_->keptText(key);
}

PlistValue BinaryPlistValue::materialize() const {
    return reader_->materialize(ref_, 0);
}

} // namespace platform

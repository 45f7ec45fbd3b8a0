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

Error binaryPlistError(std::string message) {
    return Error::make("platform.propertyList", std::move(message));
}

std::uint8_t binaryPlistBytesFor(std::uint64_t value) {
    if (value < (1ull << 8)) return 1;
    if (value < (1ull << 16)) return 2;
    if (value < (1ull << 32)) return 4;
    return 8;
}

void binaryPlistPutBigEndian(std::uint8_t* to, std::uint64_t value, unsigned size) {
    for (unsigned i = 0; i < size; ++i)
        to[i] = static_cast<std::uint8_t>(value >> (8 * (size - 1 - i)));
}

// `count` numbers of `size` bytes each, big-endian: the references and offsets, which are most of the
// bytes finish() writes, with the size known to the loop.
template <typename Number>
void binaryPlistPutNumbers(std::uint8_t* to, const Number* numbers, std::size_t count, unsigned size) {
    auto put = [&](auto width) {
        constexpr unsigned bytes = decltype(width)::value;
        using Unit = std::conditional_t<
            bytes == 1, std::uint8_t,
            std::conditional_t<bytes == 2, std::uint16_t,
                               std::conditional_t<bytes == 4, std::uint32_t, std::uint64_t>>>;
        for (std::size_t i = 0; i < count; ++i) {
            Unit unit = static_cast<Unit>(numbers[i]);
            if constexpr (std::endian::native == std::endian::little) {
                if constexpr (bytes == 2) unit = __builtin_bswap16(unit);
                if constexpr (bytes == 4) unit = __builtin_bswap32(unit);
                if constexpr (bytes == 8) unit = __builtin_bswap64(unit);
            }
            std::memcpy(to + i * bytes, &unit, bytes);
        }
    };
    switch (size) {
    case 1:
        put(std::integral_constant<unsigned, 1>());
        return;
    case 2:
        put(std::integral_constant<unsigned, 2>());
        return;
    case 4:
        put(std::integral_constant<unsigned, 4>());
        return;
    default:
        put(std::integral_constant<unsigned, 8>());
        return;
    }
}

} // namespace

namespace plist_detail {

struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
};

// Texts to numbers, looked up by string_view.
using TextMap = std::unordered_map<std::string, std::uint32_t, TextHash, std::equal_to<>>;

} // namespace plist_detail

// ---- writer ---------------------------------------------------------------------------------

// Keys by text: open addressing over a power of two of slots, at most half full. Keys are few and short,
// and every record asks for each of its keys again.
struct BinaryPlistWriter::KeyTable {
    struct Slot {
        std::string text;
        std::uint32_t ref = 0;
        bool used = false;
    };
    std::vector<Slot> slots = std::vector<Slot>(64);
    std::size_t used = 0;
    // The keys given last, by where the caller keeps their text (mostly literals): most keys are found
    // here without hashing.
    struct Recent {
        const char* data = nullptr;
        std::size_t size = 0;
        const Slot* slot = nullptr;
    };
    Recent recent[64];
    // Per key object, the dictionary that last listed it: a repeated key shows in one pass.
    std::vector<std::uint32_t> stamps;
    std::uint32_t stamp = 0;

    static std::size_t hash(std::string_view text) {
        std::size_t h = 14695981039346656037ull;
        for (char c : text)
            h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        return h;
    }
    Slot& slot(std::string_view text) {
        const std::size_t mask = slots.size() - 1;
        for (std::size_t i = hash(text) & mask;; i = (i + 1) & mask)
            if (!slots[i].used || slots[i].text == text) return slots[i];
    }
    void grow() {
        std::vector<Slot> old(slots.size() * 2);
        old.swap(slots);
        for (Slot& entry : old)
            if (entry.used) slot(entry.text) = std::move(entry);
        for (Recent& entry : recent)
            entry = Recent{};
    }
};

void BinaryPlistWriter::Free::operator()(std::uint8_t* block) const {
    std::free(block);
}

namespace {

// The working buffers of the last writer of this thread, for the next one: a document saved again and
// again is written into memory that is already there.
struct BinaryPlistWriterBuffers {
    std::uint8_t* out = nullptr;
    std::size_t capacity = 0;
    std::vector<std::uint32_t> offsets;
    std::vector<std::uint32_t> pending;
    ~BinaryPlistWriterBuffers() { std::free(out); }
};

thread_local BinaryPlistWriterBuffers binaryPlistSpareBuffers;

} // namespace

BinaryPlistWriter::BinaryPlistWriter() : keys_(std::make_unique<KeyTable>()) {
    BinaryPlistWriterBuffers& spare = binaryPlistSpareBuffers;
    out_.reset(std::exchange(spare.out, nullptr));
    capacity_ = std::exchange(spare.capacity, 0);
    offsets_.swap(spare.offsets);
    pending_.swap(spare.pending);
    offsets_.clear();
    pending_.clear();
    static constexpr char magic[] = "bplist00";
    std::memcpy(grow(8), magic, 8);
}

BinaryPlistWriter::~BinaryPlistWriter() {
    BinaryPlistWriterBuffers& spare = binaryPlistSpareBuffers;
    if (capacity_ > spare.capacity) {
        std::free(spare.out);
        spare.out = out_.release();
        spare.capacity = capacity_;
    }
    if (offsets_.capacity() > spare.offsets.capacity()) spare.offsets.swap(offsets_);
    if (pending_.capacity() > spare.pending.capacity()) spare.pending.swap(pending_);
}

void BinaryPlistWriter::more(std::size_t bytes) {
    const std::size_t capacity = std::max({std::size_t(1) << 16, 2 * capacity_, size_ + bytes});
    auto* block = static_cast<std::uint8_t*>(std::realloc(out_.get(), capacity));
    if (!block) throw std::bad_alloc();
    (void)out_.release();
    out_.reset(block);
    capacity_ = capacity;
}

std::uint32_t BinaryPlistWriter::beginObject() {
    // Offsets and references are kept in 32 bits; no document comes near.
    if (size_ > 0xFFFFFFFFu || offsets_.size() >= 0xFFFFFFFFu) tooLarge_ = true;
    offsets_.push_back(std::uint32_t(size_));
    return std::uint32_t(offsets_.size() - 1);
}

void BinaryPlistWriter::putReferences(const std::uint32_t* refs, std::size_t count, std::size_t stride) {
    std::uint8_t* to = grow(4 * count);
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t unit = refs[i * stride];
        if constexpr (std::endian::native == std::endian::little) unit = __builtin_bswap32(unit);
        std::memcpy(to + 4 * i, &unit, 4);
    }
}

void BinaryPlistWriter::attach(std::uint32_t ref) {
    if (open_.empty()) {
        // A second top value leaves the document without one.
        top_ = top_ < 0 ? std::int64_t(ref) : -2;
        return;
    }
    pending_.push_back(ref);
}

void BinaryPlistWriter::putInteger(std::int64_t value) {
    // Negative numbers take all eight bytes: shorter integers are read as unsigned.
    const auto bits = static_cast<std::uint64_t>(value);
    const unsigned size = value < 0 ? 8 : binaryPlistBytesFor(bits);
    std::uint8_t* to = grow(1 + size);
    to[0] = static_cast<std::uint8_t>(0x10 | std::countr_zero(size));
    binaryPlistPutBigEndian(to + 1, bits, size);
}

void BinaryPlistWriter::writeMarker(std::uint8_t type, std::uint64_t count) {
    if (count < 15) {
        *grow(1) = static_cast<std::uint8_t>(type | count);
    } else {
        *grow(1) = static_cast<std::uint8_t>(type | 0x0F);
        putInteger(static_cast<std::int64_t>(count));
    }
}

void BinaryPlistWriter::writeBoolean(bool value) {
    std::int64_t& ref = booleans_[value ? 1 : 0];
    if (ref < 0) {
        ref = beginObject();
        *grow(1) = value ? 0x09 : 0x08;
    }
    attach(std::uint32_t(ref));
}

void BinaryPlistWriter::writeInteger(std::int64_t value) {
    const std::uint32_t ref = beginObject();
    putInteger(value);
    attach(ref);
}

void BinaryPlistWriter::writeReal(double value) {
    const std::uint32_t ref = beginObject();
    std::uint8_t* to = grow(9);
    to[0] = 0x23;
    binaryPlistPutBigEndian(to + 1, std::bit_cast<std::uint64_t>(value), 8);
    attach(ref);
}

void BinaryPlistWriter::writeDate(Date value) {
    const std::uint32_t ref = beginObject();
    std::uint8_t* to = grow(9);
    to[0] = 0x33;
    binaryPlistPutBigEndian(to + 1, std::bit_cast<std::uint64_t>(value.timeIntervalSinceReferenceDate), 8);
    attach(ref);
}

std::uint32_t BinaryPlistWriter::stringObject(std::string_view text) {
    const std::uint32_t ref = beginObject();
    const bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; });
    if (ascii) {
        writeMarker(0x50, text.size());
        if (!text.empty()) std::memcpy(grow(text.size()), text.data(), text.size());
        return ref;
    }
    utf16_.clear();
    for (std::size_t i = 0; i < text.size();) {
        long cp = plist_detail::nextCodePoint(text, i);
        if (cp < 0) {
            invalidText_ = true;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            utf16_.push_back(static_cast<std::uint16_t>(0xD800 + (cp >> 10)));
            utf16_.push_back(static_cast<std::uint16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            utf16_.push_back(static_cast<std::uint16_t>(cp));
        }
    }
    writeMarker(0x60, utf16_.size());
    std::uint8_t* to = grow(2 * utf16_.size());
    for (std::size_t i = 0; i < utf16_.size(); ++i)
        binaryPlistPutBigEndian(to + 2 * i, utf16_[i], 2);
    return ref;
}

void BinaryPlistWriter::writeString(std::string_view text) {
    attach(stringObject(text));
}

void BinaryPlistWriter::writeData(const std::uint8_t* bytes, std::size_t size) {
    const std::uint32_t ref = beginObject();
    writeMarker(0x40, size);
    if (size > 0) std::memcpy(grow(size), bytes, size);
    attach(ref);
}

void BinaryPlistWriter::writeValue(const PlistValue& value) {
    switch (value.type()) {
    case PlistValue::Type::dictionary:
        beginDictionary();
        for (const auto& [name, element] : *value.asDictionary()) {
            key(name);
            writeValue(element);
        }
        endDictionary();
        return;
    case PlistValue::Type::array:
        beginArray();
        for (const PlistValue& element : *value.asArray())
            writeValue(element);
        endArray();
        return;
    case PlistValue::Type::string:
        writeString(*value.asString());
        return;
    case PlistValue::Type::real:
        writeReal(*value.asReal());
        return;
    case PlistValue::Type::integer:
        writeInteger(*value.asInteger());
        return;
    case PlistValue::Type::boolean:
        writeBoolean(*value.asBool());
        return;
    case PlistValue::Type::date:
        writeDate(*value.asDate());
        return;
    case PlistValue::Type::data: {
        const Bytes& data = *value.asData();
        writeData(data.data(), data.size());
        return;
    }
    }
}

void BinaryPlistWriter::beginDictionary() {
    open_.push_back({true, pending_.size()});
}

void BinaryPlistWriter::beginArray() {
    open_.push_back({false, pending_.size()});
}

void BinaryPlistWriter::key(std::string_view text) {
    KeyTable::Recent& recent =
        keys_->recent[(reinterpret_cast<std::uintptr_t>(text.data()) >> 3 ^ text.size()) & 63];
    // The text is compared too: the caller's buffer may hold another key by now.
    if (recent.data == text.data() && recent.size == text.size() && recent.slot->text == text) {
        pending_.push_back(recent.slot->ref);
        return;
    }
    KeyTable::Slot* slot = &keys_->slot(text);
    if (!slot->used) {
        if (2 * (keys_->used + 1) > keys_->slots.size()) {
            keys_->grow();
            slot = &keys_->slot(text);
        }
        slot->text = std::string(text);
        slot->ref = stringObject(text);
        slot->used = true;
        ++keys_->used;
        keys_->stamps.resize(slot->ref + 1, 0);
    }
    recent = {text.data(), text.size(), slot};
    pending_.push_back(slot->ref);
}

void BinaryPlistWriter::endDictionary() {
    endContainer(true);
}

void BinaryPlistWriter::endArray() {
    endContainer(false);
}

void BinaryPlistWriter::endContainer(bool dictionary) {
    if (open_.empty() || open_.back().dictionary != dictionary) {
        top_ = -2; // unbalanced: no document
        return;
    }
    const std::size_t first = open_.back().first;
    open_.pop_back();
    const std::size_t entries = pending_.size() - first;
    std::uint32_t ref;
    if (!dictionary) {
        ref = beginObject();
        writeMarker(0xA0, entries);
        putReferences(pending_.data() + first, entries, 1);
    } else {
        // Pairs of key and value. Keys are shared objects, so a repeated key is a repeated reference: it
        // keeps its first place and takes the last value.
        const std::size_t count = entries / 2;
        const std::uint32_t* pairs = pending_.data() + first;
        const std::uint32_t stamp = ++keys_->stamp;
        bool repeated = false;
        for (std::size_t i = 0; i < count; ++i) {
            std::uint32_t& seen = keys_->stamps[pairs[2 * i]];
            repeated |= seen == stamp;
            seen = stamp;
        }
        ref = beginObject();
        if (!repeated) {
            writeMarker(0xD0, count);
            putReferences(pairs, count, 2);
            putReferences(pairs + 1, count, 2);
        } else {
            kept_.clear();
            for (std::size_t i = 0; i < count; ++i) {
                const auto known = std::find(kept_.begin(), kept_.end(), pairs[2 * i]) - kept_.begin();
                if (std::size_t(known) == kept_.size()) kept_.push_back(pairs[2 * i]);
            }
            const std::size_t keys = kept_.size();
            kept_.resize(2 * keys);
            for (std::size_t i = 0; i < count; ++i)
                kept_[keys + std::size_t(std::find(kept_.begin(), kept_.begin() + std::ptrdiff_t(keys),
                                                   pairs[2 * i]) -
                                         kept_.begin())] = pairs[2 * i + 1];
            writeMarker(0xD0, keys);
            putReferences(kept_.data(), 2 * keys, 1);
        }
    }
    pending_.resize(first);
    attach(ref);
}

Result<Bytes> BinaryPlistWriter::finish() {
    if (invalidText_) return binaryPlistError("string is not valid UTF-8");
    if (tooLarge_) return binaryPlistError("the document is too large");
    if (!open_.empty() || top_ < 0) return binaryPlistError("the document is not one value");
    const std::uint64_t tableOffset = size_;
    const unsigned offsetSize = binaryPlistBytesFor(tableOffset);
    binaryPlistPutNumbers(grow(offsets_.size() * offsetSize), offsets_.data(), offsets_.size(), offsetSize);
    // Trailer: five unused bytes, the sort version, the two sizes, object count, top object and the
    // offset table's position.
    std::uint8_t* trailer = grow(32);
    std::memset(trailer, 0, 6);
    trailer[6] = static_cast<std::uint8_t>(offsetSize);
    trailer[7] = 4;
    binaryPlistPutBigEndian(trailer + 8, offsets_.size(), 8);
    binaryPlistPutBigEndian(trailer + 16, std::uint64_t(top_), 8);
    binaryPlistPutBigEndian(trailer + 24, tableOffset, 8);
    return Bytes(out_.get(), out_.get() + size_);
}

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
    if (size < 8 + 1 + trailerSize) return binaryPlistError("binary property list is truncated");
    if (std::memcmp(data, "bplist00", 8) != 0)
        return binaryPlistError("unsupported binary property list version");
    std::unique_ptr<BinaryPlistReader> reader(new BinaryPlistReader(data, size));
    BinaryPlistReader& r = *reader;
    const std::uint64_t trailer = size - trailerSize;
    r.offsetSize_ = data[trailer + 6];
    r.refSize_ = data[trailer + 7];
    r.objectCount_ = r.readBigEndian(trailer + 8, 8);
    r.top_ = r.readBigEndian(trailer + 16, 8);
    r.tableOffset_ = r.readBigEndian(trailer + 24, 8);
    auto validSize = [](unsigned s) { return s == 1 || s == 2 || s == 4 || s == 8; };
    if (!validSize(r.offsetSize_) || !validSize(r.refSize_)) return binaryPlistError("malformed trailer");
    if (r.objectCount_ == 0 || r.top_ >= r.objectCount_) return binaryPlistError("malformed trailer");
    if (r.tableOffset_ < 9 || r.tableOffset_ > trailer ||
        r.objectCount_ > (trailer - r.tableOffset_) / r.offsetSize_)
        return binaryPlistError("offset table out of range");
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

// Writes binary property lists: objects are appended as they come, keys and texts shared, and the
// offset table and trailer written at the end.

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
        plist_detail::appendUtf16(utf16_, cp);
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
    if (invalidText_) return plist_detail::binaryPlistError("string is not valid UTF-8");
    if (tooLarge_) return plist_detail::binaryPlistError("the document is too large");
    if (!open_.empty() || top_ < 0) return plist_detail::binaryPlistError("the document is not one value");
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

} // namespace platform

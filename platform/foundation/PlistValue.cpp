#include "platform/foundation/PlistValue.h"

#include <functional>

namespace platform {

namespace {

// Dictionaries up to this size are scanned: the records of a document have a dozen keys, and a
// scan of those is as quick as hashing a key.
constexpr std::size_t plistScannedKeys = 16;

thread_local std::uint64_t plistComparisons = 0;

bool plistSameKey(const std::string& stored, std::string_view wanted) {
    ++plistComparisons;
    return stored == wanted;
}

} // namespace

std::uint64_t plistKeyComparisons() {
    return plistComparisons;
}

PlistDictionary::PlistDictionary(std::initializer_list<Entry> entries) {
    reserve(entries.size());
    for (const Entry& entry : entries)
        set(entry.first, entry.second);
}

PlistDictionary::PlistDictionary(std::vector<Entry> entries) {
    reserve(entries.size());
    for (Entry& entry : entries)
        set(std::move(entry.first), std::move(entry.second));
}

void PlistDictionary::reserve(std::size_t count) {
    entries_.reserve(count);
}

std::size_t PlistDictionary::position(std::string_view key) const {
    if (index_.empty()) {
        for (std::size_t i = 0; i < entries_.size(); ++i)
            if (plistSameKey(entries_[i].first, key)) return i;
        return notFound;
    }
    const std::size_t mask = index_.size() - 1;
    for (std::size_t slot = std::hash<std::string_view>()(key) & mask;; slot = (slot + 1) & mask) {
        const std::uint32_t stored = index_[slot];
        if (stored == 0) return notFound;
        if (plistSameKey(entries_[stored - 1].first, key)) return stored - 1;
    }
}

void PlistDictionary::indexEntry(std::size_t position) {
    const std::size_t mask = index_.size() - 1;
    std::size_t slot = std::hash<std::string_view>()(entries_[position].first) & mask;
    while (index_[slot] != 0)
        slot = (slot + 1) & mask;
    index_[slot] = static_cast<std::uint32_t>(position + 1);
}

void PlistDictionary::rebuildIndex() {
    index_.clear();
    if (entries_.size() <= plistScannedKeys) return;
    index_.assign(std::bit_ceil(entries_.size() * 2), 0);
    for (std::size_t i = 0; i < entries_.size(); ++i)
        indexEntry(i);
}

const PlistValue* PlistDictionary::find(std::string_view key) const {
    const std::size_t at = position(key);
    return at == notFound ? nullptr : &entries_[at].second;
}

PlistValue* PlistDictionary::find(std::string_view key) {
    const std::size_t at = position(key);
    return at == notFound ? nullptr : &entries_[at].second;
}

PlistValue& PlistDictionary::set(std::string key, PlistValue value) {
    if (PlistValue* existing = find(key)) {
        *existing = std::move(value);
        return *existing;
    }
    return append(std::move(key), std::move(value));
}

PlistValue& PlistDictionary::append(std::string key, PlistValue value) {
    entries_.emplace_back(std::move(key), std::move(value));
    if (entries_.size() > plistScannedKeys) {
        if (entries_.size() * 2 > index_.size())
            rebuildIndex();
        else
            indexEntry(entries_.size() - 1);
    }
    return entries_.back().second;
}

bool PlistDictionary::remove(std::string_view key) {
    const std::size_t at = position(key);
    if (at == notFound) return false;
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(at));
    rebuildIndex();
    return true;
}

bool operator==(const PlistDictionary& a, const PlistDictionary& b) {
    return a.entries_ == b.entries_;
}

bool operator==(const PlistValue& a, const PlistValue& b) {
    return a.storage_ == b.storage_;
}

const PlistValue* PlistValue::find(std::string_view key) const {
    const PlistDictionary* dict = asDictionary();
    return dict ? dict->find(key) : nullptr;
}

const PlistValue* PlistValue::at(std::size_t index) const {
    const Array* array = asArray();
    return array && index < array->size() ? &(*array)[index] : nullptr;
}

std::string_view plistTypeName(PlistValue::Type type) {
    switch (type) {
    case PlistValue::Type::dictionary:
        return "dictionary";
    case PlistValue::Type::array:
        return "array";
    case PlistValue::Type::string:
        return "string";
    case PlistValue::Type::real:
        return "real";
    case PlistValue::Type::integer:
        return "integer";
    case PlistValue::Type::boolean:
        return "boolean";
    case PlistValue::Type::date:
        return "date";
    case PlistValue::Type::data:
        return "data";
    }
    return "unknown";
}

} // namespace platform

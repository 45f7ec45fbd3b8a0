#pragma once
// The binary property-list format ("bplist00") written and read without a value tree: the keyed coder
// streams records into a BinaryPlistWriter and decodes them from a BinaryPlistReader, which reads each
// value where it lies in the bytes. Both live on the stack of the one thread that uses them.

#include "platform/foundation/Date.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PlistValue.h"
#include "platform/foundation/Result.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Malformed binary input met while reading; the coder's entry points turn it into an error result.
struct BinaryPlistFailure {
    std::string message;
};

// Writes values as they come, each object straight into the output once it is complete: a container when
// it closes, after its contents, with references of four bytes (the format lets a writer choose). Dictionary
// keys, and the two booleans, are stored once and shared by reference. A key given twice in one dictionary
// keeps its first place and takes the last value.
class BinaryPlistWriter {
public:
    BinaryPlistWriter();
    ~BinaryPlistWriter();
    BinaryPlistWriter(const BinaryPlistWriter&) = delete;
    BinaryPlistWriter& operator=(const BinaryPlistWriter&) = delete;

    // Each value goes into the open container (after its key in a dictionary), or becomes the top value.
    void writeBoolean(bool value);
    void writeInteger(std::int64_t value);
    void writeReal(double value);
    void writeDate(Date value);
    // Text that is not valid UTF-8 makes finish() fail.
    void writeString(std::string_view text);
    void writeData(const std::uint8_t* bytes, std::size_t size);
    void writeValue(const PlistValue& value);

    void beginDictionary();
    void key(std::string_view text);
    void endDictionary();
    void beginArray();
    void endArray();

    // The document; fails for text that was not UTF-8 and for a writer left without exactly one top value.
    Result<Bytes> finish();

private:
    struct Container {
        bool dictionary = false;
        std::size_t first = 0; // its first entry in pending_
    };
    struct KeyTable;
    struct Free {
        void operator()(std::uint8_t* block) const;
    };

    std::uint32_t beginObject();
    void attach(std::uint32_t ref);
    // Room for `bytes` more bytes of the document.
    std::uint8_t* grow(std::size_t bytes) {
        if (size_ + bytes > capacity_) more(bytes);
        std::uint8_t* at = out_.get() + size_;
        size_ += bytes;
        return at;
    }
    void more(std::size_t bytes);
    void putReferences(const std::uint32_t* refs, std::size_t count, std::size_t stride);
    void writeMarker(std::uint8_t type, std::uint64_t count);
    void putInteger(std::int64_t value);
    std::uint32_t stringObject(std::string_view text);
    void endContainer(bool dictionary);

    // The document so far, in a block that realloc grows: large blocks move without being copied or
    // touched again.
    std::unique_ptr<std::uint8_t, Free> out_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    std::vector<std::uint32_t> offsets_;
    // Open containers, and the references their entries collected so far (key, value pairs in a dictionary).
    std::vector<Container> open_;
    std::vector<std::uint32_t> pending_;
    std::vector<std::uint32_t> kept_;
    std::unique_ptr<KeyTable> keys_;
    std::int64_t booleans_[2] = {-1, -1};
    std::int64_t top_ = -1;
    bool invalidText_ = false;
    bool tooLarge_ = false;
    std::vector<std::uint16_t> utf16_;
};

class BinaryPlistReader;

// What a decoder keeps of one dictionary between look-ups: the ids of its keys, read once, and where the
// last key was found. Records are read in the order they were written, so the next key asked for is
// usually the next one stored.
struct BinaryPlistKeyIndex {
    static constexpr std::size_t capacity = 24;
    std::uint32_t ids[capacity];
    std::uint32_t count = 0;
    std::uint32_t next = 0;
    bool read = false;
    bool repeated = false;
};

// One value of a binary property list, read in place. A small handle: valid while its reader lives.
// Every read that meets malformed bytes throws BinaryPlistFailure.
class BinaryPlistValue {
public:
    PlistValue::Type type() const;
    std::optional<bool> asBool() const;
    std::optional<std::int64_t> asInteger() const;
    std::optional<double> asReal() const;
    std::optional<Date> asDate() const;
    // Strings and data; nullopt for values of another type.
    std::optional<std::string> asString() const;
    // A string as it lies in the document when it is ASCII, else converted into `scratch`.
    std::optional<std::string_view> asStringView(std::string& scratch) const;
    std::optional<Bytes> asData() const;

    // Arrays and dictionaries: their number of entries (0 for other types).
    std::uint64_t count() const;
    BinaryPlistValue element(std::uint64_t index) const;
    std::string keyAt(std::uint64_t index) const;
    BinaryPlistValue valueAt(std::uint64_t index) const;
    // A dictionary's value under `key`: the last one when a writer repeated the key, as PlistDictionary
    // keeps it. Not found for values of another type.
    std::optional<BinaryPlistValue> find(std::string_view key) const;
    // The same, helped by an index the caller keeps for this dictionary.
    std::optional<BinaryPlistValue> find(std::string_view key, BinaryPlistKeyIndex& index) const;
    // A copy of `key` that lives as long as the reader, for coding paths that outlive the caller's text.
    std::string_view keptKey(std::string_view key) const;

    // The value as a tree, with the checks parsePlist makes.
    PlistValue materialize() const;

private:
    friend class BinaryPlistReader;
    // Reads the object's marker and extent once; every accessor works from them.
    BinaryPlistValue(const BinaryPlistReader& reader, std::uint64_t ref);
    unsigned kind() const { return marker_ >> 4; }

    const BinaryPlistReader* reader_;
    std::uint64_t ref_;
    std::uint64_t count_; // entries, characters or bytes
    std::uint64_t at_;    // where the payload starts
    std::uint8_t marker_;
};

// The objects of a binary property list over bytes that outlive it. Keeps no copy of them.
class BinaryPlistReader {
public:
    // Checks the header, the trailer and the offset table.
    static Result<std::unique_ptr<BinaryPlistReader>> open(const std::uint8_t* data, std::size_t size);
    ~BinaryPlistReader();

    BinaryPlistValue top() const;

private:
    friend class BinaryPlistValue;
    struct KeyTable;
    struct Header {
        std::uint8_t marker;
        std::uint64_t count; // entries, characters or bytes
        std::uint64_t at;    // where the payload starts
    };

    BinaryPlistReader(const std::uint8_t* data, std::size_t size);
    [[noreturn]] static void fail(std::string message);
    std::uint64_t readBigEndian(std::uint64_t at, unsigned size) const;
    // Sizes of 1, 2, 4 or 8 bytes, the ones references and offsets take.
    std::uint64_t readUnit(std::uint64_t at, unsigned size) const;
    void need(std::uint64_t at, std::uint64_t count, std::uint64_t unitSize) const;
    Header header(std::uint64_t ref) const;
    // Counts against the budget of objects one document may unfold into.
    void spend() const;
    std::uint64_t entryRef(std::uint64_t at, std::uint64_t index) const {
        return readUnit(at + index * refSize_, refSize_);
    }
    std::string text(const Header& object) const;
    std::uint32_t keyId(std::uint64_t ref) const;
    std::uint32_t newKeyId(std::uint64_t ref) const;
    std::uint32_t textId(std::string_view text) const;
    // textId through a small cache of the texts asked for last: decoders ask for the same keys, record
    // after record.
    std::uint32_t wantedId(std::string_view text) const;
    std::string_view keptText(std::string_view text) const;
    PlistValue materialize(std::uint64_t ref, int depth) const;

    const std::uint8_t* data_;
    std::size_t size_;
    unsigned offsetSize_ = 0;
    unsigned refSize_ = 0;
    std::uint64_t objectCount_ = 0;
    std::uint64_t top_ = 0;
    std::uint64_t tableOffset_ = 0;
    std::uint64_t objectsEnd_ = 0;
    mutable std::uint64_t budget_ = 0;
    mutable std::vector<bool> active_;
    std::unique_ptr<KeyTable> keys_;
};

// UTF-8 helpers shared by the two writers and the readers of the format.
namespace plist_detail {
// The code point at text[i], advancing i; -1 (advancing one byte) for an invalid sequence.
long nextCodePoint(std::string_view text, std::size_t& i);
void appendUtf8(std::string& out, unsigned long codePoint);
// Appends the code point's UTF-16 units (a surrogate pair above the basic plane).
void appendUtf16(std::vector<std::uint16_t>& out, long codePoint);
// The error both the reader and the writer report, under one domain.
Error binaryPlistError(std::string message);
} // namespace plist_detail

} // namespace platform

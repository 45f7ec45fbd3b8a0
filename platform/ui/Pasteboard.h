#pragma once
// The pasteboard (the clipboard) and the items that it and drags carry.

#include "platform/foundation/Files.h"
#include "platform/foundation/Url.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class QMimeData;

namespace platform {

// The type names items are keyed by, as the platform names them.
namespace PasteboardType {
inline constexpr std::string_view string = "public.utf8-plain-text";
// A file URL as its text ("file:///a/b.mp3").
inline constexpr std::string_view fileUrl = "public.file-url";
// Any URL as its text.
inline constexpr std::string_view url = "public.url";
// Plain data; the playlist drags row indexes under it.
inline constexpr std::string_view data = "public.data";
} // namespace PasteboardType

// One item of the pasteboard or of a drag: a value for each of several types. A value; any thread.
class PasteboardItem {
public:
    // Replaces the value for the type.
    void setData(std::string_view type, Bytes data);
    void setString(std::string_view type, std::string_view text);
    std::optional<Bytes> data(std::string_view type) const;
    // The value as UTF-8 text.
    std::optional<std::string> string(std::string_view type) const;
    // The types in the order they were first set.
    std::vector<std::string> types() const;

    friend bool operator==(const PasteboardItem&, const PasteboardItem&) = default;

private:
    std::vector<std::pair<std::string, Bytes>> values_;
};

// The general pasteboard. Main thread only.
class Pasteboard {
public:
    virtual ~Pasteboard() = default;

    virtual void clearContents() = 0;
    // Replaces the contents with the items.
    virtual void writeItems(std::vector<PasteboardItem> items) = 0;
    virtual std::vector<PasteboardItem> items() const = 0;

    // Shorthands. Each set… replaces the contents.
    void setString(std::string_view text);
    // The first item's plain text.
    std::optional<std::string> string() const;
    // One item per URL.
    void setFileUrls(const std::vector<Url>& urls);
    // The file URL of every item that has one, in item order.
    std::vector<Url> fileUrls() const;
    void setData(std::string_view type, Bytes data);
    // The value of the first item that has the type.
    std::optional<Bytes> data(std::string_view type) const;
};

// The system clipboard through Qt. Main thread only.
class QtPasteboard final : public Pasteboard {
public:
    void clearContents() override;
    void writeItems(std::vector<PasteboardItem> items) override;
    std::vector<PasteboardItem> items() const override;
};

// The Qt form of items, for the clipboard and for drags. Plain text goes under "text/plain" (the
// items' texts one per line) and URLs under "text/uri-list", so other programs can read them; the
// items themselves, with every type, go under the private "application/x-vantle-pasteboard-items".
std::unique_ptr<QMimeData> makeMimeData(const std::vector<PasteboardItem>& items);
// Items back from Qt's form: the private items when present, else one item per URL of the URI
// list (a file URL under both URL types), the plain text on the first.
std::vector<PasteboardItem> pasteboardItems(const QMimeData& mimeData);

inline constexpr std::string_view pasteboardItemsMimeType = "application/x-vantle-pasteboard-items";

} // namespace platform

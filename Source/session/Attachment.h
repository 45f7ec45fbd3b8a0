#pragma once
// A side document of a playlist entry: a file and a tag that selects its viewer. A reference
// object: lists hold std::shared_ptr<Attachment>, and its button (made by the views) belongs to
// the object. Main thread only.

#include "platform/foundation/KeyedCoding.h"
#include "platform/foundation/Url.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantle {

class Attachment {
public:
    Attachment(platform::Url url, std::string tag);
    // Decodes "url" then "tag"; both required.
    explicit Attachment(const platform::KeyedDecoder& decoder);
    Attachment(const Attachment&) = delete;
    Attachment& operator=(const Attachment&) = delete;

    platform::Url url;
    std::string tag;

    // The button's title: the text in parentheses of the file name, else the tag.
    std::string buttonTitle() const;
    // The button's tool tip: the file name.
    std::string toolTip() const;

    // "url" (the session document's URL coding) then "tag".
    void encode(platform::KeyedEncoder& encoder) const;

    // Equal when the files are; the tag does not count.
    friend bool operator==(const Attachment& a, const Attachment& b) { return a.url == b.url; }
};

// The text between the first "(" and the last ")" of a file name (possibly empty), or nothing.
std::optional<std::string> tagFromFileName(std::string_view name);

// The attachment list stored under `key`, record by record: a malformed record drops only
// itself; a missing key or a value that is not a list gives an empty list.
std::vector<std::shared_ptr<Attachment>> decodeAttachments(const platform::KeyedDecoder& decoder,
                                                           std::string_view key);

} // namespace vantle

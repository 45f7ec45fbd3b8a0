#include "Source/session/UrlCoding.h"

#include <string>

namespace platform {

PlistValue PlistCoding<Url>::encode(const Url& url) {
    if (url.isEmpty()) throw EncodingError("empty URL");
    return PlistDictionary{{"relative", url.absoluteString()}};
}

Url PlistCoding<Url>::decode(const PlistValue& value, const CodingPath& path) {
    const std::string* text = value.asString();
    CodingPath textPath = path;
    if (!text) {
        const PlistDictionary* dict = value.asDictionary();
        if (!dict) coding_detail::throwTypeMismatch(path, "URL", value);
        const PlistValue* relative = dict->find("relative");
        if (!relative) throw DecodingError(path.render(), "URL without \"relative\"");
        textPath = path.child("relative");
        text = relative->asString();
        if (!text) coding_detail::throwTypeMismatch(textPath, "string", *relative);
    }
    // Only absolute file URLs are ever written; a relative reference has nothing to resolve against.
    if (auto url = Url::fromAbsoluteString(*text)) return *url;
    throw DecodingError(textPath.render(), "not a file URL: " + *text);
}

} // namespace platform

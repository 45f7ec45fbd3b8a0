#include "Source/session/UrlCoding.h"

#include <string>

namespace platform {

namespace {

// Only absolute file URLs are ever written; a relative reference has nothing to resolve against.
Url urlFromText(std::string_view text, const CodingPath& path) {
    if (auto url = Url::fromAbsoluteString(text)) return *url;
    throw DecodingError(path.render(), "not a file URL: " + std::string(text));
}

} // namespace

PlistValue PlistCoding<Url>::encode(const Url& url) {
    if (url.isEmpty()) throw EncodingError("empty URL");
    return PlistDictionary{{"relative", url.absoluteString()}};
}

void PlistCoding<Url>::write(BinaryPlistWriter& writer, const Url& url) {
    if (url.isEmpty()) throw EncodingError("empty URL");
    writer.beginDictionary();
    writer.key("relative");
    writer.writeString(url.absoluteString());
    writer.endDictionary();
}

Url PlistCoding<Url>::decode(const PlistValue& value, const CodingPath& path) {
    const std::string* text = value.asString();
    if (text) return urlFromText(*text, path);
    const PlistDictionary* dict = value.asDictionary();
    if (!dict) coding_detail::throwTypeMismatch(path, "URL", value);
    const PlistValue* relative = dict->find("relative");
    if (!relative) throw DecodingError(path.render(), "URL without \"relative\"");
    const CodingPath textPath = path.child("relative");
    text = relative->asString();
    if (!text) coding_detail::throwTypeMismatch(textPath, "string", *relative);
    return urlFromText(*text, textPath);
}

Url PlistCoding<Url>::read(const BinaryPlistValue& value, const CodingPath& path) {
    std::string scratch;
    const PlistValue::Type type = value.type();
    if (type == PlistValue::Type::string) return urlFromText(*value.asStringView(scratch), path);
    if (type != PlistValue::Type::dictionary) coding_detail::throwTypeMismatch(path, "URL", type);
    const auto relative = value.find("relative");
    if (!relative) throw DecodingError(path.render(), "URL without \"relative\"");
    const CodingPath textPath = path.child("relative");
    const auto text = relative->asStringView(scratch);
    if (!text) coding_detail::throwTypeMismatch(textPath, "string", relative->type());
    return urlFromText(*text, textPath);
}

} // namespace platform

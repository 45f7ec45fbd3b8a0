#pragma once
// File URLs in stored records, written the way the platform's property-list encoder writes a URL:
// a dictionary {"relative": "file:///…"}. A plain URL string is read as well. Any thread.

#include "platform/foundation/KeyedCoding.h"
#include "platform/foundation/Url.h"

template <> struct platform::PlistCoding<platform::Url> {
    static PlistValue encode(const Url& url);
    // A dictionary with an absolute "relative" URL string, or that string alone. Anything that is
    // not a file URL is a decoding error.
    static Url decode(const PlistValue& value, const CodingPath& path);
    // The same, straight to and from a binary document.
    static void write(BinaryPlistWriter& writer, const Url& url);
    static Url read(const BinaryPlistValue& value, const CodingPath& path);
};

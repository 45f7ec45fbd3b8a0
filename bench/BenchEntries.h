#pragma once
// Playlist entries for the session benchmarks, made as a document read from disk makes them (no file is
// opened).

#include "Source/session/PlaylistEntry.h"
#include "Source/session/UrlCoding.h"
#include "platform/foundation/PropertyList.h"

#include <memory>
#include <string>

namespace benchentries {

// The entry of the file at `path`, with nothing heard yet.
inline std::shared_ptr<vantle::PlaylistEntry> decodedEntry(const std::string& path) {
    platform::PlistDictionary record{
        {"_url",
         platform::PlistDictionary{{"relative", platform::Url::fileURLWithPath(path).absoluteString()}}},
        {"prevTimeRangeSet", platform::PlistDictionary{{"ranges", platform::PlistArray{}}}}};
    return platform::decodePlistValue<std::shared_ptr<vantle::PlaylistEntry>>(platform::PlistValue(record))
        .value();
}

} // namespace benchentries

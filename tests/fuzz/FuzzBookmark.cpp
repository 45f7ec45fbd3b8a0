// Bookmarks: a resolved bookmark is always a file URL with a path.

#include "Source/session/Bookmark.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto url = vantle::resolveBookmark(platform::Bytes(data, data + size));
    if (url && (url->isEmpty() || !url->isFileURL() || url->path().empty())) std::abort();
    return 0;
}

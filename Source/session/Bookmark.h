#pragma once
// Bookmarks of audio files: what an entry stores so the player can find a moved file again.
// Any thread; no shared state.

#include "platform/foundation/Files.h"
#include "platform/foundation/Url.h"

#include <optional>

namespace vantle {

// A bookmark is a small binary property list {"path", "device", "inode"} describing the file.
// Nothing when the file does not exist.
std::optional<platform::Bytes> makeBookmark(const platform::Url& url);

// The bookmarked file: its path while that still exists, else the file with the same device and
// inode in the same folder (a renamed file), else nothing. Data that is not a bookmark gives
// nothing.
std::optional<platform::Url> resolveBookmark(const platform::Bytes& bookmark);

} // namespace vantle

#include "Source/session/Bookmark.h"

#include "platform/foundation/PropertyList.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <system_error>

namespace vantle {

namespace {

struct BookmarkFileId {
    std::int64_t device = 0;
    std::int64_t inode = 0;
    friend bool operator==(const BookmarkFileId&, const BookmarkFileId&) = default;
};

std::optional<BookmarkFileId> bookmarkFileId(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return BookmarkFileId{static_cast<std::int64_t>(info.st_dev), static_cast<std::int64_t>(info.st_ino)};
}

} // namespace

std::optional<platform::Bytes> makeBookmark(const platform::Url& url) {
    if (!url.isFileURL()) return std::nullopt;
    std::optional<BookmarkFileId> id = bookmarkFileId(url.path());
    if (!id) return std::nullopt;
    platform::PlistDictionary record{{"path", url.path()}, {"device", id->device}, {"inode", id->inode}};
    platform::Result<platform::Bytes> bytes = platform::serializeBinaryPlist(record);
    if (!bytes) return std::nullopt;
    return std::move(bytes).value();
}

std::optional<platform::Url> resolveBookmark(const platform::Bytes& bookmark) {
    platform::Result<platform::PlistValue> tree = platform::parsePlist(bookmark);
    if (!tree) return std::nullopt;
    const platform::PlistValue* path = tree->find("path");
    const platform::PlistValue* device = tree->find("device");
    const platform::PlistValue* inode = tree->find("inode");
    if (!path || !path->asString() || path->asString()->empty() || path->asString()->front() != '/')
        return std::nullopt;
    const std::string& filePath = *path->asString();
    // The system would see the path cut at a NUL byte, which names another file or none.
    if (filePath.find('\0') != std::string::npos) return std::nullopt;
    if (platform::fileExists(filePath)) return platform::Url::fileURLWithPath(filePath);

    if (!device || !inode || !device->asInteger() || !inode->asInteger()) return std::nullopt;
    BookmarkFileId wanted{*device->asInteger(), *inode->asInteger()};
    std::error_code failure;
    std::filesystem::path folder = std::filesystem::path(filePath).parent_path();
    for (std::filesystem::directory_iterator it(folder, failure), end; !failure && it != end;
         it.increment(failure)) {
        std::string candidate = it->path().string();
        if (bookmarkFileId(candidate) == wanted) return platform::Url::fileURLWithPath(candidate);
    }
    return std::nullopt;
}

} // namespace vantle

#pragma once
// A file URL with the platform's path operations, text form and equality. A value; any thread.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Only file URLs are represented: the program never stores anything else. A default-constructed
// Url is empty (no path, empty text, not a file URL); every operation on it yields an empty Url.
class Url {
public:
    Url() = default;

    // Relative paths are resolved against the current directory. The URL is a directory URL
    // when the path ends in "/" or names an existing folder.
    static Url fileURLWithPath(std::string_view path);
    static Url fileURLWithPath(std::string_view path, bool isDirectory);
    // Parses a "file:" URL text ("file:///a/b%20c.mp3", "file://localhost/a", "file:/a"). Query
    // and fragment are dropped. Anything else (other schemes, other hosts, relative or malformed
    // text) gives nothing.
    static std::optional<Url> fromAbsoluteString(std::string_view text);

    bool isEmpty() const { return path_.empty(); }
    bool isFileURL() const { return !path_.empty(); }
    bool hasDirectoryPath() const { return isDirectory_; }

    // The decoded absolute path, without a trailing "/" (except for the root itself).
    const std::string& path() const { return path_; }
    // "file:///path/with%20space/" for a directory, "file:///a.mp3" for a file.
    std::string absoluteString() const;

    std::string lastPathComponent() const;
    // The text after the last "." of the last component; "" when there is none or the name
    // starts with its only ".": "a.tar.gz" gives "gz", ".hidden" gives "".
    std::string pathExtension() const;
    Url deletingPathExtension() const;
    Url appendingPathExtension(std::string_view extension) const;
    // The parent folder as a directory URL; the root stays the root.
    Url deletingLastPathComponent() const;
    // A name with "/" adds several components. Like the platform, the result is a directory URL
    // when the name ends in "/" or names an existing folder.
    Url appendingPathComponent(std::string_view name) const;
    Url appendingPathComponent(std::string_view name, bool isDirectory) const;

    friend bool operator==(const Url& a, const Url& b) {
        return a.path_ == b.path_ && a.isDirectory_ == b.isDirectory_;
    }

private:
    Url(std::string path, bool isDirectory);

    std::string path_; // absolute, single slashes, no trailing slash unless "/"
    bool isDirectory_ = false;
};

// Percent-encodes a path the way file URLs carry it (upper-case hex, UTF-8 bytes).
std::string percentEncodePath(std::string_view path);
// Decodes %XX escapes; nothing for a malformed escape or an encoded NUL.
std::optional<std::string> percentDecode(std::string_view text);

} // namespace platform

template <> struct std::hash<platform::Url> {
    std::size_t operator()(const platform::Url& url) const noexcept {
        std::size_t h = std::hash<std::string>()(url.path());
        return url.hasDirectoryPath() ? ~h : h;
    }
};

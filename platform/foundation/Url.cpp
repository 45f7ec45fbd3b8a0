#include "platform/foundation/Url.h"

#include "platform/foundation/Files.h"

#include <algorithm>
#include <filesystem>

namespace platform {

namespace {

// Single slashes, no trailing slash; "/" for the root. Expects an absolute path; collapses in place.
std::string urlCollapsedPath(std::string path) {
    if (path.find("//") == std::string::npos && (path.size() <= 1 || path.back() != '/')) {
        if (path.empty()) path.push_back('/');
        return path;
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '/' && kept > 0 && path[kept - 1] == '/') continue;
        path[kept++] = path[i];
    }
    path.resize(kept);
    if (path.size() > 1 && path.back() == '/') path.pop_back();
    if (path.empty()) path.push_back('/');
    return path;
}

// Unreserved characters, the sub-delimiters, ":", "@" and the separator stay readable; every file URL
// of a save and a load passes through this table.
struct UrlKeptBytes {
    bool kept[256] = {};
    constexpr UrlKeptBytes() {
        for (int c = 'a'; c <= 'z'; ++c)
            kept[c] = true;
        for (int c = 'A'; c <= 'Z'; ++c)
            kept[c] = true;
        for (int c = '0'; c <= '9'; ++c)
            kept[c] = true;
        for (char c : std::string_view("-._~/!$&'()*+,;=:@"))
            kept[static_cast<unsigned char>(c)] = true;
    }
};
constexpr UrlKeptBytes urlKeptBytes;

bool urlKeepsByte(unsigned char c) {
    return urlKeptBytes.kept[c];
}

// Appends the path percent-encoded, copying runs of readable bytes whole.
void urlAppendEncoded(std::string& out, std::string_view path) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::size_t run = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const auto u = static_cast<unsigned char>(path[i]);
        if (urlKeepsByte(u)) continue;
        out.append(path.substr(run, i - run));
        const char escape[3] = {'%', hex[u >> 4], hex[u & 0x0f]};
        out.append(escape, 3);
        run = i + 1;
    }
    out.append(path.substr(run));
}

int urlHexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool urlEqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::string urlCurrentDirectory() {
    std::error_code ec;
    std::filesystem::path cwd = std::filesystem::current_path(ec);
    return ec ? std::string("/") : cwd.string();
}

} // namespace

Url::Url(std::string path, bool isDirectory)
    : path_(std::move(path)), isDirectory_(isDirectory || path_ == "/") {}

Url Url::fileURLWithPath(std::string_view path) {
    Url url = fileURLWithPath(path, false);
    if (!url.isEmpty() && !url.isDirectory_ && isDirectory(url.path_)) url.isDirectory_ = true;
    return url;
}

Url Url::fileURLWithPath(std::string_view path, bool isDirectory) {
    // A path with a NUL byte names no file.
    if (path.find('\0') != std::string_view::npos) return {};
    if (path.empty()) return Url(urlCollapsedPath(urlCurrentDirectory()), true);
    bool trailingSlash = path.back() == '/';
    std::string absolute;
    if (path.front() == '/') {
        absolute = std::string(path);
    } else {
        // Relative paths are resolved the way a URL relative to the current folder is.
        absolute = (std::filesystem::path(urlCurrentDirectory()) / std::filesystem::path(std::string(path)))
                       .lexically_normal()
                       .string();
    }
    return Url(urlCollapsedPath(std::move(absolute)), isDirectory || trailingSlash);
}

std::optional<Url> Url::fromAbsoluteString(std::string_view text) {
    std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || !urlEqualsIgnoringCase(text.substr(0, colon), "file")) return {};
    std::string_view rest = text.substr(colon + 1);
    rest = rest.substr(0, rest.find('#'));
    rest = rest.substr(0, rest.find('?'));
    if (rest.substr(0, 2) == "//") {
        rest.remove_prefix(2);
        std::size_t slash = rest.find('/');
        std::string_view host = rest.substr(0, slash);
        // Files on other hosts cannot be opened here.
        if (!host.empty() && !urlEqualsIgnoringCase(host, "localhost")) return {};
        if (slash == std::string_view::npos) return {};
        rest.remove_prefix(slash);
    }
    if (rest.empty() || rest.front() != '/') return {};
    for (char c : rest) {
        auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) return {};
    }
    std::optional<std::string> decoded = percentDecode(rest);
    if (!decoded) return {};
    bool trailingSlash = decoded->back() == '/';
    return Url(urlCollapsedPath(std::move(*decoded)), trailingSlash);
}

std::string Url::absoluteString() const {
    if (isEmpty()) return {};
    std::string text;
    text.reserve(7 + path_.size() + 8);
    text = "file://";
    urlAppendEncoded(text, path_);
    if (isDirectory_ && path_ != "/") text += '/';
    return text;
}

std::string Url::lastPathComponent() const {
    if (isEmpty()) return {};
    if (path_ == "/") return path_;
    return path_.substr(path_.rfind('/') + 1);
}

std::string Url::pathExtension() const {
    if (isEmpty() || path_ == "/") return {};
    std::size_t slash = path_.rfind('/');
    std::size_t dot = path_.rfind('.');
    if (dot == std::string::npos || dot <= slash + 1 || dot + 1 == path_.size()) return {};
    return path_.substr(dot + 1);
}

Url Url::deletingPathExtension() const {
    std::string extension = pathExtension();
    if (extension.empty()) return *this;
    return Url(path_.substr(0, path_.size() - extension.size() - 1), isDirectory_);
}

Url Url::appendingPathExtension(std::string_view extension) const {
    if (isEmpty() || path_ == "/" || extension.empty()) return *this;
    if (extension.find('/') != std::string_view::npos || extension.find('\0') != std::string_view::npos)
        return *this;
    return Url(path_ + "." + std::string(extension), isDirectory_);
}

Url Url::deletingLastPathComponent() const {
    if (isEmpty() || path_ == "/") return *this;
    std::size_t slash = path_.rfind('/');
    return Url(slash == 0 ? std::string("/") : path_.substr(0, slash), true);
}

Url Url::appendingPathComponent(std::string_view name) const {
    Url url = appendingPathComponent(name, false);
    if (url != *this && !url.isDirectory_ && isDirectory(url.path_)) url.isDirectory_ = true;
    return url;
}

Url Url::appendingPathComponent(std::string_view name, bool isDirectory) const {
    if (isEmpty() || name.empty() || name.find('\0') != std::string_view::npos) return *this;
    bool trailingSlash = name.back() == '/';
    return Url(urlCollapsedPath(path_ + "/" + std::string(name)), isDirectory || trailingSlash);
}

std::string percentEncodePath(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    urlAppendEncoded(out, path);
    return out;
}

std::optional<std::string> percentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            // The text up to the next escape in one piece.
            const std::size_t escape = std::min(text.find('%', i), text.size());
            out.append(text.substr(i, escape - i));
            i = escape - 1;
            continue;
        }
        if (i + 2 >= text.size()) return {};
        int high = urlHexValue(text[i + 1]);
        int low = urlHexValue(text[i + 2]);
        if (high < 0 || low < 0) return {};
        int byte = high * 16 + low;
        if (byte == 0) return {};
        out += static_cast<char>(byte);
        i += 2;
    }
    return out;
}

} // namespace platform

#include "RozezEru/Internals/Log.h"

#include <charconv>
#include <sstream>

namespace rozezeru {

const platform::LogCategory& LogSite::category() const {
    return category_ ? *category_ : OSLog::general();
}

namespace logDetail {

void appendSigned(std::string& out, long long value) {
    char digits[24];
    auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

void appendUnsigned(std::string& out, unsigned long long value) {
    char digits[24];
    auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

void appendStreamed(std::string& out, const void* item, void (*insert)(std::ostream&, const void*)) {
    std::ostringstream stream;
    stream.imbue(std::locale::classic());
    insert(stream, item);
    out += stream.str();
}

void writeRecord(const LogSite& site, std::string_view content) {
    std::string_view file = site.file();
    if (auto slash = file.rfind('/'); slash != std::string_view::npos) file.remove_prefix(slash + 1);

    std::string location(file);
    location += ':';
    location += site.function();
    location += ':';
    appendSigned(location, site.line());

    std::string text;
    text.reserve(2 * location.size() + content.size() + 4);
    text += location;
    text += ':';
    text += content;
    text += " (";
    text += location;
    text += ')';
    site.category().write(site.type(), text);
}

} // namespace logDetail

} // namespace rozezeru

#include "platform/foundation/UserDefaults.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <pwd.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr std::string_view defaultsFileName = "defaults.plist";

std::string_view defaultsTrimmed(std::string_view text) {
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!text.empty() && space(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && space(text.back()))
        text.remove_suffix(1);
    return text;
}

bool defaultsEqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        if (x != b[i]) return false;
    }
    return true;
}

// The number at the start of a text, as the platform's text-to-number conversions read it;
// 0 when there is none.
double defaultsLeadingReal(std::string_view text) {
    text = defaultsTrimmed(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    double value = 0;
    auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() ? value : 0.0;
}

std::int64_t defaultsLeadingInteger(std::string_view text) {
    text = defaultsTrimmed(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    std::int64_t value = 0;
    auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() ? value : 0;
}

std::int64_t defaultsTruncated(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 0x1p63) return std::numeric_limits<std::int64_t>::max();
    if (value < -0x1p63) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);
}

struct StandardDefaults {
    std::mutex mutex;
    std::optional<std::string> folder;
    std::unique_ptr<UserDefaults> instance;
};

StandardDefaults& standardDefaults() {
    static StandardDefaults shared;
    return shared;
}

} // namespace

UserDefaults::UserDefaults(std::string folder) {
    reload(std::move(folder));
}

UserDefaults& UserDefaults::standard() {
    StandardDefaults& shared = standardDefaults();
    std::lock_guard lock(shared.mutex);
    if (!shared.instance)
        shared.instance = std::make_unique<UserDefaults>(shared.folder.value_or(defaultFolder()));
    return *shared.instance;
}

void UserDefaults::setStandardFolder(const std::string& folder) {
    StandardDefaults& shared = standardDefaults();
    std::lock_guard lock(shared.mutex);
    shared.folder = folder;
    if (shared.instance) shared.instance->reload(folder);
}

std::string UserDefaults::defaultFolder() {
    std::string base;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') {
        base = config; // relative values are to be ignored
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !home[0]) {
            const passwd* user = ::getpwuid(::getuid());
            home = user && user->pw_dir ? user->pw_dir : "/tmp";
        }
        base = std::string(home) + "/.config";
    }
    return base + "/com.fennorastudio.Vantle";
}

std::string UserDefaults::filePath() const {
    std::lock_guard lock(mutex_);
    return folder_ + "/" + std::string(defaultsFileName);
}

void UserDefaults::reload(std::string folder) {
    std::lock_guard lock(mutex_);
    folder_ = std::move(folder);
    values_ = PlistDictionary();
    unsaved_ = false;
    // Anything unreadable reads as empty; the file stays untouched until the next change.
    Result<Bytes> bytes = readFile(folder_ + "/" + std::string(defaultsFileName));
    if (!bytes) return;
    Result<PlistValue> root = parsePlist(*bytes);
    if (!root) return;
    if (PlistDictionary* dict = root->asDictionary()) values_ = std::move(*dict);
}

std::optional<PlistValue> UserDefaults::object(std::string_view key) const {
    std::lock_guard lock(mutex_);
    if (const PlistValue* value = values_.find(key)) return *value;
    return std::nullopt;
}

std::optional<std::string> UserDefaults::string(std::string_view key) const {
    std::optional<PlistValue> value = object(key);
    if (!value) return std::nullopt;
    if (const std::string* text = value->asString()) return *text;
    if (auto integer = value->asInteger()) return std::to_string(*integer);
    if (auto b = value->asBool()) return std::string(*b ? "1" : "0");
    if (auto real = value->asReal()) {
        char text[32];
        auto result = std::to_chars(text, text + sizeof text, *real); // shortest exact form
        return std::string(text, result.ptr);
    }
    return std::nullopt;
}

std::optional<Bytes> UserDefaults::data(std::string_view key) const {
    std::optional<PlistValue> value = object(key);
    if (value && value->asData()) return *value->asData();
    return std::nullopt;
}

double UserDefaults::doubleValue(std::string_view key) const {
    std::optional<PlistValue> value = object(key);
    if (!value) return 0;
    if (auto real = value->asReal()) return *real;
    if (auto integer = value->asInteger()) return static_cast<double>(*integer);
    if (auto b = value->asBool()) return *b ? 1 : 0;
    if (const std::string* text = value->asString()) return defaultsLeadingReal(*text);
    return 0;
}

float UserDefaults::floatValue(std::string_view key) const {
    return static_cast<float>(doubleValue(key));
}

std::int64_t UserDefaults::integer(std::string_view key) const {
    std::optional<PlistValue> value = object(key);
    if (!value) return 0;
    if (auto integer = value->asInteger()) return *integer;
    if (auto real = value->asReal()) return defaultsTruncated(*real);
    if (auto b = value->asBool()) return *b ? 1 : 0;
    if (const std::string* text = value->asString()) return defaultsLeadingInteger(*text);
    return 0;
}

bool UserDefaults::boolValue(std::string_view key) const {
    std::optional<PlistValue> value = object(key);
    if (!value) return false;
    if (auto b = value->asBool()) return *b;
    if (auto integer = value->asInteger()) return *integer != 0;
    if (auto real = value->asReal()) return *real != 0;
    if (const std::string* text = value->asString()) {
        std::string_view t = defaultsTrimmed(*text);
        if (defaultsEqualsIgnoringCase(t, "yes") || defaultsEqualsIgnoringCase(t, "true")) return true;
        return defaultsLeadingInteger(t) != 0;
    }
    return false;
}

void UserDefaults::set(std::string_view key, PlistValue value) {
    // A value the file cannot hold (text that is not UTF-8) is refused rather than blocking
    // every later write.
    if (!serializeBinaryPlist(PlistDictionary{{std::string(key), value}})) return;
    std::lock_guard lock(mutex_);
    if (const PlistValue* old = values_.find(key); old && *old == value && !unsaved_) return;
    values_.set(std::string(key), std::move(value));
    unsaved_ = true;
    (void)writeLocked(); // a failure stays pending for synchronize()
}

void UserDefaults::removeObject(std::string_view key) {
    std::lock_guard lock(mutex_);
    if (!values_.remove(key) && !unsaved_) return;
    unsaved_ = true;
    (void)writeLocked();
}

Result<void> UserDefaults::synchronize() {
    std::lock_guard lock(mutex_);
    if (!unsaved_) return {};
    return writeLocked();
}

Result<void> UserDefaults::writeLocked() {
    Result<Bytes> bytes = serializeBinaryPlist(PlistValue(values_));
    if (!bytes) return bytes.error();
    if (Result<void> made = createDirectory(folder_); !made) return made;
    Result<void> written = writeFileAtomically(folder_ + "/" + std::string(defaultsFileName), *bytes);
    if (written) unsaved_ = false;
    return written;
}

std::optional<Url> UserDefaults::url(std::string_view key) const {
    auto text = string(key);
    if (!text || text->empty()) return std::nullopt;
    if (auto parsed = Url::fromAbsoluteString(*text)) return parsed;
    std::string path = *text;
    if (path[0] == '~') {
        const char* home = std::getenv("HOME");
        if (!home) return std::nullopt;
        path = std::string(home) + path.substr(1);
    }
    if (path[0] != '/') return std::nullopt;
    return Url::fileURLWithPath(path);
}

} // namespace platform

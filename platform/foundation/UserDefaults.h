#pragma once
// The user's defaults: small values under keys, kept in a binary property list
// ("defaults.plist" under $XDG_CONFIG_HOME/com.fennorastudio.Vantle/). Meant for the main thread;
// every call is serialized by a mutex, so other threads may use it too.

#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Url.h"

#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

class UserDefaults {
public:
    // Loads the file in `folder` (created on the first write). A missing or unreadable file reads
    // as empty and is left as it is until the next change.
    explicit UserDefaults(std::string folder);

    // The process-wide instance, in the folder of defaultFolder() unless setStandardFolder says
    // otherwise.
    static UserDefaults& standard();
    // Points the process-wide instance at another folder and reloads it (tests).
    static void setStandardFolder(const std::string& folder);
    // $XDG_CONFIG_HOME/com.fennorastudio.Vantle, or ~/.config/com.fennorastudio.Vantle.
    static std::string defaultFolder();

    std::string filePath() const;

    // Reads. Like the platform, numbers and booleans convert into each other, and numeric texts
    // ("1.5", "YES", "true") convert to numbers and booleans; absent or unconvertible values
    // give 0 or false.
    std::optional<PlistValue> object(std::string_view key) const;
    std::optional<std::string> string(std::string_view key) const; // numbers give their text
    std::optional<Bytes> data(std::string_view key) const;
    double doubleValue(std::string_view key) const;
    float floatValue(std::string_view key) const;
    std::int64_t integer(std::string_view key) const;
    bool boolValue(std::string_view key) const;
    // A file URL stored by setUrl, or a plain path ("~" meaning the home folder), as the platform reads both.
    std::optional<Url> url(std::string_view key) const;

    // Writes; each change is written to the file at once (atomically). Setting a value equal to
    // the stored one writes nothing.
    void set(std::string_view key, PlistValue value);
    void setString(std::string_view key, std::string value) { set(key, PlistValue(std::move(value))); }
    void setDouble(std::string_view key, double value) { set(key, PlistValue(value)); }
    void setFloat(std::string_view key, float value) { set(key, PlistValue(static_cast<double>(value))); }
    void setInteger(std::string_view key, std::int64_t value) { set(key, PlistValue(value)); }
    void setBool(std::string_view key, bool value) { set(key, PlistValue(value)); }
    void setData(std::string_view key, Bytes value) { set(key, PlistValue(std::move(value))); }
    void setUrl(std::string_view key, const Url& value) { setString(key, value.absoluteString()); }
    void removeObject(std::string_view key);

    // Writes the file again if the last write failed; reports the outcome.
    Result<void> synchronize();

private:
    void reload(std::string folder);
    Result<void> writeLocked();

    mutable std::mutex mutex_;
    std::string folder_;
    PlistDictionary values_;
    bool unsaved_ = false;
};

} // namespace platform

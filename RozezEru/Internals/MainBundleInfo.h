#pragma once
// The application's information entries ("NSMicrophoneUsageDescription" …): the stand-in for the
// main bundle's information dictionary. The application compiles its entries in and registers them
// at start-up; the toolkit only reads them. Any thread.

#include <optional>
#include <string>

namespace rozezeru {

class MainBundleInfo {
public:
    MainBundleInfo() = delete;

    // The entry's text, or nothing when the application has none.
    static std::optional<std::string> entry(const std::string& key);
    // Sets an entry, or removes it with nothing.
    static void setEntry(const std::string& key, std::optional<std::string> value);
};

} // namespace rozezeru

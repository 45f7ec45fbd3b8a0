#include "Source/mainwindow/Environment.h"

#include <chrono>
#include <filesystem>
#include <system_error>

namespace vantle {

const platform::PlistDictionary& Environment::infoDictionary() {
    static const platform::PlistDictionary info{
        {"CFBundleIdentifier", "com.fennorastudio.Vantle"},
        {"CFBundleName", "Vantle"},
        {"CFBundleShortVersionString", VANTLE_VERSION},
        {"CFBundleVersion", VANTLE_VERSION},
    };
    return info;
}

const std::string& Environment::version() {
    static const std::string text = versionIn(infoDictionary());
    return text;
}

std::string Environment::versionIn(const platform::PlistDictionary& info) {
    if (const platform::PlistValue* value = info.find("CFBundleShortVersionString"))
        if (const std::string* text = value->asString()) return *text;
    return "<unknown version>";
}

platform::Date Environment::buildDate() {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    if (!error) {
        const fs::file_time_type written = fs::last_write_time(executable, error);
        if (!error) {
            const auto system = std::chrono::file_clock::to_sys(written);
            const double seconds = std::chrono::duration<double>(system.time_since_epoch()).count();
            return platform::Date::fromUnix(seconds);
        }
    }
    const double now =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    return platform::Date::fromUnix(now);
}

} // namespace vantle

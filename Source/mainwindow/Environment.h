#pragma once
// The application's own information (what the bundle's information list holds on the original
// platform), compiled into the program, and the version and build date shown in the window title.
// Any thread: the values are made once, under a one-time guard.

#include "platform/foundation/Date.h"
#include "platform/foundation/PropertyList.h"

#include <string>

namespace vantle {

class Environment {
public:
    // "CFBundleIdentifier", "CFBundleName", "CFBundleShortVersionString" (the project's version)
    // and "CFBundleVersion".
    static const platform::PlistDictionary& infoDictionary();
    // versionIn(infoDictionary()), made once.
    static const std::string& version();
    // The information's "CFBundleShortVersionString" when it is a string, else "<unknown version>".
    static std::string versionIn(const platform::PlistDictionary& info);
    // When the running program was built: the modification date of its executable, or now when
    // that cannot be read.
    static platform::Date buildDate();

    Environment() = delete;
};

} // namespace vantle

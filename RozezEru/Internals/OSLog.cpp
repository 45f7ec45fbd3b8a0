#include "RozezEru/Internals/OSLog.h"

#include <string>

namespace rozezeru {

// Function-local statics: made exactly once, safely under concurrent first use.
const platform::LogCategory& OSLog::general() {
    static const platform::LogCategory category(std::string(subsystem), "general");
    return category;
}

const platform::LogCategory& OSLog::settings() {
    static const platform::LogCategory category(std::string(subsystem), "settings");
    return category;
}

const platform::LogCategory& OSLog::midi() {
    static const platform::LogCategory category(std::string(subsystem), "midi");
    return category;
}

const platform::LogCategory& OSLog::fileHandling() {
    static const platform::LogCategory category(std::string(subsystem), "fileHandling");
    return category;
}

} // namespace rozezeru

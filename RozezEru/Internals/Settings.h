#pragma once
// The toolkit's process-wide settings, as static members read directly by every part of the
// toolkit; there is no settings object to pass around.

#include <atomic>

namespace rozezeru {

// Process-wide settings of the toolkit. Set them from the controlling thread before a graph is
// built; any thread may read them.
class Settings {
public:
    // Log records are written only while this is on (initially on). Readers load it relaxed:
    // a change only needs to show at the next log call, not order anything else.
    static std::atomic<bool> loggingEnabled;
};

} // namespace rozezeru

#pragma once
// For tests that write a notes file and expect the window or a note set to take it at once: the
// note sets made while this lives take every file as quiet, as if written an hour ago. Test thread.

#include "Source/session/TextNoteSet.h"
#include "platform/foundation/Files.h"
#include "tests/support/Clocks.h"

#include <algorithm>
#include <optional>
#include <string>

namespace testsupport {

class ScopedQuietNotesFiles {
public:
    ScopedQuietNotesFiles() { vantle::TextNoteSet::setClockForNewSets(&clock_); }
    ~ScopedQuietNotesFiles() { vantle::TextNoteSet::setClockForNewSets(nullptr); }
    ScopedQuietNotesFiles(const ScopedQuietNotesFiles&) = delete;
    ScopedQuietNotesFiles& operator=(const ScopedQuietNotesFiles&) = delete;

private:
    ClockAhead clock_{3600};
};

// The date `seconds` after the file at `path` was last written, by its change time.
inline platform::Date dateAfterWritten(const std::string& path, double seconds) {
    const std::optional<platform::FileStamp> stamp = platform::fileStamp(path);
    const std::int64_t written = stamp ? std::max(stamp->modified, stamp->changed) : 0;
    return platform::Date::fromUnix(double(written) / 1e9 + seconds);
}

} // namespace testsupport

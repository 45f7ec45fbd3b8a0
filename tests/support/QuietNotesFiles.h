#pragma once
// For tests that write a notes file and expect the window or a note set to take it at once: the
// note sets made while this lives take every file as quiet, as if written an hour ago. Test thread.

#include "Source/session/TextNoteSet.h"
#include "tests/support/Clocks.h"

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

} // namespace testsupport

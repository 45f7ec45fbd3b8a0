// Session documents: decoded, prepared as after a load, and written again.

#include "Source/session/Playlist.h"
#include "platform/foundation/Clock.h"
#include "tests/support/Clocks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto playlist =
        platform::decodePlist<std::shared_ptr<vantle::Playlist>>(platform::Bytes(data, data + size));
    if (!playlist || !*playlist) return 0;
    (*playlist)->prepareAfterLoad();
    (void)(*playlist)->currentRow();
    // What the window shows of each entry from the decoded fields alone (no file is read).
    const testsupport::FakeClock clock(platform::Date{7.2e8});
    for (const auto& entry : (*playlist)->allEntries) {
        if (!entry) continue;
        (void)entry->secondsSinceLastPlayed(clock);
        (void)entry->daysSinceLastPlayed(clock);
        (void)entry->prevTimeRangeSet.coveredDuration();
        (void)entry->matchesFilter({"a"}, {}, {});
        for (const auto& attachment : entry->attachments)
            (void)attachment->buttonTitle();
    }
    (void)platform::encodePlist(**playlist);
    return 0;
}

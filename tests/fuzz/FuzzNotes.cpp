// Notes files, read as the player reads the one beside an audio file, then read again after an
// editor changed them (the input's second half), with a note added and one deleted in between.

#include "Source/session/TextNoteSet.h"
#include "tests/fuzz/FuzzSupport.h"

#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzsupport::scratchFile("song.txt", data, size / 2);
    vantle::TextNoteSet notes(
        platform::Url::fileURLWithPath(fuzzsupport::scratchFolder() + "/song.mp3", false));
    for (const auto& note : notes.notes)
        (void)notes.note(note->time());
    if (!notes.notes.empty()) notes.notes.erase(notes.notes.begin());
    notes.notes.push_back(std::make_shared<vantle::TextNote>(1, "added"));
    fuzzsupport::scratchFile("song.txt", data + size / 2, size - size / 2);
    (void)notes.readAgainIfChanged();
    return 0;
}

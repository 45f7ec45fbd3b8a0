// Notes files, read as the player reads the one beside an audio file.

#include "Source/session/TextNoteSet.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzsupport::scratchFile("song.txt", data, size);
    vantle::TextNoteSet notes(
        platform::Url::fileURLWithPath(fuzzsupport::scratchFolder() + "/song.mp3", false));
    for (const auto& note : notes.notes)
        (void)notes.note(note->time());
    return 0;
}

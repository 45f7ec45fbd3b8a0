// Transcription files, read as the player reads the one beside an audio file.

#include "Source/session/Transcription.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzsupport::scratchFile("song.t.txt", data, size);
    vantle::Transcription cues(
        platform::Url::fileURLWithPath(fuzzsupport::scratchFolder() + "/song.mp3", false));
    for (const auto& cue : cues.segments) {
        (void)cues.previousSegment(cue->time());
        (void)cues.nextSegment(cue->time());
    }
    return 0;
}

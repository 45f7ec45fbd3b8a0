// A SoundFont (or DLS) bank: loaded into the sampler, whose check stands before FluidSynth, then played
// with its first melodic program.

#include "platform/audio/SamplerUnit.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/fuzz/sampler/SamplerFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzzsupport::scratchFile("bank.sf2", data, size);
    if (samplerfuzz::rig().unit->loadSoundBank({path, 0, 121, 0})) samplerfuzz::rig().play();
    return 0;
}

// FluidSynth reads DLS through libinstpatch, which leaks a few bytes of GLib objects on some damaged
// banks; that is theirs to mend, and it would stop every run here.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libglib-2.0.so\nleak:libgobject-2.0.so\nleak:libinstpatch-1.0.so\n";
}

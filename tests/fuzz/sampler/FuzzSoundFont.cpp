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

// An audio file as a sampler zone: read as the sampler reads a WAV or other audio file, then played.

#include "platform/files/SamplerFiles.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/fuzz/sampler/SamplerFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzzsupport::scratchFile("zone.wav", data, size);
    if (auto loaded = platform::loadSamplerAudioFiles(*samplerfuzz::rig().unit, {path}))
        samplerfuzz::rig().play();
    return 0;
}

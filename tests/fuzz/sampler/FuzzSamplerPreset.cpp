// A sampler preset, read as the sampler reads an "aupreset" file (its zones may name the shared zone
// file), then played.

#include "platform/files/SamplerFiles.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/fuzz/sampler/SamplerFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool zoneWritten = (samplerfuzz::writeZoneFile(), true);
    (void)zoneWritten;
    const std::string path = fuzzsupport::scratchFile("preset.aupreset", data, size);
    if (platform::loadSamplerInstrument(*samplerfuzz::rig().unit, path)) samplerfuzz::rig().play();
    return 0;
}

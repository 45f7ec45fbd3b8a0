#include "RozezEruEX/DSPRegistry.h"

#include "RozezEruEX/ProgrammingError.h"

#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <string>

namespace rozezeru {

namespace {

struct DSPRegistries {
    std::mutex mutex;
    // Each map counts as made on its first registration, as lookups before then are programming errors.
    bool factoryMapMade = false;
    bool paramMapMade = false;
    std::map<std::string, DSPCreateFunction, std::less<>> factoryMap;
    std::map<std::string, AUParameterAddress, std::less<>> paramMap;
    std::set<std::string, std::less<>> reportedUnknownParameters;
};

DSPRegistries& dspRegistries() {
    static DSPRegistries registries;
    return registries;
}

} // namespace

void addCreateFunction(std::string_view name, DSPCreateFunction createFunction) {
    DSPRegistries& registries = dspRegistries();
    std::lock_guard lock(registries.mutex);
    registries.factoryMapMade = true;
    if (registries.factoryMap.contains(name))
        stopOnProgrammingError("redundant DSP kernel registration: " + std::string(name));
    registries.factoryMap.emplace(std::string(name), createFunction);
}

void addParameter(std::string_view identifier, AUParameterAddress address) {
    DSPRegistries& registries = dspRegistries();
    std::lock_guard lock(registries.mutex);
    registries.paramMapMade = true;
    if (registries.paramMap.contains(identifier))
        stopOnProgrammingError("Parameter already registered. " + std::string(identifier));
    registries.paramMap.emplace(std::string(identifier), address);
}

std::unique_ptr<DSPBase> create(std::string_view name) {
    DSPCreateFunction createFunction = nullptr;
    {
        DSPRegistries& registries = dspRegistries();
        std::lock_guard lock(registries.mutex);
        if (!registries.factoryMapMade) stopOnProgrammingError("Fatal error: node factory not initialized.");
        if (auto found = registries.factoryMap.find(name); found != registries.factoryMap.end())
            createFunction = found->second;
    }
    if (!createFunction) {
        std::printf("Unknown DSPBase subclass: %.*s\n", int(name.size()), name.data());
        std::fflush(stdout);
        return nullptr;
    }
    return createFunction();
}

std::unique_ptr<DSPBase> rzCreateDSPByCode(std::uint32_t code) {
    const char text[5] = {char(code >> 24), char(code >> 16), char(code >> 8), char(code), '\0'};
    // Spelt as a C string: a zero byte ends the name there.
    return create(std::string_view(text));
}

AUParameterAddress rzGetParameterAddress(std::string_view identifier) {
    DSPRegistries& registries = dspRegistries();
    std::lock_guard lock(registries.mutex);
    if (!registries.paramMapMade)
        stopOnProgrammingError("rzGetParameterAddress: Fatal error: parameter map not initialized.");
    if (auto found = registries.paramMap.find(identifier); found != registries.paramMap.end())
        return found->second;
    if (registries.reportedUnknownParameters.emplace(identifier).second) {
        std::printf("rzGetParameterAddress: Unknown parameter name: %.*s\n", int(identifier.size()),
                    identifier.data());
        std::fflush(stdout);
    }
    return unknownParameterAddress;
}

} // namespace rozezeru

#include "SigproRozezEru/NodeParameterTable.h"

#include "RozezEru/Internals/AudioUnitParameterOptions.h"
#include "RozezEruEX/DSPRegistry.h"

namespace rozezeru {

std::string parameterRegistryName(std::string_view className, std::string_view identifier) {
    std::string name(className);
    name += "Parameter";
    if (!identifier.empty()) {
        const char first = identifier.front();
        // Identifiers are ASCII; the locale must not change how they are spelt.
        name += first >= 'a' && first <= 'z' ? char(first - 'a' + 'A') : first;
        name += identifier.substr(1);
    }
    return name;
}

NodeParameterDef makeNodeParameterDef(std::string_view className, const NodeParameterRow& row) {
    return {std::string(row.identifier),
            std::string(row.name),
            rzGetParameterAddress(parameterRegistryName(className, row.identifier)),
            row.defaultValue,
            row.range,
            row.unit,
            AudioUnitParameterOptions::default_};
}

} // namespace rozezeru

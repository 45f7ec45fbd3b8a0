#include "SigproRozezEru/NodeParameterTable.h"

#include "RozezEru/Internals/AudioUnitParameterOptions.h"
#include "RozezEruEX/DSPRegistry.h"
#include "SigproRozezEru/SigproRozezEruRegistration.h"

namespace rozezeru {

std::string parameterRegistryName(std::string_view className, std::string_view identifier) {
    std::string name(className);
    name += "Parameter";
    if (!identifier.empty()) {
        name += upperCaseInitial(identifier.front());
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

std::vector<NodeParameterDef> makeNodeParameterDefs(std::string_view className,
                                                    std::span<const NodeParameterRow> rows) {
    registerSigproRozezEru();
    std::vector<NodeParameterDef> defs;
    defs.reserve(rows.size());
    for (const NodeParameterRow& row : rows)
        defs.push_back(makeNodeParameterDef(className, row));
    return defs;
}

} // namespace rozezeru

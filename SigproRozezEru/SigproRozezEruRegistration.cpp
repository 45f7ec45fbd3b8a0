#include "SigproRozezEru/SigproRozezEruRegistration.h"

#include "RozezEru/Internals/ComponentDescriptions.h"
#include "RozezEruEX/DSPRegistry.h"
#include "RozezEruEX/ProgrammingError.h"
#include "RozezEruEX/RozezEruAU.h"
#include "Sigpro/kernels/HighShelfParametricEqualizerFilterDSP.h"
#include "Sigpro/kernels/SigproKernels.h"
#include "SigproRozezEru/Effects/HighShelfParametricEqualizerFilter.h"
#include "SigproRozezEru/NodeParameterTable.h"

#include <mutex>
#include <string>

namespace rozezeru {

namespace {

// Whether the node's rows name the kernel's parameters, address by address: the registry name of row i
// must be the one the kernel registers at address i.
template <class NodeClass, class Kernel> constexpr bool parameterRowsNameKernelParameters() {
    const auto& rows = NodeClass::parameterRows;
    const auto& names = Kernel::parameterNames;
    if (rows.size() != names.size()) return false;
    for (std::size_t address = 0; address < rows.size(); ++address) {
        const std::string_view identifier = rows[address].identifier;
        const std::string_view name = names[address];
        if (identifier.empty() || identifier.size() != name.size() ||
            upperCaseInitial(identifier.front()) != name.front() || identifier.substr(1) != name.substr(1))
            return false;
    }
    return true;
}

template <class NodeClass, class Kernel> void registerEffectNodeClass() {
    static_assert(parameterRowsNameKernelParameters<NodeClass, Kernel>(),
                  "a node's parameter table and its kernel's parameter names differ");
    // The kernel's code is written twice, here and where the kernel registers.
    if (!dynamic_cast<Kernel*>(create(NodeClass::componentSubType).get()))
        stopOnProgrammingError(std::string(NodeClass::nodeClassName) + ": \"" +
                               std::string(NodeClass::componentSubType) + "\" creates another kernel.");
    RozezEruAU::registerComponent(componentDescription::effect(NodeClass::componentSubType));
}

} // namespace

void registerSigproRozezEru() {
    static std::once_flag registered;
    std::call_once(registered, [] {
        sigpro::registerSigproKernels();
        registerEffectNodeClass<HighShelfParametricEqualizerFilter,
                                sigpro::HighShelfParametricEqualizerFilterDSP>();
    });
}

} // namespace rozezeru

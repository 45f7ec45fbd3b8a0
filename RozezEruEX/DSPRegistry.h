#pragma once
// The two registries of the kernel bridge: kernel create functions by four-character code ("peq2"), and
// parameter addresses by identifier (node class name + "Parameter" + parameter name). Kernel libraries
// register from explicit registration functions (registerSigproKernels() and the like), called once
// before the first unit or node is made; C++ has no load-time registration that a static library's
// linker is bound to keep. Any thread but the render thread; the maps are guarded by a lock.

#include "RozezEruEX/DSPBase.h"

#include <cstdint>
#include <initializer_list>
#include <limits>
#include <memory>
#include <string_view>

namespace rozezeru {

using DSPCreateFunction = std::unique_ptr<DSPBase> (*)();

// Stores a create function under `name`. Registering a name twice is a programming error that stops the
// program ("redundant DSP kernel registration").
void addCreateFunction(std::string_view name, DSPCreateFunction createFunction);
// Stores the address of a parameter identifier. Registering an identifier twice is a programming error
// that stops the program ("Parameter already registered.").
void addParameter(std::string_view identifier, AUParameterAddress address);

// A new kernel of the class registered under `name`. Before any registration: a programming error that
// stops the program. An unregistered name prints "Unknown DSPBase subclass: <name>" and yields null.
std::unique_ptr<DSPBase> create(std::string_view name);
// `create` with the code spelt as text, most significant byte first; a zero byte ends the text early.
std::unique_ptr<DSPBase> rzCreateDSPByCode(std::uint32_t code);

// What rzGetParameterAddress answers for an identifier nobody registered: an address no kernel has, so
// that the parameter drives nothing rather than some kernel's first parameter.
inline constexpr AUParameterAddress unknownParameterAddress = std::numeric_limits<AUParameterAddress>::max();

// The registered address of `identifier`. Before any registration: a programming error that stops the
// program. An unregistered identifier is reported once on standard output
// ("rzGetParameterAddress: Unknown parameter name: <identifier>") and yields unknownParameterAddress.
AUParameterAddress rzGetParameterAddress(std::string_view identifier);

// Registers `Kernel` (default-constructible) under `code` and its parameter identifiers with the
// addresses 0, 1, 2, ... in the order given.
template <class Kernel>
void registerDSP(std::string_view code, std::initializer_list<std::string_view> parameterIdentifiers) {
    addCreateFunction(code, []() -> std::unique_ptr<DSPBase> { return std::make_unique<Kernel>(); });
    AUParameterAddress address = 0;
    for (std::string_view identifier : parameterIdentifiers)
        addParameter(identifier, address++);
}

} // namespace rozezeru

#include "Sigpro/kernels/SigproKernels.h"

#include "Sigpro/kernels/HighShelfParametricEqualizerFilterDSP.h"

#include <mutex>

namespace sigpro {

void registerSigproKernels() {
    static std::once_flag registered;
    std::call_once(registered, [] { registerHighShelfParametricEqualizerFilterDSP(); });
}

} // namespace sigpro

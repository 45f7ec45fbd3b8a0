#pragma once
// Registers the kernels of the bridge's own nodes ("clbk", "fder", "dwmx", "dwm2", "sflm") and their
// parameter identifiers with the kernel registry. The nodes call it before they make their units; the
// first call registers, later ones (from any thread) return once that is done.

namespace rozezeru {

void registerExtraNodeKernels();

} // namespace rozezeru

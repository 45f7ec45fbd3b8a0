#pragma once
// Registers every Sigpro kernel (create function by code, parameter identifiers with their addresses)
// with the kernel registry. Call before the first kernel-hosting unit or node parameter definition is
// made; the first call registers, later calls (from any thread, also concurrently) return once that is
// done and do nothing.

namespace sigpro {

void registerSigproKernels();

} // namespace sigpro

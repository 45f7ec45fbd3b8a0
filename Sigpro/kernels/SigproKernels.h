#pragma once
// Registers every Sigpro kernel (create function by code, parameter identifiers with their addresses)
// with the kernel registry, and the plain setters of the kernels that hold a value outside their
// parameter table. Call registerSigproKernels() before the first kernel-hosting unit or node parameter
// definition is made; the first call registers, later calls (from any thread, also concurrently) return
// once that is done and do nothing.

#include <cstdint>

namespace rozezeru {
class DSPBase;
} // namespace rozezeru

namespace sigpro {

void registerSigproKernels();

// Each setter stores the value and re-initialises the kernel's modules with it when the kernel is
// initialized (else the next init uses it). The configuring thread, never while the kernel renders. A
// kernel of another class (or null) is a programming error that stops the program.
// Loop duration (seconds) of a "comb" kernel.
void rzCombFilterReverbSetLoopDuration(rozezeru::DSPBase* dsp, float duration);
// Loop duration (seconds) of an "alps" kernel.
void rzFlatFrequencyResponseSetLoopDuration(rozezeru::DSPBase* dsp, float duration);
// Maximum delay time (seconds) of a "vdla" kernel; its Time is held at it.
void rzVariableDelaySetMaximumTime(rozezeru::DSPBase* dsp, float time);
// Partition length (a power of two, at least 4) of a "conv" kernel.
void rzConvolutionSetPartitionLength(rozezeru::DSPBase* dsp, std::int32_t length);

} // namespace sigpro

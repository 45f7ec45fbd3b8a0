#pragma once
// The kernel harness moved to the shared test support; the Sigpro kernel tests still name it here.
#include "tests/support/KernelHarness.h"
namespace kerneltest {
using testsupport::EventList;
using testsupport::KernelHarness;
} // namespace kerneltest

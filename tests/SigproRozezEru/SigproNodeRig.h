#pragma once
// The effect and generator node tests' signal source and offline engine, from the shared support.

#include "tests/support/ToolkitNodes.h"
#include "tests/support/ToolkitRig.h"

namespace sigpronodetest {
using testsupport::offlineToolkitEngine;
using testsupport::renderToolkit;
using testsupport::SignalNode;
} // namespace sigpronodetest

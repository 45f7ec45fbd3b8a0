#pragma once
// The switch that turns the toolkit's log records on and off. Any thread may read or flip it.
//
// It lives apart from Settings, which names it Settings::loggingEnabled, so that Log can read it
// without knowing the settings (which log through Log themselves).

#include <atomic>

namespace rozezeru {

// On initially. Readers load it relaxed: a change only needs to show at the next log call.
extern std::atomic<bool> loggingSwitch;

} // namespace rozezeru

#include "RozezEru/Internals/LoggingSwitch.h"

namespace rozezeru {

// Constant-initialised, so it is on before any static constructor can log.
std::atomic<bool> loggingSwitch{true};

} // namespace rozezeru

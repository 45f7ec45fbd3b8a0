#include "RozezEru/Internals/Settings.h"

namespace rozezeru {

// Constant-initialised, so it is on before any static constructor can log.
std::atomic<bool> Settings::loggingEnabled{true};

} // namespace rozezeru

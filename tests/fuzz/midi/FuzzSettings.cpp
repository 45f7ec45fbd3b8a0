// The fuzz targets link the parsers without the audio settings: only the logging switch, off, so that the
// targets measure parsing rather than the system log.
#include "RozezEru/Internals/LoggingSwitch.h"

std::atomic<bool> rozezeru::loggingSwitch{false};

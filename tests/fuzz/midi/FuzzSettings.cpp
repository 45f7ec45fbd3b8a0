// The fuzz targets link the parsers without the audio settings: only the logging switch, off, so that the
// targets measure parsing rather than the system log.
#include "RozezEru/Internals/Settings.h"

std::atomic<bool> rozezeru::Settings::loggingEnabled{false};

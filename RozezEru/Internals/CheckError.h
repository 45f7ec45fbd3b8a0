#pragma once
// Readable log records for the status codes of platform audio and MIDI calls.

#include "RozezEru/Internals/OSStatus.h"

namespace rozezeru {

// Logs a failed status at the error level: the symbolic name of a known code (MIDI codes to
// OSLog::midi(), the others to OSLog::general()), the decimal number of any other. Success
// logs nothing. Never fails, returns nothing; the caller goes on. Any thread.
void CheckError(OSStatus error);

} // namespace rozezeru

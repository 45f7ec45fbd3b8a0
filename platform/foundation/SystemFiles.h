#pragma once
// Telling the files of the kernel's own file systems from the user's. Any thread.

#include <string>

namespace platform {

// Whether the file open at `fd`, reached by `path`, is one of the system's: on /proc, /sys or another of
// the kernel's own file systems, or a device node's file under /dev (a RAM disk mounted there, as /dev/shm,
// holds the user's files like any other). Such a file holds the state of this program or of the machine
// (its environment, its memory map, a device's settings), never a song, and may hold secrets.
bool isSystemFile(const std::string& path, int fd);

} // namespace platform

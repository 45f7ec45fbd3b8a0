#pragma once
// A file that could not be added to the session, and why.

#include <optional>
#include <string>

namespace vantle {

struct RefusedFile {
    std::string path;
    // In words for the user.
    std::string reason;
};

// For a zip that is not one song's audio and graphics, or cannot be read, why, in words for the user;
// nothing for any other path or for a song archive that opens. Reads the archive's directory.
std::optional<std::string> songArchiveRefusal(const std::string& path);

} // namespace vantle

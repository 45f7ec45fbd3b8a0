#pragma once
// A file that could not be added to the session, and why.

#include <string>

namespace vantle {

struct RefusedFile {
    std::string path;
    // In words for the user.
    std::string reason;
};

} // namespace vantle

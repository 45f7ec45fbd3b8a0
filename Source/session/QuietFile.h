#pragma once
// Whether a file that other programs may be writing (an editor's save truncates it and writes it
// again) can be taken as it stands: the rule the notes and the timed lyrics share. One thread at a
// time.

#include "platform/foundation/Date.h"
#include "platform/foundation/Files.h"

#include <optional>
#include <string>

namespace vantle {

class QuietFile {
public:
    // A file written less than this long ago may be an editor's half-done save: it is neither read as
    // the truth nor written over until it has been quiet that long.
    static constexpr double quietSeconds = 1.0;

    explicit QuietFile(std::string path) : path_(std::move(path)) {}

    // Whether the file, now stamped `stamp` (none: not there), may be taken: as `known` (last read or
    // written here), or left as it is for quietSeconds by `now`. A file emptied since it was known (as an
    // editor does before writing it again) is taken only once it has stayed so for `emptiedPatience`.
    bool quiet(const std::optional<platform::FileStamp>& stamp,
               const std::optional<platform::FileStamp>& known, platform::Date now,
               double emptiedPatience = 3.0);

private:
    std::string path_;
    // A stamp not yet quiet, and when it was first seen.
    struct Sighting {
        std::optional<platform::FileStamp> stamp;
        platform::Date since;
    };
    std::optional<Sighting> sighting_;
};

} // namespace vantle

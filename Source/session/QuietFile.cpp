#include "Source/session/QuietFile.h"

#include <algorithm>

namespace vantle {

bool QuietFile::quiet(const std::optional<platform::FileStamp>& stamp,
                      const std::optional<platform::FileStamp>& known, platform::Date now,
                      double emptiedPatience) {
    if (stamp == known) return true;
    if (!sighting_ || sighting_->stamp != stamp) sighting_ = Sighting{stamp, now};
    const double unchanged = now.timeIntervalSince(sighting_->since);
    // An editor may hold the file empty between cutting it and writing it again for longer than a
    // quiet second: taken for the truth then, it would drop what the file held, and its next write
    // would drop what was written into it meanwhile.
    if (stamp && stamp->size == 0 && known && known->size > 0) return unchanged >= emptiedPatience;
    // A file that is gone went when its folder last changed: an editor that saves by removing the
    // file and making it anew leaves no name for a moment.
    std::optional<platform::FileStamp> written = stamp;
    if (!written) {
        const std::size_t slash = path_.rfind('/');
        written = platform::fileStamp(slash == std::string::npos ? std::string(".")
                                      : slash == 0               ? std::string("/")
                                                                 : path_.substr(0, slash));
    }
    if (!written) return true;
    if (now.timeIntervalSince1970() - double(std::max(written->modified, written->changed)) / 1e9 >=
        quietSeconds)
        return true;
    // A file whose times are ahead of this clock (another machine's, on a network share) is quiet
    // once it has stayed as it is that long here.
    return unchanged >= quietSeconds;
}

} // namespace vantle

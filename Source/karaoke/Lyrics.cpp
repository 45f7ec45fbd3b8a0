#include "Source/karaoke/Lyrics.h"

namespace vantle {

// Unfinished: look-ups to come.
int Lyrics::lineAt(double) const { return -1; }
std::optional<double> Lyrics::nextLineTime(double) const { return std::nullopt; }
std::optional<double> Lyrics::previousLineTime(double) const { return std::nullopt; }
LyricsMoment lyricsMomentAt(const Lyrics&, double) { return {}; }

} // namespace vantle

#include "Source/karaoke/LyricsTiming.h"

namespace vantle {

// Unfinished: timing is to come.
LyricsTiming::LyricsTiming(std::string audioPath) : audioPath_(std::move(audioPath)) {}
int LyricsTiming::nextUnstamped() const { return -1; }
bool LyricsTiming::stamp(double) { return false; }
bool LyricsTiming::undoStamp() { return false; }
void LyricsTiming::addPastedLines(std::string_view) {}
bool LyricsTiming::dirty() const { return false; }
SaveResult LyricsTiming::save() { return {SaveResult::Outcome::failed, "unfinished"}; }

} // namespace vantle

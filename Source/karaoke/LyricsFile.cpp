#include "Source/karaoke/LyricsFile.h"

namespace vantle {

// Unfinished: the reader is to come.
LyricsReadResult readLyricsBeside(const std::string&) { return {}; }
std::optional<Lyrics> parseLrc(std::string_view) { return std::nullopt; }

struct LyricsLoader::State {};
LyricsLoader::LyricsLoader(Delivery) : state_(std::make_shared<State>()) {}
LyricsLoader::~LyricsLoader() = default;
void LyricsLoader::load(const std::string& audioPath) { audioPath_ = audioPath; }
void LyricsLoader::poll() {}

} // namespace vantle

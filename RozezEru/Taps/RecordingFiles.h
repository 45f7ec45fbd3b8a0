#pragma once
// Creating recording files without ever replacing another writer's file. Any thread but the render
// thread.

#include "platform/files/AudioFile.h"

#include <memory>
#include <string>

namespace rozezeru {

// Shared with the recorder's reset, which reopens a file under its old name with the same guarantees.
inline constexpr platform::AudioFileWriteOptions recordingWriteOptions{.exclusive = true,
                                                                       .headerAfterEachWrite = true};

// Creates `directory`/`stem`.`extension` for writing, or, while that name is taken, `stem` 2, `stem` 3 …
// up to `stem` 10000. The create is exclusive, so a file that appears between the look and the
// create is never truncated; the header is kept current, so a recording cut off by a crash keeps
// every frame of its last completed write. Fails with the platform's error (a missing folder, say,
// or no free name).
platform::Result<std::unique_ptr<platform::AudioFile>>
createRecordingFile(const std::string& directory, const std::string& stem, const std::string& extension,
                    const platform::AudioFileSettings& settings);

} // namespace rozezeru

#pragma once
// The main window's title: the open session's name, and the version and build date for a build
// whose version ends in a letter (a test build). Any thread.

#include "platform/foundation/Date.h"
#include "platform/foundation/Url.h"

#include <optional>
#include <string>

namespace vantle {

// The session document's file name without a final ".vantle" (control characters escaped), or
// "Vantle" for a session that has no location, followed by "*" when it has unsaved changes; then, when
// the version's last character is a letter, a blank, the version, a blank and the build date's
// description.
std::string mainWindowTitle(const std::optional<platform::Url>& session, const std::string& version,
                            platform::Date buildDate, bool unsavedChanges = false);

// A date as the platform describes it by default, in UTC: "2026-12-05 16:05:06 +0000".
std::string dateDescription(platform::Date date);

} // namespace vantle

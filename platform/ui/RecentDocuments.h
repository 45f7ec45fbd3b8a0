#pragma once
// The list of recently opened documents behind the Open Recent menu.

#include "platform/foundation/Url.h"

#include <cstddef>
#include <string_view>
#include <vector>

namespace platform {

class UserDefaults;

// Stands in for the shared document controller's recent documents. The list lives in the user defaults
// under "recentDocumentURLs": an array of file-URL texts, most recent first, without repeats and never
// longer than the maximum. Entries that do not read as file URLs are ignored. Main thread only.
class RecentDocuments {
public:
    static constexpr std::string_view defaultsKey = "recentDocumentURLs";
    static constexpr std::size_t defaultMaximumCount = 10;

    explicit RecentDocuments(UserDefaults& defaults, std::size_t maximumCount = defaultMaximumCount);

    // Puts the document first; an earlier mention of it is dropped and the oldest fall off the end.
    // An empty URL is ignored.
    void noteNewRecentDocumentUrl(const Url& url);
    std::vector<Url> recentDocumentUrls() const;
    void clearRecentDocuments();

    std::size_t maximumCount() const { return maximumCount_; }

private:
    void store(const std::vector<Url>& urls);

    UserDefaults& defaults_;
    std::size_t maximumCount_;
};

} // namespace platform

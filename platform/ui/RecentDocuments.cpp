#include "platform/ui/RecentDocuments.h"

#include "platform/foundation/UserDefaults.h"

#include <algorithm>

namespace platform {

RecentDocuments::RecentDocuments(UserDefaults& defaults, std::size_t maximumCount)
    : defaults_(defaults), maximumCount_(std::max<std::size_t>(maximumCount, 1)) {}

std::vector<Url> RecentDocuments::recentDocumentUrls() const {
    std::vector<Url> urls;
    auto stored = defaults_.object(defaultsKey);
    if (!stored || !stored->asArray()) return urls;
    // The file may have been edited by hand or by an older version: repeats and surplus are dropped
    // here as well.
    for (const PlistValue& value : *stored->asArray()) {
        if (urls.size() == maximumCount_) break;
        const std::string* text = value.asString();
        if (!text) continue;
        auto url = Url::fromAbsoluteString(*text);
        if (!url || url->isEmpty()) continue;
        if (std::find(urls.begin(), urls.end(), *url) == urls.end()) urls.push_back(std::move(*url));
    }
    return urls;
}

void RecentDocuments::noteNewRecentDocumentUrl(const Url& url) {
    if (url.isEmpty()) return;
    std::vector<Url> urls = recentDocumentUrls();
    urls.erase(std::remove(urls.begin(), urls.end(), url), urls.end());
    urls.insert(urls.begin(), url);
    if (urls.size() > maximumCount_) urls.resize(maximumCount_);
    store(urls);
}

void RecentDocuments::clearRecentDocuments() {
    defaults_.removeObject(defaultsKey);
}

void RecentDocuments::store(const std::vector<Url>& urls) {
    PlistArray texts;
    for (const Url& url : urls)
        texts.emplace_back(url.absoluteString());
    defaults_.set(defaultsKey, PlistValue(std::move(texts)));
}

} // namespace platform

#include "Source/views/UpdateTagsTransaction.h"

#include "Source/session/AppServices.h"
#include "Source/session/MainWindowServices.h"
#include "Source/session/Playlist.h"
#include "Source/session/PlaylistEntry.h"

#include <algorithm>
#include <utility>

namespace vantle {

std::string toggledTags(std::string_view oldTags, std::string_view toggle) {
    const std::vector<std::string> old = tagCharacters(oldTags);
    const std::vector<std::string> toggled = tagCharacters(toggle);
    auto contains = [](const std::vector<std::string>& list, const std::string& tag) {
        return std::find(list.begin(), list.end(), tag) != list.end();
    };
    std::string result;
    for (const std::string& tag : old)
        if (!contains(toggled, tag)) result += tag;
    for (const std::string& tag : toggled)
        if (!contains(old, tag)) result += tag;
    return result;
}

UpdateTagsTransaction::ArgsList
UpdateTagsTransaction::tagChanges(const std::vector<std::shared_ptr<PlaylistEntry>>& entries,
                                  std::string_view toggle) {
    ArgsList changes;
    changes.reserve(entries.size());
    for (const auto& entry : entries) {
        if (!entry) continue;
        std::string old = entry->tags.value_or(std::string());
        std::string updated = toggledTags(old, toggle);
        changes.push_back({entry, std::move(old), std::move(updated)});
    }
    return changes;
}

UpdateTagsTransaction::UpdateTagsTransaction(ArgsList argslist, std::function<void()> reloadTable)
    : argslist(std::move(argslist)), reloadTable_(std::move(reloadTable)) {}

platform::Result<void> UpdateTagsTransaction::redo() {
    applyTags(true);
    return {};
}

platform::Result<void> UpdateTagsTransaction::undo() {
    applyTags(false);
    return {};
}

void UpdateTagsTransaction::applyTags(bool ending) {
    for (const TagChange& change : argslist) {
        const std::string& text = ending ? change.newTags : change.oldTags;
        // Tag edits never leave an empty text behind: none and "" would save differently.
        if (text.empty())
            change.entry->tags.reset();
        else
            change.entry->tags = text;
    }
    MainWindowServices* window = AppServices::mainWindow();
    if (!window) return;
    if (std::shared_ptr<Playlist> playlist = window->playlist()) playlist->dirty = true;
    if (reloadTable_) reloadTable_();
}

} // namespace vantle

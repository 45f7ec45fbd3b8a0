#pragma once
// The undo step of a tag edit of playlist entries, and the tag arithmetic behind it. Main thread.

#include "Source/session/UndoRedoTransaction.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vantle {

class PlaylistEntry;

// The tags after toggling: the old tags that are not in `toggle`, in their order, then the
// characters of `toggle` that are not among the old tags, in theirs. Characters (UTF-8 sequences)
// compare exactly, so "a" and "A" are different tags.
std::string toggledTags(std::string_view oldTags, std::string_view toggle);

// Sets each touched entry's tags to its new text (redo) or its old one (undo); an empty text is
// stored as no tags. The entries are the playlist's own objects, shared.
class UpdateTagsTransaction final : public UndoRedoTransaction {
public:
    struct TagChange {
        std::shared_ptr<PlaylistEntry> entry;
        std::string oldTags; // "" for none
        std::string newTags;
    };
    using ArgsList = std::vector<TagChange>;

    // One change per entry, in the given order: its tags (or "") and the tags toggled by `toggle`.
    static ArgsList tagChanges(const std::vector<std::shared_ptr<PlaylistEntry>>& entries,
                               std::string_view toggle);

    // After applying either state, while the application has a main window, its playlist is
    // marked dirty and `reloadTable` runs (it reloads the table and refreshes the main view).
    explicit UpdateTagsTransaction(ArgsList argslist, std::function<void()> reloadTable = {});

    platform::Result<void> redo() override;
    platform::Result<void> undo() override;
    std::string redoName() const override { return redoName_; }
    std::string undoName() const override { return undoName_; }

    ArgsList argslist;

private:
    void applyTags(bool ending);

    std::string redoName_ = "Redo update tags";
    std::string undoName_ = "Undo update tags";
    std::function<void()> reloadTable_;
};

} // namespace vantle

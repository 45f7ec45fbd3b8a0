#include "Source/mainwindow/LeavingNotes.h"

#include "Source/session/PlaylistEntry.h"
#include "Source/session/TextNoteSet.h"

#include <QPointer>
#include <QTimer>

#include <algorithm>

namespace vantle {

namespace {

// Often enough that a note follows an editor's save within a moment.
constexpr int retryMilliseconds = 100;

// One try; false while it waits.
bool triedToEnd(const std::shared_ptr<PlaylistEntry>& entry, LeavingNotes::Entries& unwritten) {
    if (!entry->notesUnsaved()) return true;
    const TextNoteSet::SaveResult saved = entry->noteSet().saveBeforeLeaving();
    if (saved.status == TextNoteSet::SaveResult::Status::waiting) return false;
    if (!saved) unwritten.push_back(entry);
    return true;
}

} // namespace

LeavingNotes::LeavingNotes(QObject* parent) : QObject(parent) {}

void LeavingNotes::save(const Entries& entries, std::function<void(const Entries& unwritten)> done) {
    Group group{{}, {}, std::move(done)};
    for (const std::shared_ptr<PlaylistEntry>& entry : entries)
        if (entry && !triedToEnd(entry, group.unwritten)) group.waiting.push_back(entry);
    if (group.waiting.empty()) {
        if (group.done) group.done(group.unwritten);
        return;
    }
    groups_.push_back(std::move(group));
    scheduleRetry();
}

void LeavingNotes::scheduleRetry() {
    if (scheduled_ || groups_.empty()) return;
    scheduled_ = true;
    QPointer<LeavingNotes> self(this);
    auto retry = [self] {
        if (!self) return;
        self->scheduled_ = false;
        self->retry();
    };
    if (later_)
        later_(std::move(retry));
    else
        QTimer::singleShot(retryMilliseconds, this, std::move(retry));
}

void LeavingNotes::retry() {
    // An entry in two groups (a song left, then the session closed) is tried once a turn.
    struct Tried {
        const PlaylistEntry* entry;
        bool waiting;
        bool unwritten;
    };
    std::vector<Tried> tried;
    std::vector<Group> ended;
    for (auto group = groups_.begin(); group != groups_.end();) {
        auto stillWaiting = [&](const std::shared_ptr<PlaylistEntry>& entry) {
            auto known = std::find_if(tried.begin(), tried.end(),
                                      [&](const Tried& t) { return t.entry == entry.get(); });
            if (known == tried.end()) {
                Entries unwritten;
                const bool waiting = !triedToEnd(entry, unwritten);
                known = tried.insert(tried.end(), {entry.get(), waiting, !unwritten.empty()});
            }
            if (!known->waiting && known->unwritten) group->unwritten.push_back(entry);
            return known->waiting;
        };
        group->waiting.erase(std::remove_if(group->waiting.begin(), group->waiting.end(),
                                            [&](const auto& entry) { return !stillWaiting(entry); }),
                             group->waiting.end());
        if (group->waiting.empty()) {
            ended.push_back(std::move(*group));
            group = groups_.erase(group);
        } else {
            ++group;
        }
    }
    scheduleRetry();
    // Last: what runs now may close the session or start another save.
    for (Group& group : ended)
        if (group.done) group.done(group.unwritten);
}

} // namespace vantle

#pragma once
// The notes of songs left, of a session being closed or of the program quitting whose save waits for
// another program to finish with their file: tried again on the window's loop, never by holding it,
// until each is written or given up (TextNoteSet::saveBeforeLeaving). Main thread.

#include <functional>
#include <memory>
#include <vector>

#include <QObject>

namespace vantle {

class PlaylistEntry;

class LeavingNotes : public QObject {
public:
    using Entries = std::vector<std::shared_ptr<PlaylistEntry>>;
    // Runs `retry` on a later turn of the loop (by default a tenth of a second later).
    using Later = std::function<void(std::function<void()> retry)>;

    explicit LeavingNotes(QObject* parent);

    // Tries the saves of the entries whose notes are not saved yet; `done` runs with those that could
    // not be written once none of them waits any more: at once when none waited, else on a later turn.
    void save(const Entries& entries, std::function<void(const Entries& unwritten)> done);
    // A save is being tried again.
    bool waiting() const { return !groups_.empty(); }
    // For tests, which move a clock between the tries.
    void setLater(Later later) { later_ = std::move(later); }

private:
    struct Group {
        Entries waiting;
        Entries unwritten;
        std::function<void(const Entries&)> done;
    };
    // Saves each waiting entry once more and ends the groups none of whose entries waits.
    void retry();
    void scheduleRetry();

    std::vector<Group> groups_;
    Later later_;
    bool scheduled_ = false;
};

} // namespace vantle

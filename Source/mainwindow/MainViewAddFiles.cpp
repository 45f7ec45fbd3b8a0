// Adding audio files and folders chosen with the open panel.

#include "Source/mainwindow/MainViewController.h"

#include "Source/mainwindow/PanelFolders.h"
#include "Source/mainwindow/RefusedFile.h"
#include "Source/session/EditListTransaction.h"
#include "Source/session/Playlist.h"
#include "Source/session/PlaylistEntry.h"
#include "Source/views/PlaylistTableView.h"
#include "platform/dispatch/ConcurrentQueue.h"
#include "platform/files/AudioFileSettings.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Text.h"
#include "platform/ui/Alerts.h"
#include "platform/ui/FilePanels.h"

#include <QLocale>
#include <QPointer>
#include <QProgressBar>

#include <algorithm>
#include <climits>
#include <unordered_map>
#include <unordered_set>

namespace vantle {

void MainViewController::chooseFilesToAdd() {
    platform::OpenPanelOptions options;
    options.canChooseFiles = true;
    options.canChooseDirectories = true;
    options.allowsMultipleSelection = true;
    options.directory = panelStartFolder(*defaults_, PanelFolderKind::audio);
    options.message = "Add Files";
    options.prompt = "Add";
    // Songs packed with their karaoke graphics come as zip archives.
    std::vector<std::string> songExtensions = platform::audioFileExtensions();
    songExtensions.push_back("zip");
    options.fileFilters = {{"Audio files", songExtensions}, {"All files", {}}};
    QPointer<MainViewController> self(this);
    filePanels_->beginOpenPanel(window(), std::move(options), [self](std::vector<platform::Url> chosen) {
        if (self && !chosen.empty()) self->addChosenFiles(chosen);
    });
}

void MainViewController::addChosenFiles(const std::vector<platform::Url>& chosen) {
    rememberPanelFolder(*defaults_, PanelFolderKind::audio, chosen);
    // Everything one panel chose is one undo step.
    addLocations(chosen, nullptr, [this](const AddedFiles& files) {
        // Each file's entry, the first listed of its file, looked up once: thousands of files chosen
        // for a list of thousands must not each search the whole list.
        std::unordered_map<platform::Url, std::shared_ptr<PlaylistEntry>> listed;
        listed.reserve(playlist_->allEntries.size());
        for (const std::shared_ptr<PlaylistEntry>& entry : playlist_->allEntries)
            if (entry) listed.emplace(entry->_url, entry);

        // The first file that made it in becomes the selected row when the filter shows it, and the
        // current entry unless the music plays.
        for (const platform::Url& url : files.found) {
            auto added = listed.find(url);
            if (added == listed.end()) continue;
            if (std::optional<std::size_t> row = playlist_->row(added->second)) {
                loadEntryAtRowAfterListEdit(*row);
                tableView_->selectRows({*row});
            }
            break;
        }
        reportNotAudio(files.notAudio);
    });
}

void MainViewController::reportNotAudio(const std::vector<FileAddition::File>& files) {
    // A folder may hold pictures and notes beside its music; only files named one by one are worth a
    // word when they are not audio.
    std::vector<RefusedFile> refused;
    for (const FileAddition::File& file : files) {
        // A zip is refused for a reason of its own (not one song, too large, damaged): say which.
        const std::string reason = file.archiveRefusal.value_or("not an audio file that Vantle can play");
        platform::consolePrint("can't add " + platform::escapingInvalidUtf8(file.url.path()) + ": " + reason);
        refused.push_back({file.url.path(), reason});
    }
    reportRefusedFiles(refused);
}

// ---- additions ----

// Named, not anonymous: the addition's state, a member type of the controller, holds a set of them.
namespace additionUrls {

// Files looked up by the URLs their entries hold, with no copy of any.
struct HashOfUrlAt {
    std::size_t operator()(const platform::Url* url) const { return std::hash<platform::Url>{}(*url); }
};
struct SameUrlAt {
    bool operator()(const platform::Url* a, const platform::Url* b) const { return *a == *b; }
};
using UrlsListed = std::unordered_set<const platform::Url*, HashOfUrlAt, SameUrlAt>;

} // namespace additionUrls

struct MainViewController::Addition {
    std::shared_ptr<PlaylistEntry> before;
    AdditionDone done;
    AddedFiles files;
    // Files that went in or moved.
    std::size_t taken = 0;
    // The step this addition recorded last, the list it left and what it starts from; a later batch
    // takes its place while the list is still as it left it.
    const UndoRedoTransaction* step = nullptr;
    Playlist::EntryList leftList;
    // The files of leftList (which keeps them), while known: a batch of new files is then put in
    // without a look at the whole list.
    additionUrls::UrlsListed listed;
    bool listedKnown = false;
    Playlist::EntryList initialList;
    RowIndexes initialSelection;
    // Null while the files are measured here.
    std::unique_ptr<FileAddition> worker;
    // The entries it made, held weakly so that no other entry is ever taken for one, and the undo
    // steps its batches recorded (more than one when the user changed the list between them).
    std::vector<std::weak_ptr<PlaylistEntry>> brought;
    int steps = 0;
};

void MainViewController::addLocations(std::vector<platform::Url> locations,
                                      std::shared_ptr<PlaylistEntry> before, AdditionDone done) {
    if (addition_) {
        waitingAdditions_.push_back({std::move(locations), std::move(before), std::move(done)});
        return;
    }
    addition_ = std::make_shared<Addition>();
    addition_->before = std::move(before);
    addition_->done = std::move(done);
    // A few files cost the window less than the hand-off; only more go to the worker.
    if (std::optional<std::vector<FileAddition::File>> files =
            FileAddition::measureHere(locations, filesAddedAtOnce)) {
        addBatch(*addition_, std::move(*files));
        finishAddition();
        return;
    }
    // Busy while the folders are walked; then counting.
    additionProgress_->setRange(0, 0);
    additionProgress_->show();
    QPointer<MainViewController> self(this);
    // Weak: the addition owns the worker that holds these, and going it cancels the worker.
    const std::weak_ptr<Addition> weak = addition_;
    addition_->worker = std::make_unique<FileAddition>(
        std::move(locations), additionWorker ? *additionWorker : platform::globalQueue(),
        [self, weak](std::vector<FileAddition::File> batch, FileAddition::Progress progress) {
            const std::shared_ptr<Addition> addition = weak.lock();
            if (!self || !addition || self->addition_ != addition) return;
            self->addBatch(*addition, std::move(batch));
            if (progress.total > 0) {
                self->additionProgress_->setRange(
                    0, static_cast<int>(std::min<std::size_t>(progress.total, INT_MAX)));
                self->additionProgress_->setValue(
                    static_cast<int>(std::min<std::size_t>(progress.measured, INT_MAX)));
            }
        },
        [self, weak] {
            const std::shared_ptr<Addition> addition = weak.lock();
            if (self && addition && self->addition_ == addition) self->finishAddition();
        },
        additionOptions);
}

void MainViewController::addBatch(Addition& addition, std::vector<FileAddition::File> files) {
    if (files.empty()) return;
    std::vector<platform::Url> urls;
    urls.reserve(files.size());
    Playlist::EntryList made;
    made.reserve(files.size());
    std::vector<FileAddition::File> failedNamed;
    for (FileAddition::File& file : files) {
        urls.push_back(file.url);
        addition.files.found.push_back(file.url);
        if (file.length)
            made.push_back(PlaylistEntry::make(file.url, *file.length));
        else if (file.named)
            failedNamed.push_back(std::move(file));
    }
    Playlist::EntryList initialList = playlist_->allEntries;
    const RowIndexes initialSelection = tableView_->selectedRows();
    const bool wasDirty = playlist_->dirty;
    const bool unchanged = initialList == addition.leftList;
    const Undoer::Stack& steps = playlist_->undoer.undoStack();
    const bool goesOn = addition.step && !steps.empty() && steps.back().get() == addition.step && unchanged;
    if (!unchanged || !addition.listedKnown) {
        // The index always describes leftList, which keeps the entries it points into.
        addition.leftList = initialList;
        addition.listed.clear();
        addition.listed.reserve(initialList.size() + files.size());
        for (const std::shared_ptr<PlaylistEntry>& entry : initialList)
            if (entry) addition.listed.insert(&entry->_url);
        addition.listedKnown = true;
    }
    // New files, each once: they go in together in front of the anchor, as one by one they would.
    bool allNew = std::none_of(failedNamed.begin(), failedNamed.end(), [&](const FileAddition::File& file) {
        return addition.listed.count(&file.url) > 0;
    });
    for (std::size_t i = 0; allNew && i < made.size(); ++i)
        allNew = addition.listed.insert(&made[i]->_url).second;
    if (allNew) {
        auto at = playlist_->allEntries.end();
        if (addition.before)
            at = std::find_if(
                playlist_->allEntries.begin(), playlist_->allEntries.end(),
                [&](const auto& entry) { return entry && entry->_url == addition.before->_url; });
        if (!made.empty()) {
            playlist_->allEntries.insert(at, made.begin(), made.end());
            playlist_->dirty = true;
        }
    } else {
        playlist_->insertEntries(urls, made, addition.before);
        addition.listedKnown = false;
    }
    // A named file that is not audio may still be listed (its file gone since): it moved, as any
    // listed file added again does.
    if (!failedNamed.empty() && !allNew) {
        std::unordered_set<platform::Url> listed;
        listed.reserve(playlist_->allEntries.size());
        for (const std::shared_ptr<PlaylistEntry>& entry : playlist_->allEntries)
            if (entry) listed.insert(entry->_url);
        for (FileAddition::File& file : failedNamed) {
            if (listed.count(file.url))
                ++addition.taken;
            else
                addition.files.notAudio.push_back(std::move(file));
        }
    } else {
        for (FileAddition::File& file : failedNamed)
            addition.files.notAudio.push_back(std::move(file));
    }
    addition.taken += made.size();
    for (const std::shared_ptr<PlaylistEntry>& entry : made)
        addition.brought.push_back(entry);
    // Nothing that could be added, or files already listed where they were.
    if (playlist_->allEntries == initialList) {
        playlist_->dirty = wasDirty;
        return;
    }
    if (!goesOn) {
        addition.initialList = std::move(initialList);
        addition.initialSelection = initialSelection;
        ++addition.steps;
    }
    const RowIndexes endingSelection = tableView_->selectedRows();
    auto step =
        std::make_unique<EditListTransaction>("add entries", addition.initialList, addition.initialSelection,
                                              playlist_->allEntries, endingSelection);
    addition.leftList = playlist_->allEntries;
    const UndoRedoTransaction* amended = goesOn ? addition.step : nullptr;
    addition.step = step.get();
    EditListTransaction::apply(playlist_->allEntries, endingSelection);
    playlist_->undoer.amendTop(amended, std::move(step));
}

void MainViewController::finishAddition() {
    const std::shared_ptr<Addition> addition = std::move(addition_);
    addition_.reset();
    if (addition) {
        const std::size_t found = addition->files.found.size();
        // One line for the whole addition, however many files; a single one is named. The console
        // stays UTF-8: the bytes of a name in another encoding show as escapes.
        if (found == 1 && addition->taken == 1)
            platform::consolePrint("added " + platform::escapingInvalidUtf8(addition->files.found[0].path()));
        else if (found > 0)
            platform::consolePrint("added " + std::to_string(addition->taken) + " of " +
                                   std::to_string(found) + " files");
        if (addition->worker) {
            additionProgress_->hide();
            const QLocale locale;
            notices_->showText(tr("Added %1 of %2 files")
                                   .arg(locale.toString(static_cast<qulonglong>(addition->taken)),
                                        locale.toString(static_cast<qulonglong>(found))),
                               3.0, std::nullopt);
        }
        if (addition->done) addition->done(addition->files);
    }
    // What waited starts now, unless the work just done started another (a session opened).
    if (addition_ || waitingAdditions_.empty()) return;
    WaitingAddition next = std::move(waitingAdditions_.front());
    waitingAdditions_.pop_front();
    addLocations(std::move(next.locations), std::move(next.before), std::move(next.done));
}

void MainViewController::stopAdditions() {
    additionProgress_->hide();
    // The files still to come go unadded; a list that simply stops growing would not say so.
    if (addition_ && addition_->worker && !addition_->worker->finished()) {
        const std::string taken = std::to_string(addition_->taken);
        platform::consolePrint("stopped adding files: " + taken + " went in, the rest were not added");
        notices_->showText(tr("Stopped adding files: %1 went in, the rest were not added")
                               .arg(QLocale().toString(static_cast<qulonglong>(addition_->taken))),
                           3.0, std::nullopt);
    }
    addition_.reset();
    waitingAdditions_.clear();
}

void MainViewController::settleCutAddition(std::function<void(bool goOn)> then) {
    if (!addition_ || !addition_->worker || addition_->worker->finished()) {
        then(true);
        return;
    }
    // Nothing more comes in while the user decides.
    const std::shared_ptr<Addition> addition = addition_;
    addition->worker->cancel();
    waitingAdditions_.clear();
    additionProgress_->hide();
    const QLocale locale;
    const QString taken = locale.toString(static_cast<qulonglong>(addition->taken));
    platform::AlertOptions options;
    options.messageText =
        tr("Adding files was not finished: %1 of the files went in. Keep them in the session?")
            .arg(taken)
            .toStdString();
    options.informativeText =
        tr("Take Them Out takes the files that went in out again; Keep Them saves the session with "
           "them; Cancel leaves the session open with them, where Edit › Undo takes them out.")
            .toStdString();
    options.buttons = {tr("Take Them Out").toStdString(), tr("Keep Them").toStdString(),
                       tr("Cancel").toStdString()};
    options.defaultButton = 0;
    QPointer<MainViewController> self(this);
    alerts_->beginAlert(window(), std::move(options), [self, addition, then = std::move(then)](int button) {
        if (!self) return;
        const Undoer::Stack& steps = self->playlist_->undoer.undoStack();
        if (button == 0 && addition->step) {
            // One step on top is the list as it was; otherwise the user changed it meanwhile, and only
            // the files the addition brought go.
            if (addition->steps == 1 && !steps.empty() && steps.back().get() == addition->step)
                self->playlist_->undoer.undo();
            else
                self->takeOutBrought(*addition);
            if (self->addition_ == addition) self->addition_.reset();
            const QString taken = QLocale().toString(static_cast<qulonglong>(addition->taken));
            platform::consolePrint("stopped adding files: the " + std::to_string(addition->taken) +
                                   " that went in were taken out again");
            self->notices_->showText(
                tr("Stopped adding files: the %1 that went in were taken out again").arg(taken), 3.0,
                std::nullopt);
        } else if (self->addition_ == addition) {
            self->stopAdditions();
        }
        then(button != 2);
    });
}

void MainViewController::takeOutBrought(const Addition& addition) {
    std::unordered_set<const PlaylistEntry*> brought;
    for (const std::weak_ptr<PlaylistEntry>& made : addition.brought)
        if (const std::shared_ptr<PlaylistEntry> entry = made.lock()) brought.insert(entry.get());
    const Playlist::EntryList initialList = playlist_->allEntries;
    Playlist::EntryList endingList;
    for (const std::shared_ptr<PlaylistEntry>& entry : initialList)
        if (!brought.count(entry.get())) endingList.push_back(entry);
    if (endingList.size() == initialList.size()) return;
    EditListTransaction step("remove", initialList, tableView_->selectedRows(), endingList, {});
    (void)step.redo();
    playlist_->undoer.record(std::move(step));
}

void MainViewController::reportRefusedFiles(const std::vector<RefusedFile>& refused) {
    if (refused.empty()) return;
    platform::AlertOptions options;
    options.messageText = refused.size() == 1 ? std::string("A file could not be added.")
                                              : std::to_string(refused.size()) + " files could not be added.";
    // A whole folder of foreign files must not make an alert taller than the screen.
    constexpr std::size_t listed = 12;
    for (std::size_t i = 0; i < refused.size() && i < listed; ++i) {
        if (i > 0) options.informativeText += "\n";
        options.informativeText +=
            platform::escapingControlCharacters(platform::replacingInvalidUtf8(refused[i].path)) + ": " +
            refused[i].reason;
    }
    if (refused.size() > listed)
        options.informativeText +=
            "\n… and " + std::to_string(refused.size() - listed) + " more (listed in the console)";
    alerts_->beginAlert(window(), std::move(options), {});
}

} // namespace vantle

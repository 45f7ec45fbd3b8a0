#include "Source/karaoke/CdgFolderIndex.h"

#include "Source/karaoke/CdgFile.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/SerialQueue.h"
#include "platform/files/SongArchive.h"

#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace vantle {

struct CdgFolderIndex::Folders {
    struct Listing {
        std::unordered_set<std::string> cdgBaseNames; // lower case
        bool listed = false;
        bool stale = false;
        bool pending = false;
    };
    std::unordered_map<std::string, Listing> byFolder;
    std::function<void(bool)> folderListed;
};

CdgFolderIndex::CdgFolderIndex(std::function<void(bool)> folderListed, ListFolder listFolder)
    : folders_(std::make_shared<Folders>()), listFolder_(std::move(listFolder)),
      worker_(std::make_unique<platform::SerialQueue>("cdg folder listings")) {
    folders_->folderListed = std::move(folderListed);
    if (!listFolder_)
        listFolder_ = [](const std::string& folder, const std::function<bool()>& stopped) {
            return listFileNames(folder, listedNamesLimit, stopped);
        };
    // The main queue takes the thread that first asks for it as the main thread: that must be this
    // one, not the worker posting its first answer.
    (void)platform::mainQueue();
}

// Closing the window or quitting must not wait for a slow share: the queued listings are dropped, the
// one under way ends at its next name, and an answer already posted finds no index. The worker is not
// waited for either (one name of a share that stopped answering may take minutes): its last work holds
// it, so that its thread ends on its own once the listing under way returns.
CdgFolderIndex::~CdgFolderIndex() {
    stopped_->store(true);
    folders_->folderListed = nullptr;
    folders_.reset();
    std::shared_ptr<platform::SerialQueue> worker = std::move(worker_);
    worker->async([worker] {});
}

std::optional<bool> CdgFolderIndex::hasGraphics(const std::string& audioPath) {
    // A song archive is only ever taken as a song with its graphics packed beside its audio.
    if (platform::isSongArchivePath(audioPath)) return true;
    const auto slash = audioPath.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : audioPath.substr(0, slash);
    const std::string fileName = slash == std::string::npos ? audioPath : audioPath.substr(slash + 1);
    Folders::Listing& listing = folders_->byFolder[folder];
    if ((!listing.listed || listing.stale) && !listing.pending) {
        listing.pending = true;
        std::weak_ptr<Folders> weak = folders_;
        worker_->async([weak, folder, list = listFolder_, stopped = stopped_] {
            const std::function<bool()> isStopped = [&stopped] { return stopped->load(); };
            if (isStopped()) return;
            std::unordered_set<std::string> names;
            for (const std::string& name : list(folder, isStopped))
                if (std::string key = cdgKeyOf(name); !key.empty()) names.insert(std::move(key));
            if (isStopped()) return;
            platform::mainQueue().async([weak, folder, names = std::move(names)]() mutable {
                const auto folders = weak.lock();
                if (!folders) return;
                Folders::Listing& done = folders->byFolder[folder];
                // Unlisted, a song was shown without graphics: only a new set of names changes that.
                const bool changed = done.cdgBaseNames != names;
                done.cdgBaseNames = std::move(names);
                done.listed = true;
                done.stale = false;
                done.pending = false;
                if (folders->folderListed) folders->folderListed(changed);
            });
        });
    }
    if (!listing.listed) return std::nullopt;
    if (!cdgKeyOf(fileName).empty()) return false; // the graphics file itself is no song
    return listing.cdgBaseNames.count(songKeyOf(fileName)) > 0;
}

void CdgFolderIndex::refresh() {
    for (auto& [folder, listing] : folders_->byFolder)
        listing.stale = true;
}

} // namespace vantle

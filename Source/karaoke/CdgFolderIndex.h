#pragma once
// Which songs have CD+G graphics beside them, asked for many songs at once (a playlist's rows): each
// folder is listed once on a worker thread and its `.cdg` names kept. Main thread; answers arrive
// through the main queue.

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class SerialQueue;
}

namespace vantle {

class CdgFolderIndex {
public:
    // Lists a folder's file names on the worker; `stopped` holds once nothing wants the listing any more.
    using ListFolder = std::function<std::vector<std::string>(const std::string& folder,
                                                              const std::function<bool()>& stopped)>;

    // `folderListed` is called on the main thread when a folder's listing has come in, so that what
    // shows its songs can ask again; `answersChanged` is false when no song of it has graphics now that
    // had none before (a folder without any: the answer "none" stands, and nothing need be drawn again).
    // `listFolder` lists the folders (empty: listFileNames).
    explicit CdgFolderIndex(std::function<void(bool answersChanged)> folderListed,
                            ListFolder listFolder = {});
    ~CdgFolderIndex();
    CdgFolderIndex(const CdgFolderIndex&) = delete;
    CdgFolderIndex& operator=(const CdgFolderIndex&) = delete;

    // Whether a `.cdg` of the song's base name (any case) is beside it, as cdgBesidePath finds it, or
    // the song is a zip archive (which holds its graphics); nullopt while its folder's first listing
    // is under way.
    std::optional<bool> hasGraphics(const std::string& audioPath);
    // Every folder is listed again at its next question; until then the old answers stand.
    void refresh();

private:
    struct Folders;
    std::shared_ptr<Folders> folders_;
    ListFolder listFolder_;
    // Set when the index goes: nothing wants its listings any more.
    std::shared_ptr<std::atomic<bool>> stopped_ = std::make_shared<std::atomic<bool>>(false);
    std::unique_ptr<platform::SerialQueue> worker_;
};

} // namespace vantle

#include "tests/support/UiFakes.h"

#include <utility>

namespace testsupport {

void FakeFilePanels::beginOpenPanel(QWidget* window, OpenPanelOptions options,
                                    OpenPanelCompletion completion) {
    openRequests_.push_back({window, std::move(options)});
    pendingOpen_.push_back(std::move(completion));
}

void FakeFilePanels::beginSavePanel(QWidget* window, SavePanelOptions options,
                                    SavePanelCompletion completion) {
    saveRequests_.push_back({window, std::move(options)});
    pendingSave_.push_back(std::move(completion));
}

bool FakeFilePanels::answerOpenPanel(std::vector<Url> urls) {
    if (pendingOpen_.empty()) return false;
    // Taken off the queue first: the completion may begin another panel.
    OpenPanelCompletion completion = std::move(pendingOpen_.front());
    pendingOpen_.pop_front();
    if (completion) completion(std::move(urls));
    return true;
}

bool FakeFilePanels::answerSavePanel(std::optional<Url> url) {
    if (pendingSave_.empty()) return false;
    SavePanelCompletion completion = std::move(pendingSave_.front());
    pendingSave_.pop_front();
    if (completion) completion(std::move(url));
    return true;
}

void FakeAlerts::beginAlert(QWidget* window, AlertOptions options, AlertCompletion completion) {
    const std::size_t buttons = options.buttons.empty() ? 1 : options.buttons.size();
    requests_.push_back({window, std::move(options)});
    pending_.emplace_back(buttons, std::move(completion));
}

bool FakeAlerts::answerAlert(int button) {
    if (pending_.empty() || button < 0 || std::size_t(button) >= pending_.front().first) return false;
    AlertCompletion completion = std::move(pending_.front().second);
    pending_.pop_front();
    if (completion) completion(button);
    return true;
}

void FakePasteboard::clearContents() {
    items_.clear();
    ++changeCount_;
}

void FakePasteboard::writeItems(std::vector<PasteboardItem> items) {
    items_ = std::move(items);
    ++changeCount_;
}

bool FakeWorkspace::openFile(const Url& url) {
    openedFiles_.push_back(url);
    return succeeds;
}

bool FakeWorkspace::openUrl(std::string_view urlText) {
    openedUrls_.emplace_back(urlText);
    return succeeds;
}

bool FakeWorkspace::selectFile(const std::string& path, const std::string& rootFolder) {
    selections_.push_back({path, rootFolder});
    return succeeds;
}

} // namespace testsupport

#pragma once
// Stand-ins for the Qt-bound services, for tests of the code that uses them: they show nothing,
// record every request and let the test answer panels and alerts when it chooses. Main thread only.

#include "platform/ui/Alerts.h"
#include "platform/ui/Badge.h"
#include "platform/ui/FilePanels.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/Workspace.h"

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

using platform::AlertCompletion;
using platform::AlertOptions;
using platform::Alerts;
using platform::Badge;
using platform::FilePanels;
using platform::OpenPanelCompletion;
using platform::OpenPanelOptions;
using platform::Pasteboard;
using platform::PasteboardItem;
using platform::SavePanelCompletion;
using platform::SavePanelOptions;
using platform::Url;
using platform::Workspace;

// Keeps each panel open until the test answers it; panels are answered in the order they were begun.
class FakeFilePanels final : public FilePanels {
public:
    struct OpenRequest {
        QWidget* window = nullptr;
        OpenPanelOptions options;
    };
    struct SaveRequest {
        QWidget* window = nullptr;
        SavePanelOptions options;
    };

    void beginOpenPanel(QWidget* window, OpenPanelOptions options, OpenPanelCompletion completion) override;
    void beginSavePanel(QWidget* window, SavePanelOptions options, SavePanelCompletion completion) override;

    // Every panel begun, answered or not.
    const std::vector<OpenRequest>& openRequests() const { return openRequests_; }
    const std::vector<SaveRequest>& saveRequests() const { return saveRequests_; }
    std::size_t pendingOpenPanels() const { return pendingOpen_.size(); }
    std::size_t pendingSavePanels() const { return pendingSave_.size(); }

    // Closes the oldest open panel with these locations (empty: Cancel); false when none is open.
    // The completion runs inside the call and may begin further panels.
    bool answerOpenPanel(std::vector<Url> urls);
    // Closes the oldest save panel with this location (nothing: Cancel); false when none is open.
    bool answerSavePanel(std::optional<Url> url);

private:
    std::vector<OpenRequest> openRequests_;
    std::vector<SaveRequest> saveRequests_;
    std::deque<OpenPanelCompletion> pendingOpen_;
    std::deque<SavePanelCompletion> pendingSave_;
};

// Keeps each alert open until the test answers it, oldest first.
class FakeAlerts final : public Alerts {
public:
    struct Request {
        QWidget* window = nullptr;
        AlertOptions options;
    };

    void beginAlert(QWidget* window, AlertOptions options, AlertCompletion completion) override;

    const std::vector<Request>& requests() const { return requests_; }
    std::size_t pendingAlerts() const { return pending_.size(); }
    // Closes the oldest alert with the button at this index; false when none is open or the alert has
    // no such button (an alert without buttons has its one "OK").
    bool answerAlert(int button);

private:
    std::vector<Request> requests_;
    std::deque<std::pair<std::size_t, AlertCompletion>> pending_; // button count, completion
};

// An in-memory pasteboard.
class FakePasteboard final : public Pasteboard {
public:
    void clearContents() override;
    void writeItems(std::vector<PasteboardItem> items) override;
    std::vector<PasteboardItem> items() const override { return items_; }

    // How often the contents were replaced or cleared.
    int changeCount() const { return changeCount_; }

private:
    std::vector<PasteboardItem> items_;
    int changeCount_ = 0;
};

// Remembers every label it was asked to show.
class FakeBadge final : public Badge {
public:
    void setLabel(std::string_view text) override { labels_.emplace_back(text); }
    // The label shown now; empty when none.
    std::string label() const { return labels_.empty() ? std::string() : labels_.back(); }
    const std::vector<std::string>& labels() const { return labels_; }

private:
    std::vector<std::string> labels_;
};

// Records each request and answers with `succeeds`.
class FakeWorkspace final : public Workspace {
public:
    struct Selection {
        std::string path;
        std::string rootFolder;
        friend bool operator==(const Selection&, const Selection&) = default;
    };

    bool openFile(const Url& url) override;
    bool openUrl(std::string_view urlText) override;
    bool selectFile(const std::string& path, const std::string& rootFolder) override;

    const std::vector<Url>& openedFiles() const { return openedFiles_; }
    const std::vector<std::string>& openedUrls() const { return openedUrls_; }
    const std::vector<Selection>& selections() const { return selections_; }

    bool succeeds = true;

private:
    std::vector<Url> openedFiles_;
    std::vector<std::string> openedUrls_;
    std::vector<Selection> selections_;
};

} // namespace testsupport

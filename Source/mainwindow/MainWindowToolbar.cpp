// The toolbar's actions and mode tools, and the window's frame kept across runs.

#include "Source/mainwindow/MainWindowController.h"

#include "Source/playback/BreakTimer.h"
#include "Source/views/Clock.h"
#include "Source/views/SymbolImages.h"
#include "platform/foundation/UserDefaults.h"

#include <QAction>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace vantle {

namespace {

// The pictures of the three mode tools for each mode: dance, prepare, karaoke.
struct ModeImages {
    const char* dance;
    const char* prepare;
    const char* karaoke;
};

ModeImages modeImages(PlayerMode mode) {
    switch (mode) {
    case PlayerMode::dance:
        return {"dance-active", "prepare-inactive", "karaoke-inactive"};
    case PlayerMode::prepare:
        return {"dance-inactive", "prepare-active", "karaoke-inactive"};
    case PlayerMode::karaoke:
        return {"dance-inactive", "prepare-inactive", "karaoke-active"};
    case PlayerMode::karaokePrepare:
        return {"dance-inactive", "prepare-inactive", "karaoke-editing"};
    }
    return {"", "", ""};
}

} // namespace

void MainWindowController::buildToolbarActions(QToolBar& toolbar) {
    const QColor ink = palette().color(QPalette::WindowText);
    // Named apart from the menu items of the same meaning, which carry the key equivalents.
    auto add = [&](const char* name, const QString& title, const char* symbol,
                   std::function<void()> command) {
        QAction* action = toolbar.addAction(title, this, std::move(command));
        action->setObjectName(name);
        action->setToolTip(title);
        if (symbol) action->setIcon(SymbolImages::icon(symbol, ink));
        return action;
    };
    add("toolPlay", tr("Play"), "play.fill", [this] { mainView_->transport().playPressed(); });
    add("toolPause", tr("Pause"), "pause.fill", [this] { mainView_->transport().pausePressed(); });
    // Not the zero marks' pictures under the slider: these move through the lyric lines.
    add("toolPrevSegment", tr("Previous Line"), "text.line.previous",
        [this] { mainView_->transport().prevSegmentPressed(); });
    add("toolMarkZero", tr("Mark Zero"), "z.square", [this] { mainView_->transport().markZeroPressed(); });
    add("toolNextSegment", tr("Next Line"), "text.line.next",
        [this] { mainView_->transport().nextSegmentPressed(); });
    toolbar.addSeparator();
    add("toolAddEntry", tr("Add"), nullptr, [this] { mainView_->chooseFilesToAdd(); });
    add("toolRemoveEntry", tr("Remove"), nullptr, [this] { mainView_->removeSelectedEntries(); });
    add("toolViewLog", tr("Log"), nullptr, [this] { mainView_->viewLog(); });
    add("toolBreak", tr("Break"), nullptr, [this] { toggleBreakTimer(); });
    add("toolHelp", tr("Help"), nullptr, [this] { openBundledPDF("Help"); });
    toolbar.addSeparator();

    auto tool = [&](const char* name, const QString& title, PlayerMode mode) {
        auto* button = new QToolButton(&toolbar);
        button->setObjectName(name);
        button->setText(title);
        button->setCheckable(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        // A click shows the mode from the player, not the button's own toggling.
        connect(button, &QToolButton::clicked, this, [this, mode] { setMode(mode); });
        toolbar.addWidget(button);
        return button;
    };
    danceTool_ = tool("danceTool", tr("Dance"), PlayerMode::dance);
    danceTool_->setAutoRaise(true);
    prepareTool_ = tool("prepareTool", tr("Prepare"), PlayerMode::prepare);
    karaokeTool_ = tool("karaokeTool", tr("Karaoke"), PlayerMode::karaoke);
    toolbar.addSeparator();
}

void MainWindowController::setMode(PlayerMode mode) {
    ApplicationPlayer& player = mainView_->player();
    player.setMode(mode);
    if (PlayerDelegate* playerDelegate = player.delegate()) playerDelegate->updateForMode();
    if (mode == PlayerMode::prepare || mode == PlayerMode::karaoke) {
        mainView_->breakTimer().cancel();
        clockButton_->update();
    }
    mainView_->screensaver().resetIdle();
    updateModeTools();
}

void MainWindowController::showModeTools(PlayerMode mode) {
    if (!danceTool_) return;
    const ModeImages images = modeImages(mode);
    const std::pair<QToolButton*, const char*> tools[] = {
        {danceTool_, images.dance}, {prepareTool_, images.prepare}, {karaokeTool_, images.karaoke}};
    for (const auto& [button, image] : tools) {
        button->setProperty("imageName", QString::fromLatin1(image));
        button->setChecked(!QByteArray(image).endsWith("inactive"));
    }
    karaokeTool_->setIcon(mode == PlayerMode::karaokePrepare
                              ? SymbolImages::icon("pencil", palette().color(QPalette::WindowText))
                              : QIcon());
}

// ---- the frame ----

void MainWindowController::restoreFrame() {
    frameSaveTimer_ = new QTimer(this);
    frameSaveTimer_->setSingleShot(true);
    frameSaveTimer_->setInterval(500);
    connect(frameSaveTimer_, &QTimer::timeout, this, [this] { saveFrame(); });
    if (std::optional<platform::Bytes> frame = platform::UserDefaults::standard().data(frameAutosaveName))
        restoreGeometry(
            QByteArray(reinterpret_cast<const char*>(frame->data()), static_cast<int>(frame->size())));
}

void MainWindowController::saveFrame() {
    const QByteArray frame = saveGeometry();
    platform::UserDefaults::standard().setData(frameAutosaveName,
                                               platform::Bytes(frame.begin(), frame.end()));
}

void MainWindowController::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    if (frameSaveTimer_ && isVisible()) frameSaveTimer_->start();
}

void MainWindowController::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (frameSaveTimer_ && isVisible()) frameSaveTimer_->start();
}

} // namespace vantle

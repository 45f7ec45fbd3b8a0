// The main window's keys: one filter offered every key press of the application, the player's
// actions by typed character, and the table commands the keys reach (moving and removing rows).

#include "Source/mainwindow/MainViewController.h"

#include "Source/mainwindow/InterceptingTextField.h"
#include "Source/mainwindow/KaraokeBreaks.h"
#include "Source/mainwindow/KaraokeEvening.h"

#include "Source/mainwindow/MainViewHolder.h"
#include "Source/mainwindow/MainWindowHost.h"
#include "Source/mainwindow/TempoWiring.h"
#include "Source/session/EditListTransaction.h"
#include "Source/session/Playlist.h"
#include "Source/session/PlaylistEntry.h"
#include "Source/views/KeyCharacters.h"
#include "Source/views/Mp4ViewController.h"
#include "Source/views/PdfViewController.h"
#include "Source/views/PlaylistTableView.h"
#include "platform/foundation/Console.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

#include <algorithm>
#include <cstdio>
#include <string>
#include <unordered_set>

namespace vantle {

namespace {

const QString mainViewSpaceKey = QStringLiteral(" ");
const QString mainViewReturnKey = QStringLiteral("\r");
const QString mainViewEscapeKey = QString(QChar(0x1B));
const QString mainViewDeleteKey = QString(QChar(deleteCharacter));
const QString mainViewUpKey = QString(QChar(upArrowFunctionKey));
const QString mainViewDownKey = QString(QChar(downArrowFunctionKey));
const QString mainViewLeftKey = QString(QChar(leftArrowFunctionKey));
const QString mainViewRightKey = QString(QChar(rightArrowFunctionKey));

// Shift, Control, Option (Alt) and Command (Meta): a key held with any of them is left to the
// menus and the focused control. Caps Lock is not among Qt's modifiers.
constexpr Qt::KeyboardModifiers mainViewHeldModifiers =
    Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

// Offered each key press once, for the widget it is meant for (the focus widget, or the active window
// when nothing has the focus), not again for every parent it travels on to when ignored.
class MainViewKeyMonitor final : public QObject {
public:
    explicit MainViewKeyMonitor(MainViewController& view) : view_(view) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // While lines are timed, Backspace takes a stamp back instead of removing the selected rows.
        if (event->type() == QEvent::ShortcutOverride && watched == QApplication::focusWidget() &&
            view_.karaokeTimingTakesKey(static_cast<const QKeyEvent&>(*event))) {
            event->accept();
            return true;
        }
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
        auto* target = static_cast<QWidget*>(watched);
        QWidget* focus = QApplication::focusWidget();
        if (focus ? target != focus : !target->isWindow()) return false;
        return view_.handleKeyDownEvent(static_cast<const QKeyEvent&>(*event));
    }

private:
    MainViewController& view_;
};

std::string mainViewScalarHex(char32_t scalar) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(scalar));
    return text;
}

} // namespace

void MainViewController::installKeyMonitor() {
    keyMonitor_ = std::make_unique<MainViewKeyMonitor>(*this);
    qApp->installEventFilter(keyMonitor_.get());
}

bool MainViewController::noteFieldEditing() const {
    return noteTextField_->editing();
}

bool MainViewController::textFieldHasFocus() const {
    const QWidget* focus = QApplication::focusWidget();
    if (const auto* field = qobject_cast<const QLineEdit*>(focus)) return !field->isReadOnly();
    return qobject_cast<const QAbstractSpinBox*>(focus) || qobject_cast<const QTextEdit*>(focus) ||
           qobject_cast<const QPlainTextEdit*>(focus);
}

bool MainViewController::keysAreTheWindows() const {
    return QApplication::activeWindow() == window() && !QApplication::activeModalWidget() &&
           !QApplication::activePopupWidget();
}

bool MainViewController::handleKeyDownEvent(const QKeyEvent& event) {
    screensaver_->resetIdle();
    // The host's start of the next singer, from anywhere in the window but a text field.
    if (breaks_ && keysAreTheWindows() && breaks_->handleKey(event)) return true;
    const QString characters = typedCharacters(event);
    if (characters.isEmpty()) return false;
    if (!isVisible()) return false;
    if (noteFieldEditing()) return false;
    // A singer's name, a search and the rotation's lists keep their keys.
    if (evening_ && evening_->ownsFocus()) return false;
    screensaver_->resetIdle();
    if (handleKaraokeTimingKey(characters)) return true;

    // A field's Return is its own; the search field's ends the search and hands the keys to the list.
    if (characters == mainViewReturnKey && textFieldHasFocus()) {
        MainWindowHost* windowController = mainWindowController();
        if (!keysAreTheWindows() || !windowController ||
            !windowController->isSearchField(QApplication::focusWidget()))
            return false;
        tableView_->setFocus(Qt::OtherFocusReason);
        return true;
    }

    if (characters == mainViewDownKey || characters == mainViewUpKey || characters == mainViewReturnKey) {
        // Whatever has the focus in the main window; a dialog's, a menu's or another window's
        // Return and arrows are their own.
        if (!keysAreTheWindows()) return false;
        if (characters == mainViewDownKey)
            selectNextRow();
        else if (characters == mainViewUpKey)
            selectPreviousRow();
        else
            tableView_->checkAndPromoteSelectedRows();
        return true;
    }

    if (QApplication::focusWidget() != tableView_) return false;
    if (event.modifiers() & mainViewHeldModifiers) return false;
    handleKey(characters);
    return true;
}

void MainViewController::handleKey(const QString& characters) {
    if (Mp4ViewController* video = activeVideoWindow()) {
        video->handleKey(characters);
        return;
    }
    if (PdfViewController* pdf = activePdfWindow()) {
        pdf->handleKey(characters);
        return;
    }
    if (tempo_->handleKey(characters)) return;
    const PlayerMode mode = player_->mode();
    if (mode == PlayerMode::karaoke || mode == PlayerMode::karaokePrepare) toggleKaraokeEditing(characters);

    // The zero mark and the line jumps go to the application's main view, which is this one.
    MainViewHolder* holder = MainViewHolder::shared();
    MainViewController* hub = holder ? holder->mainViewController() : nullptr;
    const bool inMainWindow = mainWindowController() && hub;

    if (characters == mainViewSpaceKey) {
        if (player_->playing())
            transport_->pausePressed();
        else
            transport_->playPressed();
    } else if (characters == QStringLiteral("z") || characters == QStringLiteral("Z")) {
        if (inMainWindow) hub->transport().markZeroPressed();
    } else if (characters == mainViewLeftKey) {
        if (inMainWindow) hub->transport().prevSegmentPressed();
    } else if (characters == mainViewRightKey) {
        if (inMainWindow) hub->transport().nextSegmentPressed();
    } else if (characters == mainViewEscapeKey) {
        // The singers' screen never has the keyboard: an Escape typed with the pointer over it is
        // its own. Anywhere else Escape is a host's reflex for menus and dialogs, and must never take
        // the room's picture away.
        if (karaoke_->singersFullScreenOn() && karaoke_->pointerOverSingersScreen()) {
            karaoke_->setSingersFullScreen(std::nullopt);
            return;
        }
        clearSearchField();
        const bool singing =
            (mode == PlayerMode::karaoke || mode == PlayerMode::karaokePrepare) && player_->playing();
        if (singing) return;
        if (MainWindowHost* windowController = mainWindowController()) windowController->actionPrepare();
    } else if (characters == mainViewDeleteKey) {
        removeSelectedEntries();
    } else if (characters == QStringLiteral("s")) {
        screensaver_->show();
    } else {
        const std::string whole = characters.toStdString();
        for (char32_t scalar : characters.toUcs4())
            platform::consolePrint("unhandled key: " + whole + ", " + mainViewScalarHex(scalar));
    }
}

void MainViewController::toggleKaraokeEditing(const QString& characters) {
    if (characters != QStringLiteral("x")) return;
    switch (player_->mode()) {
    case PlayerMode::karaoke:
        player_->setMode(PlayerMode::karaokePrepare);
        break;
    case PlayerMode::karaokePrepare:
        player_->setMode(PlayerMode::karaoke);
        break;
    case PlayerMode::dance:
    case PlayerMode::prepare:
        return;
    }
    updateForMode();
}

// ---- rows ----

// At either end of the list a move does nothing at all: the music plays on and the entry stays.
void MainViewController::selectNextRow() {
    const std::optional<std::size_t> row = playlist_->currentRow();
    if (row && *row + 1 >= playlist_->filteredEntries().size()) return;
    if (!player_->suspended()) player_->pause();
    player_->setPlaying(false);
    selectAndLoadRow(row ? *row + 1 : 0);
}

void MainViewController::selectPreviousRow() {
    const std::optional<std::size_t> row = playlist_->currentRow();
    if (row && *row == 0) return;
    if (!player_->suspended()) player_->pause();
    player_->setPlaying(false);
    if (row) selectAndLoadRow(*row - 1);
}

void MainViewController::selectAndLoadRow(std::size_t row) {
    tableView_->selectRows({row});
    loadEntryAtRow(static_cast<std::ptrdiff_t>(row));
}

void MainViewController::removeSelectedEntries() {
    const Playlist::EntryList initialList = playlist_->allEntries;
    const RowIndexes initialSelection = tableView_->selectedRows();
    // Looked up once for the whole selection, which may be every row of a long list.
    const Playlist::EntryList visible = playlist_->filteredEntries();
    std::unordered_set<platform::Url> removed;
    for (std::size_t row : initialSelection)
        if (row < visible.size()) removed.insert(visible[row]->_url);
    if (removed.empty()) return;
    Playlist::EntryList endingList;
    for (const std::shared_ptr<PlaylistEntry>& entry : initialList)
        if (!removed.count(entry->_url)) endingList.push_back(entry);
    RowIndexes endingSelection;
    if (!endingList.empty() && !initialSelection.empty())
        endingSelection.insert(std::min(*initialSelection.begin(), endingList.size() - 1));
    EditListTransaction step("remove", initialList, initialSelection, endingList, endingSelection);
    (void)step.redo();
    playlist_->undoer.record(std::move(step));
}

} // namespace vantle

#pragma once
// The content of the main window and the hub of the program: owns the player, the playlist, the
// break timer, the exporter and the window's parts; loads entries, drives the display from a 0.1 s
// tick, restores the last session and opens, saves and closes session documents. Main thread only.

#include "Source/mainwindow/AttachmentStack.h"
#include "Source/mainwindow/FileAddition.h"
#include "Source/mainwindow/InterceptingTextField.h"
#include "Source/mainwindow/KaraokeHost.h"
#include "Source/mainwindow/MainViewParts.h"
#include "Source/mainwindow/RefusedFile.h"
#include "Source/mainwindow/SoundPanel.h"
#include "Source/playback/Player.h"
#include "Source/session/MainWindowServices.h"
#include "Source/views/PlaylistTableDelegate.h"
#include "Source/views/TimeSlider.h"
#include "Source/views/TransportHost.h"
#include "Source/views/VtlViewController.h"
#include "platform/dispatch/TimerScheduler.h"
#include "platform/foundation/Url.h"

#include <QFont>
#include <QPointer>
#include <QSize>
#include <QWidget>
#include <Qt>

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

class QAction;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QMouseEvent;
class QSplitter;
class QTimer;

namespace platform {
class Alerts;
class Clock;
class DoNotDisturb;
struct Error;
class OutputVolume;
class FilePanels;
class Pasteboard;
class UserDefaults;
class Workspace;
} // namespace platform

namespace vantle {

class Attachment;
class BreakTimer;
class ClockedBreakTimer;
class Exporter;
struct ExportOutcome;
class KaraokeBreaks;
class KaraokeEvening;
class LeavingNotes;
class LengthCounter;
class MainWindowHost;
class Mp4ViewController;
class Mp4WindowController;
class PdfViewController;
class PdfWindowController;
class PlaylistTableView;
class TempoWiring;
class RestTimerState;
class Scrubber;
class ScrubSnippetPlayer;
class SessionRecovery;
class SessionSafekeeping;
class SoundEffect;
class TextNote;
class TimeSliderPlayer;
class VideoPlayer;

// What the controller takes from the application, or from a test. Pointers are not owned and must
// outlive the controller; null ones get the application's defaults.
struct MainViewEnvironment {
    // The player (the one over the node graph in the application) and the break timer.
    std::function<std::unique_ptr<ApplicationPlayer>()> makePlayer;
    std::function<std::unique_ptr<BreakTimer>()> makeBreakTimer;
    // Null: an exporter into the default export folder.
    std::function<std::unique_ptr<Exporter>()> makeExporter;
    MainViewParts parts;
    // Fires the 0.1 s display tick on the main queue. Null: the shared real-time scheduler.
    platform::TimerScheduler* scheduler = nullptr;
    // Null: Qt's panels and message boxes.
    platform::FilePanels* filePanels = nullptr;
    platform::Alerts* alerts = nullptr;
    // Null: the file manager and default applications through Qt and D-Bus; the system clipboard.
    platform::Workspace* workspace = nullptr;
    platform::Pasteboard* pasteboard = nullptr;
    // The modifier keys held at this moment. Empty: as the window system reports them.
    std::function<Qt::KeyboardModifiers()> modifierKeys;
    // Null: the standard user defaults.
    platform::UserDefaults* defaults = nullptr;
    // "Now" for played dates and the table's ages. Null: the system clock.
    const platform::Clock* clock = nullptr;
    // Switched on by the transport's play action, put back when playing stops and at quit. Null:
    // none.
    platform::DoNotDisturb* doNotDisturb = nullptr;
    // The system output's volume and mute, which carry the playback volume. Null: the system's own.
    platform::OutputVolume* outputVolume = nullptr;
    // The snippet player with which the time slider scrubs an entry's file. Empty: silent scrubbing.
    std::function<std::unique_ptr<ScrubSnippetPlayer>(const platform::Url& url)> makeScrubSnippetPlayer;
    // The video window's player for a file. Empty: the window's own (Qt Multimedia).
    std::function<std::unique_ptr<VideoPlayer>(const platform::Url& url)> makeVideoPlayer;
    // Rings when playback reaches a note whose first word begins with "!". Empty: the bell, made
    // on first use.
    std::function<void()> playNoteSound;
};

// How a save-first sequence ended: the document was written, there was nothing to write (an empty
// playlist, or a quit with nothing unsaved and no location), the user cancelled the save panel
// (nothing changed), or writing failed (reported; the old file is intact).
enum class SaveOutcome { saved, notWritten, cancelled, failed };

// Why the session is saved: a plain save leaves the current entry playing on; leaving the session
// (close, new, opening another) and quitting first close the entry's listening, so that the
// document holds it.
enum class SaveReason { save, leave, quit };

class MainViewController final : public VtlViewController,
                                 public PlayerDelegate,
                                 public PlaylistTableDelegate,
                                 public MainWindowServices,
                                 public TransportHost,
                                 public TimeSliderHost,
                                 public NoteFieldHost,
                                 public AttachmentStackHost,
                                 public SoundPanelHost,
                                 public KaraokeHost {
    Q_OBJECT

public:
    using Continuation = std::function<void()>;
    using Ending = std::function<void(SaveOutcome)>;

    // Builds the player, the break timer, the exporter and an empty playlist, lays the window's
    // views out and runs the view's load: registers with the application delegate and the session
    // model, starts the tick, becomes the player's delegate. Nothing is restored yet.
    explicit MainViewController(MainViewEnvironment environment, QWidget* parent = nullptr);
    ~MainViewController() override;

    // ---- owned objects ----
    ApplicationPlayer& player() const override { return *player_; }
    BreakTimer& breakTimer() const override;
    // The break as the clocks draw it.
    const RestTimerState& restTimerState() const;
    Exporter& exporter() const { return *exporter_; }
    PlaylistTableView& tableView() const { return *tableView_; }
    platform::UserDefaults& defaults() const { return *defaults_; }
    platform::Alerts& alerts() const { return *alerts_; }
    platform::Workspace& workspace() const { return *workspace_; }
    NoticesPart& notices() const { return *notices_; }
    ScreensaverPart& screensaver() const { return *screensaver_; }
    TransportPart& transport() const { return *transport_; }
    TimeSliderPart& timeSlider() const { return *timeSlider_; }
    // The current entry's scrubber; null without an entry.
    std::shared_ptr<Scrubber> scrubber() const override { return scrubber_; }
    platform::DoNotDisturb* doNotDisturb() const { return doNotDisturb_; }
    const platform::Clock& clock() const { return *clock_; }
    platform::TimerScheduler& scheduler() const { return *scheduler_; }

    // ---- state ----
    // True until the first activation of the application has restored the last session.
    bool first() const { return first_; }
    void setFirst(bool first) { first_ = first; }
    // The remaining time is shown (false while the time slider is held: the position instead).
    bool showingRemaining() const { return showingRemaining_; }
    void setShowingRemaining(bool showing) override { showingRemaining_ = showing; }
    // The entry that ended before an automatic advance; the transport's back action returns to it.
    const std::shared_ptr<PlaylistEntry>& prevEntry() const override { return prevEntry_; }
    void setPrevEntry(std::shared_ptr<PlaylistEntry> entry) { prevEntry_ = std::move(entry); }
    const std::shared_ptr<TextNote>& currentNote() const override { return currentNote_; }
    float volume() const override { return volume_; }
    // Clamped to 0 … 1, given to the player and shown by the transport's volume control.
    void setVolume(float volume) override;

    // ---- the window's views ----
    QLabel& timeSinceZeroText() const { return *timeSinceZeroText_; }
    QLabel& timeRemainingText() const { return *timeRemainingText_; }
    QLabel& entryName() const { return *entryName_; }
    InterceptingTextField& noteTextField() const { return *noteTextField_; }
    QLabel& waveformView() const { return *waveformView_; }
    QWidget& filesView() const { return *filesView_; }
    QWidget* karaokeView() const;
    KaraokePart& karaoke() const { return *karaoke_; }
    // The singers and the song book, made when a karaoke mode is first entered; null before.
    KaraokeEvening* karaokeEvening() const { return evening_.get(); }
    TempoWiring& tempo() const { return *tempo_; }
    // Between singers: the break music and the host's start, made with the evening; null before.
    KaraokeBreaks* karaokeBreaks() const { return breaks_.get(); }

    // ---- application state ----
    // Once, at the first activation: sets up the transport, enters dance mode and reopens the
    // session that the state file names, with its entry, position, played ranges and zero marks.
    // A missing or unreadable state file starts empty, silently; a session that cannot be read is
    // reported and the state file is left as it is.
    void restoreState();
    // The state file changes: the session, the position, the current entry's index in the full
    // list and the player's entry's ranges and marks; without a session the file goes. It is written
    // once the changes pause, off the window's thread (safekeeping()).
    void saveAppState() override;
    // Keeps the state file and the unsaved changes on disk as they change.
    SessionSafekeeping& safekeeping() const { return *safekeeping_; }

    // ---- session document ----
    // Replaces the playlist with the document at `url` and makes its entry current. When the state
    // file belongs to that document, its entry (mapped through the full list to its row), position,
    // ranges and marks win over the document's own. False when the document cannot be read
    // (reported): then nothing has changed.
    bool loadSession(const platform::Url& url);
    // Writes the document with the current position when the session has a location.
    void savePlaylist();
    // Saves the open session (also when unchanged), asking for a location when it has none, then
    // runs the continuation; an empty session only saves the state. A cancelled panel or a failed
    // write (reported) does not run it.
    void saveSession(Continuation then, SaveReason reason = SaveReason::save);
    // The save-first sequence with its ending: as saveSession, reporting how the save went.
    void saveFirst(Ending ending, SaveReason reason = SaveReason::save);
    // Asks for a location with the save panel and writes the document there; the ending learns how
    // it went. Cancel changes nothing; a failed write is reported and leaves the session where it
    // was (or unnamed).
    void runSavePanel(Ending ending, SaveReason reason = SaveReason::save);
    // Clears the session and shows the document read from the location (after the caller saved).
    void replaceSession(const platform::Url& url, std::shared_ptr<Playlist> document);
    // The session at the location replaces the open one, which is saved first. A document that
    // cannot be read is reported and changes nothing: nothing is saved or closed.
    // False when the document cannot be read.
    bool openSessionAt(const platform::Url& url);
    // An empty, unnamed, unchanged session.
    void clearSession();
    // The toolbar's search field and with it the playlist's filter become empty.
    void clearSearchField() override;
    // File menu: choose a session with the open panel; save (asking where when it has no
    // location); save under a new name; copy to the export folder; save and close; save and start a
    // new session. Cancelling a save panel that close or new asked for leaves the session open.
    void openSessionAction();
    void saveSessionAction();
    void saveAsSession();
    void exportToCloud();
    void closeSession();
    void newSession();
    // Remembers the location in "lastSessionURL" and among the recent documents.
    void recordSessionURL();
    // The title names the session, marked "*" while it has unsaved changes; the Window menu's items
    // follow.
    void updateWindowTitle();

    // ---- quitting ----
    // Stops playback (Do Not Disturb is put back).
    void prepareToQuit();
    // The saves of notes that wait for their file at a song left, a close or a quit (tests step them).
    LeavingNotes& leavingNotes() { return *leavingNotes_; }
    // Closes the current entry's listening (logged, ranges merged), writes the state and saves the
    // session: to its location, changed or not, or through the save panel when it has unsaved
    // changes and none. The ending learns whether the quit may go on.
    void saveAndTerminate(Ending ending);

    // ---- entries ----
    // Adds files (in order, before the entry or at the end) as one undoable "add entries"; when
    // the list ends up as it was, nothing is recorded.
    void insertEntries(const std::vector<platform::Url>& urls,
                       const std::shared_ptr<PlaylistEntry>& before = nullptr);
    // File menu: audio files and folders chosen with the open panel are added at the end.
    void chooseFilesToAdd();
    // What the add panel chose: every location's files (FileAddition::filesAt), all as one undoable
    // step; the first added entry becomes the selected row when the filter shows it and, unless the
    // music plays, the current entry. Chosen files that are not audio are listed in one alert.
    void addChosenFiles(const std::vector<platform::Url>& chosen);

    // What an addition did: every file it found, in order, and those named (not found in a folder)
    // that are not audio and did not go in, with the reader's reason.
    struct AddedFiles {
        std::vector<platform::Url> found;
        std::vector<FileAddition::File> notAudio;
    };
    using AdditionDone = std::function<void(const AddedFiles&)>;
    // Adds the files at the locations, and what the folders among them hold, in front of `before` (at
    // the end without one) as one undoable "add entries"; files already listed move there. Up to
    // filesAddedAtOnce are added before this returns. More are opened and measured on a worker and go
    // in by batches, their progress shown in the notices, the window answering all the while; a list
    // edit made meanwhile ends the step and the rest goes in as one more. One console line says how
    // many went in; then `done` runs. Additions run one after another; opening, closing or starting a
    // session and quitting stop them before the session is saved (what went in stays, one step), and
    // `done` does not run.
    void addLocations(std::vector<platform::Url> locations, std::shared_ptr<PlaylistEntry> before,
                      AdditionDone done);
    // Whether an addition is running or waiting.
    bool adding() const { return addition_ != nullptr || !waitingAdditions_.empty(); }
    std::size_t filesAddedAtOnce = 64;
    // How the worker measures and hands over (tests hold it and take small batches), and where it runs
    // (null: the global queue).
    FileAddition::Options additionOptions;
    platform::DispatchQueue* additionWorker = nullptr;
    // Rows dragged inside the table, dropped on the line above `row`: one undoable "move"; the
    // first moved entry's row is selected and becomes current (never interrupting what plays).
    // Rows dropped where they were change nothing and record nothing.
    void moveRows(const RowIndexes& rows, std::size_t row) override;
    // Files and folders dropped on the line above `row` are added there as one undoable "add
    // entries", and the row becomes current unless the music plays. A session document among them
    // (".vantle", in any case) ends the walk and is opened in place of the session, which is saved
    // first, when it can be read. True when anything was added or a session opened.
    bool acceptDroppedURLs(const std::vector<platform::Url>& urls, std::size_t row) override;
    // One alert listing the files (the first twelve).
    void reportRefusedFiles(const std::vector<RefusedFile>& refused);
    // Files named one by one that are not audio: a console line each and one alert.
    void reportNotAudio(const std::vector<FileAddition::File>& files);
    void loadEntry(const std::shared_ptr<PlaylistEntry>& entry) override;
    void loadEntryAtRow(std::ptrdiff_t row) override;
    // Down and Up: pause, then make the row after (before) the current entry's row the selected and
    // current one; Down without a current entry goes to the first row, Up only pauses. On the last
    // (first) row they do nothing at all.
    void selectNextRow();
    void selectPreviousRow();
    // The selected entries leave the session (every entry of the same file with them) as one
    // undoable "remove"; one row stays selected, and as after every list edit it becomes current
    // unless the music plays. With nothing selected it does nothing.
    void removeSelectedEntries();

    // ---- the entry menu (the playlist table's context menu, also in the menu bar) ----
    QMenu& entryMenu() const { return *entryMenu_; }
    // The entries at the table's selected rows, in row order (rows outside the filter skipped).
    std::vector<std::shared_ptr<PlaylistEntry>> selectedVisibleEntries() const;
    // Shows each selected entry's file in the file manager.
    void entryViewInFinder();
    // Asks where the current entry's file went, in a panel named after the file and opened in its
    // old folder (or the nearest that still exists), and relocates that entry; then offers to
    // relocate the other entries of its old folder whose files are found at the new place.
    // Without a current entry the user is told why no panel comes.
    void entryMoved();
    // Opens the current entry's notes file in the text editor.
    void entryViewNotes();
    // The selected entries' played ranges of this listening, their zero marks, their played
    // dates (the last one when it is less than four hours old; all of them with Control or Alt
    // held), or all three; each clearing is one undoable step named after its menu item.
    void entryClearTimes();
    void entryPlayedToday();
    void entryClearPlayed();
    void entryClearZeros();
    void entryClearAll();
    // The clipboard gets the selected entries' names, or their played-days report lines (the days
    // since last played, then the name), one per line.
    void copyContextItems();
    void copyReport();
    // Opens the file with the user's default application for text, the text editor.
    void openInTextEditor(const std::optional<platform::Url>& url);
    // The listening log in the text editor.
    void viewLog();

    // ---- side documents ----
    // The video window for the attachment ("ShowMp4WindowSegue"), replacing the one open before as
    // the main view's video window.
    void showMp4Window(const Attachment& attachment);
    // The video window's content while that window is open; null otherwise.
    Mp4ViewController* mp4ViewController() const;
    // A click on a side document's button: with Control or Alt held (or a right click) it becomes
    // the current attachment and its menu pops up at the button; otherwise it opens.
    void attachmentButtonClicked(const std::shared_ptr<Attachment>& attachment, QWidget* button,
                                 bool contextClick) override;
    // A video opens in the video window; any other document with the user's default application,
    // but only a regular file that is not executable (a session may come from someone else):
    // anything else is shown in the file manager instead.
    void openAttachment(const Attachment& attachment);
    // The add button: a window-modal panel of documents to add to the selected entries.
    void attachmentStackAddButtonPressed() override;
    void addChosenAttachments(const std::vector<platform::Url>& chosen);
    // Each selected entry that does not hold the document yet gets it, as one "Add Attachment"
    // step per entry.
    void addAttachment(const platform::Url& url);
    // The attachment menu's items, on the current attachment (nothing without one); removing
    // takes it from the current entry as one "Remove Attachment" step.
    void attachmentOpen();
    void attachmentViewInFinder();
    void attachmentRemove();
    const std::shared_ptr<Attachment>& currentAttachment() const { return currentAttachment_; }
    QMenu& attachmentPopupMenu() const { return *attachmentPopupMenu_; }
    // The PDF window for the attachment ("ShowPdfWindowSegue"): its document when the file is a
    // readable PDF, an empty view otherwise. It replaces the one open before as the main view's.
    void showPdfWindow(const Attachment& attachment);
    // The PDF window's content while that window is open; null otherwise.
    PdfViewController* pdfViewController() const;

    // ---- sheets and help windows ----
    // The preferences ("ShowPreferencesSheet") and session properties ("ShowPropertiesView") sheets,
    // window-modal over the main window.
    void showPreferences();
    void showProperties();
    // The Help menu: the help page, the index page and the about page, each in a window of its own.
    void buildHelpMenu(QMenu& menu);

    // ---- tags and breaks (menu commands take their argument from the item's title) ----
    QMenu& tagMenu() const { return *tagMenu_; }
    QMenu& filterTagMenu() const { return *filterTagMenu_; }
    QMenu& includeTagPopupMenu() const { return *includeTagPopupMenu_; }
    QMenu& excludeTagPopupMenu() const { return *excludeTagPopupMenu_; }
    QMenu& breakTimePopupMenu() const { return *breakTimePopupMenu_; }
    QMenu& breakTimeThisSubMenu() const { return *breakTimeThisSubMenu_; }
    QMenu& breakTimeAllSubMenu() const { return *breakTimeAllSubMenu_; }
    // The tag toggles in the selected entries' tags as one undoable "update tags".
    void actionTagEntry(QAction* item);
    // The tag's first character goes none → include → exclude → none in the filter.
    void actionFilterByTag(QAction* item);
    // The tag (the sender's title: an item or a tag filter button's) toggles in the include or
    // exclude filter; the title, the tag filter bar and the table follow.
    void actionIncludeTag(const QString& title);
    void actionExcludeTag(const QString& title);
    // A whole number of minutes starts this break now; any other title stops the break.
    void actionSetThisBreakTime(QAction* item);
    // A number of minutes becomes the length of every break ("timerDuration").
    void actionSetAllBreakTime(QAction* item);
    // Shows the menu as a grid of pictures of its items' titles (also their on-state picture); a
    // picture's button triggers its item, which stays in the menu hidden.
    static void makePaletteMenu(QMenu& menu);

    // ---- timed notes ----
    // The note field was clicked: playback pauses and, unless a note is near, an empty note is
    // made at the position. With a notes file too large to read, nothing is made and the window
    // says why.
    void beginNoteAtCurrentTime() override;
    // The field's text becomes the note's (empty: the note goes) and the notes file is written. A
    // text left as it was shown leaves the note's whole text as it is.
    void commitNoteEdit() override;
    // Return or a change of focus in the note field; a click elsewhere on the main view.
    void noteFieldDidEndEditing();
    // Escape: the note keeps its text and the table gets the focus.
    void cancelOperation() override;
    // The note reached at the position, shown by its first word for 1 s; a first word beginning
    // with "!" also rings. Nothing while a note is current.
    void announceNote(const std::shared_ptr<TextNote>& note);
    // When the entry's notes file was changed elsewhere (Open Notes, an editor), the note line and
    // the slider's marks show it as it is now, with the changes not yet saved here on top. True
    // when its notes changed. `onceSettled` as TextNoteSet::readAgainIfChanged takes it.
    bool showNotesFileChanges(const std::shared_ptr<PlaylistEntry>& entry, bool onceSettled = false);
    // A notes file refused for its size is named in the console and a notice, once per load of
    // its entry.
    void reportUnreadNotes(const std::shared_ptr<PlaylistEntry>& entry);

    // ---- keys ----
    // The key filter, offered every key press of the application: true when it took the key.
    // Down, Up and Return act whatever has the focus, but only while the main window is the active
    // window and no modal dialog or popup is open; the other keys only while the playlist table
    // has the focus and no modifier is held (they then go to handleKey).
    bool handleKeyDownEvent(const QKeyEvent& event);
    // Typed characters: space plays or pauses, "z" marks a zero, left and right go to the
    // previous and next transcription line, escape clears the search and enters prepare mode,
    // delete removes the selected entries, "s" shows the screensaver; while the video window is
    // the active window they are its keys instead. Anything else is printed as unhandled.
    void handleKey(const QString& characters);
    // In the karaoke modes "x" switches between karaoke and karaoke editing.
    void toggleKaraokeEditing(const QString& characters);
    // The note field takes the keys while it is being edited.
    bool noteFieldEditing() const;
    // The main window has the keyboard, no dialog or menu of it open.
    bool keysAreTheWindows() const;
    // The focus is in a control that text is typed into: the keys typed there edit it.
    bool textFieldHasFocus() const;

    // ---- display ----
    void refreshDisplay() override;
    // The tick: records the played range, refreshes when the position moved or the current
    // entry's notes file changed (unless a note is being typed: its save takes the file up).
    void updateElapsedTime();

    // ---- TransportHost ----
    std::shared_ptr<PlaylistEntry> assignedEntry() const override;
    void loadTimeSliderEntry(const std::shared_ptr<PlaylistEntry>& entry) override;
    void showTextNotice(const QString& text, double seconds, std::optional<QColor> color) override;
    void showImageNotice(const QIcon& image) override;
    RemoteControlDelegate* keyVideoWindow() const override;

    // ---- treble and balance (the sound panel's values, −10 … 10) ----
    void trebleChanged(double value) override;
    void panChanged(double value) override;

    // ---- PlayerDelegate ----
    void playerDidFinish() override;
    void updateForMode() override;
    // Also puts Do Not Disturb back once the player no longer plays: every change of its playing
    // flag comes here.
    void resetScreensaverIdle() override;
    void clearPrevEntry() override { prevEntry_.reset(); }
    // The file was replaced with one of another length: the session keeps the new length (unsaved
    // until the next save) and the slider, table row, waveform and time texts show it.
    void entryDurationChanged(const std::shared_ptr<PlaylistEntry>& entry) override;
    // Play found no file to play: the notices say why (the text of unplayableEntryText), and so do
    // the line under the entry's name and the console.
    void nothingToPlay() override;
    // The key shown beside the speed control; a key changed for the entry playing is kept with it in
    // the session (unsaved until the next save) and in the state.
    void keyShiftChanged() override;
    // Shown in the notices and printed.
    void songArchiveChanged(const std::string& message) override;
    // When the current entry's file did not open, or no longer reads, what the window says about it in
    // the line under the entry's name: the missing path and how to find it again, or that the file is
    // not audio it can play. Empty otherwise.
    QString unplayableEntryText() const;

    // ---- KaraokeHost ----
    double karaokeHeardTime() const override;
    int karaokeKeyShift() const override;
    bool karaokeSongPlaying() const override;
    QString karaokeNextTitle() const override;
    std::optional<double> karaokeBreakLeft() const override;
    void karaokeNotice(const QString& text) override;
    // The lyric lines the line jumps move through: the panel's, else the transcription's.
    const Lyrics* lyricLines() const override;
    // The player's song and mode handed to the karaoke panel.
    void showKaraokeSong();
    // Edit › Paste: in the timing mode, a song without lines starts them from the pasted text.
    void pasteLyricLines();
    // Return and Backspace of the timing mode; false when they are not its.
    bool handleKaraokeTimingKey(const QString& characters);
    // The key is the timing mode's (Return, Backspace), so no shortcut may take it.
    bool karaokeTimingTakesKey(const QKeyEvent& event) const;
    // Looks off the main thread for the LRC file beside the entry's audio file, as the lyrics reader
    // would find it, and marks the title line when there is one.
    void lookForLrcBeside(const std::shared_ptr<PlaylistEntry>& entry);

    // ---- PlaylistTableDelegate ----
    bool isPlaying() const override;

    // ---- MainWindowServices ----
    std::shared_ptr<Playlist> playlist() const override { return playlist_; }
    std::optional<platform::Url> sessionURL() const override { return sessionURL_; }
    RowIndexes selectedRows() const override;
    void selectRows(const RowIndexes& rows) override;
    void loadEntryAtRowAfterListEdit(std::size_t row) override;
    void reloadTableSelecting(const RowIndexes& rows) override;
    void reloadEntryRow(const std::shared_ptr<PlaylistEntry>& entry) override;
    void rebuildAttachmentStack(const std::shared_ptr<PlaylistEntry>& entry) override;
    void entryRecordsChanged() override;
    void undoStepFailed(const std::string& message) override;

    // The application's main window controller, when this view is its content.
    MainWindowHost* mainWindowController() const;

    // ---- window size ----
    // The window changed size (a move alone changes nothing): the lyrics and the time texts are
    // laid out again and the current row stays in view; the waveform waits for the end of the
    // resize.
    void handleWindowResize();
    // The end of a resize, a quiet spell after the last size change: the time texts are laid out,
    // the waveform is made again at the new width and the current row kept in view.
    void windowEndResize();
    static constexpr double endResizeQuietSeconds = 0.3;
    // A growing file's writer still at work adds to it more often than this.
    static constexpr double growingQuietSeconds = 5.0;
    // Both time texts get the font that fits the current entry's sample (timeTextSampleFor) into
    // the frame of the time since the zero mark; the time slider is laid out again for its entry;
    // the waveform is remade when asked. The display refresh fits the font again whenever the
    // entry's sample changes.
    void layoutTimeTexts(bool redrawWaveform);
    static constexpr const char* timeTextSample = "99:59";
    // The widest time an entry of that length shows, in the fixed-pitch font: "99:59" up to 100
    // minutes, then a nine for each digit of its minutes ("999:59" for 100 minutes and more).
    static QString timeTextSampleFor(std::optional<double> duration);
    // The bold fixed-pitch system font at 42 points, from which the time texts' fonts are fitted.
    static QFont timeTextBaseFont();
    // The time texts' height follows the view's, within these bounds.
    static constexpr int timeTextMinimumHeight = 36;
    static constexpr int timeTextMaximumHeight = 140;

protected:
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildLayout();
    void viewDidLoad();
    void makeCurrent(const std::shared_ptr<PlaylistEntry>& entry);
    // What reads the current entry's file by its path (the scrubber, the slider's marks, the notes,
    // the waveform) takes up `entry`'s, and the display and the saved state follow.
    void showEntryFile(const std::shared_ptr<PlaylistEntry>& entry);
    // The scrubber of `entry`'s file, or none.
    void makeScrubber(const std::shared_ptr<PlaylistEntry>& entry);
    // The current entry was found elsewhere while the player still holds its file open: what plays
    // goes on, and what reads the file by its path (scrubbing, notes, waveform) follows it there.
    void followRelocatedCurrentEntry(const std::shared_ptr<PlaylistEntry>& entry);
    // The entry stops being current: its line in the listening log, then its listening closed. However
    // the next one was chosen (a click while paused, a double-click, the end of a song), a song heard
    // gets its line.
    void leaveEntry(const std::shared_ptr<PlaylistEntry>& old);
    void scrollCurrentRowToCenter();
    // The time texts' frames for the view's height and their font for the assigned entry's sample.
    void fitTimeTexts();
    void closeSideWindows();
    void buildEntryMenu();
    void buildTagAndBreakMenus();
    void buildAttachmentMenu();
    void toggleFilterTag(const QString& title, void (Playlist::*toggle)(std::string_view));
    // The bodies of the entry commands, without the table's reload.
    void clearTimesOf(const std::vector<std::shared_ptr<PlaylistEntry>>& entries);
    void clearZerosOf(const std::vector<std::shared_ptr<PlaylistEntry>>& entries);
    void clearPlayedOf(const std::vector<std::shared_ptr<PlaylistEntry>>& entries);
    // The selected entries' records of the kinds cleared as one undoable step named `name`.
    void clearRecords(const std::string& name, bool times, bool zeros, bool played);
    void reloadTableKeepingSelection();
    // A command that did nothing says so: an alert with what did not happen and why.
    void reportNotDone(const std::string& what, const std::string& why);
    // The end of an export: how many files were copied, and which were not and why.
    void reportExport(const ExportOutcome& outcome);
    void relocateOtherEntries(const platform::Url& oldLocation, const platform::Url& newLocation);
    void copySelectedRows(const std::function<std::optional<std::string>(std::size_t row)>& line);
    // The video window's content while that window is the active window; null otherwise.
    Mp4ViewController* activeVideoWindow() const;
    PdfViewController* activePdfWindow() const;
    void installKeyMonitor();
    void selectAndLoadRow(std::size_t row);
    void showPlaylist(std::shared_ptr<Playlist> playlist);
    // The decoded document, or null when it cannot be read (reported).
    std::shared_ptr<Playlist> readSessionDocument(const platform::Url& url);
    void showSession(const platform::Url& url, std::shared_ptr<Playlist> playlist);
    void refreshContextLine(PlaylistEntry& entry, double time);
    // `keepShown`: the picture on view stays until the new one comes, which then replaces it as it is
    // (the same entry's file, now whole or left as it is by its writer).
    void drawWaveform(const std::shared_ptr<PlaylistEntry>& entry, bool keepShown = false);
    // The new picture comes in from transparent over four seconds.
    void fadeInWaveform();
    // Writes where the save panel pointed (which asked about a file already there), reporting a
    // failure.
    bool writeSession(const platform::Url& url, SaveReason reason);
    // Writes the state and the session to its location, closing the entry's listening first when
    // leaving or quitting; a file there changed on disk since this window last read or wrote it is
    // only written over when the user says so (askAboutChangedSession). A failure is reported. The
    // ending learns how it went.
    void saveToLocation(SaveReason reason, Ending ending, bool writeOverChanges = false);
    // The alert naming the changed file: keep this window's version (written over it), open the
    // version on disk in its place, or cancel. Only the first lets what asked for the save go on.
    void askAboutChangedSession(const platform::Url& url, SaveReason reason, Ending ending);
    void answerChangedSession(int button, const platform::Url& url, SaveReason reason, const Ending& ending);
    // Closes the entry's listening, and saves the notes of every entry whose changes are not in their
    // file yet, once; those still not written are kept in unwrittenNotes_.
    void closeListening();
    // Runs `then` once the stamps being saved since closeListening have answered; those not written
    // join unwrittenNotes_.
    void afterUnwrittenWork(std::function<void()> then);
    // saveAndTerminate once the notes had their wait.
    void saveForQuit(Ending ending);
    // Before a close, an open, a new session or a quit goes on: notes that wait for their file are
    // written, or given up, on later turns of the loop (LeavingNotes); then `then` runs.
    void afterLeavingNotes(Continuation then);
    // Before a close, an open, a new session or a quit: an addition cut short is asked about
    // (settleCutAddition), then the notes have their wait; `cancelled` runs when the user cancels.
    void prepareToLeave(Continuation then, Continuation cancelled = {});
    // At a close or quit, after the save: notes that could not be written are named in an alert, and
    // the first time a file is named the session stays open (the program keeps running) with them, so
    // that they can still be written. True when what asked must not go on.
    bool holdForUnwrittenNotes(SaveReason reason);
    // The state file when there is something to remember (a session or entries); otherwise the
    // file of the last run is left for the next start.
    void saveStateForQuit();
    void reportUnreadableSession(const platform::Url& url, const std::string& reason);
    // A crashed run's unsaved changes kept in `file`: recover them, or discard them.
    void offerRecovery(const SessionRecovery& recovery, const platform::Url& file);
    // The changes a killed run made to the session just opened, when they wait for it.
    void offerWaitingRecovery(const platform::Url& session);
    // A recovery file that is no recovery file (truncated, garbage, too large): said, and the run goes on.
    void reportUnreadableRecovery(const platform::Url& file, const platform::Error& error);
    // The session's folder is no longer the one it was read from: save it elsewhere, or cancel.
    void askToSaveElsewhere(const platform::Url& url, SaveReason reason, Ending ending);
    // The system's reason, and at a close or quit where else the changes can be kept.
    void reportFailedSave(const platform::Url& url, SaveReason reason, const std::string& why);

    // The environment's services, or defaults owned here.
    std::unique_ptr<platform::FilePanels> ownPanels_;
    std::unique_ptr<platform::Alerts> ownAlerts_;
    std::unique_ptr<platform::Workspace> ownWorkspace_;
    std::unique_ptr<platform::Pasteboard> ownPasteboard_;
    platform::FilePanels* filePanels_;
    platform::Alerts* alerts_;
    platform::Workspace* workspace_;
    platform::Pasteboard* pasteboard_;
    std::function<Qt::KeyboardModifiers()> modifierKeys_;
    platform::UserDefaults* defaults_;
    const platform::Clock* clock_;
    platform::TimerScheduler* scheduler_;
    platform::DoNotDisturb* doNotDisturb_;
    platform::OutputVolume* outputVolume_;
    std::function<std::unique_ptr<ScrubSnippetPlayer>(const platform::Url& url)> makeScrubSnippetPlayer_;
    std::function<std::unique_ptr<VideoPlayer>(const platform::Url& url)> makeVideoPlayer_;
    std::function<void()> playNoteSound_;

    std::unique_ptr<ApplicationPlayer> player_;
    std::unique_ptr<ApplicationPlayerPosition> playerPosition_;
    // The scrubber's view of the position.
    std::shared_ptr<TimeSliderPlayer> scrubPosition_;
    std::shared_ptr<Scrubber> scrubber_;
    std::unique_ptr<ClockedBreakTimer> breakTimer_;
    std::unique_ptr<Exporter> exporter_;
    // The note bell, made on first use.
    std::unique_ptr<SoundEffect> noteSound_;
    std::shared_ptr<Playlist> playlist_;

    bool showingRemaining_ = true;
    std::shared_ptr<PlaylistEntry> prevEntry_;
    std::optional<platform::Url> sessionURL_;
    std::shared_ptr<TextNote> currentNote_;
    std::shared_ptr<Attachment> currentAttachment_;
    float volume_ = 0.5f;
    bool first_ = true;
    // While a session is being opened the state file is written once, at the end.
    int stateWritesHeld_ = 0;
    // Alerts open about the session's file changed on disk; the save after each song waits for them.
    int changedSessionQuestions_ = 0;
    // Alerts open about a save that failed; the saves after later songs add no more of them.
    int failedSaveAlerts_ = 0;
    // Notes files (path, why) left unwritten at the last closing of the listening, and the files
    // already named to the user at a close or quit.
    std::vector<std::pair<std::string, std::string>> unwrittenNotes_;
    std::set<std::string> toldUnwrittenNotes_;
    LeavingNotes* leavingNotes_ = nullptr;
    bool savingAfterSong_ = false;
    // Tags each waveform request, so that a late picture of an earlier entry is dropped.
    unsigned waveformRequest_ = 0;
    // The waveform view's width at the last picture request: a settled resize that keeps it keeps
    // the picture.
    int waveformWidth_ = -1;
    std::optional<QSize> previousSize_;
    // The sample the time texts' font was last fitted to.
    QString fittedTimeTextSample_;
    // The wait for a resize to settle.
    platform::DispatchTimer waveformResize_;
    // The wait for the writer of the current entry's growing file to fall quiet.
    platform::DispatchTimer growingPicture_;
    // The current entry's length when last taken: a shorter one is of a file written anew.
    double shownLength_ = 0;
    // The played share last drawn in the current row, so that a refresh repaints that cell only
    // when the share moved.
    std::optional<std::pair<std::size_t, double>> shownPlayedShare_;
    platform::DispatchTimer ticker_;
    std::unique_ptr<SessionSafekeeping> safekeeping_;
    // The unsaved mark the title shows.
    bool titleShowsChanges_ = false;
    // Counts the listed files whose length is an estimate, one at a time after the current song's.
    std::unique_ptr<LengthCounter> lengthCounter_;
    // Offered every key press of the application; installed when the view has loaded.
    std::unique_ptr<QObject> keyMonitor_;
    // The video window opened last, and all that are open; each deletes itself when closed.
    QPointer<Mp4WindowController> mp4Window_;
    std::vector<QPointer<Mp4WindowController>> videoWindows_;
    // The same for the PDF windows.
    QPointer<PdfWindowController> pdfWindow_;
    std::vector<QPointer<PdfWindowController>> pdfWindows_;

    // Views: owned by the widget tree.
    QLabel* entryName_ = nullptr;
    InterceptingTextField* noteTextField_ = nullptr;
    QLabel* timeSinceZeroText_ = nullptr;
    QLabel* timeRemainingText_ = nullptr;
    QLabel* waveformView_ = nullptr;
    QWidget* filesView_ = nullptr;
    QSplitter* filesSplitter_ = nullptr;
    // The current song has an LRC file beside it: its title line gets the lyrics' mark.
    bool songHasLrc_ = false;
    // The audio file songHasLrc_ was last looked for beside.
    std::string lrcLookedFor_;
    PlaylistTableView* tableView_ = nullptr;
    QProgressBar* additionProgress_ = nullptr;
    QMenu* entryMenu_ = nullptr;
    QMenu* tagMenu_ = nullptr;
    QMenu* filterTagMenu_ = nullptr;
    QMenu* includeTagPopupMenu_ = nullptr;
    QMenu* excludeTagPopupMenu_ = nullptr;
    QMenu* breakTimePopupMenu_ = nullptr;
    QMenu* breakTimeThisSubMenu_ = nullptr;
    QMenu* breakTimeAllSubMenu_ = nullptr;
    QMenu* attachmentPopupMenu_ = nullptr;

    // Parts: owned here; their widgets sit in the widget tree.
    std::unique_ptr<ListeningLog> log_;
    std::unique_ptr<ScreensaverPart> screensaver_;
    std::unique_ptr<NoticesPart> notices_;
    std::unique_ptr<TimeSliderPart> timeSlider_;
    std::unique_ptr<TransportPart> transport_;
    std::unique_ptr<KaraokePart> karaoke_;
    std::unique_ptr<KaraokeEvening> evening_;
    std::unique_ptr<KaraokeBreaks> breaks_;
    std::unique_ptr<WaveformPart> waveform_;
    std::unique_ptr<AttachmentsPart> attachments_;
    std::unique_ptr<MainViewPart> soundPanel_;
    // The songs' tempo: its column, counter, speed and menu items.
    std::unique_ptr<TempoWiring> tempo_;

    // ---- additions (MainViewAddFiles.cpp) ----
    struct Addition;
    struct WaitingAddition {
        std::vector<platform::Url> locations;
        std::shared_ptr<PlaylistEntry> before;
        AdditionDone done;
    };
    void addBatch(Addition& addition, std::vector<FileAddition::File> files);
    void finishAddition();
    void stopAdditions();
    // An addition still bringing files is stopped and the user asked whether to keep what went in
    // (the default takes it out, as its undo does) or cancel what cut it short (it stays, undoable);
    // `then` learns whether that may go on. At once when no addition runs.
    void settleCutAddition(std::function<void(bool goOn)> then);
    // Takes the entries the addition made out of the list, as one step.
    void takeOutBrought(const Addition& addition);
    // Shared only so that its type may stay in MainViewAddFiles.cpp.
    std::shared_ptr<Addition> addition_;
    std::deque<WaitingAddition> waitingAdditions_;
};

} // namespace vantle

#pragma once
// The parts of the main window that the main view controller drives but that are built apart
// (time slider, transport panel, notices, karaoke view, screensaver, waveform picture, side-document
// buttons, sound panel, listening log), each as the small interface the controller calls, and the factories
// through which the application (or a test) supplies them. Main thread only.

#include "platform/foundation/Url.h"

#include <QColor>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class QIcon;
class QImage;
class QSize;
class QString;
class QWidget;

namespace vantle {

class MainViewController;
class Player;
class PlaylistEntry;
struct Lyrics;
enum class PlayerMode;

// A part that shows something answers its widget, which the controller places in its layout (the
// controller owns the part; the widget may be the part itself). Parts without a view answer null.
class MainViewPart {
public:
    virtual ~MainViewPart() = default;
    virtual QWidget* widget() = 0;
};

// The position bar with zero and note marks.
class TimeSliderPart : public MainViewPart {
public:
    // The player the bar seeks; set once, when the main view loads.
    virtual void setPlayer(Player* player) = 0;
    // Lays the bar out for the entry (none: empty): 0 to its duration, its zero and note marks.
    virtual void loadEntry(const std::shared_ptr<PlaylistEntry>& entry) = 0;
    // The playback position, set on every display refresh.
    virtual void setValue(double seconds) = 0;
};

// The transport panel: the player's common actions.
class TransportPart : public MainViewPart {
public:
    // Once, when the last session is restored: sliders, switches and the remote.
    virtual void setUpControls() = 0;
    virtual void playPressed() = 0;
    virtual void pausePressed() = 0;
    // A zero mark at the position; the previous and next transcription line.
    virtual void markZeroPressed() = 0;
    virtual void prevSegmentPressed() = 0;
    virtual void nextSegmentPressed() = 0;
    // When a session is opened: double speed off and the rate back to normal, without applying it.
    virtual void resetSpeedControls() = 0;
    // The main view's volume changed: the volume control follows, without applying it again.
    virtual void setVolumeSliderValue(float volume) = 0;
    // The key for a singer: a semitone down or up, or back to the song's own, through the player.
    virtual void keyDown() = 0;
    virtual void keyUp() = 0;
    virtual void originalKey() = 0;
    // The player's key changed: the panel shows it.
    virtual void showKeyShift(int semitones) = 0;
    // The tempo as a rate of the song's own (1; 2 at double speed), as the speed controls set it; set
    // from one, the controls follow and the player gets it.
    virtual double tempo() const = 0;
    virtual void setTempo(double rate) = 0;
};

// Transient notices over the main view.
class NoticesPart : public MainViewPart {
public:
    // A text fading out over `seconds`, in `color` or, with none, the notices' own colour.
    virtual void showText(const QString& text, double seconds, std::optional<QColor> color) = 0;
    // An image (a symbol such as "play.fill", the remote's picture) fading out over 1 s.
    virtual void showImage(const QIcon& image) = 0;
};

// The karaoke panel beside the playlist; the controller shows and hides its widget.
class KaraokePart : public MainViewPart {
public:
    // The song the player holds (empty: none) and the player's mode: lyrics and pictures are read
    // and decoded only in the karaoke modes.
    virtual void showSong(const std::string& audioPath, PlayerMode mode) = 0;
    // The song's lyric lines as read for the panel; null while none are.
    virtual const Lyrics* lyrics() const = 0;
    // Timing in the preparation mode: the next line stamped with the heard time, the last stamp taken
    // back, lines started from pasted text. False when the panel is not timing (the key is not its).
    virtual bool stampLine() = 0;
    virtual bool undoStamp() = 0;
    virtual bool pasteLines(const QString& text) = 0;
    // The timing ends with the listening (its session closed, the program quitting): what was stamped
    // is saved off the window's thread, waiting a moment for a file being written elsewhere.
    virtual void endTiming() = 0;
    // Files whose stamps could not be written, each with the reason (the stamps are in the log).
    using UnwrittenFiles = std::vector<std::pair<std::string, std::string>>;
    // Runs `then` once every timing save under way has answered (at once when none is), with the files
    // those saves could not write since the last call.
    virtual void afterTimingSaved(std::function<void(const UnwrittenFiles&)> then) = 0;
    // The singers' screen: opened or closed; opened again at start when it was open at the end.
    virtual void toggleSingersScreen() = 0;
    virtual bool singersScreenShown() const = 0;
    virtual void restoreSingersScreen() = 0;
    // Full screen on the screen of that name (opening it); nullopt leaves full screen. The name of
    // the screen it fills, nullopt while it is not full screen.
    virtual void setSingersFullScreen(const std::optional<QString>& screenName) = 0;
    virtual std::optional<QString> singersFullScreenOn() const = 0;
    // Who the singers read as coming up, each "NAME — Title", the next first: given only between songs
    // (a break), and shown then whatever the song's place; empty: the loaded song's title alone, at its
    // start.
    virtual void setComingUp(const QStringList& turns) = 0;
    // The host's line along the bottom of the singers' screen; empty: none.
    virtual void setTicker(const QString& text) = 0;
    // The pointer rests over the singers' screen: a key typed now is meant for it.
    virtual bool pointerOverSingersScreen() const = 0;
};

// The clock shown after idle time.
class ScreensaverPart : public MainViewPart {
public:
    // User or player activity: the idle time starts over.
    virtual void resetIdle() = 0;
    // Shows the clock at once.
    virtual void show() = 0;
};

// Makes the waveform picture of an entry's file. The picture may come later, on the main thread;
// the controller drops a picture that arrives after another entry became current.
class WaveformPart : public MainViewPart {
public:
    using Delivery = std::function<void(const QImage& picture)>;
    virtual void requestPicture(const std::shared_ptr<PlaylistEntry>& entry, const QSize& size,
                                Delivery deliver) = 0;
};

// The row of buttons, one per side document of the current entry.
class AttachmentsPart : public MainViewPart {
public:
    virtual void rebuild(const std::shared_ptr<PlaylistEntry>& entry) = 0;
};

// The sound panel ("Treble" and "Balance", −10 … 10 in half steps) is a MainViewPart: it hands
// its values to its SoundPanelHost (the controller's trebleChanged and panChanged), and the
// controller calls nothing of it.

// The diary of listening (a text log); no view.
class ListeningLog {
public:
    virtual ~ListeningLog() = default;
    // A timestamped line.
    virtual void log(std::string_view text) = 0;
    // The share heard of an entry that stops being current (read before its listening is closed).
    virtual void logEntry(PlaylistEntry& entry) = 0;
    // The file the diary is written to, which the user can open; nothing when it has none.
    virtual std::optional<platform::Url> url() const { return std::nullopt; }
};

// How the application supplies the parts; each factory runs once, while the controller is built,
// after its player and break timer exist. An empty factory (or one that gives nothing) gives the
// application's own part; the transport panel made so has no game-controller remote.
struct MainViewParts {
    template <typename Part> using Factory = std::function<std::unique_ptr<Part>(MainViewController&)>;

    Factory<TimeSliderPart> timeSlider;
    Factory<TransportPart> transport;
    Factory<NoticesPart> notices;
    Factory<KaraokePart> karaoke;
    Factory<ScreensaverPart> screensaver;
    Factory<WaveformPart> waveform;
    Factory<AttachmentsPart> attachments;
    Factory<MainViewPart> soundPanel;
    // Empty: the log file in the state folder (Logger).
    Factory<ListeningLog> log;
};

} // namespace vantle

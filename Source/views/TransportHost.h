#pragma once
// What the transport panel asks of the main window (its main view controller). Main thread only.

#include <QColor>
#include <QIcon>
#include <QString>

#include <memory>
#include <optional>

namespace vantle {

class ApplicationPlayer;
class BreakTimer;
class PlaylistEntry;
class RemoteControlDelegate;
struct Lyrics;

// The main view as the transport panel drives it: its player, break timer, entries, volume,
// notices and time slider. The signatures are the main view's own, so the main view may adopt
// this directly. Tests use a fake. Main thread only.
class TransportHost {
public:
    virtual ~TransportHost() = default;

    virtual ApplicationPlayer& player() const = 0;
    virtual BreakTimer& breakTimer() const = 0;

    // The playlist's assigned entry: the one the main view handed to the player; null for none.
    virtual std::shared_ptr<PlaylistEntry> assignedEntry() const = 0;
    // The entry that played to its end and was replaced by the next one; null for none.
    virtual const std::shared_ptr<PlaylistEntry>& prevEntry() const = 0;
    virtual void clearPrevEntry() = 0;
    // Makes the entry current and loads it into the player without playing.
    virtual void loadEntry(const std::shared_ptr<PlaylistEntry>& entry) = 0;

    // Redraws the time texts and the time slider's position.
    virtual void refreshDisplay() = 0;
    // Lays the time slider out afresh for the entry, its zero marks included.
    virtual void loadTimeSliderEntry(const std::shared_ptr<PlaylistEntry>& entry) = 0;
    virtual void saveAppState() = 0;
    // The user's activity: the screensaver's idle time starts over.
    virtual void resetScreensaverIdle() = 0;

    // The playback volume in 0 … 1. Setting it clamps it, hands it to the player and the
    // system's output (unmuted) and moves the panel's volume slider.
    virtual float volume() const = 0;
    virtual void setVolume(float volume) = 0;

    // Notices over the main view: a text fading out over `seconds` (no colour: the notices'
    // own), and an image fading out over 1 s.
    virtual void showTextNotice(const QString& text, double seconds, std::optional<QColor> color) = 0;
    virtual void showImageNotice(const QIcon& image) = 0;

    // The video window's receiver of remote buttons while that window is the key window; null
    // otherwise.
    virtual RemoteControlDelegate* keyVideoWindow() const = 0;

    // The song's lyric lines as the karaoke panel read them, which the line jumps move through;
    // null: the transcription's cues.
    virtual const Lyrics* lyricLines() const { return nullptr; }
};

} // namespace vantle

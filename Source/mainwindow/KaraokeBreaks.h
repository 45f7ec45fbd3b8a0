#pragma once
// Between singers in the main window: the break music and its rules over the application player, the
// host's "Start Next Singer" (button or F5) that loads the next singer's song when it is not loaded yet
// and starts it once the break music has faded out, who comes next on the singers' screen, and the
// host's line along its bottom. The tracks, the fade out and the line are kept across runs. Main thread.

#include "Source/karaoke/views/BreakPanel.h"
#include "Source/playback/BetweenSingers.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <memory>
#include <optional>
#include <string>

class QKeyEvent;
class QTimer;

namespace vantle {

class KaraokeEvening;
class KaraokePart;
class PlaylistEntry;
class TransportHost;
class TransportPart;

class KaraokeBreaks final : public QObject {
public:
    // The panel goes under the rotation and the song book, in the evening's column.
    KaraokeBreaks(TransportHost& window, TransportPart& transport, KaraokePart& karaoke,
                  KaraokeEvening& evening, const platform::Clock& clock = platform::Clock::system());
    ~KaraokeBreaks() override;

    // The song that played ended at its file's end.
    void songEnded();
    void startNextSinger();
    // F5 when no text field has the keyboard: the host's start.
    bool handleKey(const QKeyEvent& event);
    // What the timer does: the player's news told to the rules, fades brought to their end, the singers'
    // screen told who comes next.
    void tick();

    BetweenSingers& between() { return *between_; }
    BreakPanel* panel() const { return panel_; }

private:
    void begin();
    void entryChanged(const std::shared_ptr<PlaylistEntry>& entry);
    QStringList comingUp() const;
    void notice(const QString& text);
    void saveTicker();

    TransportHost& window_;
    TransportPart& transport_;
    KaraokePart& karaoke_;
    KaraokeEvening& evening_;
    const platform::Clock& clock_;
    std::unique_ptr<BetweenSingers> between_;
    QPointer<BreakPanel> panel_;
    QTimer* timer_ = nullptr;
    QTimer* tickerSave_ = nullptr;
    std::weak_ptr<PlaylistEntry> lastEntry_;
    // The loaded song came after the last song started: it is the one a start means.
    bool fresh_ = false;
    bool wasPlaying_ = false;
    // The host's start waits for the next singer's song to load, until then.
    std::optional<platform::Date> startWhenLoaded_;
    QStringList shownComingUp_;
};

} // namespace vantle

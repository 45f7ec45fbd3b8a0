#pragma once
// The karaoke panel beside the playlist: the loaded song's lyrics lit in time with the heard music,
// or its CD+G picture; in the preparation mode, the song's lines with their times for timing by
// ear. It also drives the singers' screen from the same song and time. Main thread only.

#include "Source/karaoke/Lyrics.h"
#include "Source/karaoke/LyricsFile.h"
#include "Source/karaoke/views/KaraokePainter.h"
#include "Source/mainwindow/KaraokeHost.h"
#include "Source/mainwindow/MainViewParts.h"
#include "Source/session/PlayerServices.h"
#include "platform/dispatch/SerialQueue.h"
#include "platform/foundation/Files.h"

#include <QPointer>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>

class QListWidget;
class QListWidgetItem;
class QStackedLayout;
class QTimer;

namespace vantle {

class CdgPlayhead;
class LyricsLoader;
class LyricsTiming;
class SingersScreen;
struct SaveResult;

class KaraokeView final : public QWidget, public KaraokePart {
    Q_OBJECT

public:
    explicit KaraokeView(KaraokeHost& host, QWidget* parent = nullptr);
    ~KaraokeView() override;

    QWidget* widget() override { return this; }
    void showSong(const std::string& audioPath, PlayerMode mode) override;
    const Lyrics* lyrics() const override;
    bool stampLine() override;
    bool undoStamp() override;
    bool pasteLines(const QString& text) override;
    void endTiming() override;
    void afterTimingSaved(std::function<void(const UnwrittenFiles&)> then) override;
    void toggleSingersScreen() override;
    bool singersScreenShown() const override;
    void restoreSingersScreen() override;
    void setSingersFullScreen(const std::optional<QString>& screenName) override;
    std::optional<QString> singersFullScreenOn() const override;
    void setComingUp(const QStringList& turns) override { comingUp_ = turns; }
    void setTicker(const QString& text) override { ticker_ = text; }
    bool pointerOverSingersScreen() const override;

    // One frame: the heard time read once, both surfaces brought to it. Called at each refresh of the
    // screen while anything is shown; tests call it after moving their player's time.
    void advanceFrame();

    // What the panel shows at the last frame: the lit moment (for text lyrics), the message lines
    // (without lyrics), and whether a picture is shown.
    const LyricsMoment& shownMoment() const { return panelFrame_.moment; }
    const QStringList& shownMessage() const { return panelFrame_.message; }
    bool showingPicture() const { return panelFrame_.picture != nullptr; }
    // Work done for the song: lyrics asked for and a CD+G timeline decoded.
    bool readsLyrics() const { return !loadingPath_.empty(); }
    bool hasPicture() const { return cdg_ != nullptr; }
    QListWidget& timingList() const { return *timingList_; }
    // The timing's lines are being read or saved off the window's thread.
    bool timingBusy() const { return timingBuilding_ || timingSaves_ > 0; }
    SingersScreen* singersScreen() const;
    // Each second while the song's lyrics or picture are read: a file of them changed on disk is read
    // again.
    void lookForChanges();
    // The interval of the frame timer, from the screen's refresh rate; 0 while it is stopped.
    int frameInterval() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    class Canvas;

    void lyricsArrived(const LyricsReadResult& result);
    void loadPicture(const std::string& audioPath);
    // Reads the song's lines for timing off the window's thread; the timing comes back to timingArrived.
    void startTiming();
    void timingArrived(std::shared_ptr<LyricsTiming> timing);
    // Each second: an untouched timing whose file changed on disk, or was still being written, is read
    // again off the window's thread.
    void lookForTimingChanges();
    // Writes the timed lines when they changed, off the window's thread; timingSaved says how it went.
    // `timingDropped`: the timing ends with the song (or the window), so nothing stamped may wait for
    // a later save: a file being written elsewhere is waited for a moment, and what still cannot be
    // written is printed.
    void finishTiming(bool timingDropped = false);
    void timingSaved(std::shared_ptr<LyricsTiming> timing, bool timingDropped, const SaveResult& result);
    void refreshTimingList();
    // Only the lines a stamp or its taking back changed, when the list shows the timing's lines.
    void refreshTimingLines(std::initializer_list<int> changed);
    void showTimingLine(QListWidgetItem& item, int index, int next,
                        const std::optional<double>& timeAbove) const;
    void updateFrameTimer();
    bool karaokeMode() const { return mode_ == PlayerMode::karaoke || mode_ == PlayerMode::karaokePrepare; }
    QStringList noLyricsMessage() const;
    KaraokeFrame singersFrame(double heard) const;

    KaraokeHost& host_;
    PlayerMode mode_ = PlayerMode::dance;
    std::string songPath_;
    std::string loadingPath_;
    std::unique_ptr<LyricsLoader> loader_;
    std::shared_ptr<const Lyrics> lyrics_;
    LyricsReadResult lastRead_;
    bool lyricsRead_ = false;
    std::unique_ptr<CdgPlayhead> cdg_;
    bool pictureLooked_ = false;
    unsigned pictureRequest_ = 0;
    bool pictureLooking_ = false;
    bool pictureLookAgain_ = false;
    // What the picture was read from, as it was then.
    struct PictureStamps {
        std::string cdgPath;
        std::optional<platform::FileStamp> cdg;
        std::optional<platform::FileStamp> song;
        // The song's folder while no graphics are beside the song: one put there changes it.
        std::string folderPath;
        std::optional<platform::FileStamp> folder;
    } pictureStamps_;
    // The timing in hand; away (null) while it is read or saved.
    std::shared_ptr<LyricsTiming> timing_;
    unsigned timingRequest_ = 0;
    bool timingBuilding_ = false;
    int timingSaves_ = 0;
    UnwrittenFiles unwrittenTiming_;
    std::vector<std::function<void(const UnwrittenFiles&)>> afterTimingSaved_;
    // Reads and saves of the timing, in the order asked; at the view's end it finishes the saves
    // on the reaper (platform::reap), and skips the reads nobody waits for.
    std::unique_ptr<platform::SerialQueue> timingQueue_;
    std::shared_ptr<std::atomic<bool>> closed_ = std::make_shared<std::atomic<bool>>(false);
    std::uint64_t generation_ = 1;

    Canvas* canvas_ = nullptr;
    QListWidget* timingList_ = nullptr;
    QStackedLayout* stack_ = nullptr;
    QTimer* frameTimer_ = nullptr;
    QTimer* lookTimer_ = nullptr;
    KaraokeFrame panelFrame_;
    QStringList comingUp_;
    QString ticker_;
    QPointer<SingersScreen> singers_;
};

} // namespace vantle

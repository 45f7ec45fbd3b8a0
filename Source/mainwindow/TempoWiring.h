#pragma once
// Ties the songs' tempo into the main window: the dance table kept in the user defaults, the background
// analysis of every listed song, the Tempo column, the heard tempo beside the speed, the beat counter,
// the target speed on load, and the entry menu's dance and corrections with the tap key, each correction
// one undo step. The main view makes one and hands it what it needs; nothing of it lives in the main
// view. Main thread only.

#include "Source/tempo/DanceTable.h"

#include <QObject>
#include <QPointer>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QMenu;
class QTimer;

namespace platform {
class DispatchQueue;
class UserDefaults;
} // namespace platform

namespace vantle {

class ApplicationPlayer;
class BackgroundTempo;
class BeatCounterView;
struct EntryTempo;
class Playlist;
class PlaylistEntry;
class PlaylistTableView;
class TransportViewController;
enum class TempoFactor;

class TempoWiring final : public QObject {
    Q_OBJECT

public:
    // The key that taps the beat while a song plays.
    static constexpr char tapKey = 't';

    struct Context {
        QWidget* view = nullptr;
        PlaylistTableView* table = nullptr;
        // Null: no speed to set or show (a test's stand-in for the transport panel).
        TransportViewController* transport = nullptr;
        QMenu* entryMenu = nullptr;
        ApplicationPlayer* player = nullptr;
        std::function<std::shared_ptr<Playlist>()> playlist;
        // A short line over the main view.
        std::function<void(const QString&)> notice;
        // Null: the table is the default one and is not kept.
        platform::UserDefaults* defaults = nullptr;
        // The analysis of one file by its dance's band; empty: the program's own.
        std::function<std::optional<SongTempo>(const std::string&, const DanceBand&,
                                               const std::atomic<bool>*)>
            analyse;
        // Runs the analyses; null: the program's worker of low priority, which a closing window does not
        // wait for.
        platform::DispatchQueue* worker = nullptr;
    };

    explicit TempoWiring(Context context);
    ~TempoWiring() override;

    // The counter, for the main view to place by the transport.
    BeatCounterView* counterView() const;
    // What the speed means, beside the speed control.
    QLabel* heardTempoLabel() const;
    // The preferences' dance table, editing this one.
    QWidget* makeDanceTableEditor(QWidget* parent);
    const DanceTable& danceTable() const { return table_; }

    // A song was loaded: its target speed is set when it has one.
    void songLoaded(const std::shared_ptr<PlaylistEntry>& entry);
    // The tap key, while a song plays; false for any other key.
    bool handleKey(const QString& characters);

    // The song's dance as the window has it.
    Dance danceOf(const PlaylistEntry& entry) const;
    // The entry menu's commands on the selected songs (the first for the corrections).
    void chooseDance(std::optional<Dance> dance);
    void correct(TempoFactor factor);
    void moveBarLines(int beats);
    void setSongTarget(std::optional<double> target);
    // Ends a run of taps: eight or more set the tempo and phase of the loaded song.
    void finishTaps();

    // The next analysis, the counter's frames, the heard tempo; run every tick and after each change.
    void tick();

private:
    void buildMenu();
    std::vector<std::shared_ptr<PlaylistEntry>> selectedEntries() const;
    void record(const std::string& name, const std::vector<std::shared_ptr<PlaylistEntry>>& entries,
                const std::function<void(const PlaylistEntry&, EntryTempo&)>& change);
    void changed(const std::shared_ptr<PlaylistEntry>& entry);
    void applyTarget(const std::shared_ptr<PlaylistEntry>& entry);
    void showHeardTempo();
    const SongTempo* loadedTempo() const;

    Context context_;
    DanceTable table_;
    std::unique_ptr<BackgroundTempo> background_;
    QPointer<BeatCounterView> counter_;
    QPointer<QLabel> heardTempo_;
    QTimer* ticker_;
    QTimer* tapRunEnd_;
    std::vector<double> taps_;
    // The loaded song plays at its target speed, set on load and not touched by hand since.
    bool atTarget_ = false;
    // The speed was set by hand since the song was loaded: a target found later does not override it.
    bool speedTouched_ = false;
};

} // namespace vantle

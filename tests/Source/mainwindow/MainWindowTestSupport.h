#pragma once
// A fake player, break timer, waveform maker and listening log, and a fixture that starts the real
// main window on them with a hand-moved tick, fake panels and alerts, and temporary folders.

#include "Source/mainwindow/AppDelegate.h"
#include "Source/mainwindow/MainViewController.h"
#include "Source/mainwindow/MainWindowController.h"
#include "Source/playback/BreakTimer.h"
#include "Source/playback/Player.h"
#include "Source/session/AppState.h"
#include "Source/session/Playlist.h"
#include "Source/session/PlaylistEntry.h"
#include "Source/session/SessionSafekeeping.h"
#include "Source/views/PlaylistTableView.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/Reaper.h"
#include "platform/dispatch/TimerScheduler.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/WatchedApplication.h"
#include "tests/Source/session/SessionFakes.h"
#include "tests/support/FakeOutputVolumeBackend.h"
#include "tests/support/LyricsFiles.h"
#include "tests/support/MainViewStandIns.h"
#include "tests/support/ManualTimers.h"
#include "tests/support/QuietNotesFiles.h"
#include "tests/support/StallWatch.h"
#include "tests/support/UiFakes.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QImage>
#include <QMimeData>
#include <QSize>
#include <QUrl>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vantle::testing {

// Behaves as the player over the node graph does, with a file player whose time moves only through
// advance(): at the end of the file it stops and reports completion, as the file player would.
class FakeApplicationPlayer final : public ApplicationPlayer {
public:
    PlayerMode mode() const override { return mode_; }
    std::shared_ptr<PlaylistEntry> entry() const override { return entry_; }
    double currentTime() const override { return fileTime; }
    double desiredTime() const override { return desired; }

    void setEntry(std::shared_ptr<PlaylistEntry> entry) override {
        fileRunning = false;
        setPlaying(false);
        entry_.reset();
        playable_ = false;
        desired = fileTime = playStart = fileDuration = 0;
        ++entrySets;
        if (!entry) return;
        if (std::optional<double> length = entry->duration()) {
            entry->fileMissing = false;
            setKeyShift(entry->keyShift);
            entry_ = std::move(entry);
            fileDuration = *length;
            playable_ = true;
        } else {
            entry->fileMissing = !platform::fileExists(entry->_url.path());
        }
    }
    void setCurrentTime(double seconds) override {
        suspend();
        desired = std::min(fileDuration - 0.1, seconds >= 0 ? seconds : 0.0);
        if (delegate_) delegate_->refreshDisplay();
        resume();
    }
    void skipToEndIfWithin(double seconds) override {
        if (playing_ && seconds > fileDuration - playbackTime()) setCurrentTime(fileDuration);
    }
    double duration() const override { return fileDuration; }

    void play() override {
        if (fileRunning) return;
        if (!playable_) {
            if (delegate_) delegate_->nothingToPlay();
            return;
        }
        if (mode_ == PlayerMode::dance && entry_) entry_->beginTimeRange(desired);
        fileTime = playStart = desired;
        fileRunning = true;
        ++plays;
        setPlaying(true);
    }
    void pause() override {
        if (playing_ && playable_) stopFile();
    }
    void suspend() override {
        if (suspended_) return;
        if (playing_ && playable_) stopFile();
        suspended_ = true;
    }
    void stop() override {
        if (!suspended_) pause();
        setPlaying(false);
    }
    void start() override {
        if (suspended_)
            setPlaying(true);
        else
            play();
    }
    void resume() override {
        if (!suspended_) return;
        suspended_ = false;
        if (playing_) play();
    }

    bool playable() const override { return playable_; }
    bool suspended() const override { return suspended_; }
    bool playing() const override { return playing_; }
    void setPlaying(bool playing) override {
        playing_ = playing;
        if (!delegate_) return;
        delegate_->resetScreensaverIdle();
        if (playing) delegate_->clearPrevEntry();
    }
    void setMode(PlayerMode mode) override { mode_ = mode; }
    PlayerDelegate* delegate() const override { return delegate_; }
    void setDelegate(PlayerDelegate* delegate) override { delegate_ = delegate; }

    float volume() const override { return volume_; }
    void setVolume(float volume) override { volume_ = volume; }
    float pan() const override { return pan_; }
    void setPan(float pan) override { pan_ = pan; }
    float treble() const override { return treble_; }
    void setTreble(float treble) override { treble_ = treble; }
    void setTrebleGain(float gain) override { trebleGain = gain; }
    void setRate(float value) override { rate = value; }
    int keyShift() const override { return key; }
    void setKeyShift(int semitones) override {
        const int clamped = std::clamp(semitones, -maximumKeyShift, maximumKeyShift);
        if (clamped == key) return;
        key = clamped;
        if (delegate_) delegate_->keyShiftChanged();
    }

    // Moves the file player on by `seconds` while it plays.
    void advance(double seconds) {
        if (!fileRunning) return;
        fileTime += seconds;
        if (fileTime < fileDuration) return;
        fileRunning = false;
        fileTime = playStart;
        if (delegate_) {
            delegate_->resetScreensaverIdle();
            delegate_->playerDidFinish();
        }
        // As the real player: when the delegate went on with nothing, nothing is playing.
        if (playing_ && !fileRunning) setPlaying(false);
    }

    double fileTime = 0;
    double desired = 0;
    double playStart = 0;
    double fileDuration = 0;
    bool fileRunning = false;
    float trebleGain = -1;
    int entrySets = 0;
    int plays = 0;
    int key = 0;
    float rate = 1.0f;

private:
    // The file player stops; its time is then the time its last play started from.
    void stopFile() {
        desired = fileTime;
        fileRunning = false;
        fileTime = playStart;
        recordPlayedRange();
    }

    std::shared_ptr<PlaylistEntry> entry_;
    PlayerMode mode_ = PlayerMode::dance;
    PlayerDelegate* delegate_ = nullptr;
    bool playable_ = false;
    bool suspended_ = false;
    bool playing_ = false;
    float volume_ = 0.5f;
    float pan_ = 0;
    float treble_ = 0;
};

class FakeBreakTimer final : public BreakTimer {
public:
    void arm(std::optional<double> seconds) override {
        arms.push_back(seconds);
        armed = true;
    }
    void cancel() override {
        ++cancels;
        armed = false;
    }
    void toggle() override {
        if (armed)
            cancel();
        else
            arm(std::nullopt);
    }
    bool isArmed() const override { return armed; }
    std::optional<double> fractionRemaining() const override {
        return armed ? std::optional<double>(1.0) : std::nullopt;
    }

    std::vector<std::optional<double>> arms;
    int cancels = 0;
    bool armed = false;
};

// Keeps every request until the test delivers a picture.
class FakeWaveform final : public WaveformPart {
public:
    QWidget* widget() override { return nullptr; }
    void requestPicture(const std::shared_ptr<PlaylistEntry>& entry, const QSize&,
                        Delivery deliver) override {
        requests.emplace_back(entry, std::move(deliver));
    }
    std::vector<std::pair<std::shared_ptr<PlaylistEntry>, Delivery>> requests;
};

class FakeListeningLog final : public ListeningLog {
public:
    void log(std::string_view text) override { lines.emplace_back(text); }
    void logEntry(PlaylistEntry& entry) override {
        loggedEntries.push_back(entry._url.lastPathComponent());
        loggedShares.push_back(entry.currentTimeRangeSet ? entry.coveredFraction(*entry.currentTimeRangeSet)
                                                         : 0.0);
    }
    std::vector<std::string> lines;
    std::vector<std::string> loggedEntries;
    std::vector<double> loggedShares;
};

// Starts the application on the fakes: a delegate, the main window (shown, 900 × 640) and its view.
// Nothing is restored until activate().
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::UserDefaults::setStandardFolder(defaultsFolder.path);
        setAppStateDirectory(stateFolder.path);
        platform::mainQueue().drain();
    }

    void TearDown() override {
        stop();
        platform::mainQueue().drain();
        setAppStateDirectory(std::nullopt);
        platform::UserDefaults::setStandardFolder(platform::UserDefaults::defaultFolder());
    }

    // `followApplicationState`: activations come from the application as well (which reports one
    // only when its state changes, so a test cannot count on it).
    void start(bool followApplicationState = false) {
        delegate = std::make_unique<AppDelegate>(nullptr, followApplicationState);
        delegate->setQuitHandler([this] { ++quits; });
        MainViewEnvironment environment;
        environment.makePlayer = [this] {
            auto made = std::make_unique<FakeApplicationPlayer>();
            player = made.get();
            return made;
        };
        environment.makeBreakTimer = [this] {
            auto made = std::make_unique<FakeBreakTimer>();
            breakTimer = made.get();
            return made;
        };
        environment.parts.waveform = [this](MainViewController&) {
            auto made = std::make_unique<FakeWaveform>();
            waveform = made.get();
            return made;
        };
        environment.parts.log = [this](MainViewController&) {
            auto made = std::make_unique<FakeListeningLog>();
            log = made.get();
            return made;
        };
        environment.scheduler = &scheduler;
        environment.filePanels = &panels;
        environment.alerts = &alerts;
        environment.outputVolume = &outputVolume;
        if (configureEnvironment) configureEnvironment(environment);
        testsupport::useMainViewStandIns(environment.parts);
        window = std::make_unique<MainWindowController>(std::move(environment), delegate.get());
        if (!keepSavedFrame) window->resize(900, 640);
        window->show();
        QApplication::processEvents();
    }

    void stop() {
        {
            // Closing is watched as the program's teardown is: it must not wait on a file or a worker.
            platform::WatchedApplication::Stretch closing("closing the window");
            window.reset();
        }
        // As the program's exit does, once the window is gone.
        platform::waitForReaped();
        delegate.reset();
        player = nullptr;
        breakTimer = nullptr;
        waveform = nullptr;
        log = nullptr;
    }

    // The first activation of the application (restores the last session).
    void activate() {
        delegate->applicationDidBecomeActive();
        QApplication::processEvents();
    }

    // Ticks of the display timer, 0.1 s each, the file player moving with them.
    void tick(int count = 1) {
        for (int i = 0; i < count; ++i) {
            if (player) player->advance(0.1);
            scheduler.advance(0.1);
            platform::mainQueue().drain();
        }
    }

    MainViewController& view() { return window->mainViewController(); }
    // The state file once what waits for a pause in the changes is written.
    platform::Result<AppState> writtenAppState() {
        if (window) view().safekeeping().flush();
        return readAppState();
    }
    Playlist& playlist() { return *view().playlist(); }
    std::shared_ptr<PlaylistEntry> entry(std::size_t index) { return playlist().allEntries.at(index); }
    std::vector<std::string> names() { return fileNames(playlist().allEntries); }
    static platform::Bytes bytesOf(const platform::Url& url) {
        return platform::readFile(url.path()).valueOr(platform::Bytes{});
    }

    // A silent WAV file of that length in the audio folder, in the subfolders the name gives.
    platform::Url audioFile(const std::string& name, double seconds) {
        std::filesystem::create_directories(std::filesystem::path(audioFolder.file(name)).parent_path());
        return writeSilentWav(audioFolder.url(name), seconds);
    }

    // A session document of the files, written to `url`, its current item and time as given.
    void writeSession(const platform::Url& url, const std::vector<platform::Url>& files,
                      std::optional<std::int64_t> currentItem = std::nullopt, double currentTime = 0) {
        Playlist document;
        for (const platform::Url& file : files) {
            std::shared_ptr<PlaylistEntry> entry = PlaylistEntry::make(file);
            ASSERT_TRUE(entry) << file.path();
            document.allEntries.push_back(entry);
        }
        if (currentItem)
            document.assignedEntry = document.allEntries.at(static_cast<std::size_t>(*currentItem));
        document.currentTime = currentTime;
        document.save(url);
        ASSERT_FALSE(document.dirty);
    }

    std::string text(const QString& value) { return value.toStdString(); }

    // The colour at `at` in the widget, read from a grab of the window.
    QColor pixel(const QImage& grab, QWidget& widget, QPoint at) {
        const QPoint inWindow = widget.mapTo(window.get(), at);
        return grab.pixelColor(static_cast<int>(inWindow.x() * grab.devicePixelRatio()),
                               static_cast<int>(inWindow.y() * grab.devicePixelRatio()));
    }
    static bool near(const QColor& a, const QColor& b) {
        return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 &&
               std::abs(a.blue() - b.blue()) < 40;
    }
    // Pixels of the widget's area, in a grab of the window, whose colour is close to `colour`.
    int pixelsLike(const QImage& grab, QWidget& widget, const QColor& colour) {
        int count = 0;
        for (int y = 0; y < widget.height(); ++y)
            for (int x = 0; x < widget.width(); ++x)
                count += near(pixel(grab, widget, QPoint(x, y)), colour);
        return count;
    }
    // Drops the local files (or other data) on the line above the playlist row, as the window
    // system does: the entry makes the viewport the drag's target. True when the drop was taken.
    bool dropOnTable(const QMimeData& data, int row) {
        PlaylistTableView& table = view().tableView();
        const QPoint at = table.visualRect(table.model()->index(row, 0)).topLeft() + QPoint(4, 1);
        QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(table.viewport(), &enter);
        QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(table.viewport(), &drop);
        return drop.isAccepted();
    }
    static void setFiles(QMimeData& data, const std::vector<platform::Url>& files) {
        QList<QUrl> urls;
        for (const platform::Url& file : files)
            urls.push_back(QUrl::fromLocalFile(QString::fromStdString(file.path())));
        data.setUrls(urls);
    }

    // The notes and lyrics files a test writes are read at once; a test of the quiet rule gives its set a
    // clock.
    testsupport::ScopedQuietNotesFiles quietNotesFiles;
    testsupport::ScopedQuietLyricsFiles quietLyricsFiles;
    SessionTempFolder defaultsFolder;
    SessionTempFolder stateFolder;
    SessionTempFolder audioFolder;
    testsupport::ManualTimerScheduler scheduler;
    testsupport::FakeFilePanels panels;
    testsupport::FakeAlerts alerts;
    // No sound card unless a test gives the fake one; never the machine's own.
    testsupport::FakeOutputVolumeBackend outputDevice = [] {
        testsupport::FakeOutputVolumeBackend none;
        none.device.reset();
        return none;
    }();
    // What the output volume says is no test's business here.
    platform::OutputVolume outputVolume{outputDevice, [](const std::string&) {}};
    std::unique_ptr<AppDelegate> delegate;
    std::unique_ptr<MainWindowController> window;
    FakeApplicationPlayer* player = nullptr;
    FakeBreakTimer* breakTimer = nullptr;
    FakeWaveform* waveform = nullptr;
    FakeListeningLog* log = nullptr;
    int quits = 0;
    // The window opens with the frame the user defaults kept, not at 900 × 640.
    bool keepSavedFrame = false;
    // Runs on the environment just before the window is made, for fixtures that add to it.
    std::function<void(MainViewEnvironment&)> configureEnvironment;
};

} // namespace vantle::testing

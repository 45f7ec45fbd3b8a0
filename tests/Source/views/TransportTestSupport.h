#pragma once
// Fakes of the player, its delegate, the break timer, Do Not Disturb, the video window and the
// main view for the transport panel's tests. They all write to one log, so that the tests see
// the order of calls; the fake player clamps seeks the way the real one does.

#include "Source/karaoke/Lyrics.h"
#include "Source/playback/BreakTimer.h"
#include "Source/playback/Player.h"
#include "Source/session/PlaylistEntry.h"
#include "Source/views/RemoteControlDelegate.h"
#include "Source/views/TransportHost.h"
#include "Source/views/TransportViewController.h"
#include "platform/system/DoNotDisturb.h"
#include "tests/Source/session/SessionFakes.h"

#include <QString>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vantle::testing {

using TransportLog = std::vector<std::string>;

inline std::string transportNumber(double value) {
    return QString::number(value, 'g', 6).toStdString();
}

// What every fake here shares: the one log.
class TransportLogging {
public:
    explicit TransportLogging(TransportLog& log) : log_(log) {}

protected:
    TransportLog& log_;
};

class TransportFakePlayerDelegate final : public PlayerDelegate, TransportLogging {
public:
    using TransportLogging::TransportLogging;
    void refreshDisplay() override { log_.push_back("delegate refreshDisplay"); }
    void playerDidFinish() override { log_.push_back("delegate playerDidFinish"); }
    void updateForMode() override { log_.push_back("updateForMode"); }
    void resetScreensaverIdle() override { log_.push_back("delegate resetScreensaverIdle"); }
    void clearPrevEntry() override { log_.push_back("delegate clearPrevEntry"); }
};

// A player whose position is one number: seeks store it clamped to 0 … duration − 0.1.
class TransportFakePlayer final : public ApplicationPlayer, TransportLogging {
public:
    using TransportLogging::TransportLogging;

    PlayerMode mode() const override { return playerMode; }
    std::shared_ptr<PlaylistEntry> entry() const override { return loaded; }
    double currentTime() const override { return time; }
    double desiredTime() const override { return time; }

    void setEntry(std::shared_ptr<PlaylistEntry> entry) override {
        loaded = std::move(entry);
        length = loaded ? loaded->duration().value_or(0.0) : 0.0;
        time = 0;
        isPlayingFlag = false;
    }
    void setCurrentTime(double seconds) override {
        log_.push_back("seek " + transportNumber(seconds));
        time = std::max(0.0, std::min(seconds, length - 0.1));
    }
    void skipToEndIfWithin(double seconds) override {
        log_.push_back("skipToEndIfWithin " + transportNumber(seconds));
    }
    double duration() const override { return length; }
    void play() override {
        log_.push_back("play");
        isPlayingFlag = !refusesPlay;
    }
    void pause() override { log_.push_back("pause"); }
    void suspend() override { log_.push_back("suspend"); }
    void stop() override { log_.push_back("stop"); }
    void start() override { log_.push_back("start"); }
    void resume() override { log_.push_back("resume"); }
    bool playable() const override { return true; }
    bool suspended() const override { return isSuspended; }
    bool playing() const override { return isPlayingFlag; }
    void setPlaying(bool value) override {
        log_.push_back(value ? "setPlaying true" : "setPlaying false");
        isPlayingFlag = value;
    }
    void setMode(PlayerMode value) override {
        log_.push_back(value == PlayerMode::dance ? "mode dance" : "mode other");
        playerMode = value;
    }
    PlayerDelegate* delegate() const override { return playerDelegate; }
    void setDelegate(PlayerDelegate* value) override { playerDelegate = value; }
    float volume() const override { return playerVolume; }
    void setVolume(float value) override { playerVolume = value; }
    float pan() const override { return 0; }
    void setPan(float) override {}
    float treble() const override { return 0; }
    void setTreble(float) override {}
    void setTrebleGain(float) override {}
    void setRate(float value) override {
        log_.push_back("rate " + transportNumber(value));
        rate = value;
    }
    int keyShift() const override { return key; }
    void setKeyShift(int semitones) override {
        log_.push_back("key " + std::to_string(semitones));
        key = std::clamp(semitones, -maximumKeyShift, maximumKeyShift);
    }

    std::shared_ptr<PlaylistEntry> loaded;
    PlayerMode playerMode = PlayerMode::prepare;
    PlayerDelegate* playerDelegate = nullptr;
    double length = 0;
    double time = 0;
    bool isPlayingFlag = false;
    bool isSuspended = false;
    // Play finds nothing to play (the file no longer reads).
    bool refusesPlay = false;
    float playerVolume = 1;
    std::optional<float> rate;
    int key = 0;
};

class TransportFakeBreakTimer final : public BreakTimer, TransportLogging {
public:
    using TransportLogging::TransportLogging;
    void arm(std::optional<double> seconds) override {
        log_.push_back(seconds ? "arm " + transportNumber(*seconds) : "arm default");
        armed = true;
    }
    void cancel() override {
        log_.push_back("cancel break");
        armed = false;
    }
    void toggle() override { log_.push_back("toggle break"); }
    bool isArmed() const override { return armed; }
    std::optional<double> fractionRemaining() const override { return std::nullopt; }

    bool armed = true;
};

class TransportFakeDoNotDisturb final : public platform::DoNotDisturb, TransportLogging {
public:
    using TransportLogging::TransportLogging;
    void enable() override { log_.push_back("doNotDisturb on"); }
    void restore() override { log_.push_back("doNotDisturb off"); }
};

class TransportFakeVideoWindow final : public RemoteControlDelegate, TransportLogging {
public:
    using TransportLogging::TransportLogging;
    void pressed(RemoteControlButton button) override {
        log_.push_back("video pressed " + std::to_string(static_cast<int>(button)));
    }
    void released(RemoteControlButton) override { log_.push_back("video released"); }
    void connected(int) override { log_.push_back("video connected"); }
};

// One notice as the main view was asked to show it.
struct TransportNotice {
    std::string text; // the text, or the image's name
    double seconds = 0;
    std::optional<QColor> color;
    bool image = false;
};

// The main view as the panel sees it. Loading an entry hands it to the player, as the real one
// does; setting the volume clamps it.
class TransportFakeHost final : public TransportHost, TransportLogging {
public:
    explicit TransportFakeHost(TransportLog& log)
        : TransportLogging(log), fakePlayer(log), fakeBreakTimer(log), playerDelegate(log) {
        fakePlayer.playerDelegate = &playerDelegate;
    }

    ApplicationPlayer& player() const override { return fakePlayer; }
    BreakTimer& breakTimer() const override { return fakeBreakTimer; }
    std::shared_ptr<PlaylistEntry> assignedEntry() const override { return assigned; }
    const std::shared_ptr<PlaylistEntry>& prevEntry() const override { return previous; }
    void clearPrevEntry() override {
        log_.push_back("clearPrevEntry");
        previous.reset();
    }
    void loadEntry(const std::shared_ptr<PlaylistEntry>& entry) override {
        log_.push_back("loadEntry " + (entry ? entry->_url.lastPathComponent() : std::string("none")));
        assigned = entry;
        fakePlayer.setEntry(entry);
    }
    void refreshDisplay() override { log_.push_back("refreshDisplay"); }
    void loadTimeSliderEntry(const std::shared_ptr<PlaylistEntry>& entry) override {
        log_.push_back("timeSlider " + (entry ? entry->_url.lastPathComponent() : std::string("none")));
    }
    void saveAppState() override { log_.push_back("saveAppState"); }
    void resetScreensaverIdle() override { log_.push_back("resetIdle"); }
    float volume() const override { return storedVolume; }
    void setVolume(float value) override {
        storedVolume = std::min(value, 1.0f);
        if (!(storedVolume > 0.0f)) storedVolume = 0.0f;
        log_.push_back("volume " + transportNumber(storedVolume));
    }
    void showTextNotice(const QString& text, double seconds, std::optional<QColor> color) override {
        notices.push_back({text.toStdString(), seconds, color, false});
        log_.push_back("text " + text.toStdString());
    }
    void showImageNotice(const QIcon& image) override {
        notices.push_back({image.name().toStdString(), 1.0, std::nullopt, true});
        log_.push_back("image " + image.name().toStdString());
    }
    RemoteControlDelegate* keyVideoWindow() const override { return videoWindow; }
    const Lyrics* lyricLines() const override { return lyrics; }

    std::shared_ptr<PlaylistEntry> assigned;
    // The karaoke panel's lines; null: none read.
    const Lyrics* lyrics = nullptr;
    std::shared_ptr<PlaylistEntry> previous;
    float storedVolume = 0.5f;
    std::vector<TransportNotice> notices;
    RemoteControlDelegate* videoWindow = nullptr;
    mutable TransportFakePlayer fakePlayer;
    mutable TransportFakeBreakTimer fakeBreakTimer;
    TransportFakePlayerDelegate playerDelegate;
};

// A panel wired to a fake main view and a fake Do Not Disturb, and entries made from a real
// one-second WAV file that claim other lengths.
class TransportTest : public ::testing::Test {
protected:
    TransportTest() {
        panel.setParentMainViewController(&host);
        panel.setDoNotDisturb(&doNotDisturb);
        wav = writeSilentWav(folder.url("one-second.wav"), 1.0);
    }

    // An entry named `name` lasting `seconds` (none: a length that cannot be measured).
    std::shared_ptr<PlaylistEntry> makeEntry(const std::string& name, std::optional<double> seconds) {
        std::shared_ptr<PlaylistEntry> entry = PlaylistEntry::make(wav);
        EXPECT_TRUE(entry);
        entry->_url = folder.url(name);
        entry->_cachedDuration = seconds;
        return entry;
    }

    // Makes the entry current and loaded in the player at `time`, paused; clears the log.
    void loadAt(const std::shared_ptr<PlaylistEntry>& entry, double time) {
        host.loadEntry(entry);
        player().time = time;
        log.clear();
    }

    TransportFakePlayer& player() { return host.fakePlayer; }
    // The calls logged since the last look.
    TransportLog taken() { return std::exchange(log, {}); }

    // The seeks logged, in order.
    std::vector<double> seeks() const {
        std::vector<double> found;
        for (const std::string& line : log)
            if (line.rfind("seek ", 0) == 0) found.push_back(std::stod(line.substr(5)));
        return found;
    }

    TransportLog log;
    TransportFakeHost host{log};
    TransportFakeDoNotDisturb doNotDisturb{log};
    TransportViewController panel;
    SessionTempFolder folder;
    platform::Url wav;
};

} // namespace vantle::testing

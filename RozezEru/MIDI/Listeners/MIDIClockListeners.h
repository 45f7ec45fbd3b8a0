#pragma once
// Following an outside MIDI transport and clock: MIDISystemRealTimeListener keeps the transport state from
// Start, Continue and Stop; MIDIClockListener counts the 24-per-beat Timing Clocks into quarter notes,
// song-position beats and ticks; MIDITempoListener times the clocks into a tempo, watches for the clock
// stopping and feeds the other two. Messages arrive on the MIDI input thread; observer lists may be changed
// from any thread meanwhile.

#include "RozezEru/MIDI/Listeners/MIDIListener.h"
#include "RozezEru/MIDI/MIDITimeout.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace rozezeru {

class MIDISystemRealTimeListener : public MIDIListener {
public:
    enum class SRTState { stopped, playing, paused };

    void receivedMIDISystemCommand(std::span<const std::uint8_t> data, PortID portID,
                                   EventTime timeStamp) override;
    SRTState state() const { return state_; }
    MIDIObserverMaster<MIDISystemRealTimeObserver> observers;

private:
    std::atomic<SRTState> state_{SRTState::stopped};
};

class MIDITempoListener;

class MIDIClockListener : public MIDISystemRealTimeObserver, public MIDITempoObserver {
public:
    // Registers itself with both partners, which keep it; it keeps them weakly.
    static std::shared_ptr<MIDIClockListener>
    make(const std::shared_ptr<MIDISystemRealTimeListener>& srtListener, std::uint8_t quantumsPerQuarterNote,
         MIDITempoListener& tempoListener);

    // One Timing Clock, handed on by the tempo listener.
    void midiClockBeat(MIDITimeStamp timeStamp);
    void startSRT(MIDISystemRealTimeListener& listener) override;
    void stopSRT(MIDISystemRealTimeListener& listener) override;
    void continueSRT(MIDISystemRealTimeListener& listener) override;
    void midiClockFollowerMode() override;
    void midiClockLeaderEnabled() override;
    void addObserver(std::shared_ptr<MIDIBeatObserver> observer);
    void removeObserver(const MIDIBeatObserver& observer);
    void removeAllObservers() { observers_.removeAllObservers(); }
    bool isSameObserver(const ObserverProtocol& other) const override;

    const std::uint8_t quantumsPerQuarterNote;
    // Counters, on the MIDI input thread.
    std::uint8_t quarterNoteQuantumCounter = 0;
    std::uint64_t quantumCounter = 0;
    std::uint64_t sppMIDIBeatCounter = 0;
    std::uint8_t sppMIDIBeatQuantumCounter = 0;
    std::uint8_t fourCount = 0;
    bool sendStart = false;
    bool sendContinue = false;

private:
    MIDIClockListener(std::uint8_t quanta, const std::shared_ptr<MIDISystemRealTimeListener>& srtListener)
        : quantumsPerQuarterNote(quanta), srtListener_(srtListener) {}
    void reportQuantum(MIDITimeStamp time);

    std::weak_ptr<MIDISystemRealTimeListener> srtListener_;
    MIDIObserverMaster<MIDIBeatObserver> observers_;
};

// Raw tempi with their times, the statistics of their latest windows and a regression line over them.
struct BPMHistoryStatistics {
    struct Stats {
        double mean = 0;
        double std = 0;
    };
    int regressionCountIndex = 5;
    std::vector<int> historyCounts = {3, 6, 12, 24, 48, 96, 192, 384};
    std::vector<double> bpmHistory;
    std::vector<std::uint64_t> actualTimeHistory;
    std::vector<double> timeHistory;
    std::vector<Stats> bpmStats;
    std::vector<Stats> timeStats;
    // tempo = slope × time + ct
    std::optional<std::pair<double, double>> lineFn;

    void record(double bpm, std::uint64_t time);
    // A time that lies `fraction` of the way through the regression window.
    std::uint64_t timeAt(float fraction) const;
    // Mean and sample deviation of the last c values for each window size c; unchanged while the history
    // is not longer than every window.
    void windowStatistics(const std::vector<double>& history, std::vector<Stats>& stats) const;
    void regression();
};

// The mean and deviation of the latest tempi.
struct BPMHistoryAveraging {
    std::vector<double> bpmHistory;
    int countLimit = 0;
    BPMHistoryStatistics::Stats results;

    void record(double bpm);
};

class MIDITempoListener : public MIDIListener, public std::enable_shared_from_this<MIDITempoListener> {
public:
    // Clock watchdog timers run on `scheduler`.
    static std::shared_ptr<MIDITempoListener>
    make(double smoothing, int bpmHistoryLimit,
         platform::TimerScheduler& scheduler = platform::sharedTimerScheduler());
    ~MIDITempoListener() override;

    void receivedMIDISystemCommand(std::span<const std::uint8_t> data, PortID portID,
                                   EventTime timeStamp) override;
    void addTempoObserver(std::shared_ptr<MIDITempoObserver> observer);
    void removeTempoObserver(const MIDITempoObserver& observer);
    void removeAllTempoObservers() { tempoObservers_.removeAllObservers(); }

    std::shared_ptr<MIDIClockListener> clockListener;
    std::shared_ptr<MIDISystemRealTimeListener> srtListener = std::make_shared<MIDISystemRealTimeListener>();
    // On the MIDI input thread.
    std::string tempoString;
    double tempo = 0;
    std::vector<std::uint64_t> clockEvents;
    BPMHistoryStatistics bpmStats;
    BPMHistoryAveraging bpmAveraging;
    std::atomic<bool> isIncomingClockActive{false};
    static constexpr int BEAT_TICKS = 24;

private:
    MIDITempoListener() = default;
    void clockTick(MIDITimeStamp time);
    void tempoFromLastInterval();
    void clockStopped();

    MIDIObserverMaster<MIDITempoObserver> tempoObservers_;
    std::shared_ptr<MIDITimeout> clockTimeout_;
};

} // namespace rozezeru

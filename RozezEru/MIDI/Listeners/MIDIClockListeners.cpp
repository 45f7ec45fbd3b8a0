#include "RozezEru/MIDI/Listeners/MIDIClockListeners.h"

#include "RozezEru/Internals/Log.h"
#include "platform/foundation/HostTime.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

namespace rozezeru {

namespace {

void logInfo(const char* function, const std::string& text) {
    Log(LogSite(function, OSLog::midi()), text);
}

BPMHistoryStatistics::Stats statsOf(std::span<const double> values) {
    const double mean =
        std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
    double squares = 0;
    for (double value : values)
        squares += (value - mean) * (value - mean);
    return {mean, values.size() > 1 ? std::sqrt(squares / static_cast<double>(values.size() - 1)) : 0.0};
}

} // namespace

void MIDISystemRealTimeListener::receivedMIDISystemCommand(std::span<const std::uint8_t> data, PortID,
                                                           EventTime) {
    if (data.empty()) return;
    switch (data[0]) {
    case 0xFA:
        logInfo("receivedMIDISystemCommand(_:portID:timeStamp:)", "Incoming MMC [Start]");
        state_ = SRTState::playing;
        observers.forEachObserver([&](MIDISystemRealTimeObserver& observer) { observer.startSRT(*this); });
        break;
    case 0xFB:
        logInfo("receivedMIDISystemCommand(_:portID:timeStamp:)", "Incoming MMC [Continue]");
        state_ = SRTState::playing;
        observers.forEachObserver([&](MIDISystemRealTimeObserver& observer) { observer.continueSRT(*this); });
        break;
    case 0xFC:
        logInfo("receivedMIDISystemCommand(_:portID:timeStamp:)", "Incoming MMC [Stop]");
        state_ = state_ == SRTState::playing ? SRTState::paused : SRTState::stopped;
        observers.forEachObserver([&](MIDISystemRealTimeObserver& observer) { observer.stopSRT(*this); });
        break;
    default:
        break;
    }
}

std::shared_ptr<MIDIClockListener>
MIDIClockListener::make(const std::shared_ptr<MIDISystemRealTimeListener>& srtListener,
                        std::uint8_t quantumsPerQuarterNote, MIDITempoListener& tempoListener) {
    std::shared_ptr<MIDIClockListener> listener(new MIDIClockListener(quantumsPerQuarterNote, srtListener));
    srtListener->observers.addObserver(listener);
    tempoListener.addTempoObserver(listener);
    return listener;
}

bool MIDIClockListener::isSameObserver(const ObserverProtocol& other) const {
    return dynamic_cast<const MIDIClockListener*>(&other) == this;
}

void MIDIClockListener::reportQuantum(MIDITimeStamp time) {
    observers_.forEachObserver([&](MIDIBeatObserver& observer) {
        observer.receivedQuantum(time, fourCount, sppMIDIBeatCounter, quantumCounter);
    });
}

void MIDIClockListener::midiClockBeat(MIDITimeStamp time) {
    ++quantumCounter;
    const auto srt = srtListener_.lock();
    if (!srt || srt->state() != MIDISystemRealTimeListener::SRTState::playing) return reportQuantum(time);
    ++quarterNoteQuantumCounter;
    if (quarterNoteQuantumCounter == 1) {
        fourCount = fourCount < 4 ? fourCount + 1 : 1;
        logInfo("midiClockBeat(timeStamp:)", std::string(fourCount + 1u, ' ') + std::to_string(fourCount));
        if (sendStart || sendContinue) {
            const bool continuing = sendContinue;
            observers_.forEachObserver(
                [&](MIDIBeatObserver& observer) { observer.firstBeatStarted(continuing); });
            sendContinue = sendStart = false;
        }
        observers_.forEachObserver(
            [&](MIDIBeatObserver& observer) { observer.receivedQuarterNote(fourCount); });
    } else if (quarterNoteQuantumCounter == quantumsPerQuarterNote) {
        quarterNoteQuantumCounter = 0;
    }
    reportQuantum(time);
    if (sppMIDIBeatQuantumCounter == 6) {
        sppMIDIBeatQuantumCounter = 0;
        ++sppMIDIBeatCounter;
    }
    ++sppMIDIBeatQuantumCounter;
    if (sppMIDIBeatQuantumCounter == 1) {
        observers_.forEachObserver(
            [&](MIDIBeatObserver& observer) { observer.receivedSongPositionBeat(sppMIDIBeatCounter); });
        logInfo("midiClockBeat(timeStamp:)", "       " + std::to_string(sppMIDIBeatCounter % 16 + 1));
    }
}

void MIDIClockListener::startSRT(MIDISystemRealTimeListener&) {
    logInfo("startSRT(listener:)", "Beat: [Start]");
    // The clocks within the song-position beat restart too: a Stop in mid-beat must not shift the beats
    // after the next Start.
    sppMIDIBeatCounter = 0;
    sppMIDIBeatQuantumCounter = 0;
    quarterNoteQuantumCounter = 0;
    fourCount = 0;
    sendStart = true;
    observers_.forEachObserver([](MIDIBeatObserver& observer) { observer.prepareToPlay(false); });
}

void MIDIClockListener::continueSRT(MIDISystemRealTimeListener&) {
    logInfo("continueSRT(listener:)", "Beat: [Continue]");
    sendContinue = true;
    observers_.forEachObserver([](MIDIBeatObserver& observer) { observer.prepareToPlay(true); });
}

void MIDIClockListener::stopSRT(MIDISystemRealTimeListener&) {
    logInfo("stopSRT(listener:)", "Beat: [Stop]");
    observers_.forEachObserver([](MIDIBeatObserver& observer) { observer.playbackStopped(); });
}

void MIDIClockListener::midiClockFollowerMode() {
    logInfo("midiClockFollowerMode()", "MIDI Clock Follower");
}

void MIDIClockListener::midiClockLeaderEnabled() {
    logInfo("midiClockLeaderEnabled()", "MIDI Clock Leader Enabled");
}

void MIDIClockListener::addObserver(std::shared_ptr<MIDIBeatObserver> observer) {
    observers_.addObserver(std::move(observer));
    logInfo("addObserver(_:)", "[MIDIClockListener:addObserver] (" +
                                   std::to_string(observers_.observers()->size()) + " observers)");
}

void MIDIClockListener::removeObserver(const MIDIBeatObserver& observer) {
    observers_.removeObserver(observer);
    logInfo("removeObserver(_:)", "[MIDIClockListener:removeObserver] (" +
                                      std::to_string(observers_.observers()->size()) + " observers)");
}

void BPMHistoryStatistics::record(double bpm, std::uint64_t time) {
    const int maxCount =
        historyCounts.empty() ? 0 : *std::max_element(historyCounts.begin(), historyCounts.end());
    if (maxCount > 1) {
        const auto limit = static_cast<std::size_t>(maxCount);
        if (bpmHistory.size() > limit) bpmHistory.erase(bpmHistory.begin());
        if (timeHistory.size() > limit) timeHistory.erase(timeHistory.begin());
        if (actualTimeHistory.size() > limit) actualTimeHistory.erase(actualTimeHistory.begin());
    }
    bpmHistory.push_back(bpm);
    timeHistory.push_back(static_cast<double>(time));
    actualTimeHistory.push_back(time);
    windowStatistics(bpmHistory, bpmStats);
    windowStatistics(timeHistory, timeStats);
    regression();
}

void BPMHistoryStatistics::windowStatistics(const std::vector<double>& history,
                                            std::vector<Stats>& stats) const {
    if (historyCounts.empty()) {
        stats.clear();
        return;
    }
    const auto n = static_cast<long>(history.size());
    if (n - historyCounts.front() < 1) return;
    std::vector<Stats> fresh;
    for (int count : historyCounts) {
        if (n - count < 1) return;
        fresh.push_back(statsOf(std::span(history).last(static_cast<std::size_t>(count))));
    }
    stats = std::move(fresh);
}

void BPMHistoryStatistics::regression() {
    const auto k = static_cast<std::size_t>(regressionCountIndex);
    if (k == 0 || timeStats.size() < k || bpmStats.size() < k) return;
    const double meanTime = timeStats[k - 1].mean, meanBPM = bpmStats[k - 1].mean;
    double sxy = 0, sxx = 0;
    for (std::size_t i = 0; i < std::min(timeHistory.size(), bpmHistory.size()); ++i) {
        sxy += (bpmHistory[i] - meanBPM) * (timeHistory[i] - meanTime);
        sxx += (timeHistory[i] - meanTime) * (timeHistory[i] - meanTime);
    }
    // Identical times give no line rather than an infinite slope.
    if (sxx == 0) return;
    const double slope = sxy / sxx;
    lineFn = std::pair(slope, meanBPM - meanTime * slope);
}

std::uint64_t BPMHistoryStatistics::timeAt(float fraction) const {
    const auto n = timeHistory.size();
    if (n == 0) return 0;
    if (n == 1) return static_cast<std::uint64_t>(timeHistory[0]);
    const auto window =
        static_cast<std::size_t>(historyCounts.at(static_cast<std::size_t>(regressionCountIndex)));
    const double t0 = timeHistory[n > window ? n - window : 0], t1 = timeHistory.back();
    return static_cast<std::uint64_t>(static_cast<double>(fraction) * (t1 - t0) + t0);
}

void BPMHistoryAveraging::record(double bpm) {
    while (bpmHistory.size() > static_cast<std::size_t>(std::max(countLimit, 0)))
        bpmHistory.erase(bpmHistory.begin());
    bpmHistory.push_back(bpm);
    results = statsOf(bpmHistory);
}

std::shared_ptr<MIDITempoListener> MIDITempoListener::make(double, int bpmHistoryLimit,
                                                           platform::TimerScheduler& scheduler) {
    std::shared_ptr<MIDITempoListener> listener(new MIDITempoListener());
    listener->bpmAveraging.countLimit = bpmHistoryLimit;
    listener->clockListener = MIDIClockListener::make(listener->srtListener, BEAT_TICKS, *listener);
    std::weak_ptr<MIDITempoListener> weak = listener;
    listener->clockTimeout_ = MIDITimeout::make(
        1.6, true, nullptr,
        [weak] {
            if (auto alive = weak.lock()) alive->clockStopped();
        },
        scheduler);
    listener->tempoObservers_.forEachObserver(
        [](MIDITempoObserver& observer) { observer.midiClockLeaderEnabled(); });
    return listener;
}

MIDITempoListener::~MIDITempoListener() {
    clockTimeout_.reset();
    if (clockListener) srtListener->observers.removeObserver(*clockListener);
}

void MIDITempoListener::addTempoObserver(std::shared_ptr<MIDITempoObserver> observer) {
    tempoObservers_.addObserver(std::move(observer));
}

void MIDITempoListener::removeTempoObserver(const MIDITempoObserver& observer) {
    tempoObservers_.removeObserver(observer);
}

void MIDITempoListener::receivedMIDISystemCommand(std::span<const std::uint8_t> data, PortID portID,
                                                  EventTime timeStamp) {
    if (data.empty()) return;
    switch (data[0]) {
    case 0xFC:
        // Every interval keeps its last clock, so this always empties: the first clock after a Stop must
        // not time the pause.
        clockEvents.clear();
        break;
    case 0xFA:
        if (clockEvents.size() >= 2) clockEvents.erase(clockEvents.begin(), clockEvents.end() - 1);
        break;
    case 0xF8:
        if (clockTimeout_) {
            clockTimeout_->succeed();
            clockTimeout_->perform([&] { clockTick(timeStamp.value_or(0)); });
        }
        break;
    default:
        break;
    }
    srtListener->receivedMIDISystemCommand(data, portID, timeStamp);
}

void MIDITempoListener::clockTick(MIDITimeStamp time) {
    if (!isIncomingClockActive.exchange(true))
        tempoObservers_.forEachObserver(
            [](MIDITempoObserver& observer) { observer.midiClockFollowerMode(); });
    clockEvents.push_back(time);
    tempoFromLastInterval();
    if (clockListener) clockListener->midiClockBeat(time);
}

void MIDITempoListener::tempoFromLastInterval() {
    if (clockEvents.size() < 2) return;
    const auto previous = clockEvents[clockEvents.size() - 2], last = clockEvents.back();
    if (previous == 0 || last <= previous) return;
    const auto timebase = platform::hostTimebase();
    const double microseconds = static_cast<double>((last - previous) * timebase.numer) /
                                (static_cast<double>(timebase.denom) * 1000);
    // No constant is added: a steady 120 BPM clock reads 120.
    const double raw = (1'000'000 / microseconds) / BEAT_TICKS * 60;
    clockEvents.erase(clockEvents.begin(), clockEvents.end() - 1);
    bpmStats.record(raw, last);
    const auto x = bpmStats.timeAt(0.8f);
    double candidate = raw;
    if (bpmStats.lineFn) {
        const double predicted = bpmStats.lineFn->first * static_cast<double>(x) + bpmStats.lineFn->second;
        if (predicted > 0) candidate = predicted;
    }
    bpmAveraging.record(candidate);
    tempo = bpmAveraging.results.mean;
    char text[32];
    std::snprintf(text, sizeof text, "%3.2f", tempo);
    if (text == tempoString) return;
    tempoString = text;
    tempoObservers_.forEachObserver(
        [&](MIDITempoObserver& observer) { observer.receivedTempo(tempo, tempoString); });
}

void MIDITempoListener::clockStopped() {
    if (isIncomingClockActive.exchange(false))
        tempoObservers_.forEachObserver(
            [](MIDITempoObserver& observer) { observer.midiClockLeaderEnabled(); });
}

} // namespace rozezeru

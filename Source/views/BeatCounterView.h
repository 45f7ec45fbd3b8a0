#pragma once
// The beat and bar counter on the transport, large enough to read across a room: bar.beat, and beside it
// the beat within the callers' 8-beat phrase and 64-beat sequence. It follows the heard time frame by
// frame while a song plays. Main thread only.

#include "Source/tempo/BeatCounter.h"

#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QTimer;

namespace vantle {

class BeatCounterView final : public QWidget {
    Q_OBJECT

public:
    // A frame every 10 ms keeps what is shown within 20 ms of what is heard.
    static constexpr int frameMilliseconds = 10;

    struct Source {
        // The heard time in the song's seconds, as the lyrics follow it.
        std::function<double()> heardTime;
        // The song plays: frames run, else the counter rests on what it showed.
        std::function<bool()> playing;
        // The song's grid; null while it has none. An unsure one shows no count.
        std::function<const SongTempo*()> tempo;
    };

    explicit BeatCounterView(Source source, QWidget* parent = nullptr);
    ~BeatCounterView() override;

    // Starts or stops the frames as the song plays or not; called when playback starts or stops.
    void update();
    // One frame: the position at the heard time now.
    void showFrame();

    std::optional<BeatPosition> shownPosition() const { return shown_; }
    QString barBeat() const;
    QString phrase() const;
    bool running() const;

private:
    Source source_;
    QLabel* barBeat_;
    QLabel* phrase_;
    QTimer* frames_;
    std::optional<BeatPosition> shown_;
};

} // namespace vantle

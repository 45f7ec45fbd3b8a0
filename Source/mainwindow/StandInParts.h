#pragma once
// Plain stand-ins for the parts of the main window that are not built yet: a grey lyrics panel and
// no waveform picture. Main thread only.

#include "Source/mainwindow/MainViewParts.h"

#include <QLabel>

namespace vantle {

// A grey panel with a line of text, laid over the playlist.
class StandInKaraoke final : public QLabel, public KaraokePart {
    Q_OBJECT

public:
    explicit StandInKaraoke(QWidget* parent = nullptr);
    QWidget* widget() override { return this; }
    void layoutInFrame(double x) override;
};

// No picture yet: requests are never answered.
class StandInWaveform final : public WaveformPart {
public:
    QWidget* widget() override { return nullptr; }
    void requestPicture(const std::shared_ptr<PlaylistEntry>&, const QSize&, Delivery) override {}
};

} // namespace vantle

#pragma once
// Plain stand-ins for the parts of the main window that are not built yet: no waveform picture.
// Main thread only.

#include "Source/mainwindow/MainViewParts.h"

namespace vantle {

// No picture yet: requests are never answered.
class StandInWaveform final : public WaveformPart {
public:
    QWidget* widget() override { return nullptr; }
    void requestPicture(const std::shared_ptr<PlaylistEntry>&, const QSize&, Delivery) override {}
};

} // namespace vantle

#pragma once
// The waveform picture behind the time slider: the entry's file reduced to one value per point of
// the view and drawn at the view's size. A new request cancels the one before, so only the picture
// of the last entry asked for arrives. Main thread only.

#include "Source/mainwindow/MainViewParts.h"

#include <memory>

namespace vantle {

class SamplesExtraction;
struct WaveformConfiguration;

class WaveformPicture final : public WaveformPart {
public:
    ~WaveformPicture() override;
    QWidget* widget() override { return nullptr; }
    void requestPicture(const std::shared_ptr<PlaylistEntry>& entry, const QSize& size,
                        Delivery deliver) override;

    // The main window's drawing settings for a picture of `size`.
    static WaveformConfiguration configuration(const QSize& size);

private:
    std::shared_ptr<SamplesExtraction> running_;
};

} // namespace vantle

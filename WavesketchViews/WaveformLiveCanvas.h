#pragma once
// A waveform that grows while it is shown: the client hands it the whole list of values so far, and it
// draws the newest ones that fit its width, scrolling, through a drawer it keeps for its lifetime so that
// stripes stay fixed to the audio. Qt paints on the main thread, so the drawer's flag and its scroll
// bookkeeping are only ever touched there. Main thread.

#include "Wavesketch/Waveform.h"
#include "Wavesketch/WaveformImageDrawer.h"
#include "Wavesketch/WaveformRenderer.h"
#include "WavesketchViews/OnChange.h"

#include <QWidget>

#include <memory>
#include <optional>
#include <vector>

namespace wavesketch {

class WaveformLiveCanvas : public QWidget {
    Q_OBJECT

public:
    // `shouldDrawSilencePadding`: while the values do not fill the width, pad the left with silence so the
    // newest value sits at the right edge, and draw even without values.
    WaveformLiveCanvas(std::vector<float> samples, Waveform::Configuration configuration,
                       std::shared_ptr<const WaveformRenderer> renderer, bool shouldDrawSilencePadding,
                       QWidget* parent = nullptr);

    // No size (the canvas's own is used), clear background, black to grey gradient, an eighth faded
    // quadratically at both ends, the screen's scale when first asked, 95 % of the height, no antialiasing.
    static Waveform::Configuration defaultConfiguration();

    // All values so far, oldest first; a shorter list than before restarts the stripe scroll.
    void setSamples(std::vector<float> samples);
    const std::vector<float>& samples() const { return samples_; }
    void setConfiguration(const Waveform::Configuration& configuration);
    bool shouldDrawSilencePadding() const { return shouldDrawSilencePadding_; }
    void setShouldDrawSilencePadding(bool pad);

    const WaveformImageDrawer& waveformDrawer() const { return waveformDrawer_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    std::vector<float> samples_;
    Waveform::Configuration configuration_;
    std::shared_ptr<const WaveformRenderer> renderer_;
    bool shouldDrawSilencePadding_;
    WaveformImageDrawer waveformDrawer_;
    std::optional<OnChange<bool>> paddingWatch_;
};

} // namespace wavesketch

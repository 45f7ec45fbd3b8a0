#include "Source/mainwindow/WaveformPicture.h"

#include "Source/playback/SamplesExtractor.h"
#include "Source/playback/WaveFormDrawer.h"
#include "Source/session/PlaylistEntry.h"
#include "Source/views/SystemColors.h"
#include "platform/foundation/Console.h"

#include <QSize>

namespace vantle {

WaveformPicture::~WaveformPicture() {
    if (running_) running_->cancel();
}

WaveformConfiguration WaveformPicture::configuration(const QSize& size) {
    return WaveformConfiguration(QSizeF(size), namedColor("waveformColor").value_or(systemRedColor()),
                                 QColor::fromRgbF(0.02f, 0.02f, 0.02f, 0.02f), WaveformStyle::filled(),
                                 WaveformPosition::top, 1.0, 0.0, systemRedColor(), std::nullopt);
}

void WaveformPicture::requestPicture(const std::shared_ptr<PlaylistEntry>& entry, const QSize& size,
                                     Delivery deliver) {
    if (running_) running_->cancel();
    running_.reset();
    if (!entry || size.width() <= 0) return;
    const std::string path = entry->_url.path();
    running_ = SamplesExtractor::extractSamples(
        path, size.width(),
        [size, deliver](std::vector<float> samples, float sampleMax, const SamplesExtractor::Identifier&) {
            if (std::optional<QImage> picture =
                    WaveFormDrawer::waveformImage(samples, configuration(size), sampleMax))
                deliver(*picture);
        },
        [](const platform::Error& error, const SamplesExtractor::Identifier& identifier) {
            // A file without sound (a video without audio, say) simply has no picture.
            if (error.domain == samplesExtractorErrorDomain &&
                error.code == int(SamplesExtractorError::audioTrackMediaTypeMissMatch))
                return;
            platform::consolePrint(identifier.value_or("") + " " + error.message);
        },
        path);
}

} // namespace vantle

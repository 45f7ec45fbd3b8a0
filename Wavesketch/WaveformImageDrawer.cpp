#include "Wavesketch/WaveformImageDrawer.h"

#include "Wavesketch/WaveformAnalyzer.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/FloatText.h"

#include <QBuffer>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

namespace wavesketch {

namespace {

using Configuration = Waveform::Configuration;

void drawerPrepare(QPainter& context, const Configuration& configuration) {
    context.setRenderHint(QPainter::Antialiasing, configuration.shouldAntialias());
    context.setOpacity(1.0);
    context.fillRect(QRectF(QPointF(0.0, 0.0), configuration.size()), configuration.backgroundColor());
}

} // namespace

std::vector<float> dampedValues(std::span<const float> values, const Configuration& configuration) {
    std::vector<float> out(values.begin(), values.end());
    const auto& damping = configuration.damping();
    if (!damping || !(damping->percentage() > 0.0f)) return out;
    using Sides = Waveform::Damping::Sides;
    const float p = damping->percentage(), w = float(out.size()) * p;
    const bool left = damping->sides() != Sides::right, right = damping->sides() != Sides::left;
    // Where the right stretch starts: N - w up to rounding.
    const float t = (1.0f / p - 1.0f) * w;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const float x = float(i);
        float factor = 1.0f;
        if (left && x < w)
            factor = damping->easing()(x / w);
        else if (right && x > t)
            factor = damping->easing()(1.0f - (x - t) / w);
        out[i] = 1.0f - (1.0f - out[i]) * factor;
    }
    return out;
}

namespace {

std::optional<QImage> drawerImage(std::span<const float> samples, const Configuration& configuration,
                                  const WaveformRenderer& renderer, Waveform::Position position,
                                  std::int64_t lastOffset) {
    const double scale = configuration.scale(), width = configuration.size().width();
    const double height = configuration.size().height();
    const std::int64_t needed = truncatedInt(width * scale);
    if (samples.empty() || !std::isfinite(width * scale) || std::int64_t(samples.size()) != needed) {
        platform::consolePrint("ERROR: samples: " + std::to_string(samples.size()) +
                               " != " + platform::floatText(width) + " * " + platform::floatText(scale));
        return std::nullopt;
    }
    const std::int64_t rows = truncatedInt(height * scale);
    QImage image;
    if (rows >= 1 && rows <= std::numeric_limits<int>::max() && needed <= std::numeric_limits<int>::max())
        image = QImage(int(needed), int(rows), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        platform::consolePrint("ERROR: cannot make an image of " + std::to_string(needed) + " x " +
                               std::to_string(rows) + " pixels");
        return std::nullopt;
    }
    image.fill(Qt::transparent);
    {
        QPainter context(&image);
        // Points to pixels, with y growing upwards from the bottom edge.
        context.setTransform(QTransform(scale, 0.0, 0.0, -scale, 0.0, height * scale));
        drawerPrepare(context, configuration);
        renderer.render(dampedValues(samples, configuration), context, configuration, lastOffset, position);
    }
    image.setDevicePixelRatio(scale);
    return image;
}

} // namespace

std::optional<QImage> WaveformImageDrawer::waveformImage(std::span<const float> samples,
                                                         const Configuration& configuration,
                                                         const WaveformRenderer& renderer,
                                                         Waveform::Position position) const {
    return drawerImage(samples, configuration, renderer, position, lastOffset_);
}

std::future<platform::Result<QImage>>
WaveformImageDrawer::waveformImage(const platform::Url& audioURL, const Configuration& configuration,
                                   std::shared_ptr<const WaveformRenderer> renderer,
                                   Waveform::Position position, QualityOfService qos) const {
    auto promise = std::make_shared<std::promise<platform::Result<QImage>>>();
    auto future = promise->get_future();
    waveformImage(audioURL, configuration, std::move(renderer), position, qos,
                  [promise](platform::Result<QImage> result) { promise->set_value(std::move(result)); });
    return future;
}

void WaveformImageDrawer::waveformImage(const platform::Url& audioURL, const Configuration& configuration,
                                        std::shared_ptr<const WaveformRenderer> renderer,
                                        Waveform::Position position, QualityOfService qos,
                                        CompletionHandler completionHandler) const {
    const std::int64_t count = truncatedInt(configuration.size().width() * configuration.scale());
    // Captured now: the image must not depend on live drawing that happens while the file is analysed.
    const std::int64_t lastOffset = lastOffset_;
    WaveformAnalyzer().samples(
        audioURL, count, qos,
        [configuration, renderer = std::move(renderer), position, lastOffset,
         completionHandler = std::move(completionHandler)](platform::Result<std::vector<float>> samples) {
            if (!samples) return completionHandler(samples.error());
            auto image = drawerImage(*samples, configuration, *renderer, position, lastOffset);
            if (!image)
                return completionHandler(platform::Error::make(
                    errorDomain, "No waveform image could be made.", int(GenerationError::generic)));
            completionHandler(std::move(*image));
        });
}

void WaveformImageDrawer::draw(std::span<const float> waveform, QPainter& context,
                               const Configuration& configuration, const WaveformRenderer& renderer,
                               Waveform::Position position) {
    const auto n = std::int64_t(waveform.size());
    if (n == 0 && !shouldDrawSilencePadding_) return;
    const std::int64_t needed =
        std::max<std::int64_t>(0, truncatedInt(configuration.size().width() * configuration.scale()));
    std::int64_t fresh = n - lastSampleCount_;
    if (n < lastSampleCount_ || lastSampleCount_ == 0) {
        lastOffset_ = 0;
        fresh = n;
    }
    lastSampleCount_ = n;
    if (const auto* stripes = configuration.style().stripes()) {
        // A bucket of 0 draws no stripes (the renderer says so); nothing scrolls then.
        if (const std::int64_t bucket = stripeBucket(*stripes, configuration.scale()); bucket > 0) {
            if (shouldDrawSilencePadding_)
                lastOffset_ = (fresh + lastOffset_) % bucket;
            else if (n >= needed)
                lastOffset_ = (std::min(fresh, n - needed) + lastOffset_) % bucket;
        }
    }
    const auto kept = waveform.subspan(std::size_t(std::max<std::int64_t>(0, n - needed)));
    std::vector<float> values = dampedValues(kept, configuration);
    if (shouldDrawSilencePadding_)
        values.insert(values.begin(), std::size_t(needed - std::int64_t(values.size())), 1.0f);
    drawerPrepare(context, configuration);
    renderer.render(values, context, configuration, lastOffset_, position);
}

platform::Result<void> writePNG(const QImage& image, const platform::Url& url) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (image.isNull() || !image.save(&buffer, "PNG"))
        return platform::Error::make(WaveformImageDrawer::errorDomain, "The image cannot be encoded as PNG.",
                                     int(WaveformImageDrawer::GenerationError::generic));
    return platform::writeFileAtomically(url.path(), bytes.constData(), std::size_t(bytes.size()));
}

} // namespace wavesketch

#include "WavesketchViews/WaveformView.h"

#include "Wavesketch/WaveformAnalyzer.h"
#include "WavesketchViews/LazyContent.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QResizeEvent>
#include <QVBoxLayout>

namespace wavesketch {

WaveformView::WaveformView(platform::Url audioURL, Waveform::Configuration configuration,
                           std::shared_ptr<const WaveformRenderer> renderer, TaskPriority priority,
                           Content content, Placeholder placeholder, QWidget* parent)
    : QWidget(parent), audioURL_(std::move(audioURL)), configuration_(std::move(configuration)),
      renderer_(std::move(renderer)), priority_(priority), content_(std::move(content)),
      placeholder_(std::move(placeholder)) {
    analysis_ = [](const platform::Url& url, std::int64_t count, Completion completion) {
        WaveformAnalyzer().samples(url, count, QualityOfService::userInitiated, std::move(completion));
    };
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    rebuild();
}

WaveformView::~WaveformView() = default;

void WaveformView::setAudioURL(const platform::Url& audioURL) {
    audioURL_ = audioURL;
    rebuild();
    if (urlWatch_) urlWatch_->set(audioURL_);
}

void WaveformView::setConfiguration(const Waveform::Configuration& configuration) {
    configuration_ = configuration;
    rebuild();
    if (configurationWatch_) configurationWatch_->set(configuration_);
}

void WaveformView::rebuild() {
    const LazyContent<std::unique_ptr<QWidget>> body([this]() -> std::unique_ptr<QWidget> {
        WaveformShape shape(samples_, configuration_, renderer_);
        if (shape.samples().empty() && placeholder_) return placeholder_();
        return content_ ? content_(shape) : wavesketch::style(shape, configuration_);
    });
    std::unique_ptr<QWidget> next = body.body();
    if (displayed_) {
        layout()->removeWidget(displayed_);
        displayed_->hide();
        displayed_->deleteLater();
        displayed_ = nullptr;
    }
    if (!next) return;
    displayed_ = next.release();
    layout()->addWidget(displayed_);
    // At once rather than on the next turn of the loop, so that what is painted next is the new content.
    displayed_->show();
    layout()->activate();
}

void WaveformView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!sizeWatch_) {
        sizeWatch_.emplace(size(), [this](const QSize& z) { update(z, audioURL_, configuration_); });
        urlWatch_.emplace(audioURL_,
                          [this](const platform::Url& url) { update(size(), url, configuration_); });
        configurationWatch_.emplace(
            configuration_, [this](const Waveform::Configuration& c) { update(size(), audioURL_, c); });
    }
    if (samples_.empty()) update(size(), audioURL_, configuration_);
}

void WaveformView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (sizeWatch_) sizeWatch_->set(event->size());
}

void WaveformView::update(QSize size, const platform::Url& url,
                          const Waveform::Configuration& configuration) {
    const std::uint64_t generation = ++generation_;
    // A width times scale that is not finite or too large reaches the analyzer as 0 or as a huge count,
    // both of which it refuses.
    const std::int64_t count = truncatedInt(double(size.width()) * configuration.scale());
    std::weak_ptr<int> alive = alive_;
    analysis_(url, count, [this, alive, generation, url](platform::Result<std::vector<float>> result) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [this, alive, generation, url, result = std::move(result)]() mutable {
                if (alive.lock()) apply(generation, url, std::move(result));
            },
            Qt::QueuedConnection);
    });
}

void WaveformView::apply(std::uint64_t generation, const platform::Url& url,
                         platform::Result<std::vector<float>> result) {
    if (generation != generation_) return;
    if (result) {
        samples_ = std::move(*result);
        samplesURL_ = url;
    } else if (!samples_.empty() && samplesURL_ != url) {
        // Another file's waveform would pass for this one's.
        samples_.clear();
        samplesURL_.reset();
    } else {
        return;
    }
    rebuild();
}

} // namespace wavesketch

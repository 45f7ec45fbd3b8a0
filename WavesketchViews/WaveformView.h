#pragma once
// Shows the waveform of an audio file: analyses the file in the background for one value per pixel column
// of its width, and hands the values, as a shape, to a content builder that decides how to paint them.
// It analyses again when its size, file or configuration changes; only the newest analysis is ever shown.
// Main thread.

#include "Wavesketch/TaskPool.h"
#include "Wavesketch/Waveform.h"
#include "Wavesketch/WaveformRenderer.h"
#include "WavesketchViews/OnChange.h"
#include "WavesketchViews/WaveformShape.h"
#include "platform/foundation/Result.h"
#include "platform/foundation/Url.h"

#include <QSize>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace wavesketch {

class WaveformView : public QWidget {
    Q_OBJECT

public:
    // Builds what is shown for a shape; a new widget each time the values, file or configuration change.
    using Content = std::function<std::unique_ptr<QWidget>(const WaveformShape&)>;
    // Builds what is shown while there are no values.
    using Placeholder = std::function<std::unique_ptr<QWidget>()>;
    using Completion = std::function<void(platform::Result<std::vector<float>>)>;
    // Reduces a file to `count` values and calls back once, on any thread.
    using Analysis = std::function<void(const platform::Url&, std::int64_t count, Completion)>;

    // Without a content builder the shape is painted with the default styling; without a placeholder the
    // builder gets an empty shape until the first values arrive.
    WaveformView(platform::Url audioURL, Waveform::Configuration configuration,
                 std::shared_ptr<const WaveformRenderer> renderer,
                 TaskPriority priority = TaskPriority::medium(), Content content = {},
                 Placeholder placeholder = {}, QWidget* parent = nullptr);
    ~WaveformView() override;

    const platform::Url& audioURL() const { return audioURL_; }
    void setAudioURL(const platform::Url& audioURL);
    const Waveform::Configuration& configuration() const { return configuration_; }
    // Any change, a colour included, analyses the file again.
    void setConfiguration(const Waveform::Configuration& configuration);
    TaskPriority priority() const { return priority_; }

    const std::vector<float>& samples() const { return samples_; }
    // What is shown now: the placeholder or the content built for the current shape.
    QWidget* displayed() const { return displayed_; }

    // Replaces the analyzer (noise floor -50 dB, user-initiated) by another reducer; for tests.
    void setAnalysis(Analysis analysis) { analysis_ = std::move(analysis); }

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void rebuild();
    // Starts one analysis for the given state; QWidget's repaint requests keep their name.
    using QWidget::update;
    void update(QSize size, const platform::Url& url, const Waveform::Configuration& configuration);
    void apply(std::uint64_t generation, const platform::Url& url,
               platform::Result<std::vector<float>> result);

    platform::Url audioURL_;
    Waveform::Configuration configuration_;
    std::shared_ptr<const WaveformRenderer> renderer_;
    TaskPriority priority_;
    Content content_;
    Placeholder placeholder_;
    Analysis analysis_;

    std::vector<float> samples_;
    std::optional<platform::Url> samplesURL_; // the file the values were analysed from
    std::uint64_t generation_ = 0;            // of the newest analysis; older results are dropped
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    QWidget* displayed_ = nullptr;

    // Made on first appearance: a view shown with a value has not seen it change.
    std::optional<OnChange<QSize>> sizeWatch_;
    std::optional<OnChange<platform::Url>> urlWatch_;
    std::optional<OnChange<Waveform::Configuration>> configurationWatch_;
};

} // namespace wavesketch

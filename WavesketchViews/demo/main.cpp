// Shows the waveform of the audio file named on the command line in each of the package's styles, with a
// live canvas below fed from the same values as if they arrived while playing.

#include "Wavesketch/LinearWaveformRenderer.h"
#include "Wavesketch/WaveformAnalyzer.h"
#include "WavesketchViews/WaveformLiveCanvas.h"
#include "WavesketchViews/WaveformView.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QTimer>

#include <cstdio>

using namespace wavesketch;

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s AUDIO-FILE\n", argv[0]);
        return 2;
    }
    const auto url = platform::Url::fileURLWithPath(QApplication::arguments().at(1).toStdString());
    const double scale = SketchScreen::scale();
    const std::vector<std::pair<const char*, Waveform::Style>> styles = {
        {"filled", Waveform::Style::filled(QColor(40, 90, 160))},
        {"outlined", Waveform::Style::outlined(QColor(200, 60, 40), 1.0)},
        {"gradient", Waveform::Style::gradient({QColor(20, 20, 80), QColor(120, 200, 255)})},
        {"gradient outlined", Waveform::Style::gradientOutlined({Qt::darkGreen, Qt::yellow}, 1.5)},
        {"striped", Waveform::Style::striped({QColor(90, 40, 120), 2.0, 2.0, Qt::RoundCap})},
    };

    QWidget window;
    window.setWindowTitle("Wavesketch");
    auto* grid = new QGridLayout(&window);
    auto linear = std::make_shared<LinearWaveformRenderer>();
    int row = 0;
    for (const auto& [name, style] : styles) {
        auto configuration =
            *Waveform::Configuration::make({}, Qt::white, style, std::nullopt, scale, 0.95, true);
        grid->addWidget(new QLabel(name), row, 0);
        grid->addWidget(new WaveformView(url, configuration, linear, TaskPriority::userInitiated(), {},
                                         [] { return std::make_unique<QLabel>("Analysing…"); }),
                        row++, 1);
    }
    // The live canvas grows by a few columns each tick from a full analysis of the file.
    grid->addWidget(new QLabel("live"), row, 0);
    auto* live = new WaveformLiveCanvas({}, WaveformLiveCanvas::defaultConfiguration(), linear, true);
    grid->addWidget(live, row, 1);
    auto all = std::make_shared<std::vector<float>>();
    WaveformAnalyzer().samples(
        url, 2000, QualityOfService::userInitiated, [all, live](platform::Result<std::vector<float>> result) {
            if (!result) return;
            QMetaObject::invokeMethod(live, [all, values = *result]() { *all = values; });
        });
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, live, [live, all] {
        const std::size_t next = std::min(all->size(), live->samples().size() + 8);
        live->setSamples(std::vector<float>(all->begin(), all->begin() + std::ptrdiff_t(next)));
    });
    ticks.start(30);

    grid->setColumnStretch(1, 1);
    for (int r = 0; r <= row; ++r)
        grid->setRowMinimumHeight(r, 80);
    window.resize(820, 620);
    window.show();
    return application.exec();
}

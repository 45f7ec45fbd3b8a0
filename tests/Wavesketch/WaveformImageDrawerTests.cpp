#include "Wavesketch/LinearWaveformRenderer.h"
#include "Wavesketch/WaveformAnalyzer.h"
#include "Wavesketch/WaveformImageDrawer.h"
#include "platform/foundation/Console.h"
#include "tests/Wavesketch/WavesketchTestSupport.h"
#include "tests/support/ConsoleCapture.h"

#include <gtest/gtest.h>

namespace testsupport {
namespace {

using platform::Url;
using wavesketch::LinearWaveformRenderer;
using wavesketch::QualityOfService;
using wavesketch::WaveformImageDrawer;
using Sides = Damping::Sides;

TEST(WaveformImageDrawer, AnImageNeedsOneValuePerPixelColumnAndIsWrittenAsPng) {
    fixtures::TempFolder dir;
    testsupport::ScopedConsoleCapture console;
    const auto configuration = sketchConfiguration({100, 10}, Style::filled(Qt::red), 2.0);
    const auto image = WaveformImageDrawer().waveformImage(std::vector<float>(200, 0.5f), configuration,
                                                           LinearWaveformRenderer(), Position::middle());
    EXPECT_EQ(std::tuple(image->width(), image->height(), image->devicePixelRatio()),
              std::tuple(200, 20, 2.0));
    EXPECT_FALSE(WaveformImageDrawer().waveformImage(std::vector<float>(199, 0.5f), configuration,
                                                     LinearWaveformRenderer(), Position::middle()));
    EXPECT_EQ(console.lines(), std::vector<std::string>{"ERROR: samples: 199 != 100.0 * 2.0"});

    ASSERT_TRUE(wavesketch::writePNG(*image, Url::fileURLWithPath(dir.file("w.png"))).ok());
    EXPECT_EQ(QImage(QString::fromStdString(dir.file("w.png"))).convertToFormat(image->format()), *image);
    EXPECT_FALSE(wavesketch::writePNG(*image, Url::fileURLWithPath(dir.file("no/w.png"))).ok());
}

TEST(WaveformImageDrawer, DampingFadesTheEndsTowardsSilence) {
    const std::tuple<float, Sides, std::vector<float>> cases[] = {
        {0.25f, Sides::left, {1, 0.5f, 0, 0, 0, 0, 0, 0}},
        {0.25f, Sides::right, {0, 0, 0, 0, 0, 0, 0, 0.5f}},
        {0.5f, Sides::both, {1, 0.75f, 0.5f, 0.25f, 0, 0.25f, 0.5f, 0.75f}},
        {0.0f, Sides::both, {0, 0, 0, 0, 0, 0, 0, 0}}};
    for (const auto& [percentage, sides, expected] : cases) {
        RecordingRenderer renderer;
        const auto damping = Damping::make(percentage, sides, [](float x) { return x; });
        WaveformImageDrawer().waveformImage(std::vector<float>(8, 0.0f),
                                            sketchConfiguration({8, 4}, Style::filled(Qt::red), 1.0, damping),
                                            renderer, Position::middle());
        EXPECT_EQ(renderer.calls.at(0).first, expected) << percentage << " " << int(sides);
    }
}

TEST(WaveformImageDrawer, LiveDrawingPadsWithSilenceAndScrollsStripesWithTheAudio) {
    QImage image(100, 10, QImage::Format_ARGB32);
    image.fill(Qt::green);
    QPainter painter(&image);
    const auto plain = sketchConfiguration({100, 10}, Style::filled(Qt::red));
    const auto striped = sketchConfiguration({100, 10}, Style::striped({Qt::red, 2, 3, Qt::FlatCap}));
    WaveformImageDrawer drawer;
    RecordingRenderer renderer;
    drawer.draw({}, painter, plain, renderer, Position::middle()); // nothing at all, not even the background
    EXPECT_TRUE(renderer.calls.empty());
    EXPECT_EQ(image.pixel(50, 5), QColor(Qt::green).rgb());

    drawer.setShouldDrawSilencePadding(true);
    drawer.draw(std::vector<float>(30, 0.25f), painter, plain, renderer, Position::middle());
    std::vector<float> padded(70, 1.0f); // silence on the left, the values at the right edge
    padded.resize(100, 0.25f);
    EXPECT_EQ(renderer.calls.at(0).first, padded);

    // Bucket 5: padded, every new value scrolls; unpadded, only values beyond the width do. Below a scale of
    // 1 there is no bucket to scroll within.
    const std::tuple<bool, std::size_t, std::int64_t, double> steps[] = {
        {true, 10, 0, 1},   {true, 13, 3, 1},  {false, 5, 0, 1},  {false, 120, 0, 1}, {false, 123, 3, 1},
        {false, 130, 0, 1}, {false, 50, 0, 1}, {false, 90, 0, 1}, {false, 102, 2, 1}, {false, 110, 2, 0.5}};
    for (const auto& [pad, count, offset, scale] : steps) {
        drawer.setShouldDrawSilencePadding(pad);
        drawer.draw(std::vector<float>(count, 0.5f), painter, *striped.with({.scale = scale}), renderer,
                    Position::middle());
        EXPECT_EQ(renderer.calls.back().second, offset) << count;
        EXPECT_EQ(renderer.calls.back().first.size(), pad ? 100u : std::min<std::size_t>(count, 100 * scale));
    }
}

TEST(WaveformImageDrawer, AnImageOfAFileIsOneAnalysisDampedOnce) {
    fixtures::TempFolder dir;
    Channels halfSilent = fixtures::tone(44100, 1, 44100.0, 0.5f);
    std::fill(halfSilent[0].begin() + 22050, halfSilent[0].end(), 0.0f);
    const Url url = Url::fileURLWithPath(dir.file("half.wav"));
    ASSERT_TRUE(writeWithSndfile(url.path(), SF_FORMAT_WAV | SF_FORMAT_PCM_16, halfSilent, 44100));
    WaveformImageDrawer drawer;
    const auto linear = std::make_shared<LinearWaveformRenderer>();
    const auto fromFile = [&](const Url& file, const Configuration& configuration,
                              std::shared_ptr<const wavesketch::WaveformRenderer> renderer) {
        return drawer
            .waveformImage(file, configuration, renderer, Position::middle(), QualityOfService::utility)
            .get();
    };
    const auto image = fromFile(url, sketchConfiguration({100.7, 30.6}, Style::filled(Qt::red), 1.5), linear);
    ASSERT_TRUE(image.ok()) << image.error().message;
    EXPECT_EQ(std::pair(image->width(), image->height()), std::pair(151, 45));
    EXPECT_EQ(image->pixel(30, 2), QColor(Qt::red).rgb());
    // Silence is background but for the hairline on the axis (y = 15.3 points, rows 22 and 23).
    for (int x = 110; x < 150; ++x)
        for (int y = 0; y < 45; ++y)
            ASSERT_EQ(image->pixel(x, y), QColor(y == 22 || y == 23 ? Qt::red : Qt::white).rgb())
                << x << ", " << y;

    const auto damped = sketchConfiguration({50, 10}, Style::filled(Qt::red), 1.0,
                                            Damping::make(0.5f, Sides::both, [](float x) { return x; }));
    const auto recording = std::make_shared<RecordingRenderer>();
    ASSERT_TRUE(fromFile(url, damped, recording).ok());
    const auto values = wavesketch::WaveformAnalyzer().samples(url, 50, QualityOfService::utility).get();
    drawer.waveformImage(*values, damped, *recording, Position::middle());
    EXPECT_EQ(recording->calls.at(0).first, recording->calls.at(1).first);

    testsupport::ScopedConsoleCapture console; // the line about the empty image
    const auto plain = sketchConfiguration({50, 10}, Style::filled(Qt::red));
    EXPECT_EQ(fromFile(Url::fileURLWithPath(dir.file("none.wav")), plain, linear).error().code,
              int(platform::AudioFileError::notFound));
    EXPECT_EQ(fromFile(url, *plain.with({.size = QSizeF(50, 0)}), linear).error().domain,
              WaveformImageDrawer::errorDomain);
}

} // namespace
} // namespace testsupport

#include "Wavesketch/LinearWaveformRenderer.h"
#include "WavesketchViews/LazyContent.h"
#include "WavesketchViews/WaveformLiveCanvas.h"
#include "WavesketchViews/WaveformView.h"
#include "tests/Wavesketch/WavesketchTestSupport.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/ToneFiles.h"
#include "tests/support/Wait.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

namespace testsupport {
namespace {

using namespace wavesketch;
using platform::Url;

bool settled(const std::function<bool()>& condition) {
    return waitUntil([&] {
        QCoreApplication::processEvents();
        return condition();
    });
}

bool near(QRgb pixel, QColor expected) {
    const QColor got(pixel);
    return std::abs(got.red() - expected.red()) + std::abs(got.green() - expected.green()) +
               std::abs(got.blue() - expected.blue()) <=
           24;
}

std::unique_ptr<QWidget> greenPlaceholder() {
    auto widget = std::make_unique<QWidget>();
    widget->setStyleSheet("background: #00ff00");
    return widget;
}

struct HeldCall { // an analysis the view asked for, finished by the test
    Url url;
    std::int64_t count;
    WaveformView::Completion finish;
};

TEST(WaveformViewBlocks, OnChangeActsOnlyOnNewValuesAndLazyContentBuildsOnEachAsk) {
    std::vector<int> seen;
    OnChange<int> watch(1, [&](const int& value) { seen.push_back(value); });
    for (int value : {1, 2, 2, 3, 1})
        watch.set(value);
    EXPECT_EQ(seen, (std::vector<int>{2, 3, 1}));
    int built = 0;
    LazyContent<int> lazy([&] { return ++built; });
    EXPECT_EQ(built, 0);
    EXPECT_EQ(lazy.body() + lazy.body(), 3);
}

TEST(WaveformShape, OutlinesToTheFarCornerWithOnlyTheFadedEndsDamped) {
    const auto linear = [](float x) { return x; };
    const std::vector<float> loud(8, 0.0f);
    const std::pair<std::optional<Damping>, std::vector<float>> cases[] = {
        {std::nullopt, loud},
        {Damping::make(0.0f, Damping::Sides::both, linear), loud},
        {Damping::make(0.25f, Damping::Sides::left, linear), {1, 0.5f, 0, 0, 0, 0, 0, 0}}};
    for (const auto& [damping, expected] : cases) {
        auto renderer = std::make_shared<RecordingRenderer>();
        WaveformShape(loud, sketchConfiguration({1, 1}, Style::filled(Qt::red), 1.0, damping), renderer)
            .path(QRectF(10, 20, 100, 50));
        EXPECT_EQ(std::pair(renderer->pathValues, renderer->pathSize), std::pair(expected, QSizeF(110, 70)));
    }
}

// Outlines the lower half of the picture, counting y upwards from the bottom edge as the renderers do.
struct LowerHalfRenderer final : WaveformRenderer {
    QPainterPath path(std::span<const float>, const Configuration& configuration, std::int64_t,
                      Position) const override {
        QPainterPath path;
        path.addRect(QRectF(0, 0, configuration.size().width(), configuration.size().height() / 2));
        return path;
    }
    void render(std::span<const float>, QPainter&, const Configuration&, std::int64_t,
                Position) const override {}
};

TEST(WaveformShape, OutlineIsTheRenderersPathAndOnlyThePainterTurnsItOver) {
    const std::vector<float> values{0.1f, 0.9f, 0.3f, 0.6f, 0.0f, 0.8f};
    const auto configuration = sketchConfiguration({1, 1}, Style::filled(Qt::red));
    const auto renderer = std::make_shared<LinearWaveformRenderer>();
    for (const QRectF rect : {QRectF(0, 0, 6, 40), QRectF(10, 20, 100, 50)}) {
        const auto expected =
            renderer->path(values, *configuration.with({.size = QSizeF(rect.right(), rect.bottom())}), 0,
                           Position::middle());
        ASSERT_FALSE(expected.isEmpty());
        EXPECT_EQ(WaveformShape(values, configuration, renderer).path(rect), expected)
            << rect.width() << " x " << rect.height();
    }
    // Painted in a widget, the lower half of the picture is the lower half of the widget.
    auto widget = wavesketch::style(
        WaveformShape(values, configuration, std::make_shared<LowerHalfRenderer>()), configuration);
    widget->resize(40, 40);
    const auto image = widget->grab().toImage();
    EXPECT_TRUE(near(image.pixel(20, 30), Qt::red));
    EXPECT_FALSE(near(image.pixel(20, 10), Qt::red));
}

TEST(WaveformShape, DefaultStylingFillsStrokesAndGradesBottomToTop) {
    const QColor blank = QWidget().palette().window().color();
    // Values of half scale at 50 % of the height: edges at y = 10 and 30 of a 40 × 40 widget; the gradient
    // runs over the whole widget, red at its bottom edge.
    const std::tuple<Style, QPoint, QColor> cases[] = {
        {Style::filled(Qt::red), {20, 20}, Qt::red},
        {Style::outlined(Qt::green, 4), {20, 10}, Qt::green},
        {Style::outlined(Qt::green, 4), {20, 20}, blank},
        {Style::gradient({Qt::red, Qt::blue}), {20, 29}, QColor(188, 0, 67)},
        {Style::gradient({Qt::red, Qt::blue}), {20, 11}, QColor(73, 0, 182)},
        {Style::striped({Qt::magenta, 2, 2, Qt::FlatCap}), {21, 20}, Qt::magenta},
        {Style::striped({Qt::magenta, 2, 2, Qt::FlatCap}), {23, 20}, blank}};
    for (const auto& [style, at, expected] : cases) {
        const auto configuration = *Configuration::make({}, Qt::white, style, std::nullopt, 1.0, 0.5, false);
        auto widget = wavesketch::style(WaveformShape(std::vector<float>(40, 0.5f), configuration,
                                                      std::make_shared<LinearWaveformRenderer>()),
                                        configuration);
        widget->resize(40, 40);
        EXPECT_TRUE(near(widget->grab().toImage().pixel(at), expected)) << at.x() << "," << at.y();
    }
}

TEST(WaveformView, ShowsThePlaceholderThenTheWaveformAndAnalysesAgainAtANewWidth) {
    TemporaryFolder dir;
    const auto file = dir.file("tone.wav");
    ASSERT_TRUE(
        writeWithSndfile(file, SF_FORMAT_WAV | SF_FORMAT_FLOAT, {sine(44100, 440, 44100, 0.9)}, 44100));
    WaveformView view(
        Url::fileURLWithPath(file),
        *Configuration::make({}, Qt::white, Style::filled(Qt::red), std::nullopt, 2.0, 0.9, false),
        std::make_shared<LinearWaveformRenderer>(), TaskPriority::medium(), {}, greenPlaceholder);
    view.resize(100, 40);
    view.show();
    EXPECT_TRUE(near(view.grab().toImage().pixel(50, 20), Qt::green));
    ASSERT_TRUE(settled([&] { return view.samples().size() == 200; }));
    EXPECT_TRUE(near(view.grab().toImage().pixel(50, 20), Qt::red));
    view.resize(150, 40);
    ASSERT_TRUE(settled([&] { return view.samples().size() == 300; }));
    EXPECT_TRUE(near(view.grab().toImage().pixel(140, 20), Qt::red));
}

TEST(WaveformView, ShowsOnlyTheNewestAnalysisAndNeverAnotherFilesWaveform) {
    const auto a = Url::fileURLWithPath("/a.wav"), b = Url::fileURLWithPath("/b.wav");
    const auto configuration = sketchConfiguration({}, Style::filled(Qt::red));
    WaveformView view(a, configuration, std::make_shared<LinearWaveformRenderer>(), TaskPriority::medium(),
                      {}, greenPlaceholder);
    std::vector<HeldCall> calls;
    view.setAnalysis([&](const Url& url, std::int64_t count, auto finish) {
        calls.push_back({url, count, finish});
    });
    view.resize(50, 20);
    view.show();
    view.resize(50, 20);
    ASSERT_EQ(calls.size(), 1u); // appearing analyses once; the same size again does not
    view.setAudioURL(b);
    ASSERT_EQ(std::tuple(calls.size(), calls.at(1).url, calls.at(1).count), std::tuple(2u, b, 50));
    calls[1].finish(std::vector<float>(50, 0.25f));
    calls[0].finish(std::vector<float>(50, 0.75f)); // the first file's analysis finishes last
    ASSERT_TRUE(settled([&] { return !view.samples().empty(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(view.samples(), std::vector<float>(50, 0.25f));

    view.setConfiguration(*configuration.with({.backgroundColor = QColor(Qt::black)}));
    view.resize(0, 20); // a count of 0, refused: the values stay
    ASSERT_EQ(calls.size(), 4u);
    calls[3].finish(platform::Error::make("test", "no count"));
    view.hide();
    view.show(); // reappearing with values analyses nothing
    view.setAudioURL(a);
    ASSERT_EQ(calls.size(), 5u);
    QCoreApplication::processEvents();
    EXPECT_EQ(view.samples(), std::vector<float>(50, 0.25f));
    calls[4].finish(platform::Error::make("test", "unreadable"));
    ASSERT_TRUE(settled([&] { return view.samples().empty(); })); // not b's waveform under a's name
    view.resize(50, 20);
    EXPECT_TRUE(near(view.grab().toImage().pixel(25, 10), Qt::green));
}

TEST(WaveformLiveCanvas, PadsWithSilenceShowsTheNewestValuesAndScrollsStripes) {
    auto renderer = std::make_shared<RecordingRenderer>();
    const auto striped = sketchConfiguration({}, Style::striped({Qt::red, 2, 3, Qt::FlatCap}));
    WaveformLiveCanvas canvas({}, striped, renderer, false);
    canvas.resize(100, 10);
    canvas.show();
    canvas.grab();
    EXPECT_TRUE(renderer->calls.empty()); // no values, no padding: nothing at all
    canvas.setShouldDrawSilencePadding(true);
    EXPECT_TRUE(canvas.waveformDrawer().shouldDrawSilencePadding());
    // Padded, silence on the left and every new value scrolls; unpadded, the newest 100; shorter restarts.
    const std::tuple<bool, std::size_t, std::size_t, std::int64_t> steps[] = {
        {true, 0, 100, 0}, {true, 10, 90, 0}, {true, 13, 87, 3}, {false, 130, 0, 3}, {false, 4, 0, 0}};
    for (const auto& [pad, count, silent, offset] : steps) {
        canvas.setShouldDrawSilencePadding(pad);
        const auto values = ramp(count, 0.0f, 0.005f);
        canvas.setSamples(values);
        canvas.grab();
        const auto& [drawn, scrolled] = renderer->calls.back();
        std::vector<float> expected(silent, 1.0f);
        expected.insert(expected.end(), values.end() - std::ptrdiff_t(std::min<std::size_t>(count, 100)),
                        values.end());
        EXPECT_EQ(std::pair(drawn, scrolled), std::pair(expected, offset)) << count;
    }
}

TEST(WaveformLiveCanvas, DefaultConfigurationHasTheStockLook) {
    EXPECT_EQ(WaveformLiveCanvas::defaultConfiguration(),
              *Configuration::make(QSizeF(0, 0), QColor(Qt::transparent),
                                   Style::gradient({Qt::black, QColor::fromRgbF(0.5f, 0.5f, 0.5f)}),
                                   Damping::make(0.125f, Damping::Sides::both, [](float x) { return x * x; }),
                                   SketchScreen::scale(), 0.95, false));
}

} // namespace
} // namespace testsupport

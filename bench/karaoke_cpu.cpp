// The work of one second of singing in karaoke, as CPU time: 60 frames of the panel (945 x 460) and of
// the singers' screen (1920 x 1080) drawn into images with the line wiped as it is sung (or a disc's
// CD+G picture decoded at the frame's time, its syllables lit tile by tile), and a second of stereo
// 44.1 kHz music through the time-pitch stage in 512-frame cycles. Each part's CPU time is
// read with getrusage for the whole process over a fixed number of frames, so the figures are shares of one
// core: `coreShare` for the whole second, `stageShare` for the stage alone, beside each other in the
// same run. At the song's own key the stage passes the music through; with a singer's key it stretches
// with the finer engine's full window (the dance classes' stage) or its short one (karaoke's). A picture
// is repainted where it changed, or whole at every change as before.

#include "BenchGuiMain.h"
#include "BenchMusic.h"
#include "Source/karaoke/CdgDecoder.h"
#include "Source/karaoke/views/KaraokePainter.h"
#include "platform/audio/AudioEngine.h"
#include "platform/audio/AudioUnitNode.h"
#include "platform/audio/IONodes.h"
#include "platform/audio/NullAudioDevice.h"
#include "platform/audio/SourceNode.h"
#include "platform/audio/TimePitchUnit.h"
#include "tests/support/CdgWriter.h"

#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <optional>

namespace {

using namespace platform;

constexpr double cpuRate = 44100.0;
constexpr std::uint32_t cpuCycle = 512;
constexpr int cpuFramesPerSecond = 60;

// The process's, so that drawing work Qt hands to its pooled threads counts too.
double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           1e-6 * double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

vantle::Lyrics cpuLyrics() {
    vantle::Lyrics lyrics;
    lyrics.source = vantle::Lyrics::Source::lrc;
    const char* texts[] = {"Somewhere over the rainbow, way", "Up high in the land that I heard",
                           "Of once in a lullaby, my dear", "Somewhere over the rainbow, sky"};
    double time = 5;
    for (const char* text : texts) {
        lyrics.lines.push_back(vantle::LyricLine{time, text, {}, std::nullopt});
        time += 4.5;
    }
    return lyrics;
}

// One surface: its painter and the image it paints into, as a window repaints what changed.
struct Surface {
    QSize size;
    vantle::KaraokeFrame::Look look;
    vantle::KaraokePainter painter;
    QImage target{size, QImage::Format_RGB32};

    Surface(QSize s, vantle::KaraokeFrame::Look l) : size(s), look(l), target(s, QImage::Format_RGB32) {}

    void draw(vantle::KaraokeFrame frame, bool whole) {
        frame.look = look;
        const QRect changed = painter.prepare(QRect(QPoint(), size), frame);
        if (changed.isEmpty()) return;
        QPainter onto(&target);
        painter.paint(onto, whole ? QRect(QPoint(), size) : changed);
        benchmark::DoNotOptimize(target.constBits());
    }
};

// The stage in an offline engine, fed the benchmark's music.
struct Stage {
    AudioEngine engine{std::make_unique<NullAudioDevice>()};
    fixtures::Channels music = benchmusic::music(8.0, int(cpuRate));
    std::size_t position = 0;
    std::shared_ptr<PcmBuffer> buffer;

    Stage(float overlap, float cents) {
        const AudioFormat format = *AudioFormat::standard(cpuRate, 2);
        (void)engine.enableManualRenderingMode(format, cpuCycle);
        auto source = std::make_shared<SourceNode>(
            format, [this](const AudioTime&, std::uint32_t frames, AudioBufferList& out) {
                for (std::uint32_t i = 0; i < frames; ++i) {
                    out.floatData(0)[i] = music[0][position];
                    out.floatData(1)[i] = music[1][position];
                    position = (position + 1) % music[0].size();
                }
                return true;
            });
        auto unit = std::make_unique<TimePitchUnit>();
        unit->setOverlap(overlap);
        unit->setPitch(cents);
        auto node = std::make_shared<AudioUnitNode>(std::move(unit));
        (void)engine.attach(source);
        (void)engine.attach(node);
        (void)engine.connect(*source, *node, 0, 0, format);
        (void)engine.connect(*node, engine.outputNode(), 0, 0, format);
        (void)engine.start();
        buffer = PcmBuffer::make(format, cpuCycle);
        // Past the start, where the first cycles fill the stretcher.
        for (int i = 0; i < 50; ++i)
            (void)engine.renderOffline(cpuCycle, *buffer);
    }
    void renderOneSecond() {
        for (std::uint32_t done = 0; done < std::uint32_t(cpuRate); done += cpuCycle)
            (void)engine.renderOffline(cpuCycle, *buffer);
        benchmark::DoNotOptimize(buffer->channel(0)[0]);
    }
};

enum class Shown { lyrics, picture, pictureWhole };

void karaokeSecond(benchmark::State& state, float overlap, int key, Shown shown = Shown::lyrics) {
    const vantle::Lyrics lyrics = cpuLyrics();
    std::optional<vantle::CdgTimeline> disc =
        vantle::CdgTimeline::fromBytes(testsupport::cdg::karaokeSong(60.0));
    Surface panel({945, 460}, vantle::KaraokeFrame::Look::panel);
    Surface singers({1920, 1080}, vantle::KaraokeFrame::Look::singers);
    Stage stage(overlap, 100.0f * float(key));
    double stageSeconds = 0, frameSeconds = 0;
    std::int64_t frame = 0;
    for (auto _ : state) {
        const double start = cpuSeconds();
        stage.renderOneSecond();
        const double middle = cpuSeconds();
        for (int i = 0; i < cpuFramesPerSecond; ++i, ++frame) {
            vantle::KaraokeFrame shownFrame;
            shownFrame.keyShift = key;
            if (shown == Shown::lyrics) {
                // A line of 4.5 s, wiped across as it is sung; the next line comes after it.
                shownFrame.lyrics = &lyrics;
                shownFrame.moment.line = int(frame / 270 % 3) + 1;
                shownFrame.moment.litFraction = double(frame % 270) / 270.0;
            } else {
                // Past the disc's title, where its lines are lit.
                shownFrame.picture = &disc->screenAt(10.0 + double(frame % 2400) / cpuFramesPerSecond);
            }
            panel.draw(shownFrame, shown == Shown::pictureWhole);
            singers.draw(shownFrame, shown == Shown::pictureWhole);
        }
        const double end = cpuSeconds();
        stageSeconds += middle - start;
        frameSeconds += end - middle;
    }
    const double seconds = double(state.iterations());
    state.counters["stageShare"] = stageSeconds / seconds;
    state.counters["framesShare"] = frameSeconds / seconds;
    state.counters["coreShare"] = (stageSeconds + frameSeconds) / seconds;
}

void BM_KaraokeSecondOwnKey(benchmark::State& state) {
    karaokeSecond(state, TimePitchUnit::shortWindowOverlap, 0);
}
void BM_KaraokeSecondKeyUpFullWindow(benchmark::State& state) {
    karaokeSecond(state, TimePitchUnit::finerEngineOverlap, 1);
}
void BM_KaraokeSecondKeyUpShortWindow(benchmark::State& state) {
    karaokeSecond(state, TimePitchUnit::shortWindowOverlap, 1);
}
void BM_KaraokeSecondPictureWholeKeyUpFullWindow(benchmark::State& state) {
    karaokeSecond(state, TimePitchUnit::finerEngineOverlap, 1, Shown::pictureWhole);
}
void BM_KaraokeSecondPictureKeyUpShortWindow(benchmark::State& state) {
    karaokeSecond(state, TimePitchUnit::shortWindowOverlap, 1, Shown::picture);
}

// A fixed number of seconds of song each, so that every figure is over the same frames.
BENCHMARK(BM_KaraokeSecondOwnKey)->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK(BM_KaraokeSecondKeyUpFullWindow)->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK(BM_KaraokeSecondKeyUpShortWindow)->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK(BM_KaraokeSecondPictureWholeKeyUpFullWindow)->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK(BM_KaraokeSecondPictureKeyUpShortWindow)->Unit(benchmark::kMillisecond)->Iterations(30);

} // namespace

int main(int argc, char** argv) {
    return benchgui::runBenchmarks(argc, argv);
}

// One frame of the singers' screen at 1920 × 1080 drawn into an image, a long line lit halfway,
// against copying the same frame's pixels: figures for docs/performance.md. At 60 frames a second
// a frame has 16.7 ms; the drawing should cost a small share of that.

#include "BenchGuiMain.h"
#include "BenchRatio.h"
#include "Source/karaoke/views/KaraokePainter.h"

#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <cstring>

namespace {

vantle::Lyrics karaokeBenchLyrics() {
    vantle::Lyrics lyrics;
    lyrics.source = vantle::Lyrics::Source::lrc;
    const char* texts[] = {
        "The night is young and so are we, the lights are low",
        "Sing it loud across the room and let the chorus go on and on until the morning comes "
        "around again",
        "Every voice a little higher", "Every heart a little freer", "And we sing"};
    double time = 10;
    for (const char* text : texts) {
        lyrics.lines.push_back(vantle::LyricLine{time, text, {}, std::nullopt});
        time += 6;
    }
    return lyrics;
}

vantle::KaraokeFrame karaokeBenchFrame(const vantle::Lyrics& lyrics, int line, double fraction) {
    vantle::KaraokeFrame frame;
    frame.look = vantle::KaraokeFrame::Look::singers;
    frame.lyrics = &lyrics;
    frame.moment.line = line;
    frame.moment.litFraction = fraction;
    frame.keyShift = 2;
    return frame;
}

// The painter, the image it draws into and the copy that is the reference, shared by both figures.
struct FrameRig {
    const vantle::Lyrics lyrics = karaokeBenchLyrics();
    const QSize size{1920, 1080};
    vantle::KaraokePainter painter;
    QImage target{size, QImage::Format_RGB32};
    QImage copy{size, QImage::Format_RGB32};

    QRect draw(int line, double fraction) {
        const QRect changed =
            painter.prepare(QRect(QPoint(), size), karaokeBenchFrame(lyrics, line, fraction));
        QPainter onto(&target);
        painter.paint(onto, QRect(QPoint(), size));
        benchmark::DoNotOptimize(target.constBits());
        return changed;
    }
    void copyFrame() {
        std::memcpy(copy.bits(), target.constBits(), static_cast<std::size_t>(target.sizeInBytes()));
        benchmark::DoNotOptimize(copy.constBits());
    }
};

// The frame as it is drawn while a line is sung: the wipe moved since the last frame, the rest kept.
void BM_SingersFrameWhileSinging(benchmark::State& state) {
    FrameRig rig;
    rig.painter.render(rig.size, karaokeBenchFrame(rig.lyrics, 1, 0.5));
    int step = 0;
    benchratio::measureAgainst(
        state, 20,
        [&] {
            // Around halfway, a few pixels of wipe a frame.
            const QRect changed = rig.draw(1, 0.5 + 0.002 * (step++ % 20));
            benchmark::DoNotOptimize(changed);
        },
        [&] { rig.copyFrame(); });
}

// The first frame of a new line: its layout, the size for the song and both colours' images made anew.
void BM_SingersFrameNewLine(benchmark::State& state) {
    FrameRig rig;
    int line = 0;
    benchratio::measureAgainst(
        state, 5,
        [&] {
            // Alternating lines, so that every frame is a new line's.
            line = line == 1 ? 2 : 1;
            rig.draw(line, 0.5);
        },
        [&] { rig.copyFrame(); });
}

BENCHMARK(BM_SingersFrameWhileSinging)->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK(BM_SingersFrameNewLine)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

} // namespace

int main(int argc, char** argv) {
    return benchgui::runBenchmarks(argc, argv);
}

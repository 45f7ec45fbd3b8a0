#pragma once
// The large text panel of the two karaoke modes: a fixed three-line sample text with one span
// highlighted, laid over the playlist from its left edge to the main view's right edge. Main
// thread only.

#include "Source/mainwindow/MainViewParts.h"

#include <QLabel>

#include <vector>

namespace vantle {

// A moment of the lyrics and the characters sung then; kept for a later timed highlight.
struct KaraokeRange {
    double time = 0.0;
    int location = 0;
    int length = 0;
};

class KaraokeView final : public QLabel, public KaraokePart {
    Q_OBJECT

public:
    static const QString dummyText;
    // The span shown highlighted, whatever entry plays and wherever playback stands.
    static constexpr int highlightLocation = 10;
    static constexpr int highlightLength = 111;
    static constexpr double pointSize = 50.0;

    explicit KaraokeView(QWidget* parent = nullptr);

    QWidget* widget() override { return this; }
    // Covers the parent (the playlist's view) from x to its right edge at full height and sets the
    // text, in the largest font up to 50 points that shows its three lines whole.
    void layoutInFrame(double x) override;
    // The sample text as rich text: grey on light grey, the span black on white.
    static QString makeAttributedText(int location, int length);

private:
    void fitFont();

    std::vector<KaraokeRange> ranges_;
};

} // namespace vantle

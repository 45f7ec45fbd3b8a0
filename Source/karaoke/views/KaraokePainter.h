#pragma once
// Draws karaoke as the panel and the singers' screen show it: the lit lyrics (the line being sung
// wiped from the unsung to the sung colour, the line before dimmed, the next lines below, a
// countdown) or the CD+G picture scaled with sharp pixels, and the key shift while it is not 0.
// One painter per surface; main thread.

#include "Source/karaoke/CdgDecoder.h"
#include "Source/karaoke/Lyrics.h"

#include <QImage>
#include <QRect>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

class QPainter;
class QTextLayout;

namespace vantle {

// What one frame shows. The painter keeps no pointer past prepare(); `generation` changes whenever
// the lyrics or the picture's source is replaced, so that cached layouts of the old ones go.
struct KaraokeFrame {
    enum class Look { panel, singers };
    Look look = Look::panel;
    std::uint64_t generation = 0;
    const Lyrics* lyrics = nullptr; // with `moment`; left out while a picture is given
    LyricsMoment moment;
    const CdgScreen* picture = nullptr;
    int keyShift = 0;
    // Without lyrics or a picture: lines centred, the first one large. Empty: nothing but the
    // background.
    QStringList message;
    // The host's line along the bottom edge, under whatever else is shown; empty: none.
    QString ticker;
};

class KaraokePainter {
public:
    KaraokePainter();
    ~KaraokePainter();
    KaraokePainter(const KaraokePainter&) = delete;
    KaraokePainter& operator=(const KaraokePainter&) = delete;

    // Takes the frame for the area (the surface's whole rectangle) and answers what differs from the
    // frame prepared before (empty: nothing to redraw), so that a surface repaints only that.
    QRect prepare(const QRect& area, const KaraokeFrame& frame);
    // Draws the part `clip` of the frame prepared last, at the area's place. A surface that is no longer
    // the size it was prepared for (resized, or shown again on another screen, before its next frame)
    // gets its background only: a layout made for another size would put the lit line over the others
    // until something moved. False then: the surface wants a frame for its size.
    bool paint(QPainter& painter, const QRect& clip) const;

    // One frame drawn whole into an image of the area's size (the benchmark's and the tests' way in).
    QImage render(const QSize& size, const KaraokeFrame& frame);

    // The colours of the looks, which tests read back from drawn pixels.
    static QColor background(KaraokeFrame::Look look);
    static QColor sungColour();
    static QColor unsungColour();

private:
    void buildBase(const KaraokeFrame& frame);
    void drawLyrics(QPainter& painter, const KaraokeFrame& frame);
    void drawMessage(QPainter& painter, const QStringList& message, KaraokeFrame::Look look);
    void drawKeyShift(QPainter& painter, int keyShift, KaraokeFrame::Look look) const;
    void drawTicker(QPainter& painter, const QString& ticker) const;
    QRect pictureTarget() const;
    // Takes the picture when it changed; answers the part of the surface that shows the change.
    QRect takePicture(const CdgScreen& screen, KaraokeFrame::Look look);
    int fontPixelSize(const Lyrics& lyrics) const;
    // The height the line before, the lit line and the next one take at most at that size, with the
    // countdown's band.
    double lyricsHeightNeeded(const Lyrics& lyrics, int pixels) const;
    // The sung part of the lit line as rectangles in area coordinates, from its lit share.
    std::vector<QRectF> wipeRects(double litFraction) const;

    // The whole surface, and the part of it above the ticker (the whole without one).
    QRect whole_;
    QRect area_;
    QImage base_;     // the frame without the sung colour
    QImage litLayer_; // the lit line in the sung colour, transparent around it
    QPoint litOrigin_;
    std::unique_ptr<QTextLayout> litLayout_;
    std::vector<int> litCharStarts_; // UTF-16 index of each character of the lit line, and its end
    QRect litBounds_;

    // What the base image was built from.
    struct BaseKey {
        QSize size;
        std::uint64_t generation = ~std::uint64_t(0);
        int line = -2;
        int dots = -1;
        int keyShift = 0;
        KaraokeFrame::Look look = KaraokeFrame::Look::panel;
        bool picture = false;
        QStringList message;
        QString ticker;
        bool operator==(const BaseKey&) const = default;
    } baseKey_;
    int wipeSignature_ = -1;
    double litFraction_ = 0;

    // The font size chosen for a song in an area: kept while both stay.
    mutable std::uint64_t sizedGeneration_ = ~std::uint64_t(0);
    mutable QSize sizedFor_;
    mutable int sizedPixels_ = 0;

    // The last picture taken, to tell a changed one.
    CdgScreen shownScreen_;
    bool hasScreen_ = false;
    QImage picture_;
    std::vector<std::uint8_t> rgb_;
};

} // namespace vantle

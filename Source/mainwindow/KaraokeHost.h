#pragma once
// What the karaoke panel asks of the main window; apart from the panel so that the window's header
// need not bring in the lyrics, the CD+G decoder and the painter.

#include <QString>

#include <optional>

namespace vantle {

class KaraokeHost {
public:
    virtual ~KaraokeHost() = default;
    // The heard time: the very time the clock shows.
    virtual double karaokeHeardTime() const = 0;
    virtual int karaokeKeyShift() const = 0;
    virtual bool karaokeSongPlaying() const = 0;
    // Between songs, for the singers' screen: the title of the song that comes next (empty: none),
    // and the break's seconds left while one runs.
    virtual QString karaokeNextTitle() const = 0;
    virtual std::optional<double> karaokeBreakLeft() const = 0;
    // A line the user should read (a save refused, nothing to stamp).
    virtual void karaokeNotice(const QString& text) = 0;
};

} // namespace vantle

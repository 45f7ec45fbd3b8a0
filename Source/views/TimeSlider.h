#pragma once
// The position bar of the main window: the entry's whole length as a track, the spans listened
// to now and earlier as thick bands, the playback position as a red cursor, and a marker for
// each zero mark and note. Clicks and drags seek, drags scrub audibly. Main thread.

#include <QColor>
#include <QImage>
#include <QRectF>
#include <QString>
#include <QWidget>

#include <memory>
#include <optional>
#include <vector>

class QMenu;

namespace vantle {

class PlaylistEntry;
class Scrubber;
class TextNote;
class TimeSliderPlayer;

// A marker on the slider: one of the entry's zero marks or notes as the slider last laid them
// out. The slider draws every marker itself and finds the one under the pointer, so an entry
// with thousands of notes costs no more than their list.
struct TimeSliderMark {
    enum class Kind { zero, note };
    Kind kind = Kind::zero;
    double time = 0;
    // The note a note marker stands for, by identity (two notes alike are still two); null for a
    // zero.
    std::shared_ptr<TextNote> note;
};

// What the time slider asks of the main view. The main view implements it; tests use a fake.
class TimeSliderHost {
public:
    virtual ~TimeSliderHost() = default;

    // Refreshes the time texts and sets the slider's doubleValue to the playback time.
    virtual void refreshDisplay() = 0;
    // While the mouse button is held the main view shows the position, not the remaining time.
    virtual void setShowingRemaining(bool showingRemaining) = 0;
    // The current entry's scrubber; null without one.
    virtual std::shared_ptr<Scrubber> scrubber() const = 0;
};

class TimeSlider final : public QWidget {
    Q_OBJECT

public:
    // Empty margin at each end of the track, pixels.
    static constexpr double endPad = 10.0;
    // Width and height of every marker's frame, pixels.
    static constexpr double buttonSize = 17.0;
    // A seek stops this far before the end of the entry.
    static constexpr double endMargin = 0.1;
    // A played span narrower than this on the track (pixels) is not drawn.
    static constexpr double minimumDrawnSpanWidth = 1.0;

    explicit TimeSlider(QWidget* parent = nullptr);
    ~TimeSlider() override;

    // Set once by the main view.
    void setPlayer(std::shared_ptr<TimeSliderPlayer> player) { player_ = std::move(player); }
    const std::shared_ptr<TimeSliderPlayer>& player() const { return player_; }
    // Not owned; must outlive the slider or be reset to null first.
    void setHost(TimeSliderHost* host) { host_ = host; }

    // Shows the entry (or none): range 0 … its duration, value 0, one marker per zero mark and
    // per note; then refreshes the main view and redraws. Run again whenever the entry, its
    // zeros or its notes change.
    void loadEntry(std::shared_ptr<PlaylistEntry> entry);
    const std::shared_ptr<PlaylistEntry>& entry() const { return entry_; }

    double minValue() const { return 0.0; }
    // The entry's duration; 0 without an entry or a usable duration.
    double maxValue() const { return maxValue_; }
    // The playback position, set on every display refresh; only the cursor follows it.
    double doubleValue() const { return doubleValue_; }
    void setDoubleValue(double seconds);

    QColor cursorColor() const { return cursorColor_; }

    // The markers shown, in the order of the entry's zeros and notes. Notes lie above zeros and,
    // within each kind, later markers above earlier ones.
    const std::vector<TimeSliderMark>& zeroMarks() const { return zeroMarks_; }
    const std::vector<TimeSliderMark>& noteMarks() const { return noteMarks_; }

    // The topmost marker whose frame holds the point (slider coordinates), if any. A left click
    // on a marker writes "TimeSliderButton clicked" and seeks like any click there; hovering
    // shows its tool tip; a right click opens its context menu.
    std::optional<TimeSliderMark> markAt(QPointF point) const;
    // A zero's time with two decimals; a note's text as shown on one line.
    static QString toolTip(const TimeSliderMark& mark);
    // "Zero" or "Note".
    static QString menuTitle(const TimeSliderMark& mark);
    // The marker's context menu: its disabled title, then " Remove". The caller owns it.
    QMenu* makeContextMenu(const TimeSliderMark& mark);

    // A zero marker: removes the first zero exactly equal to its time, then reloads. A note
    // marker still shown: removes its note (the same note, whatever its place in the list now),
    // marks the notes altered, then reloads; a marker no longer shown removes nothing.
    void removeMark(const TimeSliderMark& mark);

    // ---- geometry ----
    // Where a time is drawn; 0 while the range is too short to lay out (maxValue ≤ 0.001).
    double xForTime(double seconds) const;
    // The time at a horizontal position; 0 when the range or the track is empty.
    double timeForX(double x) const;
    // The frame of a marker for a time.
    QRectF markerFrame(double seconds) const;
    // A time the player is asked to seek to: within 0 … max(0, maxValue − endMargin).
    double clampedSeekTime(double seconds) const;

    QSize sizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void seekTo(double x);
    // The marker symbols, drawn once per layout rather than on every move of the cursor.
    const QImage& marksLayer();

    std::vector<TimeSliderMark> zeroMarks_;
    std::vector<TimeSliderMark> noteMarks_;
    QImage marksLayer_;
    std::shared_ptr<PlaylistEntry> entry_;
    std::shared_ptr<TimeSliderPlayer> player_;
    TimeSliderHost* host_ = nullptr;
    QColor cursorColor_{255, 0, 0};
    double maxValue_ = 0;
    double doubleValue_ = 0;
};

} // namespace vantle

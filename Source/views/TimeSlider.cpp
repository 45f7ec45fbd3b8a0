#include "Source/views/TimeSlider.h"

#include "Source/session/PlaylistEntry.h"
#include "Source/session/TextNote.h"
#include "Source/session/TextNoteSet.h"
#include "Source/session/TimeRangeSet.h"
#include "Source/views/Scrubber.h"
#include "Source/views/TimeSliderButton.h"
#include "Source/views/TimeSliderPlayer.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPen>

#include <algorithm>
#include <cmath>

namespace vantle {

namespace {

// Takes a marker out of the slider; it is deleted once the event that removed it is over (it may
// be the one whose menu asked for the removal).
void detachTimeSliderMarker(TimeSliderButton* button) {
    button->hide();
    button->setParent(nullptr);
    button->deleteLater();
}

void strokeTimeSliderLine(QPainter& painter, const QColor& color, double width, QPointF from, QPointF to) {
    painter.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(from, to);
}

QColor mixTimeSliderColors(const QColor& a, const QColor& b, double share) {
    return QColor::fromRgbF(static_cast<float>(a.redF() * (1 - share) + b.redF() * share),
                            static_cast<float>(a.greenF() * (1 - share) + b.greenF() * share),
                            static_cast<float>(a.blueF() * (1 - share) + b.blueF() * share));
}

} // namespace

TimeSlider::TimeSlider(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

TimeSlider::~TimeSlider() = default;

QSize TimeSlider::sizeHint() const {
    return {520, 40};
}

void TimeSlider::setDoubleValue(double seconds) {
    // Set on every display refresh; a stopped player's position repaints nothing.
    if (seconds == doubleValue_) return;
    doubleValue_ = seconds;
    update();
}

// ---- geometry ----

double TimeSlider::xForTime(double seconds) const {
    if (!(maxValue_ > 0.001)) return 0;
    double time = std::isfinite(seconds) ? seconds : 0.0;
    double track = std::max(0.0, width() - 2 * endPad);
    return endPad + time / maxValue_ * track;
}

double TimeSlider::timeForX(double x) const {
    double track = width() - 2 * endPad;
    if (!(maxValue_ > 0) || !(track > 0) || !std::isfinite(x)) return 0;
    return maxValue_ * (x - endPad) / track;
}

QRectF TimeSlider::markerFrame(double seconds) const {
    return {xForTime(seconds) - buttonSize * 0.5, height() * 0.5 - buttonSize * 0.5, buttonSize, buttonSize};
}

double TimeSlider::clampedSeekTime(double seconds) const {
    if (!std::isfinite(seconds)) return 0;
    return std::clamp(seconds, 0.0, std::max(0.0, maxValue_ - endMargin));
}

// ---- entry and markers ----

void TimeSlider::loadEntry(std::shared_ptr<PlaylistEntry> entry) {
    entry_ = std::move(entry);
    std::optional<double> duration = entry_ ? entry_->duration() : std::nullopt;
    maxValue_ = duration && std::isfinite(*duration) && *duration > 0 ? *duration : 0.0;
    doubleValue_ = 0;

    clearMarkers();
    if (entry_) {
        for (double zero : entry_->zeros) {
            auto* button = new ZeroButton(zero, markerFrame(zero), this);
            connect(button, &ZeroButton::removeRequested, this, &TimeSlider::removeZeroButton);
            button->setToolTip(QString::number(zero, 'f', 2));
            button->show();
            zeroButtons_.push_back(button);
        }
        for (const std::shared_ptr<TextNote>& note : entry_->noteSet().notes) {
            if (!note) continue;
            auto* button = new NoteButton(note, markerFrame(note->time()), this);
            connect(button, &NoteButton::removeRequested, this, &TimeSlider::removeNoteButton);
            button->setToolTip(QString::fromStdString(note->text()));
            button->show();
            noteButtons_.push_back(button);
        }
    }
    if (host_) host_->refreshDisplay();
    update();
}

void TimeSlider::clearMarkers() {
    for (ZeroButton* button : zeroButtons_)
        detachTimeSliderMarker(button);
    zeroButtons_.clear();
    for (NoteButton* button : noteButtons_)
        detachTimeSliderMarker(button);
    noteButtons_.clear();
}

void TimeSlider::removeZeroButton(ZeroButton* button) {
    if (auto it = std::find(zeroButtons_.begin(), zeroButtons_.end(), button); it != zeroButtons_.end()) {
        zeroButtons_.erase(it);
        detachTimeSliderMarker(button);
    }
    if (entry_) {
        std::vector<double>& zeros = entry_->zeros;
        if (auto it = std::find(zeros.begin(), zeros.end(), button->time()); it != zeros.end())
            zeros.erase(it);
    }
    loadEntry(entry_);
}

void TimeSlider::removeNoteButton(NoteButton* button) {
    auto it = std::find(noteButtons_.begin(), noteButtons_.end(), button);
    if (it == noteButtons_.end()) return;
    noteButtons_.erase(it);
    detachTimeSliderMarker(button);
    if (entry_) {
        // By identity: the note's place in the list may have changed since the markers were made.
        TextNoteSet& noteSet = entry_->noteSet();
        auto note = std::find(noteSet.notes.begin(), noteSet.notes.end(), button->note());
        if (note != noteSet.notes.end()) {
            noteSet.notes.erase(note);
            noteSet.altered = true;
        }
    }
    loadEntry(entry_);
}

// ---- drawing ----

void TimeSlider::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    for (ZeroButton* button : zeroButtons_)
        button->setFrameF(markerFrame(button->time()));
    for (NoteButton* button : noteButtons_)
        button->setFrameF(markerFrame(button->time()));
}

void TimeSlider::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double midY = height() * 0.5;
    auto band = [&](double from, double to) {
        return std::pair{QPointF(xForTime(from), midY), QPointF(xForTime(to), midY)};
    };

    auto [trackStart, trackEnd] = band(0, maxValue_);
    strokeTimeSliderLine(painter, Qt::black, 2.0, trackStart, trackEnd);

    if (entry_) {
        const QColor accent = palette().color(QPalette::Active, QPalette::Highlight);
        // Earlier listenings in a faded accent, like a disabled control's.
        const QColor earlier = mixTimeSliderColors(accent, palette().color(QPalette::Window), 0.55);
        // The round caps would make a dot of every span: the instants that seeking and scrubbing
        // open while playing, heard for no length worth showing, are left out.
        auto heard = [&](const TimeRange& range) {
            auto [from, to] = band(range.start, range.end);
            return to.x() - from.x() >= minimumDrawnSpanWidth;
        };
        for (const TimeRange& range : entry_->prevTimeRangeSet.ranges) {
            if (!heard(range)) continue;
            auto [from, to] = band(range.start, range.end);
            strokeTimeSliderLine(painter, earlier, 15.0, from, to);
        }
        if (!entry_->currentTimeRangeSet) entry_->currentTimeRangeSet = std::make_shared<TimeRangeSet>();
        for (const TimeRange& range : entry_->currentTimeRangeSet->ranges) {
            if (!heard(range)) continue;
            auto [from, to] = band(range.start, range.end);
            strokeTimeSliderLine(painter, accent, 15.0, from, to);
        }
    }

    const double cursorX = xForTime(doubleValue_);
    strokeTimeSliderLine(painter, cursorColor_, 3.5, QPointF(cursorX, 3.5), QPointF(cursorX, height() - 3.5));

    // The marker symbols are larger than the markers' frames, which clip what a child widget
    // paints; so the slider draws them, above everything else, zeros first and notes on top.
    auto drawMarker = [&](const TimeSliderButton* button) {
        const QImage& image = button->normalImage();
        QSizeF size = image.deviceIndependentSize();
        QPointF centre = button->frameF().center();
        painter.drawImage(QRectF(centre - QPointF(size.width() / 2, size.height() / 2), size), image);
    };
    for (const ZeroButton* button : zeroButtons_)
        drawMarker(button);
    for (const NoteButton* button : noteButtons_)
        drawMarker(button);
}

// ---- mouse ----

void TimeSlider::seekTo(double x) {
    if (player_) player_->setCurrentTime(clampedSeekTime(timeForX(x)));
}

void TimeSlider::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    seekTo(event->position().x());
    if (host_) {
        host_->setShowingRemaining(false);
        host_->refreshDisplay();
    }
}

void TimeSlider::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) {
        event->ignore();
        return;
    }
    seekTo(event->position().x());
    if (host_) {
        if (std::shared_ptr<Scrubber> scrubber = host_->scrubber()) scrubber->setScrubbing(true);
    }
}

void TimeSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    if (host_) {
        if (std::shared_ptr<Scrubber> scrubber = host_->scrubber()) scrubber->setScrubbing(false);
    }
    seekTo(event->position().x());
    if (host_) {
        host_->setShowingRemaining(true);
        host_->refreshDisplay();
    }
}

} // namespace vantle

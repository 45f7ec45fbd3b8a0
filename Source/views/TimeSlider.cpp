#include "Source/views/TimeSlider.h"

#include "Source/session/PlaylistEntry.h"
#include "Source/session/TextNote.h"
#include "Source/session/TextNoteSet.h"
#include "Source/session/TimeRangeSet.h"
#include "Source/views/Scrubber.h"
#include "Source/views/SymbolImages.h"
#include "Source/views/TimeSliderPlayer.h"
#include "platform/foundation/Console.h"

#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPen>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace vantle {

namespace {

const QColor noteMarkColor(52, 199, 89); // the system green

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

    zeroMarks_.clear();
    noteMarks_.clear();
    if (entry_) {
        zeroMarks_.reserve(entry_->zeros.size());
        for (double zero : entry_->zeros)
            zeroMarks_.push_back({TimeSliderMark::Kind::zero, zero, nullptr});
        const std::vector<std::shared_ptr<TextNote>>& notes = entry_->noteSet().notes;
        noteMarks_.reserve(notes.size());
        for (const std::shared_ptr<TextNote>& note : notes)
            if (note) noteMarks_.push_back({TimeSliderMark::Kind::note, note->time(), note});
    }
    marksLayer_ = QImage();
    if (host_) host_->refreshDisplay();
    update();
}

std::optional<TimeSliderMark> TimeSlider::markAt(QPointF point) const {
    auto topmost = [&](const std::vector<TimeSliderMark>& marks) -> const TimeSliderMark* {
        for (auto mark = marks.rbegin(); mark != marks.rend(); ++mark)
            if (markerFrame(mark->time).contains(point)) return &*mark;
        return nullptr;
    };
    if (const TimeSliderMark* note = topmost(noteMarks_)) return *note;
    if (const TimeSliderMark* zero = topmost(zeroMarks_)) return *zero;
    return std::nullopt;
}

QString TimeSlider::toolTip(const TimeSliderMark& mark) {
    if (mark.kind == TimeSliderMark::Kind::zero) return QString::number(mark.time, 'f', 2);
    return mark.note ? QString::fromStdString(mark.note->shownText()) : QString();
}

QString TimeSlider::menuTitle(const TimeSliderMark& mark) {
    return mark.kind == TimeSliderMark::Kind::zero ? QStringLiteral("Zero") : QStringLiteral("Note");
}

QMenu* TimeSlider::makeContextMenu(const TimeSliderMark& mark) {
    auto* menu = new QMenu();
    QAction* title = menu->addAction(menuTitle(mark));
    title->setEnabled(false);
    QAction* removeItem = menu->addAction(QStringLiteral(" Remove"));
    connect(removeItem, &QAction::triggered, this, [this, mark] { removeMark(mark); });
    return menu;
}

void TimeSlider::removeMark(const TimeSliderMark& mark) {
    if (mark.kind == TimeSliderMark::Kind::zero) {
        if (entry_) {
            std::vector<double>& zeros = entry_->zeros;
            if (auto it = std::find(zeros.begin(), zeros.end(), mark.time); it != zeros.end())
                zeros.erase(it);
        }
        loadEntry(entry_);
        return;
    }
    // A menu may outlive the layout it was opened on; only a note still shown is removed.
    auto shown = std::find_if(noteMarks_.begin(), noteMarks_.end(),
                              [&](const TimeSliderMark& candidate) { return candidate.note == mark.note; });
    if (!mark.note || shown == noteMarks_.end()) return;
    if (entry_) {
        // By identity: the note's place in the list may have changed since the markers were laid out.
        TextNoteSet& noteSet = entry_->noteSet();
        auto note = std::find(noteSet.notes.begin(), noteSet.notes.end(), mark.note);
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
    marksLayer_ = QImage();
}

void TimeSlider::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // The zero symbol is drawn in the palette's text colour.
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        marksLayer_ = QImage();
}

const QImage& TimeSlider::marksLayer() {
    const double ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * ratio).toSize();
    if (!marksLayer_.isNull() && marksLayer_.size() == pixels && marksLayer_.devicePixelRatio() == ratio)
        return marksLayer_;
    marksLayer_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    marksLayer_.setDevicePixelRatio(ratio);
    marksLayer_.fill(Qt::transparent);
    QPainter painter(&marksLayer_);
    // Symbols larger than a marker's frame, centred on it. All markers of a kind look alike, so of
    // those that share a device pixel column only the last, which lies on top, is drawn; hidden
    // ones not at all.
    auto drawAll = [&](const std::vector<TimeSliderMark>& marks, const QImage& symbol) {
        const int symbolWidth = symbol.width();
        const int top = qRound(height() * 0.5 * ratio - symbol.height() * 0.5);
        auto leftOf = [&](const TimeSliderMark& mark) {
            return std::lround(xForTime(mark.time) * ratio - symbolWidth * 0.5);
        };
        std::vector<bool> taken(static_cast<std::size_t>(pixels.width() + symbolWidth), false);
        std::vector<bool> onTop(marks.size(), false);
        for (std::size_t i = marks.size(); i-- > 0;) {
            const long left = leftOf(marks[i]);
            if (left <= -symbolWidth || left >= pixels.width()) continue;
            const auto column = static_cast<std::size_t>(left + symbolWidth);
            onTop[i] = !taken[column];
            taken[column] = true;
        }
        for (std::size_t i = 0; i < marks.size(); ++i)
            if (onTop[i]) painter.drawImage(QPointF(double(leftOf(marks[i])) / ratio, top / ratio), symbol);
    };
    auto symbol = [&](const char* name, const QColor& color, double pointSize) {
        return SymbolImages::pixmap(name, {pointSize, SymbolWeight::heavy, color}, ratio).toImage();
    };
    if (!zeroMarks_.empty()) drawAll(zeroMarks_, symbol("z.square", palette().color(QPalette::Text), 27.0));
    if (!noteMarks_.empty()) drawAll(noteMarks_, symbol("pencil", noteMarkColor, 40.0));
    return marksLayer_;
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

    // The marker symbols lie above everything else, zeros first and notes on top.
    if (!zeroMarks_.empty() || !noteMarks_.empty()) painter.drawImage(QPointF(0, 0), marksLayer());
}

bool TimeSlider::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QWidget::event(event);
    auto* help = static_cast<QHelpEvent*>(event);
    if (std::optional<TimeSliderMark> mark = markAt(help->pos())) {
        QToolTip::showText(help->globalPos(), toolTip(*mark), this, markerFrame(mark->time).toAlignedRect());
    } else {
        QToolTip::hideText();
        event->ignore();
    }
    return true;
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
    if (markAt(event->position())) platform::consolePrint("TimeSliderButton clicked");
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

void TimeSlider::contextMenuEvent(QContextMenuEvent* event) {
    std::optional<TimeSliderMark> mark = markAt(event->pos());
    if (!mark) {
        event->ignore();
        return;
    }
    QMenu* menu = makeContextMenu(*mark);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

} // namespace vantle

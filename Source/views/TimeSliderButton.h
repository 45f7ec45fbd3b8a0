#pragma once
// The clickable markers of the time slider: one per zero mark and one per timed note of the
// entry. Main thread.

#include <QAbstractButton>
#include <QColor>
#include <QImage>
#include <QRectF>
#include <QString>

#include <memory>

class QMenu;

namespace vantle {

class TextNote;

// A marker at a time of the entry. It shows `normalImage`, which the slider draws centred on the
// marker and larger than its frame; the frame is where it takes clicks. A left click seeks like a
// click on the slider there; the context menu offers to remove what the marker stands for, which
// the marker asks of the slider through its `removeRequested` signal.
class TimeSliderButton : public QAbstractButton {
    Q_OBJECT

public:
    // `frame` in the coordinates of `timeSlider`, the marker's parent. The symbol ("z.square", "pencil")
    // is drawn in `paletteColor` at `pointSize`.
    TimeSliderButton(double time, const QRectF& frame, const QString& symbolName, const QColor& paletteColor,
                     double pointSize, QWidget* timeSlider);

    double time() const { return time_; }
    const QImage& normalImage() const { return normalImage_; }
    // The unrounded frame the slider laid the marker out in.
    const QRectF& frameF() const { return frame_; }
    void setFrameF(const QRectF& frame);

    // The disabled first item of the context menu.
    virtual QString menuTitle() const { return QStringLiteral("Button"); }
    // The context menu: the disabled title, then " Remove". The caller owns it.
    QMenu* makeContextMenu();

public Q_SLOTS:
    // What the menu's remove item does.
    virtual void remove();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    double time_;
    QImage normalImage_;
    QRectF frame_;
};

// Stands for one of the entry's zero marks.
class ZeroButton final : public TimeSliderButton {
    Q_OBJECT

public:
    ZeroButton(double time, const QRectF& frame, QWidget* timeSlider);
    QString menuTitle() const override { return QStringLiteral("Zero"); }
    void remove() override;

Q_SIGNALS:
    void removeRequested(vantle::ZeroButton* button);
};

// Stands for one of the entry's timed notes.
class NoteButton final : public TimeSliderButton {
    Q_OBJECT

public:
    NoteButton(std::shared_ptr<TextNote> note, const QRectF& frame, QWidget* timeSlider);
    const std::shared_ptr<TextNote>& note() const { return note_; }
    QString menuTitle() const override { return QStringLiteral("Note"); }
    void remove() override;

Q_SIGNALS:
    void removeRequested(vantle::NoteButton* button);

private:
    std::shared_ptr<TextNote> note_;
};

// The marker symbol images by name, `pointSize` pixels high, in `color`, at the given device pixel
// ratio. An unknown name gives a filled square, never nothing.
QImage timeSliderSymbolImage(const QString& symbolName, const QColor& color, double pointSize,
                             double devicePixelRatio);

} // namespace vantle

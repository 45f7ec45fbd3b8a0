#pragma once
// A short-lived image notice (a symbol such as "play.fill", or the game-controller picture) over
// the main view. Like the text notice, the widget in the window is a template and each notice is a
// fresh copy over the template's parent that fades out in 1.0 s. Main thread.

#include <QIcon>
#include <QImage>
#include <QPointer>
#include <QVariantAnimation>
#include <QWidget>

namespace vantle {

class ImageNotifierView : public QWidget {
    Q_OBJECT

public:
    // Seconds an image notice takes to fade.
    static constexpr double fadeDuration = 1.0;

    explicit ImageNotifierView(QWidget* parent = nullptr);

    using QWidget::show;
    // Lays the template over its parent and shows a copy of it there: the image stretched to the
    // largest centred square, drawn in the named colour "notifierForeground" (only the image's
    // shape counts), fading out ease-in over 1.0 s, then removed. Nothing is shown for a null
    // image or a template without a parent. Returns the copy (owned by the parent until its fade
    // ends), or null.
    virtual ImageNotifierView* show(const QIcon& image);

    // The image a copy shows (null on the template).
    const QImage& image() const { return image_; }
    // The fade of a notice copy; null on the template or once the fade is gone.
    QVariantAnimation* fadeAnimation() const { return fade_; }

    // A transparent width × height image (sizes truncated to whole pixels) with `image` stretched
    // into the square of side min(width, height) centred in it. A null result when either size is
    // below one pixel.
    static QImage squaredImage(const QIcon& image, double width, double height);
    // The image's shape filled with `tint`: every pixel keeps its opacity and takes the colour.
    static QImage tintedImage(const QImage& image, const QColor& tint);

protected:
    // A new notice of this class carrying the template's appearance.
    virtual ImageNotifierView* archivedCopy() const;
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
    QPointer<QVariantAnimation> fade_;
};

} // namespace vantle

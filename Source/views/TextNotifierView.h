#pragma once
// A short-lived text notice (a position, a volume, a rate, a note) over the main view. The widget
// placed in the window is a template: each notice is a fresh copy of it laid over the template's
// parent, faded out and removed, so notices may overlap. Main thread.

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QPointer>
#include <QSizeF>
#include <QString>
#include <QVariantAnimation>

#include <optional>

namespace vantle {

class TextNotifierView : public QLabel {
    Q_OBJECT

public:
    // The notice's font size stays within these bounds, whatever the area and the text.
    static constexpr double minimumPointSize = 1.0;
    static constexpr double maximumPointSize = 4000.0;
    // A notice is read at a glance: a longer text is cut to this many characters and "…".
    static constexpr int longestShownText = 1000;

    explicit TextNotifierView(QWidget* parent = nullptr);

    using QLabel::show;
    // Shows a copy of this template over the template's parent: the text in the largest font that
    // fits the parent, on as many lines as that takes (see noticeFont), in `color` (else the named
    // colour "notifierForeground"), at full opacity, fading out ease-in over `duration` seconds,
    // then removed. A newer notice lies above older ones. Nothing is shown for an empty text or a
    // template without a parent. Returns the copy (owned by the parent until its fade ends), or
    // null.
    virtual TextNotifierView* show(const QString& text, double duration,
                                   std::optional<QColor> color = std::nullopt);

    // The fade of a notice copy; null on the template or once the fade is gone.
    QVariantAnimation* fadeAnimation() const { return fade_; }

    // The font size that makes a text measured `measuredAt12` (width, height) at 12 points fill
    // `area` less a 5-point margin each way, its line height counted at 77 %, clamped to the
    // bounds above.
    static double fittedPointSize(QSizeF measuredAt12, QSizeF area);
    // The base font at that size for the text.
    static QFont fittedFont(const QString& text, const QFont& base, QSizeF area);
    // The font a notice shows the text in: fittedFont's single line, made smaller where the text's
    // real advance is wider than the 12-point measure scaled; or, when two lines or more allow a
    // larger font, the largest at which the text, laid out as the notice draws it (wrapped to the
    // area's width less the margin, between words where it can and within a word too long for a
    // line), fits the area less the margin.
    static QFont noticeFont(const QString& text, const QFont& base, QSizeF area);
    // The notices' base font: the system font, bold (only its family and weight count).
    static QFont noticeBaseFont();

protected:
    // A new notice of this class carrying the template's appearance (alignment, margins, palette).
    virtual TextNotifierView* archivedCopy() const;
    void paintEvent(QPaintEvent* event) override;

private:
    QPointer<QVariantAnimation> fade_;
};

} // namespace vantle

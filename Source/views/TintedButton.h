#pragma once
// Two small interface classes: a view controller whose contents are laid out by its owner, and a
// button whose picture takes the button's text colour, like the toolbar's symbols.

#include <QIcon>
#include <QPushButton>
#include <QWidget>

namespace vantle {

// A plain content view; what it shows is added by whoever makes it. Main thread only.
class ReferenceViewController final : public QWidget {
    Q_OBJECT

public:
    using QWidget::QWidget;
};

// Draws its icon as a template: every opaque pixel in the button's text colour. The icon is made
// a template once, when the button is made; the caller's icon (which other views may show) keeps
// its colours. Main thread only.
class TintedButton final : public QPushButton {
    Q_OBJECT

public:
    explicit TintedButton(QWidget* parent = nullptr);
    TintedButton(const QIcon& icon, const QString& text, QWidget* parent = nullptr);

    // The icon's shape in the colour, at every size the icon has.
    static QIcon templateIcon(const QIcon& icon, const QColor& color);

private:
    void makeImageTemplate();
};

} // namespace vantle

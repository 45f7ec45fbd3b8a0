#include "Source/views/RemotePictures.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <algorithm>
#include <optional>

namespace vantle {

namespace {

struct RemotePictureStyle {
    QColor body;
    QColor outline;
    QColor controls;
    // The controls as holes in a solid body: notices draw only the shape, in their own colour.
    bool cutOutControls = false;
};

std::optional<RemotePictureStyle> remotePictureStyle(std::string_view name) {
    if (name == "remoteImage")
        return RemotePictureStyle{Qt::transparent, QColor(128, 128, 128), QColor(128, 128, 128)};
    if (name == "remote2-yellow")
        return RemotePictureStyle{QColor(255, 204, 0), QColor(90, 70, 0), QColor(90, 70, 0)};
    if (name == "remoteNotifier") return RemotePictureStyle{Qt::black, Qt::black, Qt::black, true};
    return std::nullopt;
}

// A gamepad seen from above, 8 : 5, centred in the box: a body with two grips, a cross of
// direction keys on the left and four round buttons on the right.
void remotePicturePaint(QPainter& painter, const QRectF& box, const RemotePictureStyle& style) {
    const double width = std::min(box.width(), box.height() * 8.0 / 5.0);
    const double height = width * 5.0 / 8.0;
    const QRectF frame(box.center().x() - width / 2, box.center().y() - height / 2, width, height);
    const double unit = width / 16.0;
    auto at = [&](double x, double y) { return QPointF(frame.left() + x * unit, frame.top() + y * unit); };

    QPainterPath body;
    body.moveTo(at(4, 1));
    body.lineTo(at(12, 1));
    body.cubicTo(at(15, 1), at(16, 4), at(16, 7));
    body.cubicTo(at(16, 9.5), at(14, 10), at(12.5, 8));
    body.lineTo(at(11.5, 7));
    body.lineTo(at(4.5, 7));
    body.lineTo(at(3.5, 8));
    body.cubicTo(at(2, 10), at(0, 9.5), at(0, 7));
    body.cubicTo(at(0, 4), at(1, 1), at(4, 1));
    body.closeSubpath();

    const double arm = unit * 0.7;
    const QPointF pad = at(4, 4);
    const double radius = unit * 0.55;
    QPainterPath controls;
    controls.setFillRule(Qt::WindingFill);
    controls.addRect(QRectF(pad.x() - 2 * arm, pad.y() - arm / 2, 4 * arm, arm));
    controls.addRect(QRectF(pad.x() - arm / 2, pad.y() - 2 * arm, arm, 4 * arm));
    for (const QPointF& centre : {at(12, 2.9), at(12, 5.1), at(10.9, 4), at(13.1, 4)})
        controls.addEllipse(centre, radius, radius);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(style.body);
    if (style.cutOutControls) {
        // No outline: it would narrow the holes.
        painter.setPen(Qt::NoPen);
        painter.drawPath(body.subtracted(controls));
    } else {
        painter.setPen(QPen(style.outline, std::max(1.0, unit * 0.5)));
        painter.drawPath(body);
        painter.setPen(Qt::NoPen);
        painter.setBrush(style.controls);
        painter.drawPath(controls);
    }
    painter.restore();
}

class RemotePictureEngine final : public QIconEngine {
public:
    RemotePictureEngine(std::string_view name, RemotePictureStyle style)
        : name_(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()))), style_(style) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
        remotePicturePaint(*painter, rect, style_);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        QPixmap picture(size);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return picture;
    }

    QIconEngine* clone() const override { return new RemotePictureEngine(*this); }
    QString key() const override { return QStringLiteral("vantle.remotePicture"); }
    QString iconName() override { return name_; }

private:
    RemotePictureEngine(const RemotePictureEngine&) = default;

    QString name_;
    RemotePictureStyle style_;
};

} // namespace

QIcon remotePicture(std::string_view name) {
    std::optional<RemotePictureStyle> style = remotePictureStyle(name);
    if (!style) return {};
    // QIcon takes ownership of its engine.
    return QIcon(new RemotePictureEngine(name, *style));
}

} // namespace vantle

#include "Source/views/NoticeFade.h"

#include <QGraphicsOpacityEffect>
#include <QPointF>
#include <QPropertyAnimation>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace vantle {

QEasingCurve noticeFadeCurve() {
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.42, 0.0), QPointF(1.0, 1.0), QPointF(1.0, 1.0));
    return curve;
}

QPropertyAnimation* startNoticeFade(QWidget& notice, double seconds) {
    auto* effect = new QGraphicsOpacityEffect(&notice);
    effect->setOpacity(1.0);
    notice.setGraphicsEffect(effect);

    // A day is far beyond any notice; the bound keeps the milliseconds inside an int.
    const double length = std::isfinite(seconds) ? std::clamp(seconds, 0.0, 86400.0) : 0.0;
    auto* fade = new QPropertyAnimation(effect, "opacity", &notice);
    fade->setDuration(static_cast<int>(std::lround(length * 1000.0)));
    fade->setStartValue(1.0);
    fade->setEndValue(0.0);
    fade->setEasingCurve(noticeFadeCurve());
    QObject::connect(fade, &QAbstractAnimation::finished, &notice, &QObject::deleteLater);
    fade->start();
    return fade;
}

} // namespace vantle

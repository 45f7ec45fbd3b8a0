#include "Source/views/ClockGeometry.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <numbers>

namespace vantle {

namespace {

// Past this many seconds since arming, the overrun shows as a disc: a wedge could no longer tell
// a few minutes from an hour and a few minutes.
constexpr double clockDiscAfterSeconds = 3540.0;

double clockDegreesToRadians(double degrees) {
    return degrees * std::numbers::pi / 180.0;
}

} // namespace

TimeOfDay localTimeOfDay(platform::Date date) {
    const std::time_t seconds = static_cast<std::time_t>(std::floor(date.timeIntervalSince1970()));
    std::tm local{};
    if (!localtime_r(&seconds, &local)) return {};
    return TimeOfDay{local.tm_hour, local.tm_min, std::min(local.tm_sec, 59)};
}

ClockMeasures clockMeasures(const QRectF& bounds) {
    ClockMeasures measures;
    measures.side = std::min(bounds.width(), bounds.height());
    measures.centre = bounds.center();
    measures.faceRadius = measures.side / 2.5;
    measures.baseWidth = measures.side / 20.0;
    measures.breakRadius = measures.side / 2.64;
    return measures;
}

QPointF clockHandPoint(QPointF centre, double position, double radius) {
    const double theta = (0.5 - position) * 2.0 * std::numbers::pi;
    return QPointF(centre.x() + radius * std::sin(theta), centre.y() + radius * std::cos(theta));
}

QPointF clockAnglePoint(QPointF centre, double angle, double radius) {
    const double radians = clockDegreesToRadians(angle);
    return QPointF(centre.x() + radius * std::cos(radians), centre.y() + radius * std::sin(radians));
}

std::vector<ClockStroke> clockFaceStrokes(const ClockMeasures& measures, TimeOfDay time,
                                          double hourSizeFraction, bool withSeconds) {
    const double r = measures.faceRadius;
    const double w = measures.baseWidth;
    std::vector<ClockStroke> strokes;
    for (int i = 0; i < 12; ++i) {
        const double width = i % 3 == 0 ? w / 1.25 : w / 2.5;
        strokes.push_back({ClockStroke::Role::tick, i / 12.0, 0.9 * r, r, width, Qt::SquareCap});
    }
    const int hour = time.hour % 12;
    strokes.push_back({ClockStroke::Role::hour, hour / 12.0 + time.minute / 720.0, 0.0, r * hourSizeFraction,
                       w / hourSizeFraction, Qt::RoundCap});
    strokes.push_back(
        {ClockStroke::Role::minute, time.minute / 60.0 + time.second / 3600.0, 0.0, r, w, Qt::RoundCap});
    if (withSeconds)
        strokes.push_back({ClockStroke::Role::second, time.second / 60.0, 0.0, r, w * 0.25, Qt::RoundCap});
    return strokes;
}

double clockMinuteAngle(TimeOfDay time) {
    return 360.0 * (time.minute / 60.0 + time.second / 3600.0) - 90.0;
}

std::optional<double> breakRemainingFraction(std::optional<platform::Date> timeArmed, double armedLength,
                                             platform::Date now) {
    if (!timeArmed || !(armedLength > 0) || !std::isfinite(armedLength)) return std::nullopt;
    const double elapsed = std::max(0.0, now.timeIntervalSince(*timeArmed));
    if (elapsed >= armedLength) return std::nullopt;
    return 1.0 - elapsed / armedLength;
}

std::optional<RestArc> clockRestArc(const ClockMeasures& measures, std::optional<double> remainingFraction) {
    if (!remainingFraction) return std::nullopt;
    RestArc rest;
    rest.arc = ClockArc{measures.centre, measures.breakRadius, -90.0, 342.0 * *remainingFraction};
    rest.lineWidth = measures.side * 0.125;
    return rest;
}

std::optional<OverrunWedge> clockOverrunWedge(const ClockMeasures& measures,
                                              std::optional<platform::Date> timeArmed,
                                              std::optional<double> remainingFraction, platform::Date now) {
    if (!timeArmed || remainingFraction) return std::nullopt;
    OverrunWedge wedge;
    wedge.lineWidth = measures.side / 40.0;
    if (now > timeArmed->addingTimeInterval(clockDiscAfterSeconds)) {
        wedge.disc = true;
        wedge.arc = ClockArc{measures.centre, measures.breakRadius / 2.0, 0.0, 360.0};
        return wedge;
    }
    const double from = clockMinuteAngle(localTimeOfDay(*timeArmed));
    const double to = clockMinuteAngle(localTimeOfDay(now));
    // Clockwise from the arm time's minute to now's, across 12 o'clock when now's lies before it.
    const double sweep = std::fmod(to - from + 360.0, 360.0);
    wedge.arc = ClockArc{measures.centre, measures.breakRadius, from, sweep};
    return wedge;
}

QPainterPath clockArcPath(const ClockArc& arc, bool fromCentre) {
    const QRectF circle(arc.centre.x() - arc.radius, arc.centre.y() - arc.radius, 2 * arc.radius,
                        2 * arc.radius);
    QPainterPath path;
    // Qt counts angles counter-clockwise on screen; the clock's run clockwise.
    if (fromCentre)
        path.moveTo(arc.centre);
    else
        path.arcMoveTo(circle, -arc.startAngle);
    path.arcTo(circle, -arc.startAngle, -arc.sweep);
    if (fromCentre) path.closeSubpath();
    return path;
}

} // namespace vantle

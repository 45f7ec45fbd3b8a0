#pragma once
// The analog clock's geometry as plain functions of the bounds, the time and the break: where its
// ticks, hands, break arc and overrun wedge go. Any thread.
//
// Coordinates are the widget's, y pointing down. Positions are fractions of a turn clockwise from
// 12 o'clock (0.25 is 3 o'clock). Angles are degrees with 0 at 3 o'clock, growing clockwise on
// screen, so 12 o'clock is -90.

#include "platform/foundation/Date.h"

#include <QPainterPath>
#include <QPointF>
#include <QRectF>

#include <optional>
#include <vector>

namespace vantle {

// Hour (0-23), minute and whole second of a date on the local clock (the process's time zone).
struct TimeOfDay {
    int hour = 0;
    int minute = 0;
    int second = 0;
};
TimeOfDay localTimeOfDay(platform::Date date);

// The measures every part of the clock is sized by.
struct ClockMeasures {
    double side = 0;        // S: the smaller of the bounds' width and height
    QPointF centre;         // C: the middle of the bounds
    double faceRadius = 0;  // S / 2.5
    double baseWidth = 0;   // S / 20, the minute hand's width
    double breakRadius = 0; // S / 2.64, the radius of the break arc and of the overrun wedge
};
ClockMeasures clockMeasures(const QRectF& bounds);

// The point at `radius` from `centre` in the direction of `position`.
QPointF clockHandPoint(QPointF centre, double position, double radius);
// The point at `radius` from `centre` at `angle`.
QPointF clockAnglePoint(QPointF centre, double angle, double radius);

// One radial stroke of the face: a tick mark or a hand.
struct ClockStroke {
    enum class Role { tick, hour, minute, second };
    Role role = Role::tick;
    double position = 0;
    double innerRadius = 0;
    double outerRadius = 0;
    double width = 0;
    Qt::PenCapStyle cap = Qt::RoundCap;
};
// The twelve ticks (heavier at 12, 3, 6 and 9), then the hour and minute hands, then the seconds
// hand when asked for.
std::vector<ClockStroke> clockFaceStrokes(const ClockMeasures& measures, TimeOfDay time,
                                          double hourSizeFraction, bool withSeconds);

// The direction of the minute hand at a time, as an angle.
double clockMinuteAngle(TimeOfDay time);

// The share of a break that remains, 1 at arming and falling towards 0; nothing when no break is
// armed, when its length is not positive, or once its time is over. A clock set back before the
// arm time counts as the moment of arming.
std::optional<double> breakRemainingFraction(std::optional<platform::Date> timeArmed, double armedLength,
                                             platform::Date now);

// An arc from `startAngle` sweeping `sweep` degrees clockwise on screen.
struct ClockArc {
    QPointF centre;
    double radius = 0;
    double startAngle = 0;
    double sweep = 0;
};

// The green arc of the time a running break has left: from 12 o'clock clockwise over 342 degrees
// times the remaining share; nothing without a remaining share.
struct RestArc {
    ClockArc arc;
    double lineWidth = 0; // S × 0.125
};
std::optional<RestArc> clockRestArc(const ClockMeasures& measures, std::optional<double> remainingFraction);

// The red mark of a break whose time is over: a pie wedge from the minute position at which the
// break was armed clockwise to the current one, or, once more than 59 minutes have passed since
// arming, a disc of half the break radius. Nothing without an arm time or while the break runs.
struct OverrunWedge {
    bool disc = false;
    ClockArc arc;         // for the disc, the full circle from 0 degrees
    double lineWidth = 0; // S / 40
};
std::optional<OverrunWedge> clockOverrunWedge(const ClockMeasures& measures,
                                              std::optional<platform::Date> timeArmed,
                                              std::optional<double> remainingFraction, platform::Date now);

// The arc as a path; from the centre and closed for a wedge or disc.
QPainterPath clockArcPath(const ClockArc& arc, bool fromCentre);

} // namespace vantle

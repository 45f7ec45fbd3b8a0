// The clock's geometry: ticks and hands for given times, the break arc and the overrun wedge.

#include "Source/views/ClockGeometry.h"
#include "tests/support/Clocks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>

namespace vantle {
namespace {

void expectPoint(QPointF actual, double x, double y) {
    EXPECT_NEAR(actual.x(), x, 1e-9);
    EXPECT_NEAR(actual.y(), y, 1e-9);
}

// The direction of a position as a clock angle in [-90, 270).
double clockGeomAngleOf(QPointF centre, QPointF point) {
    double angle = std::atan2(point.y() - centre.y(), point.x() - centre.x()) * 180.0 / M_PI;
    if (angle < -90.0) angle += 360.0;
    return angle;
}

TEST(ClockGeometry, MeasuresFollowTheShorterSideAndCentreTheFace) {
    const ClockMeasures wide = clockMeasures(QRectF(10, 20, 300, 200));
    EXPECT_DOUBLE_EQ(wide.side, 200.0);
    expectPoint(wide.centre, 160.0, 120.0);
    EXPECT_DOUBLE_EQ(wide.faceRadius, 80.0);
    EXPECT_DOUBLE_EQ(wide.baseWidth, 10.0);
    EXPECT_DOUBLE_EQ(wide.breakRadius, 200.0 / 2.64);

    const ClockMeasures tall = clockMeasures(QRectF(0, 0, 50, 400));
    EXPECT_DOUBLE_EQ(tall.side, 50.0);
    expectPoint(tall.centre, 25.0, 200.0);
}

TEST(ClockGeometry, HandPositionsRunClockwiseFromTwelveInAYDownSpace) {
    const QPointF c(100, 50);
    expectPoint(clockHandPoint(c, 0.0, 40), 100, 10);
    expectPoint(clockHandPoint(c, 0.25, 40), 140, 50);
    expectPoint(clockHandPoint(c, 0.5, 40), 100, 90);
    expectPoint(clockHandPoint(c, 0.75, 40), 60, 50);
    // Angles point the same way as positions: 12 o'clock at -90, 3 o'clock at 0.
    expectPoint(clockAnglePoint(c, -90, 40), 100, 10);
    expectPoint(clockAnglePoint(c, 0, 40), 140, 50);
    expectPoint(clockAnglePoint(c, 90, 40), 100, 90);
}

TEST(ClockGeometry, TicksAreHeavierAtTheQuarterHours) {
    const ClockMeasures m = clockMeasures(QRectF(0, 0, 300, 200)); // R = 80, W = 10
    const std::vector<ClockStroke> strokes = clockFaceStrokes(m, TimeOfDay{}, 0.7, false);
    ASSERT_EQ(strokes.size(), 14u);
    for (int i = 0; i < 12; ++i) {
        const ClockStroke& tick = strokes[static_cast<std::size_t>(i)];
        EXPECT_EQ(tick.role, ClockStroke::Role::tick);
        EXPECT_DOUBLE_EQ(tick.position, i / 12.0);
        EXPECT_DOUBLE_EQ(tick.innerRadius, 72.0);
        EXPECT_DOUBLE_EQ(tick.outerRadius, 80.0);
        EXPECT_DOUBLE_EQ(tick.width, i % 3 == 0 ? 8.0 : 4.0) << "tick " << i;
        EXPECT_EQ(tick.cap, Qt::SquareCap);
    }
    expectPoint(clockHandPoint(m.centre, strokes[0].position, strokes[0].outerRadius), 150, 20);
    expectPoint(clockHandPoint(m.centre, strokes[3].position, strokes[3].outerRadius), 230, 100);
    expectPoint(clockHandPoint(m.centre, strokes[9].position, strokes[9].innerRadius), 78, 100);
}

TEST(ClockGeometry, HandsShowTheTime) {
    const ClockMeasures m = clockMeasures(QRectF(0, 0, 300, 200));

    for (int hour : {0, 12}) {
        const std::vector<ClockStroke> noon = clockFaceStrokes(m, TimeOfDay{hour, 0, 0}, 0.7, false);
        EXPECT_DOUBLE_EQ(noon[12].position, 0.0) << "hour hand straight up at " << hour << ":00";
        EXPECT_DOUBLE_EQ(noon[13].position, 0.0);
    }

    const std::vector<ClockStroke> halfPastThree = clockFaceStrokes(m, TimeOfDay{15, 30, 0}, 0.7, false);
    const ClockStroke& hour = halfPastThree[12];
    EXPECT_EQ(hour.role, ClockStroke::Role::hour);
    EXPECT_NEAR(hour.position, (3.0 / 12 + 4.0 / 12) / 2, 1e-12) << "halfway between 3 and 4";
    EXPECT_DOUBLE_EQ(hour.innerRadius, 0.0);
    EXPECT_DOUBLE_EQ(hour.outerRadius, 56.0);
    EXPECT_DOUBLE_EQ(hour.width, 10.0 / 0.7);
    EXPECT_EQ(hour.cap, Qt::RoundCap);
    const ClockStroke& minute = halfPastThree[13];
    EXPECT_EQ(minute.role, ClockStroke::Role::minute);
    EXPECT_DOUBLE_EQ(minute.position, 0.5);
    EXPECT_DOUBLE_EQ(minute.outerRadius, 80.0);
    EXPECT_DOUBLE_EQ(minute.width, 10.0);

    // The minute hand creeps with the seconds; the seconds hand is drawn only when asked for.
    const std::vector<ClockStroke> withSeconds = clockFaceStrokes(m, TimeOfDay{10, 15, 30}, 0.5, true);
    ASSERT_EQ(withSeconds.size(), 15u);
    EXPECT_NEAR(withSeconds[12].position, 10.0 / 12 + 15.0 / 720, 1e-12);
    EXPECT_DOUBLE_EQ(withSeconds[12].outerRadius, 40.0);
    EXPECT_DOUBLE_EQ(withSeconds[12].width, 20.0);
    EXPECT_NEAR(withSeconds[13].position, 15.0 / 60 + 30.0 / 3600, 1e-12);
    EXPECT_EQ(withSeconds[14].role, ClockStroke::Role::second);
    EXPECT_DOUBLE_EQ(withSeconds[14].position, 0.5);
    EXPECT_DOUBLE_EQ(withSeconds[14].width, 2.5);
}

TEST(ClockGeometry, LocalTimeOfDayAndMinuteAngles) {
    const TimeOfDay t = localTimeOfDay(testsupport::localDate(2024, 3, 14, 15, 7, 42));
    EXPECT_EQ(t.hour, 15);
    EXPECT_EQ(t.minute, 7);
    EXPECT_EQ(t.second, 42);
    // A fraction of a second is not a second yet.
    EXPECT_EQ(localTimeOfDay(testsupport::localDate(2024, 3, 14, 15, 7, 42).addingTimeInterval(0.999)).second,
              42);

    EXPECT_DOUBLE_EQ(clockMinuteAngle(TimeOfDay{3, 0, 0}), -90.0);
    EXPECT_DOUBLE_EQ(clockMinuteAngle(TimeOfDay{3, 15, 0}), 0.0);
    EXPECT_DOUBLE_EQ(clockMinuteAngle(TimeOfDay{3, 28, 30}), 81.0);
    EXPECT_DOUBLE_EQ(clockMinuteAngle(TimeOfDay{3, 50, 0}), 210.0);
    EXPECT_DOUBLE_EQ(clockMinuteAngle(TimeOfDay{4, 10, 0}), -30.0);
}

TEST(ClockGeometry, RemainingShareUsesTheLengthTheBreakWasArmedWith) {
    const platform::Date armed = testsupport::localDate(2024, 3, 14, 10, 0, 0);
    // A five-minute break is half over after 2.5 minutes, whatever the default break length.
    EXPECT_DOUBLE_EQ(*breakRemainingFraction(armed, 300, armed), 1.0);
    EXPECT_DOUBLE_EQ(*breakRemainingFraction(armed, 300, armed.addingTimeInterval(150)), 0.5);
    EXPECT_NEAR(*breakRemainingFraction(armed, 300, armed.addingTimeInterval(299.9)), 0.1 / 300, 1e-9);
    EXPECT_FALSE(breakRemainingFraction(armed, 300, armed.addingTimeInterval(300)));
    EXPECT_FALSE(breakRemainingFraction(armed, 300, armed.addingTimeInterval(4000)));
    EXPECT_FALSE(breakRemainingFraction(std::nullopt, 300, armed));
    EXPECT_FALSE(breakRemainingFraction(armed, 0, armed));
    EXPECT_FALSE(breakRemainingFraction(armed, std::nan(""), armed));
    // A clock set back before the arm time shows a whole break, not more.
    EXPECT_DOUBLE_EQ(*breakRemainingFraction(armed, 300, armed.addingTimeInterval(-60)), 1.0);
}

TEST(ClockGeometry, RestArcRunsClockwiseFromTwelveOverTheRemainingShare) {
    const ClockMeasures m = clockMeasures(QRectF(0, 0, 300, 200));
    EXPECT_FALSE(clockRestArc(m, std::nullopt));

    const RestArc full = *clockRestArc(m, 1.0);
    EXPECT_DOUBLE_EQ(full.arc.startAngle, -90.0);
    EXPECT_DOUBLE_EQ(full.arc.sweep, 342.0);
    EXPECT_DOUBLE_EQ(360.0 - full.arc.sweep, 18.0) << "the gap before 12 o'clock";
    EXPECT_DOUBLE_EQ(full.arc.radius, 200.0 / 2.64);
    EXPECT_DOUBLE_EQ(full.lineWidth, 25.0);
    expectPoint(full.arc.centre, 150, 100);

    const RestArc half = *clockRestArc(m, 0.5);
    EXPECT_DOUBLE_EQ(half.arc.sweep, 171.0);
    EXPECT_DOUBLE_EQ(half.arc.startAngle + half.arc.sweep, clockMinuteAngle(TimeOfDay{0, 28, 30}));

    // The drawn path starts at 12 o'clock and runs clockwise on screen: a quarter-share arc stays
    // in the upper right and ends just above 3 o'clock.
    const QPainterPath quarter = clockArcPath(clockRestArc(m, 0.25)->arc, false);
    const double r = m.breakRadius;
    EXPECT_NEAR(quarter.pointAtPercent(0).x(), 150, 1e-6);
    EXPECT_NEAR(quarter.pointAtPercent(0).y(), 100 - r, 1e-6);
    EXPECT_NEAR(clockGeomAngleOf(m.centre, quarter.pointAtPercent(0.5)), -90 + 85.5 / 2, 0.5);
    EXPECT_NEAR(clockGeomAngleOf(m.centre, quarter.pointAtPercent(1)), -4.5, 0.5);
}

TEST(ClockGeometry, OverrunWedgeFromTheArmedMinuteToNow) {
    const ClockMeasures m = clockMeasures(QRectF(0, 0, 300, 200));
    const platform::Date armed = testsupport::localDate(2024, 3, 14, 10, 50, 0);
    const platform::Date now = testsupport::localDate(2024, 3, 14, 11, 10, 0);

    // No arm time, or a break still running: no wedge.
    EXPECT_FALSE(clockOverrunWedge(m, std::nullopt, std::nullopt, now));
    EXPECT_FALSE(clockOverrunWedge(m, armed, 0.2, now));

    // The moment a 20-minute break's time is over, the arc vanishes and the wedge appears.
    const double length = 20 * 60;
    EXPECT_TRUE(clockRestArc(m, breakRemainingFraction(armed, length, now.addingTimeInterval(-0.5))));
    EXPECT_FALSE(clockOverrunWedge(m, armed,
                                   breakRemainingFraction(armed, length, now.addingTimeInterval(-0.5)),
                                   now.addingTimeInterval(-0.5)));
    const std::optional<double> over = breakRemainingFraction(armed, length, now);
    EXPECT_FALSE(clockRestArc(m, over));
    const OverrunWedge wedge = *clockOverrunWedge(m, armed, over, now);
    EXPECT_FALSE(wedge.disc);
    EXPECT_DOUBLE_EQ(wedge.arc.startAngle, 210.0) << "the 50-minute position";
    EXPECT_DOUBLE_EQ(wedge.arc.startAngle + wedge.arc.sweep - 360.0, -30.0) << "the 10-minute position";
    EXPECT_DOUBLE_EQ(wedge.arc.sweep, 120.0);
    EXPECT_DOUBLE_EQ(wedge.arc.radius, 200.0 / 2.64);
    EXPECT_DOUBLE_EQ(wedge.lineWidth, 5.0);

    // Clockwise across 12 o'clock: the wedge covers the top of the face, not the bottom.
    const QPainterPath path = clockArcPath(wedge.arc, true);
    EXPECT_TRUE(path.contains(clockAnglePoint(m.centre, -90, m.breakRadius / 2)));
    EXPECT_TRUE(path.contains(clockAnglePoint(m.centre, 220, m.breakRadius / 2)));
    EXPECT_FALSE(path.contains(clockAnglePoint(m.centre, 90, m.breakRadius / 2)));
    EXPECT_FALSE(path.contains(clockAnglePoint(m.centre, 0, m.breakRadius / 2)));

    // Within 59 minutes of arming a wedge, later a disc of half the radius.
    EXPECT_FALSE(clockOverrunWedge(m, armed, std::nullopt, armed.addingTimeInterval(3540))->disc);
    const OverrunWedge disc = *clockOverrunWedge(m, armed, std::nullopt, armed.addingTimeInterval(3541));
    EXPECT_TRUE(disc.disc);
    EXPECT_DOUBLE_EQ(disc.arc.radius, 200.0 / 5.28);
    EXPECT_DOUBLE_EQ(disc.arc.sweep, 360.0);
    const QPainterPath discPath = clockArcPath(disc.arc, true);
    EXPECT_TRUE(discPath.contains(clockAnglePoint(m.centre, 135, disc.arc.radius * 0.8)));
    EXPECT_FALSE(discPath.contains(clockAnglePoint(m.centre, 135, disc.arc.radius * 1.2)));
}

} // namespace
} // namespace vantle

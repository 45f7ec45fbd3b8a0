#pragma once
// The fade-out shared by the text and image notices. Main thread.

#include <QEasingCurve>

class QPropertyAnimation;
class QWidget;

namespace vantle {

// The ease-in timing function of the notices' fades: the cubic Bézier from (0, 0) through the
// control points (0.42, 0) and (1, 1) to (1, 1), so a notice stays nearly opaque at first and
// vanishes quickly at the end.
QEasingCurve noticeFadeCurve();

// Puts `notice` at full opacity and starts fading it to transparent over `seconds` (a negative or
// non-finite length fades at once); when the fade ends the notice is deleted. The animation is a
// child of the notice, so it goes with it.
QPropertyAnimation* startNoticeFade(QWidget& notice, double seconds);

} // namespace vantle

#include "Source/mainwindow/RealParts.h"

#include "Source/mainwindow/MainViewController.h"

namespace vantle {

MainViewParts realMainViewParts(const RealPartsServices& services) {
    MainViewParts parts;
    parts.timeSlider = [](MainViewController& controller) {
        return std::make_unique<TimeSliderAdapter>(controller);
    };
    parts.transport = [gameControllers = services.gameControllers](MainViewController& controller) {
        return std::make_unique<TransportAdapter>(controller, controller.doNotDisturb(), gameControllers);
    };
    parts.notices = [](MainViewController&) { return std::make_unique<NoticesAdapter>(); };
    parts.screensaver = [](MainViewController& controller) {
        return std::make_unique<ScreensaverAdapter>(controller.player(), controller.restTimerState(),
                                                    controller.clock(), controller.scheduler());
    };
    return parts;
}

} // namespace vantle

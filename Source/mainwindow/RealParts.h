#pragma once
// The application's own parts for the main view: the time slider, the transport panel (with the
// game-controller remote), the notices and the screensaver. Main thread only.

#include "Source/mainwindow/MainViewParts.h"
#include "Source/mainwindow/RealPartAdapters.h"

namespace platform {
class GameControllerCenter;
}

namespace vantle {

// What the application's own parts need beyond the main view controller. Not owned; must outlive
// the main window.
struct RealPartsServices {
    // The controllers the remote listens to; null: no remote.
    platform::GameControllerCenter* gameControllers = nullptr;
};

// The time slider, the transport panel with the remote over the given controllers, the notices and
// the screensaver; the other parts are the ones the main view makes when no factory is given.
MainViewParts realMainViewParts(const RealPartsServices& services);

} // namespace vantle

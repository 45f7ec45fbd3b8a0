#include "Source/session/AppServices.h"

namespace vantle {

namespace {

struct AppServicesRegistry {
    MainWindowServices* mainWindow = nullptr;
    MenuItem* undoItem = nullptr;
    MenuItem* redoItem = nullptr;
};

AppServicesRegistry& appServicesRegistry() {
    static AppServicesRegistry registry;
    return registry;
}

} // namespace

MainWindowServices* AppServices::mainWindow() {
    return appServicesRegistry().mainWindow;
}

MenuItem* AppServices::undoMenuItem() {
    return appServicesRegistry().undoItem;
}

MenuItem* AppServices::redoMenuItem() {
    return appServicesRegistry().redoItem;
}

void AppServices::setMainWindow(MainWindowServices* mainWindow) {
    appServicesRegistry().mainWindow = mainWindow;
}

void AppServices::setMenuItems(MenuItem* undoItem, MenuItem* redoItem) {
    appServicesRegistry().undoItem = undoItem;
    appServicesRegistry().redoItem = redoItem;
}

} // namespace vantle

#include "Source/mainwindow/MainViewHolder.h"

namespace vantle {

namespace {

MainViewHolder* sharedMainViewHolder = nullptr;

} // namespace

MainViewHolder* MainViewHolder::shared() {
    return sharedMainViewHolder;
}

void MainViewHolder::setShared(MainViewHolder* holder) {
    sharedMainViewHolder = holder;
}

} // namespace vantle

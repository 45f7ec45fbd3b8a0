#pragma once
// The pictures of the game-controller remote that the transport panel shows, by their resource
// names: "remoteImage" (no controller), "remote2-yellow" (a controller connected) and
// "remoteNotifier" (the notice shown when the set of controllers changes). Main thread.

#include <QIcon>

#include <string_view>

namespace vantle {

// The picture of that name, drawn at any size; a null icon for a name that is not one of them.
QIcon remotePicture(std::string_view name);

} // namespace vantle

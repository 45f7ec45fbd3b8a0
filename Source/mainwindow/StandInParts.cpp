#include "Source/mainwindow/StandInParts.h"

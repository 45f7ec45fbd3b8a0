#pragma once
// The main of a benchmark that draws with Qt: fonts need the application's font database, and no
// display is needed to draw into an image.

#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace benchgui {

inline int runBenchmarks(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace benchgui

// A song whose file is a FIFO, a device or a socket by now: the window asks for no picture of it (the
// player has said why it cannot be played), and one handed over is refused as no regular file.

#include "tests/Source/mainwindow/MainWindowTestSupport.h"

#include <QApplication>

#include <filesystem>
#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace vantle::testing {
namespace {

using ::testing::HasSubstr;

TEST_F(MainWindowTest, ASessionSongAtAFifoGetsNoPictureHoweverOftenItIsTried) {
    const platform::Url a = audioFile("a.wav", 10), b = audioFile("b.wav", 10);
    const platform::Url friday = audioFolder.url("Friday.vantle");
    writeSession(friday, {a, b}, 1);
    std::filesystem::remove(b.path());
    ASSERT_EQ(::mkfifo(b.path().c_str(), 0600), 0);
    start();
    activate();
    ASSERT_TRUE(delegate->openFile(friday.path()));
    ASSERT_EQ(playlist().assignedEntry, entry(1));
    EXPECT_FALSE(player->entry());
    // Chosen again, as a user tries it: the player looks for it each time.
    const int sets = player->entrySets;
    view().loadEntryAtRow(1);
    view().loadEntryAtRow(1);
    EXPECT_EQ(player->entrySets, sets + 2);
    for (const auto& request : waveform->requests)
        EXPECT_NE(request.first, entry(1));

    // The other song opens, and its picture is drawn.
    view().loadEntryAtRow(0);
    ASSERT_EQ(player->entry(), entry(0));
    ASSERT_FALSE(waveform->requests.empty());
    EXPECT_EQ(waveform->requests.back().first, entry(0));
}

TEST_F(MainWindowTest, AFifoHandedOverIsRefusedAsNoRegularFile) {
    const std::string fifo = audioFolder.file("song.wav");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    start();
    activate();
    EXPECT_FALSE(delegate->openFile(fifo));
    ASSERT_EQ(alerts.requests().size(), 1u);
    EXPECT_THAT(alerts.requests()[0].options.informativeText, HasSubstr(fifo + ": not a regular file"));
}

TEST_F(MainWindowTest, ASystemFileHandedOverIsRefusedAsNoAudio) {
    const std::string system = audioFolder.file("environ.wav");
    std::filesystem::create_symlink("/proc/self/environ", system);
    start();
    activate();
    EXPECT_FALSE(delegate->openFile(system));
    ASSERT_EQ(alerts.requests().size(), 1u);
    EXPECT_THAT(alerts.requests()[0].options.informativeText,
                HasSubstr(system + ": it is a system file, not audio"));
}

} // namespace
} // namespace vantle::testing

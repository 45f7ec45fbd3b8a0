// A file copied over while it plays: the main window, on the real player, shows its new length.

#include "tests/Source/mainwindow/RealPartsTestSupport.h"

#include "Source/playback/PlayerRZ.h"
#include "Source/views/PlaylistTableModel.h"
#include "Source/views/TimeSlider.h"
#include "Source/views/TimeSliderButton.h"
#include "platform/audio/NullAudioDevice.h"

#include <QLabel>

#include <gtest/gtest.h>

#include <filesystem>

namespace vantle::testing {
namespace {

class ReloadedFileTest : public RealPartsTest {
protected:
    void SetUp() override {
        RealPartsTest::SetUp();
        configureEnvironment = [parts = configureEnvironment](MainViewEnvironment& environment) {
            parts(environment);
            environment.makePlayer = [] {
                platform::NullAudioDevice::Configuration fast;
                fast.pacing = platform::NullAudioDevice::Pacing::asFastAsPossible;
                return std::make_unique<PlayerRZ>(std::make_unique<platform::NullAudioDevice>(fast));
            };
        };
    }

    std::string cell(PlaylistColumn column) {
        const PlaylistTableModel& model = view().tableView().playlistModel();
        return model.index(0, PlaylistTableModel::columnIndex(column)).data().toString().toStdString();
    }
};

TEST_F(ReloadedFileTest, TheNewLengthReachesTheTextsTheSliderItsMarksAndTheTable) {
    start();
    activate();
    const platform::Url song = audioFile("song.wav", 178.0);
    const platform::Url shorter = audioFile("shorter.wav", 62.0);
    view().insertEntries({song});
    playlist().allEntries[0]->zeros = {30.0};
    view().loadEntryAtRow(0);
    playlist().dirty = false;
    auto* slider = window->findChild<TimeSlider*>("timeSlider");
    ASSERT_NE(slider, nullptr);
    ASSERT_EQ(slider->zeroButtons().size(), 1u);
    const double zeroXBefore = slider->zeroButtons()[0]->frameF().center().x();
    EXPECT_EQ(slider->maxValue(), 178.0);
    EXPECT_EQ(text(view().timeRemainingText().text()), " 2:58");
    EXPECT_EQ(cell(PlaylistColumn::Duration), " 2:58");

    view().transport().playPressed();
    ASSERT_TRUE(view().player().isPlaying());
    std::filesystem::copy_file(shorter.path(), song.path(),
                               std::filesystem::copy_options::overwrite_existing);
    ASSERT_TRUE(platform::mainQueue().drainUntil([&] { return slider->maxValue() != 178.0; }, 10.0));

    EXPECT_EQ(slider->maxValue(), 62.0);
    ASSERT_EQ(slider->zeroButtons().size(), 1u);
    EXPECT_GT(slider->zeroButtons()[0]->frameF().center().x(), zeroXBefore) << "30 s of 62, not of 178";
    EXPECT_EQ(text(view().timeRemainingText().text()), " 1:02");
    EXPECT_EQ(cell(PlaylistColumn::Duration), " 1:02");
    EXPECT_EQ(playlist().allEntries[0]->_cachedDuration, 62.0);
    EXPECT_TRUE(playlist().dirty) << "the session stores the length";
}

} // namespace
} // namespace vantle::testing

// The main view's parts against recording hosts, without a main view controller: the note field,
// the side-document row, the sound panel, and the delegate as the holder of the main view.

#include "Source/mainwindow/AppDelegate.h"
#include "Source/mainwindow/AttachmentStack.h"
#include "Source/mainwindow/InterceptingTextField.h"
#include "Source/mainwindow/MainViewHolder.h"
#include "Source/mainwindow/SoundPanel.h"
#include "Source/session/Attachment.h"
#include "Source/session/PlaylistEntry.h"
#include "Source/session/TextNote.h"
#include "tests/Source/session/SessionFakes.h"

#include <QContextMenuEvent>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace vantle::testing {
namespace {

class RecordingNoteFieldHost final : public NoteFieldHost {
public:
    void beginNoteAtCurrentTime() override { ++begun; }
    void cancelOperation() override { ++cancelled; }
    const std::shared_ptr<TextNote>& currentNote() const override { return note; }
    void commitNoteEdit() override { ++committed; }

    std::shared_ptr<TextNote> note;
    int begun = 0;
    int cancelled = 0;
    int committed = 0;
};

TEST(NoteFieldHostTest, TheFieldBeginsOnceCancelsAndPutsTheStoredTextBack) {
    RecordingNoteFieldHost host;
    host.note = std::make_shared<TextNote>(2.0, "stored");
    InterceptingTextField field;
    field.setMainViewController(&host);

    QTest::mouseClick(&field, Qt::LeftButton);
    QTest::mouseClick(&field, Qt::LeftButton);
    EXPECT_EQ(host.begun, 1);
    EXPECT_TRUE(field.editing());
    EXPECT_FALSE(field.isReadOnly());

    QTest::keyClick(&field, Qt::Key_Escape);
    EXPECT_EQ(host.cancelled, 1);

    field.setText("typed");
    field.cancelEdit();
    EXPECT_EQ(field.text(), "stored");
    EXPECT_EQ(host.committed, 1);
    EXPECT_TRUE(field.isReadOnly());
}

class RecordingAttachmentStackHost final : public AttachmentStackHost {
public:
    struct Click {
        std::shared_ptr<Attachment> attachment;
        QWidget* button;
        bool contextClick;
    };
    void attachmentButtonClicked(const std::shared_ptr<Attachment>& attachment, QWidget* button,
                                 bool contextClick) override {
        clicks.push_back({attachment, button, contextClick});
    }
    void attachmentStackAddButtonPressed() override { ++addPresses; }

    std::vector<Click> clicks;
    int addPresses = 0;
};

TEST(AttachmentStackHostTest, TheButtonsReportTheirDocumentAndHowTheyWereClicked) {
    SessionTempFolder folder;
    std::shared_ptr<PlaylistEntry> entry = PlaylistEntry::make(writeSilentWav(folder.url("song.wav"), 1.0));
    ASSERT_TRUE(entry);
    auto notes = std::make_shared<Attachment>(folder.url("notes.pdf"), "pdf");
    entry->attachments = {notes};
    RecordingAttachmentStackHost host;
    AttachmentStack stack(host);
    stack.rebuild(entry);
    const std::vector<QPushButton*> buttons = stack.attachmentButtons();
    ASSERT_EQ(buttons.size(), 1u);

    QTest::mouseClick(stack.addButton(), Qt::LeftButton);
    EXPECT_EQ(host.addPresses, 1);

    QTest::mousePress(buttons[0], Qt::LeftButton);
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(1, 1));
    QApplication::sendEvent(buttons[0], &rightClick);
    ASSERT_EQ(host.clicks.size(), 2u);
    EXPECT_EQ(host.clicks[0].attachment, notes);
    EXPECT_EQ(host.clicks[0].button, buttons[0]);
    EXPECT_FALSE(host.clicks[0].contextClick);
    EXPECT_TRUE(host.clicks[1].contextClick);
}

class RecordingSoundPanelHost final : public SoundPanelHost {
public:
    void trebleChanged(double value) override { treble.push_back(value); }
    void panChanged(double value) override { pan.push_back(value); }

    std::vector<double> treble;
    std::vector<double> pan;
};

TEST(SoundPanelHostTest, TheHostGetsTheInitialValuesAndEveryChange) {
    RecordingSoundPanelHost host;
    SoundPanel panel(host);
    panel.audioModel().setTreble(2.5);
    panel.audioModel().setPan(-4.0);
    EXPECT_EQ(host.treble, (std::vector<double>{0.0, 2.5}));
    EXPECT_EQ(host.pan, (std::vector<double>{0.0, -4.0}));
}

TEST(MainViewHolderTest, TheDelegateIsTheSharedHolderWhileItLives) {
    {
        AppDelegate delegate(nullptr, false);
        EXPECT_EQ(MainViewHolder::shared(), &delegate);
        EXPECT_EQ(AppDelegate::shared(), &delegate);
    }
    EXPECT_EQ(MainViewHolder::shared(), nullptr);
    EXPECT_EQ(AppDelegate::shared(), nullptr);
}

} // namespace
} // namespace vantle::testing

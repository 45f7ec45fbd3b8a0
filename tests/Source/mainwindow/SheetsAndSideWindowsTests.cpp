#include "Source/mainwindow/PreferenceViewController.h"
#include "Source/mainwindow/PropertiesViewController.h"
#include "Source/session/Attachment.h"
#include "Source/views/PdfViewController.h"
#include "tests/Source/mainwindow/MainWindowTestSupport.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPdfDocument>
#include <QPdfWriter>
#include <QPushButton>
#include <QTest>

#include <gmock/gmock.h>

#include <filesystem>

namespace vantle::testing {
namespace {

class SheetTest : public MainWindowTest {
protected:
    platform::UserDefaults& defaults() { return platform::UserDefaults::standard(); }
    std::unique_ptr<PreferenceViewController> preferences() {
        return std::make_unique<PreferenceViewController>(
            PreferenceEnvironment{&defaults(), &panels, [this] { ++bells; }, {}}, window.get());
    }
    const platform::Url folder = platform::Url::fileURLWithPath("/music/tango", true);
    int bells = 0;
};

TEST_F(SheetTest, PreferencesWriteTheUserDefaultsAtOnceAndACancelledPanelChangesNothing) {
    start();
    auto sheet = preferences();
    EXPECT_EQ(sheet->restSoundVolumeSlider().value(), PreferenceViewController::volumeSteps);
    sheet->timerDurationSlider().setValue(5);
    EXPECT_EQ(text(sheet->timerDurationText().text()), "Timer duration 5 minutes");
    sheet->timerDurationSlider().setValue(1);
    EXPECT_EQ(text(sheet->timerDurationText().text()), "Timer duration 1 minute");
    sheet->restSoundVolumeSlider().setValue(25);
    sheet->restSoundVolumeChanged();
    EXPECT_EQ(bells, 1);
    sheet->choosePrefixPressed();
    ASSERT_TRUE(panels.answerOpenPanel({}));
    EXPECT_FALSE(defaults().string("directoryPrefix"));
    sheet->choosePrefixPressed();
    ASSERT_TRUE(panels.answerOpenPanel({folder}));
    EXPECT_EQ(defaults().doubleValue("timerDuration"), 1.0);
    EXPECT_FLOAT_EQ(defaults().floatValue("breaksoundAttenuation"), 0.75f);
    EXPECT_EQ(defaults().string("directoryPrefix"), "/music/tango");

    auto reopened = preferences();
    EXPECT_EQ(reopened->restSoundVolumeSlider().value(), 25);
    EXPECT_EQ(reopened->timerDurationSlider().value(), 1);
    EXPECT_EQ(text(reopened->directoryPrefixText().text()), "/music/tango");
}

TEST_F(SheetTest, PropertiesShowTheSessionSetItsOwnPrefixAndMarkItChanged) {
    defaults().setString("directoryPrefix", "/music");
    start();
    const platform::Url session = audioFolder.url("class.vantle");
    writeSession(session, {audioFile("a.wav", 1)});
    for (const bool saved : {false, true}) {
        if (saved) {
            ASSERT_TRUE(view().loadSession(session));
        }
        ASSERT_FALSE(playlist().dirty);
        PropertiesViewController sheet({&view(), &defaults(), &panels}, window.get());
        sheet.show();
        EXPECT_EQ(text(sheet.sessionUrlLabel().text()), saved ? session.path() : "");
        EXPECT_EQ(text(sheet.prefixTextfield().text()), "/music");
        sheet.choosePrefixPressed();
        ASSERT_TRUE(panels.answerOpenPanel(saved ? std::vector{folder} : std::vector<platform::Url>{}));
        EXPECT_EQ(text(sheet.prefixTextfield().text()), saved ? "/music/tango" : "/music");
        EXPECT_EQ(playlist()._directoryPrefix,
                  saved ? std::optional<std::string>("/music/tango") : std::nullopt);
        sheet.hide();
        EXPECT_TRUE(playlist().dirty);
    }
    EXPECT_EQ(defaults().string("directoryPrefix"), "/music");
}

TEST_F(SheetTest, ATypedFolderBecomesThePrefixOtherTextIsRefusedVisiblyAndNewSessionsStartWithout) {
    defaults().setString("directoryPrefix", "/music");
    std::filesystem::create_directories(audioFolder.path + "/Tango");
    start();
    view().insertEntries({audioFile("Tango/a.wav", 1)});
    const std::string tango = audioFolder.path + "/Tango";
    PropertiesViewController sheet({&view(), &defaults(), &panels}, window.get());
    sheet.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&sheet));
    QLineEdit& field = sheet.prefixTextfield();
    ASSERT_FALSE(field.isReadOnly());
    auto type = [&](const std::string& text) {
        field.setFocus();
        field.selectAll();
        QTest::keyClick(&field, Qt::Key_Backspace);
        QTest::keyClicks(&field, QString::fromStdString(text));
        QTest::keyClick(&field, Qt::Key_Return);
    };
    struct Case {
        std::string typed;
        std::optional<std::string> prefix; // the session's own afterwards
        bool refused;
    };
    for (const Case& c :
         {Case{tango + "/", tango, false}, Case{"relative/folder", tango, true},
          Case{audioFolder.path + "/a.wav", tango, true}, Case{audioFolder.path + "/missing", tango, true},
          Case{audioFolder.path, audioFolder.path, false}}) {
        SCOPED_TRACE(c.typed);
        type(c.typed);
        EXPECT_EQ(playlist()._directoryPrefix, c.prefix);
        EXPECT_EQ(sheet.prefixError().isVisible(), c.refused);
        EXPECT_EQ(panels.pendingOpenPanels(), 0u) << "Return only takes the text";
        EXPECT_TRUE(sheet.isVisible());
        if (c.refused) {
            EXPECT_THAT(text(sheet.prefixError().text()), ::testing::HasSubstr(c.typed));
            EXPECT_EQ(text(field.text()), c.typed) << "the typed text stays to be mended";
        }
    }
    // The table shows the folders shortened by the typed prefix.
    EXPECT_EQ(text(view().tableView().model()->index(0, 1).data().toString()), "Tango/");
    // Done with a refused text keeps the sheet open; an empty text leaves the session without a prefix.
    type("nowhere");
    sheet.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Close)->click();
    EXPECT_TRUE(sheet.isVisible());
    type("");
    EXPECT_FALSE(playlist()._directoryPrefix);
    EXPECT_EQ(text(field.text()), "/music");
    type(tango);
    sheet.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Close)->click();
    EXPECT_FALSE(sheet.isVisible());
    EXPECT_EQ(playlist()._directoryPrefix, tango);
    // Escape drops a refused text and closes.
    sheet.show();
    type("nowhere");
    QTest::keyClick(&field, Qt::Key_Escape);
    EXPECT_FALSE(sheet.isVisible());
    EXPECT_EQ(playlist()._directoryPrefix, tango);
    EXPECT_EQ(defaults().string("directoryPrefix"), "/music");

    playlist().dirty = false;
    view().newSession();
    ASSERT_TRUE(panels.answerSavePanel(audioFolder.url("class.vantle")));
    EXPECT_TRUE(playlist().allEntries.empty());
    EXPECT_FALSE(playlist()._directoryPrefix);
    EXPECT_EQ(Playlist::read(audioFolder.url("class.vantle")).value()->_directoryPrefix, tango);
}

TEST_F(SheetTest, MenuCommandsOpenTheSheetsAndPdfAttachmentsOpenInTheirWindows) {
    start();
    for (const char* command : {"showPreferences", "showProperties"})
        window->menuBar()->findChild<QAction*>(command)->trigger();
    EXPECT_NE(window->findChild<PreferenceViewController*>("preferencesSheet"), nullptr);
    EXPECT_NE(window->findChild<PropertiesViewController*>("propertiesSheet"), nullptr);
    for (QDialog* sheet : window->findChildren<QDialog*>())
        sheet->close();

    {
        QPdfWriter writer(QString::fromStdString(audioFolder.url("score.pdf").path()));
        QPainter(&writer).drawText(QPointF(100, 100), "Score");
    }
    view().openAttachment(Attachment(audioFolder.url("score.pdf"), "pdf"));
    PdfViewController* first = view().pdfViewController();
    ASSERT_TRUE(first && first->theDocument());
    EXPECT_EQ(first->theDocument()->pageCount(), 1);
    view().openAttachment(Attachment(audioFolder.url("missing.pdf"), "pdf"));
    PdfViewController* second = view().pdfViewController();
    ASSERT_TRUE(second && second != first);
    EXPECT_EQ(second->theDocument(), nullptr);

    QPointer<QWidget> firstWindow = first->window(), secondWindow = second->window();
    secondWindow->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(secondWindow));
    view().handleKey(QString(QChar(27)));
    QApplication::processEvents();
    EXPECT_TRUE(secondWindow.isNull());
    EXPECT_TRUE(firstWindow && firstWindow->isVisible());
}

} // namespace
} // namespace vantle::testing

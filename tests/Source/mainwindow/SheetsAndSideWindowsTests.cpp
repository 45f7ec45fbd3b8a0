#include "Source/mainwindow/PreferenceViewController.h"
#include "Source/mainwindow/PropertiesViewController.h"
#include "Source/session/Attachment.h"
#include "Source/views/PdfViewController.h"
#include "tests/Source/mainwindow/MainWindowTestSupport.h"

#include <QMenuBar>
#include <QPainter>
#include <QPdfDocument>
#include <QPdfWriter>
#include <QTest>

namespace vantle::testing {
namespace {

class SheetTest : public MainWindowTest {
protected:
    platform::UserDefaults& defaults() { return platform::UserDefaults::standard(); }
    std::unique_ptr<PreferenceViewController> preferences() {
        return std::make_unique<PreferenceViewController>(
            PreferenceEnvironment{&defaults(), &panels, [this] { ++bells; }}, window.get());
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

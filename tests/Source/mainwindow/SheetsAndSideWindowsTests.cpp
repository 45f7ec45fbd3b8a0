#include "Source/mainwindow/PreferenceViewController.h"
#include "Source/mainwindow/PropertiesViewController.h"
#include "Source/session/Attachment.h"
#include "Source/views/PdfViewController.h"
#include "tests/Source/mainwindow/MainWindowTestSupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPageSize>
#include <QPainter>
#include <QPdfDocument>
#include <QPdfWriter>
#include <QSlider>
#include <QTest>

namespace vantle::testing {
namespace {

class SheetTest : public MainWindowTest {
protected:
    platform::UserDefaults& defaults() { return platform::UserDefaults::standard(); }

    std::unique_ptr<PreferenceViewController> preferences() {
        PreferenceEnvironment environment;
        environment.defaults = &defaults();
        environment.filePanels = &panels;
        environment.ringBell = [this] { ++bells; };
        return std::make_unique<PreferenceViewController>(std::move(environment), window.get());
    }
    std::unique_ptr<PropertiesViewController> properties() {
        PropertiesEnvironment environment;
        environment.mainView = &view();
        environment.defaults = &defaults();
        environment.filePanels = &panels;
        return std::make_unique<PropertiesViewController>(environment, window.get());
    }
    int bells = 0;
};

TEST_F(SheetTest, PreferencesReadAndWriteTheUserDefaults) {
    start();
    {
        auto sheet = preferences();
        EXPECT_EQ(sheet->restSoundVolumeSlider().value(), PreferenceViewController::volumeSteps);
        EXPECT_EQ(text(sheet->directoryPrefixText().text()), "");
        struct Case {
            int minutes;
            const char* label;
        };
        for (const Case c : {Case{5, "Timer duration 5 minutes"}, {1, "Timer duration 1 minute"}}) {
            sheet->timerDurationSlider().setValue(c.minutes);
            EXPECT_EQ(text(sheet->timerDurationText().text()), c.label);
            EXPECT_EQ(defaults().doubleValue("timerDuration"), c.minutes);
        }
        sheet->restSoundVolumeSlider().setValue(25);
        sheet->restSoundVolumeChanged();
        EXPECT_FLOAT_EQ(defaults().floatValue("breaksoundAttenuation"), 0.75f);
        EXPECT_EQ(bells, 1);
        sheet->restSoundVolumeSlider().setValue(0);
        sheet->restSoundVolumeChanged();
        EXPECT_FLOAT_EQ(defaults().floatValue("breaksoundAttenuation"), 1.0f);

        sheet->choosePrefixPressed();
        ASSERT_TRUE(panels.answerOpenPanel({}));
        EXPECT_FALSE(defaults().string("directoryPrefix"));
        sheet->choosePrefixPressed();
        EXPECT_TRUE(panels.openRequests().back().options.canChooseDirectories);
        EXPECT_FALSE(panels.openRequests().back().options.canChooseFiles);
        ASSERT_TRUE(panels.answerOpenPanel({platform::Url::fileURLWithPath("/music/classes", true)}));
        EXPECT_EQ(defaults().string("directoryPrefix"), "/music/classes");
        EXPECT_EQ(text(sheet->directoryPrefixText().text()), "/music/classes");
    }
    defaults().setFloat("breaksoundAttenuation", 0.75f);
    auto reopened = preferences();
    EXPECT_EQ(reopened->restSoundVolumeSlider().value(), 25);
    EXPECT_EQ(reopened->timerDurationSlider().value(), 1);
    EXPECT_EQ(text(reopened->directoryPrefixText().text()), "/music/classes");
    EXPECT_EQ(bells, 2);
}

TEST_F(SheetTest, PropertiesShowTheSessionAndSetItsOwnPrefix) {
    defaults().setString("directoryPrefix", "/music");
    start();
    ASSERT_FALSE(playlist().dirty);
    {
        auto sheet = properties();
        sheet->show();
        EXPECT_EQ(text(sheet->sessionUrlLabel().text()), "");
        EXPECT_EQ(text(sheet->prefixTextfield().text()), "/music");
        sheet->choosePrefixPressed();
        ASSERT_TRUE(panels.answerOpenPanel({}));
        EXPECT_FALSE(playlist()._directoryPrefix);
        EXPECT_EQ(text(sheet->prefixTextfield().text()), "/music");
        sheet->hide();
    }
    EXPECT_TRUE(playlist().dirty);

    const platform::Url session = audioFolder.url("class.vantle");
    writeSession(session, {audioFile("a.wav", 1)});
    ASSERT_TRUE(view().loadSession(session));
    auto sheet = properties();
    sheet->show();
    EXPECT_EQ(text(sheet->sessionUrlLabel().text()), session.path());
    sheet->choosePrefixPressed();
    ASSERT_TRUE(panels.answerOpenPanel({platform::Url::fileURLWithPath("/music/tango", true)}));
    EXPECT_EQ(playlist()._directoryPrefix, "/music/tango");
    EXPECT_EQ(text(sheet->prefixTextfield().text()), "/music/tango");
    EXPECT_EQ(defaults().string("directoryPrefix"), "/music");
}

TEST_F(SheetTest, MenuCommandsOpenTheSheetsAndAPdfAttachmentOpensItsWindow) {
    start();
    for (const char* command : {"showPreferences", "showProperties"}) {
        QAction* item = window->menuBar()->findChild<QAction*>(command);
        ASSERT_NE(item, nullptr) << command;
        item->trigger();
        QApplication::processEvents();
    }
    EXPECT_NE(window->findChild<PreferenceViewController*>("preferencesSheet"), nullptr);
    EXPECT_NE(window->findChild<PropertiesViewController*>("propertiesSheet"), nullptr);
    for (QDialog* sheet : window->findChildren<QDialog*>())
        sheet->close();
    QApplication::processEvents();

    const QString path = QString::fromStdString(audioFolder.url("score.pdf").path());
    {
        QPdfWriter writer(path);
        QPainter painter(&writer);
        painter.drawText(QPointF(100, 100), "Score");
    }
    view().openAttachment(Attachment(audioFolder.url("score.pdf"), "pdf"));
    PdfViewController* first = view().pdfViewController();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(first->theDocument(), nullptr);
    EXPECT_EQ(first->theDocument()->pageCount(), 1);
    view().openAttachment(Attachment(audioFolder.url("missing.pdf"), "pdf"));
    PdfViewController* second = view().pdfViewController();
    ASSERT_NE(second, first);
    EXPECT_EQ(second->theDocument(), nullptr);
    QPointer<QWidget> firstWindow = first->window(), secondWindow = second->window();
    EXPECT_TRUE(firstWindow->isVisible());

    secondWindow->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(secondWindow));
    view().handleKey(QString(QChar(27)));
    QApplication::processEvents();
    EXPECT_TRUE(secondWindow.isNull());
    EXPECT_FALSE(firstWindow.isNull());
}

} // namespace
} // namespace vantle::testing

// The window's shell: fitted time texts, the idle pointer, the break toggle, the search shortcut,
// the palette menus and the help documents.

#include "Source/mainwindow/FittedFont.h"
#include "Source/views/Clock.h"
#include "Source/views/PdfViewController.h"
#include "tests/Source/mainwindow/MainWindowTestSupport.h"
#include "tests/support/PaintCounter.h"
#include "tests/support/TemporaryFolder.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPdfDocument>
#include <QProcess>
#include <QTest>
#include <QToolButton>
#include <QWidgetAction>

#include <filesystem>
#include <fstream>

namespace vantle::testing {
namespace {

// The time texts' sample, measured in a font, must fit the frame with 5 points to spare each way
// (of its height only 77 % counts), and one of the two bounds must be (nearly) reached.
void expectFitted(const QFont& font, QSizeF frame) {
    const QFontMetricsF metrics(font);
    const double width = metrics.horizontalAdvance(MainViewController::timeTextSample);
    const double height = 0.77 * metrics.height();
    EXPECT_LE(width, (frame.width() - 5.0) * 1.02) << frame.width() << "×" << frame.height();
    EXPECT_LE(height, (frame.height() - 5.0) * 1.02) << frame.width() << "×" << frame.height();
    EXPECT_TRUE(width >= (frame.width() - 5.0) * 0.9 || height >= (frame.height() - 5.0) * 0.9)
        << "not fitted to " << frame.width() << "×" << frame.height() << ": " << width << " × " << height;
}

TEST(FittedFont, MakesTheSampleFillTheFrameAndNoMore) {
    const QFont base = MainViewController::timeTextBaseFont();
    for (QSizeF frame : {QSizeF(200, 60), QSizeF(120, 120), QSizeF(400, 50), QSizeF(60, 36)}) {
        const std::optional<QFont> fitted = fittedFont("99:59", base, frame);
        ASSERT_TRUE(fitted);
        EXPECT_EQ(fitted->family(), base.family());
        EXPECT_TRUE(fitted->bold());
        expectFitted(*fitted, frame);
    }
    // A frame smaller than the margin still gives a drawable font; an empty one gives none.
    const std::optional<QFont> tiny = fittedFont("99:59", base, QSizeF(4, 4));
    ASSERT_TRUE(tiny);
    EXPECT_GE(tiny->pointSizeF(), 1.0);
    EXPECT_FALSE(fittedFont("99:59", base, QSizeF(0, 40)));
}

// Counts what the shell asks of the time slider and the screensaver.
class CountingTimeSlider final : public TimeSliderPart {
public:
    QWidget* widget() override { return nullptr; }
    void setPlayer(Player*) override {}
    void loadEntry(const std::shared_ptr<PlaylistEntry>&) override { ++loads; }
    void setValue(double) override {}
    int loads = 0;
};

class CountingScreensaver final : public ScreensaverPart {
public:
    QWidget* widget() override { return nullptr; }
    void resetIdle() override { ++resets; }
    void show() override {}
    int resets = 0;
};

class WindowShellTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        configureEnvironment = [this](MainViewEnvironment& environment) {
            environment.parts.timeSlider = [this](MainViewController&) {
                auto made = std::make_unique<CountingTimeSlider>();
                slider = made.get();
                return made;
            };
            environment.parts.screensaver = [this](MainViewController&) {
                auto made = std::make_unique<CountingScreensaver>();
                screensaver = made.get();
                return made;
            };
            environment.workspace = &workspace;
        };
        start();
        view().setFirst(false);
    }

    void makeActive() {
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    QSizeF timeFrame() { return QSizeF(view().timeSinceZeroText().size()); }
    double timePoints() { return view().timeSinceZeroText().font().pointSizeF(); }
    void resizeTo(int width, int height) {
        window->resize(width, height);
        QApplication::processEvents();
    }
    static bool pointerHidden() {
        return QGuiApplication::overrideCursor() &&
               QGuiApplication::overrideCursor()->shape() == Qt::BlankCursor;
    }
    void moveMouse() {
        QMouseEvent move(QEvent::MouseMove, QPointF(20, 20), view().mapToGlobal(QPointF(20, 20)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&view(), &move);
    }
    QAction* action(const char* name) {
        QAction* found = window->findChild<QAction*>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    CountingTimeSlider* slider = nullptr;
    CountingScreensaver* screensaver = nullptr;
    testsupport::FakeWorkspace workspace;
};

TEST_F(WindowShellTest, TheTimeTextsFollowTheWindowsSize) {
    view().insertEntries({audioFile("a.wav", 90)});
    view().loadEntry(playlist().allEntries.at(0));
    const double shown = timePoints();
    expectFitted(view().timeSinceZeroText().font(), timeFrame());
    EXPECT_EQ(view().timeRemainingText().font(), view().timeSinceZeroText().font());

    // Every size change fits the texts again and lays the slider out for its marks; the picture
    // waits for the resize to settle.
    const int loads = slider->loads;
    const std::size_t pictures = waveform->requests.size();
    resizeTo(520, 420);
    EXPECT_LT(timePoints(), shown);
    expectFitted(view().timeSinceZeroText().font(), timeFrame());
    EXPECT_EQ(view().timeRemainingText().font(), view().timeSinceZeroText().font());
    EXPECT_GT(slider->loads, loads);
    EXPECT_EQ(waveform->requests.size(), pictures);

    resizeTo(1400, 1000);
    EXPECT_GT(timePoints(), shown);
    expectFitted(view().timeSinceZeroText().font(), timeFrame());
    EXPECT_EQ(waveform->requests.size(), pictures);
    scheduler.advance(MainViewController::endResizeQuietSeconds);
    platform::mainQueue().drain();
    ASSERT_EQ(waveform->requests.size(), pictures + 1);
    EXPECT_EQ(waveform->requests.back().first, playlist().allEntries.at(0));

    // A picture drawn for the wide window does not hold the row's width when it narrows again.
    QImage wide(1300, 40, QImage::Format_RGB32);
    wide.fill(Qt::blue);
    waveform->requests.back().second(wide);
    resizeTo(700, 500);
    EXPECT_EQ(window->width(), 700);
    EXPECT_GE(view().timeSinceZeroText().width(), 700 / 8);
    expectFitted(view().timeSinceZeroText().font(), timeFrame());

    // A move alone changes nothing.
    const int loadsBeforeMove = slider->loads;
    window->move(window->pos() + QPoint(30, 20));
    QApplication::processEvents();
    EXPECT_EQ(slider->loads, loadsBeforeMove);
}

TEST_F(WindowShellTest, TimesOfAHundredMinutesAndMoreFitTheirFrames) {
    view().insertEntries({audioFile("short.wav", 90), audioFile("long.wav", 6000)});
    // Whether the label's text fits its frame with 5 points to spare.
    auto fits = [&](const QLabel& label) {
        const double width = QFontMetricsF(label.font()).horizontalAdvance(label.text());
        return width <= (label.width() - 5.0) * 1.02;
    };
    for (QSize size : {QSize(1000, 700), QSize(520, 420)}) {
        resizeTo(size.width(), size.height());
        view().loadEntry(entry(1));
        EXPECT_EQ(view().timeRemainingText().text().toStdString(), "100:00");
        EXPECT_TRUE(fits(view().timeRemainingText())) << size.width();
        const QFont longFont = view().timeRemainingText().font();
        // Back on a short song, the texts take the larger font fitted to "99:59" again.
        view().loadEntry(entry(0));
        expectFitted(view().timeSinceZeroText().font(), timeFrame());
        EXPECT_GT(view().timeSinceZeroText().font().pointSizeF(), longFont.pointSizeF());
    }
    const struct {
        std::optional<double> duration;
        const char* sample;
    } samples[] = {{std::nullopt, "99:59"}, {5999.9, "99:59"},       {6000.0, "999:59"},
                   {60000.0, "9999:59"},    {std::nan(""), "99:59"}, {1e300, "999999999999:59"}};
    for (const auto& sample : samples)
        EXPECT_EQ(MainViewController::timeTextSampleFor(sample.duration).toStdString(), sample.sample);
}

TEST_F(WindowShellTest, ActivatingTheWindowRestartsTheScreensaversIdleTime) {
    auto* other = new QWidget;
    other->setAttribute(Qt::WA_DeleteOnClose);
    other->show();
    other->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(other));
    const int resets = screensaver->resets;
    makeActive();
    EXPECT_EQ(screensaver->resets, resets + 1);
    other->close();
}

TEST_F(WindowShellTest, ThePointerHidesAfterAnIdleSecondAndComesBackWhenMoved) {
    makeActive();
    moveMouse();
    scheduler.advance(1.0); // idle for exactly the time-out: not yet
    platform::mainQueue().drain();
    EXPECT_FALSE(window->cursorHidden());
    EXPECT_FALSE(pointerHidden());
    scheduler.advance(1.0);
    platform::mainQueue().drain();
    EXPECT_TRUE(window->cursorHidden());
    EXPECT_TRUE(pointerHidden());
    scheduler.advance(3.0); // hidden once, not once per tick
    platform::mainQueue().drain();
    moveMouse();
    EXPECT_FALSE(window->cursorHidden());
    EXPECT_FALSE(pointerHidden());

    // With another window active the pointer stays.
    auto* other = new QWidget;
    other->setAttribute(Qt::WA_DeleteOnClose);
    other->show();
    other->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(other));
    scheduler.advance(3.0);
    platform::mainQueue().drain();
    EXPECT_FALSE(pointerHidden());
    other->close();
}

TEST_F(WindowShellTest, TheBreakItemStartsAndThenCancelsTheBreakAndTheClockRepaints) {
    for (QAction* item : {action("toolBreak"), action("actionBreak")}) {
        ASSERT_NE(item, nullptr);
        SCOPED_TRACE(item->objectName().toStdString());
        breakTimer->arms.clear();
        const int cancels = breakTimer->cancels;
        for (bool armed : {true, false}) {
            testsupport::PaintCounter paints;
            item->trigger();
            EXPECT_EQ(breakTimer->armed, armed);
            ASSERT_TRUE(QTest::qWaitFor([&] { return paints.paints(&window->clockButton()) > 0; }, 30000));
        }
        // Started with the default length, then cancelled.
        EXPECT_EQ(breakTimer->arms, (std::vector<std::optional<double>>{std::nullopt}));
        EXPECT_EQ(breakTimer->cancels, cancels + 1);
    }
}

// The key commands sit in the Controls menu under shortcuts no other command of the program has (the
// main view itself takes keys only without Control); each goes to the player, and a key changed for
// the song loaded is kept with its entry, so that loading the entry again brings it back.
TEST_F(WindowShellTest, TheKeyCommandsReachThePlayerAndStayWithTheEntry) {
    QList<QAction*> everyAction = window->findChildren<QAction*>();
    for (QAction* shared : qApp->findChildren<QAction*>())
        everyAction.push_back(shared);
    for (const char* name : {"keyDown", "keyUp", "originalKey"}) {
        QAction* command = action(name);
        ASSERT_TRUE(command);
        ASSERT_FALSE(command->shortcuts().isEmpty()) << name;
        EXPECT_TRUE(command->associatedObjects().size() > 0) << name << " is in a menu";
        for (const QKeySequence& key : command->shortcuts()) {
            EXPECT_TRUE(key[0].keyboardModifiers() & Qt::ControlModifier) << name;
            for (QAction* other : everyAction) {
                if (other == command) continue;
                EXPECT_FALSE(other->shortcuts().contains(key))
                    << name << " and " << other->objectName().toStdString();
            }
        }
    }

    view().insertEntries({audioFile("a.wav", 90), audioFile("b.wav", 90)});
    const std::shared_ptr<PlaylistEntry> a = playlist().allEntries.at(0), b = playlist().allEntries.at(1);
    auto& transport = dynamic_cast<testsupport::StandInTransport&>(view().transport());
    view().loadEntry(a);
    playlist().dirty = false;
    struct Step {
        const char* command;
        std::shared_ptr<PlaylistEntry> load;
        int key;
        int keptWithA;
    };
    for (const Step& step :
         {Step{"keyUp", nullptr, 1, 1}, Step{"keyUp", nullptr, 2, 2}, Step{nullptr, b, 0, 2},
          Step{"keyDown", nullptr, -1, 2}, Step{nullptr, a, 2, 2}, Step{"originalKey", nullptr, 0, 0}}) {
        if (step.command) action(step.command)->trigger();
        if (step.load) view().loadEntry(step.load);
        EXPECT_EQ(player->keyShift(), step.key) << (step.command ? step.command : "load");
        EXPECT_EQ(transport.shownKey, step.key);
        EXPECT_EQ(a->keyShift, step.keptWithA);
    }
    EXPECT_EQ(b->keyShift, -1);
    EXPECT_TRUE(playlist().dirty) << "the session has unsaved changes";
}

TEST_F(WindowShellTest, CtrlFPutsTheKeyboardInTheSearchField) {
    makeActive();
    view().tableView().setFocus();
    ASSERT_FALSE(window->searchField().hasFocus());
    QTest::keyClick(window.get(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(window->searchField().hasFocus());
    QTest::keyClicks(QApplication::focusWidget(), "tan");
    EXPECT_EQ(playlist().filterText, "tan");
}

TEST_F(WindowShellTest, TheTagAndBreakLengthMenusArePalettesOfTheirTitles) {
    view().insertEntries({audioFile("a.wav", 5), audioFile("b.wav", 5)});
    view().selectRows({1});
    for (QMenu* menu : {&view().tagMenu(), &view().breakTimeThisSubMenu(), &view().breakTimeAllSubMenu()}) {
        SCOPED_TRACE(menu->objectName().toStdString());
        auto* presentation = menu->findChild<QWidgetAction*>("palettePresentation");
        ASSERT_NE(presentation, nullptr);
        EXPECT_TRUE(menu->actions().contains(presentation));
        const QList<QToolButton*> buttons =
            presentation->defaultWidget()->findChildren<QToolButton*>("paletteItem");
        QList<QAction*> items = menu->actions();
        items.removeAll(presentation);
        ASSERT_EQ(buttons.size(), items.size());
        for (int i = 0; i < items.size(); ++i) {
            EXPECT_FALSE(items[i]->isVisible());
            EXPECT_EQ(buttons[i]->toolTip(), items[i]->text());
            // A picture of the title, as wide as the title, also for the item's on state.
            const QIcon icon = buttons[i]->icon();
            ASSERT_FALSE(icon.isNull());
            ASSERT_FALSE(icon.availableSizes(QIcon::Normal, QIcon::On).isEmpty());
            EXPECT_EQ(icon.availableSizes(QIcon::Normal, QIcon::Off).front().width(),
                      QFontMetrics(menu->font()).size(Qt::TextSingleLine, items[i]->text()).width());
            EXPECT_FALSE(items[i]->icon().isNull());
        }
    }

    // A picture's button runs its item's command, and the item keeps no state.
    auto buttonFor = [](QMenu& menu, const QString& title) -> QToolButton* {
        for (QToolButton* button : menu.findChildren<QToolButton*>("paletteItem"))
            if (button->toolTip() == title) return button;
        ADD_FAILURE() << "no picture of " << title.toStdString();
        return nullptr;
    };
    buttonFor(view().tagMenu(), "b")->click();
    EXPECT_EQ(playlist().allEntries[1]->tags, "b");
    EXPECT_FALSE(playlist().allEntries[0]->tags.has_value());
    for (QAction* item : view().tagMenu().actions())
        EXPECT_FALSE(item->isChecked());
    buttonFor(view().breakTimeThisSubMenu(), "5")->click();
    EXPECT_EQ(breakTimer->arms.back(), std::optional<double>(300.0));
    buttonFor(view().breakTimeAllSubMenu(), "1.5")->click();
    EXPECT_EQ(view().defaults().doubleValue("timerDuration"), 1.5);

    // An empty title gets an empty picture.
    QMenu plain;
    plain.addAction("x");
    plain.addAction("");
    MainViewController::makePaletteMenu(plain);
    const QList<QToolButton*> buttons = plain.findChildren<QToolButton*>("paletteItem");
    ASSERT_EQ(buttons.size(), 2);
    EXPECT_FALSE(buttons[0]->icon().isNull());
    EXPECT_TRUE(buttons[1]->icon().isNull());
}

TEST_F(WindowShellTest, TheHelpDocumentsOpenOutsideOrInTheProgramsOwnWindow) {
    // The build tree's documents, in a folder of the test's own.
    const std::filesystem::path built =
        std::filesystem::canonical("/proc/self/exe").parent_path().parent_path() / "Source" / "Resources";
    testsupport::TemporaryFolder resources;
    for (const char* name : {"Help.pdf", "Remote_Manual.pdf"})
        std::filesystem::copy_file(built / name, resources.file(name));
    window->setResourceBundle(rozezeru::Bundle(resources.path));
    auto pdfWindows = [] {
        int count = 0;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (qobject_cast<PdfWindowController*>(top) && top->isVisible()) ++count;
        return count;
    };

    // The desktop's PDF application takes them.
    bool hasApplication = true;
    window->setPdfApplicationCheck([&] { return hasApplication; });
    action("actionOpenPdfHelp")->trigger();
    action("actionOpenPdfRemoteManual")->trigger();
    ASSERT_EQ(workspace.openedFiles().size(), 2u);
    EXPECT_EQ(workspace.openedFiles()[0].path(), resources.path + "/Help.pdf");
    EXPECT_EQ(workspace.openedFiles()[1].path(), resources.path + "/Remote_Manual.pdf");
    EXPECT_EQ(pdfWindows(), 0);

    // Without one, or when it does not answer, the program's PDF window shows the document.
    hasApplication = false;
    action("toolHelp")->trigger();
    EXPECT_EQ(workspace.openedFiles().size(), 2u);
    EXPECT_EQ(pdfWindows(), 1);
    ASSERT_NE(view().pdfViewController(), nullptr);
    ASSERT_NE(view().pdfViewController()->theDocument(), nullptr);
    EXPECT_GT(view().pdfViewController()->theDocument()->pageCount(), 0);
    hasApplication = true;
    workspace.succeeds = false;
    window->openBundledPDF("Remote_Manual");
    EXPECT_EQ(pdfWindows(), 2);

    // A missing document says so.
    window->openBundledPDF("Nowhere");
    ASSERT_EQ(alerts.requests().size(), 1u);
    EXPECT_NE(alerts.requests()[0].options.messageText.find("\"Nowhere.pdf\""), std::string::npos);
    EXPECT_EQ(pdfWindows(), 2);
    for (QWidget* top : QApplication::topLevelWidgets())
        if (qobject_cast<PdfWindowController*>(top)) top->close();
}

// The documents lie beside the program in the build tree and are installed with it, where the
// installed program's bundle finds them.
TEST(HelpDocuments, AreFoundInTheBuildTreeAndAfterAnInstall) {
    const std::filesystem::path build =
        std::filesystem::canonical("/proc/self/exe").parent_path().parent_path();
    auto isPdf = [](const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        char magic[5] = {};
        file.read(magic, 5);
        return std::string(magic, 5) == "%PDF-";
    };
    // Where `cmake --install` puts the data folder, seen from the program's folder.
    const std::string dataFolder = "../share/com.fennorastudio.Vantle";
    const rozezeru::Bundle inBuildTree =
        rozezeru::Bundle::forProgram((build / "Source" / "vantle").string(), dataFolder);
    testsupport::TemporaryFolder prefix;
    QProcess install;
    install.start("cmake", {"--install", QString::fromStdString(build.string()), "--prefix",
                            QString::fromStdString(prefix.path), "--component", "documents"});
    ASSERT_TRUE(install.waitForFinished(60000));
    ASSERT_EQ(install.exitCode(), 0) << install.readAllStandardError().toStdString();
    std::filesystem::create_directories(prefix.path + "/bin");
    const rozezeru::Bundle installed = rozezeru::Bundle::forProgram(prefix.path + "/bin/vantle", dataFolder);
    for (const char* name : {"Help", "Remote_Manual"}) {
        SCOPED_TRACE(name);
        const std::optional<std::string> built = inBuildTree.pathForResource(name, "pdf");
        ASSERT_TRUE(built);
        EXPECT_EQ(*built, (build / "Source" / "Resources" / (std::string(name) + ".pdf")).string());
        EXPECT_TRUE(isPdf(*built));
        const std::optional<std::string> found = installed.pathForResource(name, "pdf");
        ASSERT_TRUE(found);
        EXPECT_EQ(*found, prefix.path + "/share/com.fennorastudio.Vantle/" + name + ".pdf");
        EXPECT_TRUE(isPdf(*found));
    }
}

} // namespace
} // namespace vantle::testing

// The Window menu's key equivalents, taken from the content controllers of the windows.

#include "Source/views/HtmlViewController.h"
#include "Source/views/Mp4ViewController.h"
#include "Source/views/Mp4WindowController.h"
#include "Source/views/PdfViewController.h"
#include "Source/views/VtlViewController.h"
#include "Source/views/WindowMenu.h"

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace vantle {
namespace {

// Stands in for the PDF window's content.
class WindowMenuPdfContent final : public VtlViewController {
public:
    QString keyEquivalent() const override { return QStringLiteral("2"); }
};

TEST(WindowMenu, ItemsOfContentControllersGetTheirKeysOthersKeepTheirs) {
    QMainWindow mainWindow;
    mainWindow.setCentralWidget(new VtlViewController);
    QMainWindow pdfWindow;
    pdfWindow.setCentralWidget(new WindowMenuPdfContent);
    Mp4ViewController videoWindow; // a content controller that is its own window
    QMainWindow otherWindow;
    otherWindow.setCentralWidget(new QWidget);
    auto* goneWindow = new QMainWindow;
    goneWindow->setCentralWidget(new VtlViewController);

    QMenu menu;
    QAction* mainItem = menu.addAction("Vantle");
    QAction* pdfItem = menu.addAction("Score.pdf");
    QAction* videoItem = menu.addAction("clip.mp4");
    QAction* otherItem = menu.addAction("Other");
    QAction* goneItem = menu.addAction("Gone");
    QAction* plainItem = menu.addAction("Minimize");
    setWindowMenuItemWindow(*mainItem, &mainWindow);
    setWindowMenuItemWindow(*pdfItem, &pdfWindow);
    setWindowMenuItemWindow(*videoItem, &videoWindow);
    setWindowMenuItemWindow(*otherItem, &otherWindow);
    setWindowMenuItemWindow(*goneItem, goneWindow);
    otherItem->setShortcut(QKeySequence("Ctrl+9"));
    goneItem->setShortcut(QKeySequence("Ctrl+8"));
    plainItem->setShortcut(QKeySequence("Ctrl+M"));
    delete goneWindow;
    EXPECT_EQ(windowMenuItemWindow(*goneItem), nullptr);
    EXPECT_EQ(windowMenuItemWindow(*plainItem), nullptr);

    // Unregistered, the application's menu is not there to update.
    updateWindowMenuKeyEquivalents();
    EXPECT_TRUE(mainItem->shortcut().isEmpty());

    setApplicationWindowMenu(&menu);
    EXPECT_EQ(applicationWindowMenu(), &menu);
    updateWindowMenuKeyEquivalents();
    setApplicationWindowMenu(nullptr);
    EXPECT_EQ(mainItem->shortcut(), QKeySequence("Ctrl+1"));
    EXPECT_EQ(pdfItem->shortcut(), QKeySequence("Ctrl+2"));
    EXPECT_EQ(videoItem->shortcut(), QKeySequence("Ctrl+3"));
    EXPECT_EQ(otherItem->shortcut(), QKeySequence("Ctrl+9"));
    EXPECT_EQ(goneItem->shortcut(), QKeySequence("Ctrl+8"));
    EXPECT_EQ(plainItem->shortcut(), QKeySequence("Ctrl+M"));

    EXPECT_EQ(contentViewController(&videoWindow), &videoWindow);
    EXPECT_EQ(contentViewController(&otherWindow), nullptr);
    EXPECT_EQ(contentViewController(nullptr), nullptr);
}

} // namespace
} // namespace vantle

namespace vantle {
namespace {

// Every side window closes with Ctrl+W; the pages with Escape as well, the PDF and video windows by
// their own Escape key. The pages are listed in the Window menu although they have no key.
TEST(WindowMenu, EverySideWindowClosesWithCtrlWAndEscape) {
    struct Case {
        const char* name;
        std::function<QWidget*()> make;
        QKeySequence key;
    };
    const std::vector<Case> cases = {
        {"about page", [] { return new HtmlWindow(new HtmlViewController, "About Vantle"); },
         QKeySequence("Ctrl+W")},
        {"help page", [] { return new HtmlWindow(new HelpViewController, "Vantle Help"); },
         QKeySequence(Qt::Key_Escape)},
        {"PDF window", [] { return new PdfWindowController; }, QKeySequence("Ctrl+W")},
        {"PDF window", [] { return new PdfWindowController; }, QKeySequence(Qt::Key_Escape)},
        {"video window", [] { return new Mp4WindowController; }, QKeySequence("Ctrl+W")},
        {"video window", [] { return new Mp4WindowController; }, QKeySequence(Qt::Key_Escape)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.key.toString().toStdString());
        QPointer<QWidget> window = c.make();
        EXPECT_TRUE(listedInWindowMenu(window));
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : window.data();
        QTest::keySequence(focus, c.key);
        EXPECT_TRUE(!window || !window->isVisible());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(window.isNull());
        delete window.data();
    }
    QMainWindow plain;
    EXPECT_FALSE(listedInWindowMenu(&plain));
}

} // namespace
} // namespace vantle

#include "Source/views/PdfViewController.h"

#include "platform/foundation/Console.h"
#include "tests/support/ConsoleCapture.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPainter>
#include <QPdfDocument>
#include <QPdfView>
#include <QPdfWriter>
#include <QPointer>
#include <QScrollBar>
#include <QTest>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantle {
namespace {

// A document of `pages` pages, each with its number written on it.
QString writePdf(const testsupport::TemporaryFolder& folder, int pages) {
    const QString path = QString::fromStdString(folder.file("score.pdf"));
    QPdfWriter writer(path);
    QPainter painter(&writer);
    for (int page = 1; page <= pages; ++page) {
        if (page > 1) writer.newPage();
        painter.drawText(QPointF(200, 200), QStringLiteral("Page %1").arg(page));
    }
    return path;
}

TEST(PdfWindow, OpensAGeneratedDocumentOverTheScreenAreaAndTakesTheKeysTheViewLeaves) {
    testsupport::TemporaryFolder folder;
    std::unique_ptr<QPdfDocument> document = PdfViewController::openDocument(writePdf(folder, 3));
    ASSERT_TRUE(document);
    EXPECT_EQ(document->pageCount(), 3);

    PdfViewEnvironment environment;
    const QRect screenArea(40, 30, 500, 400);
    environment.mainScreenFrame = [screenArea] { return std::optional<QRect>(screenArea); };
    QPointer<PdfWindowController> window = new PdfWindowController(environment);
    PdfViewController& content = window->pdfViewController();
    content.setTheDocument(std::move(document));
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    QApplication::processEvents();

    EXPECT_EQ(window->frameGeometry().size(), screenArea.size());
    QPdfView& view = content.pdfView();
    // One column of pages, as wide as the view.
    EXPECT_EQ(view.horizontalScrollBar()->maximum(), 0);
    EXPECT_GT(view.verticalScrollBar()->maximum(), 0);

    // Paging is the view's own; the keys it leaves reach the window's content.
    testsupport::ScopedConsoleCapture console;
    content.handleKey("q");
    EXPECT_EQ(console.lines(), std::vector<std::string>{"PdfViewController: q"});
    EXPECT_TRUE(window && window->isVisible());
    QTest::keyClick(&view, Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_TRUE(window.isNull());
}

TEST(PdfWindow, AFileThatIsNotAPdfGivesNoDocument) {
    testsupport::TemporaryFolder folder;
    std::ofstream(folder.file("notes.pdf")) << "%PDF-1.4 but nothing else";
    EXPECT_FALSE(PdfViewController::openDocument(QString::fromStdString(folder.file("notes.pdf"))));
    EXPECT_FALSE(PdfViewController::openDocument(QString::fromStdString(folder.file("absent.pdf"))));

    // A FIFO would hold the window until a writer comes, a device never ends.
    const std::string fifo = folder.file("fifo.pdf"), zero = folder.file("zero.pdf");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", zero);
    for (const std::string& path : {fifo, zero}) {
        SCOPED_TRACE(path);
        auto opening = std::async(std::launch::async, [&] {
            return PdfViewController::openDocument(QString::fromStdString(path)) != nullptr;
        });
        if (opening.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
            // Let a blocked open go, so that the test ends.
            const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0) ::close(writer);
            ADD_FAILURE() << "opening blocked";
        }
        EXPECT_FALSE(opening.get());
    }
}

} // namespace
} // namespace vantle

#include "Source/views/PdfViewController.h"

#include "Source/views/KeyCharacters.h"
#include "Source/views/WindowMenu.h"
#include "platform/foundation/Console.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPdfDocument>
#include <QPdfPageNavigator>
#include <QPdfView>
#include <QScreen>
#include <QVBoxLayout>

namespace vantle {

PdfViewController::PdfViewController(PdfViewEnvironment environment, QWidget* parent)
    : VtlViewController(parent), environment_(std::move(environment)), pdfView_(new QPdfView(this)) {
    if (!environment_.mainScreenFrame)
        environment_.mainScreenFrame = []() -> std::optional<QRect> {
            if (QScreen* screen = QGuiApplication::primaryScreen()) return screen->availableGeometry();
            return std::nullopt;
        };
    pdfView_->setObjectName("pdfView");
    // The view fills the controller through the layout, whatever the window's place on the screen.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(pdfView_);
    setFocusPolicy(Qt::StrongFocus);
    // Escape reaches handleKey, which closes the window; the shortcut adds only Ctrl+W.
    addCloseKeys(*this, false);
}

PdfViewController::~PdfViewController() {
    pdfView_->setDocument(nullptr);
}

QString PdfViewController::keyEquivalent() const {
    return QStringLiteral("2");
}

std::unique_ptr<QPdfDocument> PdfViewController::openDocument(const QString& path) {
    // A FIFO would hold the window until some writer comes, and a device never ends.
    if (!QFileInfo(path).isFile()) return nullptr;
    auto document = std::make_unique<QPdfDocument>();
    if (document->load(path) != QPdfDocument::Error::None) return nullptr;
    return document;
}

void PdfViewController::setTheDocument(std::unique_ptr<QPdfDocument> document) {
    pdfView_->setDocument(document.get());
    theDocument_ = std::move(document);
}

void PdfViewController::showEvent(QShowEvent* event) {
    VtlViewController::showEvent(event);
    viewDidAppear();
}

void PdfViewController::viewDidAppear() {
    pdfView_->setDocument(theDocument_.get());
    const std::optional<QRect> frame = environment_.mainScreenFrame();
    if (!frame) return;
    QWidget* w = window();
    const QRect outer = w->frameGeometry(), inner = w->geometry();
    w->setGeometry(
        frame->marginsRemoved(QMargins(inner.left() - outer.left(), inner.top() - outer.top(),
                                       outer.right() - inner.right(), outer.bottom() - inner.bottom())));
    pdfView_->setPageMode(QPdfView::PageMode::MultiPage);
    // Qt measures the page itself: a page of no width cannot make the zoom infinite.
    pdfView_->setZoomMode(QPdfView::ZoomMode::FitToWidth);
    if (theDocument_ && theDocument_->pageCount() > 0)
        pdfView_->pageNavigator()->jump(0, QPointF(0, 0), pdfView_->pageNavigator()->currentZoom());
    w->raise();
    w->activateWindow();
    setFocus(Qt::ActiveWindowFocusReason);
    updateWindowMenuKeyEquivalents();
}

void PdfViewController::keyPressEvent(QKeyEvent* event) {
    const QString characters = typedCharacters(*event);
    if (characters.isEmpty()) {
        VtlViewController::keyPressEvent(event);
        return;
    }
    handleKey(characters);
}

void PdfViewController::handleKey(const QString& characters) {
    if (characters == QString(QChar(27))) {
        window()->close();
        return;
    }
    platform::consolePrint("PdfViewController: " + characters.toStdString());
}

PdfWindowController::PdfWindowController(PdfViewEnvironment environment, QWidget* parent)
    : QMainWindow(parent), content_(new PdfViewController(std::move(environment), this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setCentralWidget(content_);
}

} // namespace vantle

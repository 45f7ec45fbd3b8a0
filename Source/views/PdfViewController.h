#pragma once
// The PDF window: a document attached to an entry, shown as one column of pages over the screen's
// visible area.

#include "Source/views/VtlViewController.h"

#include <QMainWindow>
#include <QPointer>
#include <QRect>

#include <functional>
#include <memory>
#include <optional>

class QPdfDocument;
class QPdfView;

namespace vantle {

// What the PDF window takes from the application, or from a test.
struct PdfViewEnvironment {
    // The main screen's visible area; nothing when there is no main screen. Empty: the primary
    // screen's available geometry.
    std::function<std::optional<QRect>()> mainScreenFrame;
};

// The content of the PDF window: shows its document from the top of the first page, zoomed to the
// view's width, and closes its window on escape. Main thread only.
class PdfViewController final : public VtlViewController {
    Q_OBJECT

public:
    explicit PdfViewController(PdfViewEnvironment environment = {}, QWidget* parent = nullptr);
    ~PdfViewController() override;

    QString keyEquivalent() const override; // "2"

    // The file as a PDF document, or null when it is not a readable one.
    static std::unique_ptr<QPdfDocument> openDocument(const QString& path);

    QPdfDocument* theDocument() const { return theDocument_.get(); }
    void setTheDocument(std::unique_ptr<QPdfDocument> document);
    QPdfView& pdfView() const { return *pdfView_; }

    // The typed characters: escape closes the window; anything else is only printed.
    void handleKey(const QString& characters);

protected:
    // On every appearance: the window fills the screen's visible area, the document is zoomed and
    // scrolled to its top, and the window comes forward as the key window.
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void viewDidAppear();

    PdfViewEnvironment environment_;
    std::unique_ptr<QPdfDocument> theDocument_;
    QPdfView* pdfView_;
};

// A top-level window around a PdfViewController. It deletes itself when closed, so make it with
// new and refer to it through QPointer. Main thread only.
class PdfWindowController final : public QMainWindow {
    Q_OBJECT

public:
    explicit PdfWindowController(PdfViewEnvironment environment = {}, QWidget* parent = nullptr);

    PdfViewController& pdfViewController() const { return *content_; }

private:
    PdfViewController* content_;
};

} // namespace vantle

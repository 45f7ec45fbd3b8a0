#pragma once
// The HTML windows that show the pages shipped with the program: the index, the about page and the
// help page. Links to the web open in the user's browser; links with the scheme "vantle" are
// commands to the program.

#include <QMainWindow>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <functional>

class QTextBrowser;

namespace vantle {

// What the HTML windows take from the application, or from a test.
struct HtmlViewEnvironment {
    // The folder of the pages. Empty: the pages compiled into the program (":/pages").
    QString pagesFolder;
    // Opens a web address with the user's default application. Empty: QDesktopServices.
    std::function<void(const QUrl& url)> openUrl;
    // Opens the help window. Empty: a new HTML window with a HelpViewController.
    std::function<void()> showHelpWindow;
};

// Shows "index.html" and rules which links are followed: the page is loaded once; an activated link
// is never followed inside the view. Main thread only.
class HtmlViewController : public QWidget {
    Q_OBJECT

public:
    explicit HtmlViewController(HtmlViewEnvironment environment = {}, QWidget* parent = nullptr);

    QTextBrowser& webView() const { return *webView_; }
    const HtmlViewEnvironment& environment() const { return environment_; }

    // An activated link: a "vantle" link goes to handleAppLink without its "vantle:", any other to
    // the default application.
    void linkActivated(const QUrl& url);

    // Builds the view and loads the page; the subclasses' loadContent needs a complete object.
    void viewDidLoad();

protected:
    virtual void loadContent(QTextBrowser& view);
    virtual void handleAppLink(const QString& link);
    // The page's text, or the product name when the file cannot be read.
    QString pageText(const QString& name) const;
    QString pagePath(const QString& name) const;

private:
    HtmlViewEnvironment environment_;
    QTextBrowser* webView_;
};

// The about page with the program's version where the page's placeholder "%@" stands; "help" opens
// the help window.
class AboutViewController final : public HtmlViewController {
    Q_OBJECT

public:
    // The version text (the program's own, or a test's).
    AboutViewController(QString version, HtmlViewEnvironment environment = {}, QWidget* parent = nullptr);

    // The page with the first "%@" replaced by the version; every other character stays as it is.
    static QString pageWithVersion(const QString& page, const QString& version);

protected:
    void loadContent(QTextBrowser& view) override;
    void handleAppLink(const QString& link) override;

private:
    QString version_;
};

// The help page "Help.html", loaded as a file so that it reaches the files beside it.
class HelpViewController final : public HtmlViewController {
    Q_OBJECT

public:
    explicit HelpViewController(HtmlViewEnvironment environment = {}, QWidget* parent = nullptr);

protected:
    void loadContent(QTextBrowser& view) override;
};

// A top-level window around one of the controllers; it deletes itself when closed.
class HtmlWindow final : public QMainWindow {
    Q_OBJECT

public:
    // Takes the controller, loads its page and titles the window.
    explicit HtmlWindow(HtmlViewController* content, const QString& title, QWidget* parent = nullptr);
};

} // namespace vantle

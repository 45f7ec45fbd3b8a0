#include "Source/views/HtmlViewController.h"

#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <QTextBrowser>

#include <fstream>
#include <string>
#include <vector>

namespace vantle {
namespace {

struct HtmlRig {
    explicit HtmlRig(const std::vector<std::pair<std::string, std::string>>& pages) {
        for (const auto& [name, text] : pages)
            std::ofstream(folder.file(name)) << text;
        environment.pagesFolder = QString::fromStdString(folder.path);
        environment.openUrl = [this](const QUrl& url) { opened.push_back(url.toString().toStdString()); };
        environment.showHelpWindow = [this] { ++helpWindows; };
    }
    std::string shown(HtmlViewController& view) {
        view.viewDidLoad();
        return view.webView().toPlainText().toStdString();
    }

    testsupport::TemporaryFolder folder;
    HtmlViewEnvironment environment;
    std::vector<std::string> opened;
    int helpWindows = 0;
};

TEST(HtmlWindows, AboutPagePutsTheVersionOnlyWhereThePlaceholderIs) {
    struct Case {
        std::string page, shown;
    };
    for (const Case& c : {Case{"<p>Version %@</p>", "Version 0.1.0"},
                          Case{"<p>%s %n %d 100% and %@ then %@</p>", "%s %n %d 100% and 0.1.0 then %@"},
                          Case{"<p>No placeholder</p>", "No placeholder"}}) {
        HtmlRig rig({{"About.html", c.page}});
        AboutViewController about("0.1.0", rig.environment);
        EXPECT_EQ(rig.shown(about), c.shown) << c.page;
    }
    HtmlRig empty({});
    AboutViewController missing("0.1.0", empty.environment);
    EXPECT_EQ(empty.shown(missing), "Vantle");
}

TEST(HtmlWindows, AppLinksAreCommandsAndOtherLinksGoToTheBrowser) {
    HtmlRig rig({{"About.html", "<a href=\"vantle:help\">help</a>"}, {"Help.html", "<h1>Help page</h1>"}});
    AboutViewController about("1", rig.environment);
    HelpViewController help(rig.environment);
    HtmlViewController index(rig.environment);
    const std::string aboutText = rig.shown(about);

    about.linkActivated(QUrl("vantle:help"));
    EXPECT_EQ(rig.helpWindows, 1);
    about.linkActivated(QUrl("vantle://help"));
    index.linkActivated(QUrl("vantle:help"));
    help.linkActivated(QUrl("vantle:help"));
    EXPECT_EQ(rig.helpWindows, 1);
    EXPECT_TRUE(rig.opened.empty());

    about.linkActivated(QUrl("https://example.org/vantle"));
    EXPECT_EQ(rig.opened, std::vector<std::string>{"https://example.org/vantle"});
    EXPECT_EQ(about.webView().toPlainText().toStdString(), aboutText);
    EXPECT_EQ(rig.shown(help), "Help page");
}

TEST(HtmlWindows, ThePagesShipWithTheProgram) {
    AboutViewController about("9.9", {});
    about.viewDidLoad();
    EXPECT_NE(about.webView().toPlainText().indexOf("Version 9.9"), -1);
}

} // namespace
} // namespace vantle

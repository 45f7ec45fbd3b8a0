// The karaoke panel: shown in the two karaoke modes over the playlist, with its sample text.

#include "Source/mainwindow/KaraokeView.h"
#include "tests/Source/mainwindow/MainWindowTestSupport.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>

namespace vantle::testing {
namespace {

// The text as shown, and the part of it drawn black on white.
std::pair<QString, QString> shownText(const QString& html) {
    QTextDocument document;
    document.setHtml(html);
    QString highlighted;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment)
            if (fragment.fragment().charFormat().background().color() == QColor(Qt::white))
                highlighted += fragment.fragment().text();
    const auto plain = [](QString text) { return text.replace(QChar::LineSeparator, QLatin1Char('\n')); };
    return {plain(document.toPlainText()), plain(highlighted)};
}

TEST_F(MainWindowTest, TheKaraokePanelCoversThePlaylistInTheKaraokeModes) {
    start();
    auto* panel = qobject_cast<KaraokeView*>(view().karaokeView());
    ASSERT_NE(panel, nullptr);
    QWidget* filesView = view().findChild<QWidget*>("filesView");
    for (PlayerMode mode :
         {PlayerMode::dance, PlayerMode::karaoke, PlayerMode::prepare, PlayerMode::karaokePrepare}) {
        player->setMode(mode);
        view().updateForMode();
        const bool karaoke = mode == PlayerMode::karaoke || mode == PlayerMode::karaokePrepare;
        EXPECT_EQ(panel->isVisible(), karaoke);
        if (!karaoke) continue;
        EXPECT_EQ(panel->geometry(), filesView->rect());
        // The three lines fit: at most 50 points, never cut.
        EXPECT_LE(panel->font().pointSizeF(), KaraokeView::pointSize);
        EXPECT_LE(panel->sizeHint().width(), panel->width());
        EXPECT_LE(panel->sizeHint().height(), panel->height());
        const auto [text, highlighted] = shownText(panel->text());
        EXPECT_EQ(text.size(), 201);
        EXPECT_EQ(text, KaraokeView::dummyText);
        EXPECT_EQ(highlighted, KaraokeView::dummyText.mid(10, 111));
    }
}

} // namespace
} // namespace vantle::testing

// The karaoke panel: shown over the playlist in the two karaoke modes, with its sample text.

#include "Source/mainwindow/KaraokeView.h"
#include "tests/Source/mainwindow/MainWindowTestSupport.h"

#include <QTextBlock>
#include <QTextDocument>

namespace vantle::testing {
namespace {

TEST_F(MainWindowTest, TheKaraokePanelCoversThePlaylistInTheKaraokeModes) {
    start();
    auto* panel = qobject_cast<KaraokeView*>(view().karaokeView());
    ASSERT_NE(panel, nullptr);
    for (PlayerMode mode : {PlayerMode::karaoke, PlayerMode::dance, PlayerMode::karaokePrepare}) {
        player->setMode(mode);
        view().updateForMode();
        ASSERT_EQ(panel->isVisible(), mode != PlayerMode::dance);
    }
    EXPECT_EQ(panel->geometry(), view().findChild<QWidget*>("filesView")->rect());
    EXPECT_LE(panel->font().pointSizeF(), KaraokeView::pointSize);
    EXPECT_TRUE(panel->rect().contains(QRect(QPoint(), panel->sizeHint()))) << "the lines fit";
    // The text as shown, and the part drawn black on white.
    QTextDocument document;
    document.setHtml(panel->text());
    QString highlighted;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment)
            if (fragment.fragment().charFormat().background().color() == QColor(Qt::white))
                highlighted += fragment.fragment().text();
    EXPECT_EQ(document.toPlainText().replace(QChar::LineSeparator, '\n'), KaraokeView::dummyText);
    EXPECT_EQ(highlighted.replace(QChar::LineSeparator, '\n'), KaraokeView::dummyText.mid(10, 111));
}

} // namespace
} // namespace vantle::testing

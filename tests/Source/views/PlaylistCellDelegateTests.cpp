#include "Source/session/TimeRange.h"
#include "Source/session/TimeRangeSet.h"
#include "Source/views/PlaylistCellDelegate.h"

#include "tests/Source/views/ViewsTestSupport.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QImage>
#include <QToolTip>

#include <gtest/gtest.h>

#include <optional>

namespace vantle::testing {
namespace {

TEST(VerticallyCenteredCells, TitleAndIndicatorSitInTheMiddle) {
    const QRectF base(3.0, 0.0, 90.0, 30.0);
    const QRectF title = PlaylistCellDelegate::centeredTitleRect(QRectF(0.0, 0.0, 100.0, 30.0), base, 16.0);
    EXPECT_DOUBLE_EQ(title.y(), 6.0);
    EXPECT_DOUBLE_EQ(title.x(), 3.0);
    EXPECT_DOUBLE_EQ(title.width(), 90.0);
    EXPECT_DOUBLE_EQ(title.height(), 30.0);
    // Bounds lower in their view move the text with them.
    EXPECT_DOUBLE_EQ(PlaylistCellDelegate::centeredTitleRect(QRectF(0.0, 60.0, 100.0, 30.0), base, 16.0).y(),
                     66.0);
    // A text taller than its bounds starts above them.
    EXPECT_DOUBLE_EQ(PlaylistCellDelegate::centeredTitleRect(QRectF(0.0, 0.0, 100.0, 10.0), base, 16.0).y(),
                     -4.0);

    const QRectF indicator = PlaylistCellDelegate::centeredIndicatorFrame(30.0, QRectF(4.0, 2.0, 80.0, 12.0));
    EXPECT_EQ(indicator, QRectF(4.0, 9.0, 80.0, 12.0));
}

struct BluePixels {
    std::optional<int> first, last;
};

// The rows of `column` in [top, bottom] drawn in the bar's blue.
BluePixels bluePixelsInColumn(const QImage& image, int x, int top, int bottom) {
    BluePixels found;
    for (int y = top; y <= bottom; ++y) {
        const QColor colour = image.pixelColor(x, y);
        if (colour.blue() > 150 && colour.blue() - colour.red() > 100) {
            if (!found.first) found.first = y;
            found.last = y;
        }
    }
    return found;
}

TEST_F(PlaylistTableTest, PlayedBarIsDrawnInTheVerticalMiddleOfItsRow) {
    auto entries = setEntries({"/a/whole.mp3", "/a/half.mp3", "/a/none.mp3"});
    entries[0]->currentTimeRangeSet = heardSpans({TimeRange{0.0, 1.0}});
    entries[1]->currentTimeRangeSet = heardSpans({TimeRange{0.0, 0.5}});
    table->verticalHeader()->setDefaultSectionSize(30);
    table->horizontalHeader()->resizeSection(PlaylistTableModel::columnIndex(PlaylistColumn::Played), 120);
    table->reloadTable();
    ASSERT_TRUE(table->selectedRows().empty());

    const QImage image = table->viewport()->grab().toImage();
    const int played = PlaylistTableModel::columnIndex(PlaylistColumn::Played);
    const auto cellRect = [&](int row) {
        return table->visualRect(table->playlistModel().index(row, played));
    };

    for (int row = 0; row < 2; ++row) {
        const QRect rect = cellRect(row);
        ASSERT_EQ(rect.height(), 30);
        const BluePixels blue = bluePixelsInColumn(image, rect.left() + 10, rect.top(), rect.bottom());
        ASSERT_TRUE(blue.first) << "row " << row;
        const int above = *blue.first - rect.top();
        const int below = rect.bottom() - *blue.last;
        EXPECT_LE(std::abs(above - below), 1)
            << "row " << row << ": " << above << " above, " << below << " below";
        EXPECT_GE(*blue.last - *blue.first + 1, 6);
        EXPECT_LE(*blue.last - *blue.first + 1, 12);
    }

    // The bar's length follows the share: full, half, nothing.
    const auto blueLength = [&](int row) {
        const QRect rect = cellRect(row);
        const int y = rect.center().y();
        int length = 0;
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QColor colour = image.pixelColor(x, y);
            if (colour.blue() > 150 && colour.blue() - colour.red() > 100) ++length;
        }
        return length;
    };
    const int whole = blueLength(0);
    EXPECT_GT(whole, 90);
    EXPECT_NEAR(blueLength(1), whole / 2.0, 4.0);
    EXPECT_EQ(blueLength(2), 0);
}

TEST_F(PlaylistTableTest, TextIsDrawnInTheVerticalMiddleOfItsRow) {
    setEntries({"/a/WWWWWWWW.mp3"});
    table->verticalHeader()->setDefaultSectionSize(40);
    table->reloadTable();
    QPalette palette = table->palette();
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, Qt::black);
    table->setPalette(palette);

    const QImage image = table->viewport()->grab().toImage();
    const QRect rect = table->visualRect(table->playlistModel().index(0, 0));
    std::optional<int> first, last;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            if (image.pixelColor(x, y).lightness() < 128) {
                if (!first) first = y;
                last = y;
                break;
            }
    ASSERT_TRUE(first);
    // Capital letters sit a little above the middle of the line box, which itself is one unit up.
    const double inkMiddle = (*first + *last) / 2.0;
    EXPECT_NEAR(inkMiddle, rect.top() + rect.height() / 2.0 - 1.0, 3.0);
}

TEST_F(PlaylistTableTest, OnlyATruncatedTextShowsWholeAsAToolTip) {
    setEntries({"/a/a rather long title that cannot fit into a narrow column.mp3", "/a/short.mp3"});
    table->horizontalHeader()->setSectionResizeMode(PlaylistTableModel::columnIndex(PlaylistColumn::Title),
                                                    QHeaderView::Interactive);
    table->horizontalHeader()->resizeSection(PlaylistTableModel::columnIndex(PlaylistColumn::Title), 120);
    const auto hover = [&](int row) {
        const QPoint at = table->visualRect(table->playlistModel().index(row, 0)).center();
        QHelpEvent event(QEvent::ToolTip, at, table->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(table->viewport(), &event);
        return QToolTip::isVisible() ? QToolTip::text().toStdString() : std::string();
    };
    EXPECT_EQ(hover(1), "");
    EXPECT_EQ(hover(0), "a rather long title that cannot fit into a narrow column");
    QToolTip::hideText();
}

} // namespace
} // namespace vantle::testing

namespace vantle::testing {
namespace {

TEST(TaggedTitles, TagsSitApartFromTheNameAndStayWholeWhenTheNameIsElided) {
    const QFont font;
    const QFontMetricsF metrics(font);
    const QString name = QStringLiteral("Mon Amour roule.wav"), tags = QStringLiteral("ab");
    const QRectF wide(4, 0, 400, 20);
    const auto laid = PlaylistCellDelegate::titleLayout(name, tags, metrics, wide, Qt::ElideRight);
    EXPECT_EQ(laid.name, name);
    EXPECT_EQ(laid.tags, tags);
    EXPECT_DOUBLE_EQ(laid.tagsRect.left(),
                     wide.left() + metrics.horizontalAdvance(name) + PlaylistCellDelegate::tagGap);
    // A narrow cell shortens the name, never the tags.
    const QRectF narrow(4, 0, metrics.horizontalAdvance(QStringLiteral("Mon Am…")) + 30, 20);
    const auto short_ = PlaylistCellDelegate::titleLayout(name, tags, metrics, narrow, Qt::ElideRight);
    EXPECT_TRUE(short_.name.endsWith(QChar(0x2026))) << short_.name.toStdString();
    EXPECT_EQ(short_.tags, tags);
    EXPECT_LE(short_.tagsRect.right(), narrow.right() + 0.001);
    EXPECT_GE(short_.tagsRect.left(), short_.nameRect.right() + PlaylistCellDelegate::tagGap - 0.001);
    // Untagged titles take the whole cell.
    const auto plain = PlaylistCellDelegate::titleLayout(name, {}, metrics, wide, Qt::ElideRight);
    EXPECT_TRUE(plain.tags.isEmpty() && plain.nameRect == wide);
}

TEST_F(PlaylistTableTest, TagsAreDrawnInTheirOwnColourAfterAGap) {
    auto entries = setEntries({"/a/roule.wav", "/a/plain.wav"});
    entries[0]->tags = "a";
    table->reloadTable();
    QPalette palette = table->palette();
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, Qt::black);
    table->setPalette(palette);
    EXPECT_EQ(table->playlistModel().index(0, 0).data().toString(), "roule.wava") << "the cell's text stays";
    EXPECT_EQ(table->playlistModel().index(0, 0).data(PlaylistTableModel::TagsRole).toString(), "a");

    const QImage image = table->viewport()->grab().toImage();
    const QColor tint = PlaylistCellDelegate::tagTint();
    // The columns of each row's ink: dark for the name, the tint for the tags.
    auto inkColumns = [&](int row, auto like) {
        const QRect rect = table->visualRect(table->playlistModel().index(row, 0));
        std::vector<int> columns;
        for (int x = rect.left(); x <= rect.right(); ++x)
            for (int y = rect.top(); y <= rect.bottom(); ++y)
                if (like(image.pixelColor(x, y))) {
                    columns.push_back(x);
                    break;
                }
        return columns;
    };
    auto isTint = [&](const QColor& c) {
        return std::abs(c.red() - tint.red()) < 40 && std::abs(c.green() - tint.green()) < 40 &&
               std::abs(c.blue() - tint.blue()) < 40 && c.saturation() > 100;
    };
    auto isDark = [](const QColor& c) { return c.lightness() < 100; };
    const std::vector<int> name = inkColumns(0, isDark), tags = inkColumns(0, isTint);
    ASSERT_FALSE(name.empty());
    ASSERT_FALSE(tags.empty()) << "the tag is drawn in its colour";
    EXPECT_GE(tags.front() - name.back(), 4) << "a gap between name and tags";
    EXPECT_TRUE(inkColumns(1, isTint).empty());
}

} // namespace
} // namespace vantle::testing

#include "Source/views/TintedButton.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QPixmap>

namespace vantle {
namespace {

QColor centre(const QIcon& icon) {
    return icon.pixmap(QSize(16, 16)).toImage().pixelColor(8, 8);
}

TEST(TintedButton, DrawsItsIconInTheTextColourAndLeavesTheSharedIconAlone) {
    EXPECT_TRUE(TintedButton().icon().isNull());

    QPixmap picture(16, 16);
    picture.fill(Qt::transparent);
    {
        QPainter painter(&picture);
        painter.fillRect(4, 4, 8, 8, Qt::red);
    }
    const QIcon shared(picture);
    TintedButton first(shared, "A"), second(shared, "B");
    QPushButton plain(shared, "C");
    const QColor text = first.palette().color(QPalette::ButtonText);
    ASSERT_NE(text, QColor(Qt::red));
    EXPECT_EQ(centre(first.icon()), text);
    EXPECT_EQ(centre(second.icon()), text);
    EXPECT_EQ(centre(plain.icon()), QColor(Qt::red));
    EXPECT_EQ(centre(shared), QColor(Qt::red));
    EXPECT_EQ(first.icon().pixmap(QSize(16, 16)).toImage().pixelColor(1, 1).alpha(), 0);
}

} // namespace
} // namespace vantle

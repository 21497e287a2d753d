#include "ui/Icons.h"

#include <QImage>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace quaverly;

namespace {

TEST(IconsTest, HasTintedHiDpiArtworkForEverySymbolTheWindowUsesAndNoneForOthers)
{
    for (const QString &name :
         {u"music.note.house.fill"_s, u"arrow.down"_s, u"exclamationmark.triangle.fill"_s, u"plus.circle.fill"_s,
          u"minus.circle.fill"_s, u"arrow.triangle.2.circlepath.circle.fill"_s, u"music.note.list"_s,
          u"checkmark.circle.fill"_s, u"xmark.circle.fill"_s, u"stop.circle.fill"_s, u"info.circle"_s}) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_TRUE(Icons::exists(name));
        const QPixmap pixmap = Icons::tinted(name, QColor(0, 122, 255), 24, 2.0);
        EXPECT_EQ(pixmap.size(), QSize(48, 48));
        EXPECT_EQ(pixmap.devicePixelRatio(), 2.0);
    }
    EXPECT_FALSE(Icons::exists(u"no.such.symbol"_s));
    EXPECT_TRUE(Icons::tinted(u"no.such.symbol"_s, Qt::red, 24, 1.0).isNull());

    const QColor green(40, 180, 65);
    const QImage plus = Icons::tinted(u"plus.circle.fill"_s, green, 48, 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(plus.size(), QSize(48, 48));
    // Inside the circle but off the plus: solid tint. On the plus's centre: a hole. Outside: empty.
    EXPECT_EQ(plus.pixelColor(10, 10), green);
    EXPECT_EQ(plus.pixelColor(24, 24).alpha(), 0);
    EXPECT_EQ(plus.pixelColor(0, 0).alpha(), 0);
}

} // namespace

#include "ui/Icons.h"

#include <QImage>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace quaverly;

namespace {

TEST(IconsTest, TintsTheSolidPartsOfHiDpiArtworkAndLeavesItsWhiteMarksAsHoles)
{
    const QColor tint(40, 180, 65);
    const QImage image = Icons::tinted(u"plus.circle.fill"_s, tint, 24, 2.0).toImage();
    ASSERT_EQ(image.size(), QSize(48, 48));
    EXPECT_EQ(image.pixelColor(24, 6), tint);
    EXPECT_EQ(image.pixelColor(24, 24).alpha(), 0);
    EXPECT_TRUE(Icons::tinted(u"no.such.symbol"_s, Qt::red, 24, 1.0).isNull());
}

} // namespace

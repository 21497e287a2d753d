#include "ui/Icons.h"
#include "ui/Theme.h"

#include <QImage>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace quaverly;

namespace {

TEST(IconsTest, HasArtworkForEverySymbolTheWindowUses)
{
    const QString names[] = {
        u"music.note.house.fill"_s, u"arrow.down"_s, u"exclamationmark.triangle.fill"_s,
        u"plus.circle.fill"_s, u"minus.circle.fill"_s, u"arrow.triangle.2.circlepath.circle.fill"_s,
        u"music.note.list"_s, u"checkmark.circle.fill"_s, u"xmark.circle.fill"_s, u"stop.circle.fill"_s,
    };
    for (const QString &name : names) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_TRUE(Icons::exists(name));
        const QPixmap pixmap = Icons::tinted(name, QColor(0, 122, 255), 24, 2.0);
        ASSERT_FALSE(pixmap.isNull());
        EXPECT_EQ(pixmap.size(), QSize(48, 48));
        EXPECT_EQ(pixmap.devicePixelRatio(), 2.0);
    }
    EXPECT_FALSE(Icons::exists(u"no.such.symbol"_s));
    EXPECT_TRUE(Icons::tinted(u"no.such.symbol"_s, Qt::red, 24, 1.0).isNull());
}

TEST(IconsTest, TintsTheInkAndCutsOutTheWhiteMarks)
{
    const QColor green(40, 180, 65);
    const QImage image = Icons::tinted(u"plus.circle.fill"_s, green, 48, 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(image.size(), QSize(48, 48));
    // Inside the circle but off the plus: solid tint. On the plus's centre: a hole. Outside: empty.
    EXPECT_EQ(image.pixelColor(10, 10), green);
    EXPECT_EQ(image.pixelColor(24, 24).alpha(), 0);
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);
}

TEST(ThemeTest, BrightensTheSignalColoursInADarkPalette)
{
    QPalette light, dark;
    light.setColor(QPalette::Window, QColor(236, 236, 236));
    dark.setColor(QPalette::Window, QColor(40, 40, 42));
    ASSERT_FALSE(Theme::isDark(light));
    ASSERT_TRUE(Theme::isDark(dark));
    for (const Theme::Tint tint : {Theme::Tint::green, Theme::Tint::red, Theme::Tint::blue, Theme::Tint::orange}) {
        SCOPED_TRACE(int(tint));
        EXPECT_GE(Theme::color(tint, dark).lightness(), Theme::color(tint, light).lightness());
    }
    EXPECT_EQ(Theme::controlBackground(dark), dark.color(QPalette::Base));
    EXPECT_EQ(Theme::separator(dark), dark.color(QPalette::Mid));
}

} // namespace

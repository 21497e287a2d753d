#include "ui/Icons.h"

#include <QImage>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace quaverly;

namespace {

TEST(IconsTest, HasTintedHiDpiArtworkForEverySymbolTheWindowUsesAndNoneForOthers)
{
    const QColor tint(40, 180, 65);
    for (const QString &name :
         {u"music.note.house.fill"_s, u"arrow.down"_s, u"exclamationmark.triangle.fill"_s, u"plus.circle.fill"_s,
          u"minus.circle.fill"_s, u"arrow.triangle.2.circlepath.circle.fill"_s, u"music.note.list"_s,
          u"checkmark.circle.fill"_s, u"xmark.circle.fill"_s, u"stop.circle.fill"_s, u"info.circle"_s}) {
        SCOPED_TRACE(name.toStdString());
        const QPixmap pixmap = Icons::tinted(name, tint, 24, 2.0);
        ASSERT_EQ(pixmap.size(), QSize(48, 48));
        // Whatever colour the artwork is drawn in, its solid parts take the tint and its gaps stay clear.
        const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
        int solid = 0, clear = 0, untinted = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                solid += pixel.alpha() == 255;
                clear += pixel.alpha() == 0;
                untinted += pixel.alpha() == 255 && pixel != tint;
            }
        }
        EXPECT_TRUE(solid > 0 && clear > 0 && untinted == 0) << solid << " solid, " << clear << " clear, "
                                                              << untinted << " untinted";
    }
    // White marks in the artwork are holes, so the plus shows against what lies behind the circle.
    EXPECT_EQ(Icons::tinted(u"plus.circle.fill"_s, tint, 48, 1.0).toImage().pixelColor(24, 24).alpha(), 0);
    EXPECT_TRUE(Icons::tinted(u"no.such.symbol"_s, Qt::red, 24, 1.0).isNull());
}

} // namespace

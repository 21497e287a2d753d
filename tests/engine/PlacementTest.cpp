#include "engine/Placement.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace quaverly;

TEST(PlacementTest, TakesOnlyLocalFileUrlsAsLocalPaths)
{
    const std::pair<QString, std::optional<QString>> cases[] = {
        {u"file://localhost/Users/u/Music/01%20T.m4a"_s, u"/Users/u/Music/01 T.m4a"_s},
        {u"file:///Users/u/Music/../../../etc/passwd"_s, u"/etc/passwd"_s},
        {u"file:////Users//u/./M/..x/.y/"_s, u"/Users/u/M/..x/.y"_s},
        {u"file:///Users/u/%C3%A9t%C3%A9.m4a"_s, u"/Users/u/\u00e9t\u00e9.m4a"_s},
        {u"file://server/share/01.m4a"_s, std::nullopt},
        {u"http://example.com/stream.mp3"_s, std::nullopt},
        {u"file:///Users/u/a.m4a%00.txt"_s, std::nullopt},
        {u"file:relative/01.m4a"_s, std::nullopt},
        {u"/Users/u/no-scheme.m4a"_s, std::nullopt},
    };
    for (const auto &[url, expected] : cases) {
        SCOPED_TRACE(url.toStdString());
        EXPECT_EQ(Placement::localPath(QUrl(url)), expected);
    }
}

TEST(PlacementTest, PlacesTargetsInsideTheDestinationFolder)
{
    const QString b = u"/Users/u/Music/Music"_s;
    const QString d = u"/Volumes/M/Music/Music"_s;
    const struct {
        QString source;
        QString sourceFolder;
        QString destinationFolder;
        QString expected;
    } cases[] = {
        {b + u"/Media/Music/A/X/01 T.m4a"_s, b, d, d + u"/Media/Music/A/X/01 T.m4a"_s},
        {u"/Users/u/Music/Music2/01 T.m4a"_s, b, d, d + u"/01 T.m4a"_s},
        {b + u"/../../../../etc/passwd"_s, b, d, d + u"/passwd"_s},
        {b + u"//Media/./01 T.m4a"_s, b + u"/"_s, d + u"/"_s, d + u"/Media/01 T.m4a"_s},
        {u"/Media/01 T.m4a"_s, u"/"_s, d, d + u"/Media/01 T.m4a"_s},
        {b + u"/Media/01 T.m4a"_s, b, u"/"_s, u"/Media/01 T.m4a"_s},
        {b + u"/01 T.m4a"_s, QString(), d, d + u"/01 T.m4a"_s},
        {u"/"_s, b, d, QString()},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.source.toStdString());
        const QString target = Placement::targetPath(c.source, c.sourceFolder, c.destinationFolder);
        EXPECT_EQ(target, c.expected);
        EXPECT_TRUE(target.isEmpty() || Placement::isInside(target, c.destinationFolder));
    }
}

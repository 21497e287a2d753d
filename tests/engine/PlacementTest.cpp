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
        {u"file://server/share/01.m4a"_s, std::nullopt},
        {u"http://example.com/stream.mp3"_s, std::nullopt},
        {u"file:///Users/u/a.m4a%00.txt"_s, std::nullopt},
        {u"file:relative/01.m4a"_s, std::nullopt},
    };
    for (const auto &[url, expected] : cases) {
        SCOPED_TRACE(url.toStdString());
        EXPECT_EQ(Placement::localPath(QUrl(url)), expected);
    }
}

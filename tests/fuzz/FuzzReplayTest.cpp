#include "LibraryFileCheck.h"
#include "PlacementCheck.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace quaverly;

namespace {

QString fuzzFolder() { return QString::fromUtf8(QUAVERLY_FUZZ_FOLDER); }

// Every committed input of one fuzz target: its hand-made seeds and its reproducers.
QStringList committedInputs(const QString &target)
{
    QStringList paths;
    for (const QString &kind : {u"seeds"_s, u"reproducers"_s}) {
        const QDir folder(fuzzFolder() + u'/' + kind + u'/' + target);
        for (const QString &name : folder.entryList(QDir::Files, QDir::Name))
            paths.append(folder.filePath(name));
    }
    return paths;
}

// An unreadable input throws, which fails the test.
QByteArray contents(const QString &path) { return test::contentsOf(path).value(); }

} // namespace

// The checks abort on a broken invariant, so passing means no crash and no violation.
TEST(FuzzReplayTest, EveryCommittedInputPassesItsTargetsChecks)
{
    const QStringList libraries = committedInputs(u"library"_s);
    const QStringList placements = committedInputs(u"placement"_s);
    ASSERT_GE(libraries.size(), 50);
    ASSERT_GE(placements.size(), 30);
    for (const QString &path : libraries) {
        SCOPED_TRACE(path.toStdString());
        const QString outcome = fuzz::checkLibraryFile(contents(path));
        EXPECT_TRUE(outcome.startsWith(u"read: "_s) || outcome.startsWith(u"rejected: "_s)) << outcome.toStdString();
    }
    for (const QString &path : placements) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_TRUE(fuzz::checkPlacement(contents(path)).startsWith(u"path "_s));
    }
}

// A hostile library file ends in its own sentence; a hostile location maps inside the destination or nowhere.
TEST(FuzzReplayTest, HostileInputsEndInTheirOwnSentenceOrInsideTheDestination)
{
    const std::pair<QString, QString> cases[] = { // a file under fuzz/, a part of the check's answer
        {u"seeds/library/billion-laughs.xml"_s, u"the entity declaration \"lol0\" is not allowed at line 3"_s},
        {u"seeds/library/attribute-defaults.xml"_s, u"the attribute declaration for <true> is not allowed at line 3"_s},
        {u"seeds/library/nesting-dict-beyond-limit.xml"_s, u"nested deeper than 512 levels at line 4, column 9217."_s},
        {u"seeds/library/nesting-at-limit.xml"_s, u"rejected: the root is no dictionary"_s},
        {u"seeds/library/integer-negative-overflow.xml"_s, u"\"-9223372036854775809\" is outside the 64-bit range"_s},
        {u"seeds/library/date-not-leap-1900.xml"_s, u"\"1900-02-29T00:00:00Z\" is not a valid"_s},
        {u"seeds/library/character-reference-out-of-range.xml"_s, u"reference to invalid character number"_s},
        {u"seeds/library/utf8-surrogate-bytes.xml"_s, u"not well-formed (invalid token)"_s},
        {u"seeds/library/track-locations.xml"_s, u"read: 14 tracks, 0 playlists"_s},
        // Shapes an export may take: a byte order mark, UTF-16, comments, instructions and CDATA.
        {u"seeds/library/utf8-bom.xml"_s, u"read: 1 tracks"_s},
        {u"seeds/library/utf16-bom.xml"_s, u"read: 0 tracks"_s},
        {u"seeds/library/cdata-comment-pi.xml"_s, u"read: 0 tracks"_s},
        {u"seeds/placement/dot-dot-encoded.txt"_s, u"target \"/Volumes/M/Music/passwd\""_s},
        {u"seeds/placement/host-share-destination.txt"_s, u"destination folder none, target none"_s},
        {u"seeds/placement/sibling-prefix.txt"_s, u"target \"/Volumes/M/Music/01.m4a\""_s},
        {u"seeds/placement/root-location.txt"_s, u"path \"/\", "_s},
        {u"seeds/placement/root-location.txt"_s, u"target none"_s},
        {u"seeds/placement/recorded-media-folder-climbing.txt"_s, u"read with a named media folder: not on this computer"_s},
        // Found by fuzz_placement: a relative path was not inside the current folder.
        {u"reproducers/placement/relative-path-in-empty-folder.txt"_s, u"line 1 inside line 2: yes"_s},
        // Found while fixing it: "../../x" lay "inside" "..".
        {u"reproducers/placement/climbs-out-of-parent-folder.txt"_s, u"line 1 inside line 2: no"_s},
        // Found by fuzz_placement in the check itself: "]]>" in a Location was written to XML unescaped.
        {u"reproducers/placement/location-holding-cdata-end.txt"_s, u"path none"_s},
    };
    for (const auto &[file, expected] : cases) {
        SCOPED_TRACE(file.toStdString());
        const QByteArray bytes = contents(fuzzFolder() + u'/' + file);
        ASSERT_FALSE(bytes.isEmpty());
        const QString outcome = file.contains(u"/library/"_s) ? fuzz::checkLibraryFile(bytes) : fuzz::checkPlacement(bytes);
        EXPECT_TRUE(outcome.contains(expected)) << outcome.toStdString();
    }
}

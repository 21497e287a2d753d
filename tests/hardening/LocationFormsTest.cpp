#include "engine/SyncEngine.h"
#include "hardening/HardeningSupport.h"
#include "scanner/MusicLibraryScanner.h"
#include "support/PlistText.h"


#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::hardening;

namespace {

/// A file written in the library's folder, holding its own path (empty: none), and the location
/// that follows "file://" + the folder's encoded path + "/".
using Entries = std::vector<std::pair<QString, QString>>;

// Writes the files and "Music Library.xml" in `folder`, one track per entry, and reads it back.
MusicLibrary writeLibrary(const QString &folder, const Entries &entries)
{
    const QString folderUrl = QUrl::fromLocalFile(folder).toString(QUrl::FullyEncoded) + u'/';
    QByteArray tracks;
    for (size_t i = 0; i < entries.size(); ++i) {
        const auto &[file, location] = entries[i];
        EXPECT_TRUE(file.isEmpty() || writeFile(folder + u'/' + file, (folder + u'/' + file).toUtf8()));
        tracks += "<key>" + QByteArray::number(i) + "</key><dict><key>Persistent ID</key><string>" + folder.toUtf8()
            + QByteArray::number(i) + "</string><key>Location</key><string>" + (folderUrl + location).toUtf8()
            + "</string></dict>";
    }
    EXPECT_TRUE(writeFile(folder + u"/Music Library.xml"_s,
                          test::plistDocument("<dict><key>Tracks</key><dict>" + tracks + "</dict></dict>")));
    return MusicLibraryScanner::scanLibrarySync(QUrl::fromLocalFile(folder + u"/Music Library.xml"_s));
}

QString encoded(const QString &name) { return QString::fromLatin1(QUrl::toPercentEncoding(name)); }

class LocationFormsTest : public test::TemporaryFolderTest
{
protected:
    // Syncs the two libraries and answers the destination's files, hidden ones included.
    QMap<QString, QByteArray> sync(const Entries &source, const Entries &destination)
    {
        SyncPlan plan = SyncEngine::makePlan(writeLibrary(sourceFolder, source), writeLibrary(destinationFolder, destination));
        before = treeDigest(destinationFolder);
        SyncEngine::runSync(plan, {});
        EXPECT_EQ(plan.job.completedItemCount, qint64(source.size() + destination.size()));
        return treeDigest(destinationFolder);
    }

    const QString sourceFolder = at(u"Source"_s);
    const QString destinationFolder = at(u"Destination"_s);
    QMap<QString, QByteArray> before;
};

} // namespace

TEST_F(LocationFormsTest, CopiesEachFileOnceUnderItsOwnNameAndRemovesOnlyWhatALocationNamesExactly)
{
    const QString cafe = u"Cafe\u0301.m4a"_s;
    const QString noel = u"No\u00ebl.m4a"_s;
    const QString zoe = u"Zoe\u0308.m4a"_s;
    const QString special = u"a#b?c%d+e.m4a"_s;
    ASSERT_TRUE(writeFile(at(cafe), {}));
    if (QFile::exists(at(cafe.normalized(QString::NormalizationForm_C))))
        GTEST_SKIP() << "this file system takes both normalisation forms for one name";
    const auto after = sync(
        {
            {cafe, encoded(cafe.normalized(QString::NormalizationForm_C))}, // stored decomposed, listed composed
            {{}, encoded(cafe)},                                             // the same file in its own form
            {noel, encoded(noel.normalized(QString::NormalizationForm_D))},
            {special, u"a%23b%3Fc%25d+e.m4a"_s},
        },
        {
            {zoe, encoded(zoe.normalized(QString::NormalizationForm_C))},
            {{}, encoded(noel)}, // an old entry of the file just copied under another spelling
            {u"bad\ufffd.m4a"_s, u"bad%FE.m4a"_s},
            {u"x#y?z%w+v.m4a"_s, u"x%23y%3Fz%25w+v.m4a"_s},
        });

    QMap<QString, QByteArray> expected = before;
    expected.remove(u"x#y?z%w+v.m4a"_s);
    for (const QString &name : {cafe, noel, special})
        expected.insert(name, QCryptographicHash::hash((sourceFolder + u'/' + name).toUtf8(), QCryptographicHash::Md5));
    EXPECT_EQ(after, expected);
}

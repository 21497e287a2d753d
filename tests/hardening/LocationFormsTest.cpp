#include "engine/SyncEngine.h"
#include "hardening/HardeningSupport.h"
#include "scanner/MusicLibraryScanner.h"
#include "support/PlistText.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::hardening;

namespace {

const QString nfcCafe = u"Caf\u00e9.m4a"_s;
const QString nfdCafe = u"Cafe\u0301.m4a"_s;
const QString nfcNoel = u"No\u00ebl.m4a"_s;
const QString nfdZoe = u"Zoe\u0308.m4a"_s;
const QString replacement = u"bad\ufffd.m4a"_s;

struct Entry
{
    QString fileOnDisk;   ///< written in the library's folder, holding its own path; empty: none
    QString location;     ///< after "file://" + the folder's encoded path + "/"; starting with "!": all of it
};

// Writes the files and "Music Library.xml" in `folder`, one track per entry, and reads it back.
MusicLibrary writeLibrary(const QString &folder, const std::vector<Entry> &entries)
{
    const QString folderUrl = QUrl::fromLocalFile(folder).toString(QUrl::FullyEncoded) + u'/';
    QByteArray tracks;
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry &entry = entries[i];
        const QString path = folder + u'/' + entry.fileOnDisk;
        EXPECT_TRUE(entry.fileOnDisk.isEmpty() || writeFile(path, path.toUtf8()));
        const QString location = entry.location.startsWith(u'!') ? entry.location.mid(1) : folderUrl + entry.location;
        tracks += "<key>" + QByteArray::number(i) + "</key><dict><key>Persistent ID</key><string>"
            + folder.toUtf8() + QByteArray::number(i) + "</string><key>Location</key><string>" + location.toUtf8()
            + "</string></dict>";
    }
    EXPECT_TRUE(writeFile(folder + u"/Music Library.xml"_s,
                          test::plistDocument("<dict><key>Tracks</key><dict>" + tracks + "</dict></dict>")));
    return MusicLibraryScanner::scanLibrarySync(QUrl::fromLocalFile(folder + u"/Music Library.xml"_s));
}

QString encoded(const QString &name)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(name));
}

class LocationFormsTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_root.isValid()); }

    // Syncs the two libraries and answers the destination's files, hidden ones included.
    QMap<QString, QByteArray> sync(const std::vector<Entry> &source, const std::vector<Entry> &destination)
    {
        SyncPlan plan = SyncEngine::makePlan(writeLibrary(sourceFolder, source), writeLibrary(destinationFolder, destination));
        before = treeDigest(destinationFolder);
        SyncEngine::runSync(plan, {});
        EXPECT_EQ(plan.job.completedItemCount, qint64(source.size() + destination.size()));
        return treeDigest(destinationFolder);
    }

    QTemporaryDir m_root;
    const QString sourceFolder = m_root.filePath(u"Source"_s);
    const QString destinationFolder = m_root.filePath(u"Destination"_s);
    QMap<QString, QByteArray> before;
};

QByteArray digestOf(const QString &folder, const QString &name)
{
    return QCryptographicHash::hash((folder + u'/' + name).toUtf8(), QCryptographicHash::Md5);
}

} // namespace

TEST_F(LocationFormsTest, CopiesEachFileOnceUnderItsOwnNameAndRemovesOnlyWhatALocationNamesExactly)
{
    ASSERT_TRUE(writeFile(m_root.filePath(nfdCafe), {}));
    if (QFile::exists(m_root.filePath(nfcCafe)))
        GTEST_SKIP() << "this file system takes both normalisation forms for one name";
    const QString special = u"a#b?c%d+e.m4a"_s;
    const QString localhost = u"!file://localhost"_s + QUrl::fromLocalFile(m_root.path()).path(QUrl::FullyEncoded);
    const auto after = sync(
        {
            {nfdCafe, encoded(nfcCafe)},  // stored decomposed, listed composed
            {{}, encoded(nfdCafe)},       // the same file listed in its own form
            {nfcNoel, encoded(nfcNoel.normalized(QString::NormalizationForm_D))},
            {special, u"a%23b%3Fc%25d+e.m4a"_s},
            {u"local.m4a"_s, localhost + u"/Source/local.m4a"_s},
            {u"cut.m4a"_s, u"cut.m4a%00.mp3"_s},
            {replacement, u"bad%FF.m4a"_s},
        },
        {
            {nfdZoe, encoded(nfdZoe.normalized(QString::NormalizationForm_C))},
            {{}, encoded(nfcNoel)},  // an old entry of the file just copied under another spelling
            {replacement, u"bad%FE.m4a"_s},
            {u"cut.m4a"_s, u"cut.m4a%00"_s},
            {u"x#y?z%w+v.m4a"_s, u"x%23y%3Fz%25w+v.m4a"_s},
            {u"gone.m4a"_s, localhost + u"/Destination/gone.m4a"_s},
        });

    QMap<QString, QByteArray> expected = before;
    expected.remove(u"x#y?z%w+v.m4a"_s);
    expected.remove(u"gone.m4a"_s);
    for (const QString &name : {nfdCafe, nfcNoel, special, u"local.m4a"_s})
        expected.insert(name, digestOf(sourceFolder, name));
    EXPECT_EQ(after, expected);
}

TEST_F(LocationFormsTest, NeverWritesOrDeletesALibraryFile)
{
    ASSERT_TRUE(writeFile(sourceFolder + u"/Album Artwork/notes.xml"_s, "artwork"));
    const auto after = sync(
        {{{}, u"Music%20Library.xml"_s}, {u"Other.XML"_s, u"Other.XML"_s}, {u"Info.plist"_s, u"Info.plist"_s}},
        {{{}, u"Music%20Library.xml"_s}, {u"Backup.PLIST"_s, u"Backup.PLIST"_s}});

    EXPECT_EQ(QStringList(after.keys()),
              (QStringList{u"Album Artwork/notes.xml"_s, u"Backup.PLIST"_s, u"Music Library.xml"_s}));
    EXPECT_EQ(after.value(u"Music Library.xml"_s), before.value(u"Music Library.xml"_s));
}

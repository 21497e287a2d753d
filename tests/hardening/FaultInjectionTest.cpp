#include "engine/SyncEngine.h"
#include "engine/SyncError.h"
#include "hardening/HardeningSupport.h"
#include "platform/FileSystem.h"


#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::hardening;

namespace {

// A library file in `folder` listing one track per media path, each track named after its path.
MusicLibrary library(const QString &folder, const QStringList &media)
{
    MusicLibrary result{.xmlURL = QUrl::fromLocalFile(folder + u"/Music Library.xml"_s)};
    for (const QString &path : media)
        result.tracks.insert(path, Track{.persistentID = path, .location = QUrl::fromLocalFile(folder + u'/' + path)});
    return result;
}

// Source S on the ordinary disk; destination D, where asked, on a tmpfs of its own.
class FaultInjectionTest : public test::TemporaryFolderTest
{
protected:
    [[nodiscard]] std::optional<QString> mountDestination(const char *options)
    {
        m_mount.emplace(destination, options);
        return m_mount->skipReason();
    }

    std::optional<ScratchMount> m_mount;
    const QString source = at(u"S"_s);
    const QString destination = at(u"D"_s);
};

} // namespace

TEST_F(FaultInjectionTest, DiskFullKeepsTheOldTargetAndLeavesNoTemporaryOrLaterRemoval)
{
    if (const auto reason = mountDestination("size=256k"))
        GTEST_SKIP() << reason->toStdString();
    ASSERT_TRUE(writeFile(source + u"/Media/small.m4a"_s, QByteArray(16 * 1024, 's'))
                && writeFile(source + u"/Media/big.m4a"_s, QByteArray(1024 * 1024, 'b')));
    ASSERT_TRUE(writeFile(destination + u"/Media/big.m4a"_s, QByteArray(8 * 1024, 'o'))
                && writeFile(destination + u"/Media/gone.m4a"_s, "to remove"));
    const auto before = treeDigest(destination);
    SyncPlan plan = SyncEngine::makePlan(library(source, {u"Media/small.m4a"_s, u"Media/big.m4a"_s}),
                                         library(destination, {u"Media/gone.m4a"_s}));
    plan.consent = {.massRemoval = true, .permanentDeletion = true};
    // The volume fills up behind the plan's back.
    plan.availableSpace.reset();
    try {
        SyncEngine::runSync(plan, {});
        ADD_FAILURE() << "the run did not fail";
    } catch (const FileSystemError &error) {
        EXPECT_EQ(error.errorCode(), ENOSPC) << error.what();
    }
    // The old target whole, no temporary, and no removal after the failure.
    const auto after = treeDigest(destination);
    EXPECT_EQ(after.value(u"Media/big.m4a"_s), before.value(u"Media/big.m4a"_s));
    EXPECT_TRUE(after.contains(u"Media/gone.m4a"_s) && temporaries(after).isEmpty());
}

TEST_F(FaultInjectionTest, WithoutATrashNothingIsDeletedForGoodUnlessTheUserAgrees)
{
    // A volume of its own whose top holds a file where its Trash would be made.
    if (const auto reason = mountDestination("size=1m"))
        GTEST_SKIP() << reason->toStdString();
    const QString folder = destination + u"/Library"_s;
    ASSERT_TRUE(writeFile(destination + u"/.Trash-%1"_s.arg(::getuid()), "not a folder"));
    ASSERT_TRUE(writeFile(folder + u"/old.m4a"_s, "old") && writeFile(source + u"/new.m4a"_s, "new"));
    SyncPlan plan = SyncEngine::makePlan(library(source, {u"new.m4a"_s}), library(folder, {u"old.m4a"_s}));

    ASSERT_FALSE(plan.trashAvailable);
    EXPECT_THROW(SyncEngine::runSync(plan, {}), SyncError);
    EXPECT_TRUE(QFile::exists(folder + u"/old.m4a"_s) && !QFile::exists(folder + u"/new.m4a"_s));
    plan.consent.permanentDeletion = true;
    SyncEngine::runSync(plan, {});
    EXPECT_TRUE(!QFile::exists(folder + u"/old.m4a"_s) && QFile::exists(folder + u"/new.m4a"_s));
}

TEST_F(FaultInjectionTest, ClearsOnlyTheTemporariesOfAnInterruptedReplacement)
{
    const QString ours = u".a.m4a.quaverly-Ab12Cd"_s;
    const QStringList others{u".a.m4a.quaverly-Ab12C"_s, u"a.m4a.quaverly-Ab12Cd"_s, u".quaverly-Ab12Cd"_s,
                             u".a.m4a.quaverly-Ab_2Cd"_s, u".a.m4a.Quaverly-Ab12Cd"_s};
    for (const QString &name : others + QStringList{ours})
        ASSERT_TRUE(writeFile(destination + u'/' + name, "x"));
    ASSERT_TRUE(QDir().mkpath(destination + u"/.folder.quaverly-Ab12Cd"_s));
    ASSERT_TRUE(QFile::link(destination + u'/' + ours, destination + u"/.link.quaverly-Ab12Cd"_s));

    FileSystem::removeTemporaries(destination);

    EXPECT_EQ(test::namesIn(destination), ".a.m4a.Quaverly-Ab12Cd|.a.m4a.quaverly-Ab12C|.a.m4a.quaverly-Ab_2Cd|"
                                          ".folder.quaverly-Ab12Cd|.link.quaverly-Ab12Cd|.quaverly-Ab12Cd|a.m4a.quaverly-Ab12Cd");
    EXPECT_FALSE(FileSystem::itemExists(destination + u'/' + ours));
}

#include "platform/FileSystem.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace quaverly;
namespace fs = quaverly::FileSystem;

namespace {

QByteArray patternedBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(size);
    for (char &byte : bytes)
        byte = char(generator.bounded(256));
    return bytes;
}

timespec modifiedAt(const struct stat &status)
{
#if defined(__APPLE__)
    return status.st_mtimespec;
#else
    return status.st_mtim;
#endif
}

struct stat statusOf(const QString &path)
{
    struct stat status {};
    EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &status), 0) << path.toStdString();
    return status;
}

/// Caps the size a file of this process may reach, so that a copy fails half-way.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        m_savedHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_savedHandler);
    }

private:
    rlimit m_saved {};
    void (*m_savedHandler)(int);
};

class FileSystemTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString path(const QString &relative) const { return m_dir.filePath(relative); }

    void write(const QString &relative, const QByteArray &bytes, mode_t mode = 0644)
    {
        QFile file(path(relative));
        // Removed first, as a read-only file left by an earlier round cannot be opened for writing.
        QFile::remove(file.fileName());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << relative.toStdString();
        ASSERT_EQ(file.write(bytes), bytes.size());
        file.close();
        ASSERT_EQ(::chmod(QFile::encodeName(path(relative)).constData(), mode), 0);
    }

    void setModified(const QString &relative, time_t seconds, long nanoseconds)
    {
        const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path(relative)).constData(), times, AT_SYMLINK_NOFOLLOW), 0);
    }

    void makeFolder(const QString &relative) { ASSERT_TRUE(QDir().mkpath(path(relative))); }

    void link(const QString &target, const QString &relative)
    {
        ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path(relative)).constData()), 0);
    }

    QByteArray contentOf(const QString &relative) const
    {
        QFile file(path(relative));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << relative.toStdString();
        return file.readAll();
    }

    /// Every name in the folder, hidden ones included, sorted and joined by "|".
    std::string namesIn(const QString &relative = u"."_s) const
    {
        const QDir::Filters all = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
        return QDir(path(relative)).entryList(all, QDir::Name).join(u'|').toStdString();
    }

    QTemporaryDir m_dir;
};

void expectFailure(const std::function<void()> &operation, const QString &sentence, int errorCode)
{
    try {
        operation();
        ADD_FAILURE() << "no error, expected: " << sentence.toStdString();
    } catch (const FileSystemError &error) {
        EXPECT_EQ(error.description().toStdString(), sentence.toStdString());
        EXPECT_EQ(error.errorCode(), errorCode);
    }
}

QString q(const QString &path) { return u'"' + path + u'"'; }

} // namespace

TEST_F(FileSystemTest, ReadsWholeFilesOfAnySize)
{
    for (const qsizetype size : {0, 1, 70'000, 5 * 1024 * 1024 + 7}) {
        SCOPED_TRACE(size);
        const QByteArray bytes = patternedBytes(size);
        write(u"f"_s, bytes);
        EXPECT_EQ(fs::readWholeFile(path(u"f"_s)), bytes);
    }
}

TEST_F(FileSystemTest, ReadsFilesThatAnnounceNoSize)
{
    const QString status = u"/proc/self/status"_s;
    if (!QFile::exists(status))
        GTEST_SKIP() << "no /proc here";
    ASSERT_EQ(statusOf(status).st_size, 0);
    EXPECT_TRUE(fs::readWholeFile(status).startsWith("Name:"));
}

TEST_F(FileSystemTest, ReportsEachFailureInOneSentenceNamingThePath)
{
    write(u"file"_s, "old");
    makeFolder(u"folder/inner"_s);
    ASSERT_EQ(::mkfifo(QFile::encodeName(path(u"pipe"_s)).constData(), 0644), 0);
    const QString file = path(u"file"_s), folder = path(u"folder"_s), missing = path(u"missing"_s);
    const QString pipe = path(u"pipe"_s);
    const struct
    {
        const char *name;
        std::function<void()> operation;
        QString sentence;
        int errorCode;
    } cases[] = {
        {"read missing", [&] { (void)fs::readWholeFile(missing); },
         u"Couldn't read %1: No such file or directory."_s.arg(q(missing)), ENOENT},
        {"read folder", [&] { (void)fs::readWholeFile(folder); },
         u"Couldn't read %1: Is a directory."_s.arg(q(folder)), EISDIR},
        {"create over file", [&] { fs::createFolder(file); },
         u"Couldn't create the folder %1: File exists."_s.arg(q(file)), EEXIST},
        {"create below file", [&] { fs::createFolder(file + u"/a/b"_s); },
         u"Couldn't create the folder %1: Not a directory."_s.arg(q(file + u"/a/b"_s)), ENOTDIR},
        {"remove missing", [&] { fs::removeItem(missing); },
         u"Couldn't remove %1: No such file or directory."_s.arg(q(missing)), ENOENT},
        {"remove folder", [&] { fs::removeItem(folder); },
         u"Couldn't remove %1: Is a directory."_s.arg(q(folder)), EISDIR},
        {"remove path cut by NUL", [&] { fs::removeItem(file + QChar(0) + u"x"_s); },
         u"Couldn't remove %1: Invalid argument."_s.arg(q(file + QChar(0) + u"x"_s)), EINVAL},
        {"copy missing", [&] { fs::copyItem(missing, path(u"new"_s)); },
         u"Couldn't copy %1 to %2: No such file or directory."_s.arg(q(missing), q(path(u"new"_s))), ENOENT},
        {"copy folder", [&] { fs::copyItem(folder, path(u"new"_s)); },
         u"Couldn't copy %1 to %2: Is a directory."_s.arg(q(folder), q(path(u"new"_s))), EISDIR},
        {"copy pipe", [&] { fs::copyItem(pipe, path(u"new"_s)); },
         u"Couldn't copy %1 to %2: Not a regular file."_s.arg(q(pipe), q(path(u"new"_s))), EINVAL},
        {"copy onto existing folder", [&] { fs::copyItem(file, folder); },
         u"Couldn't copy %1 to %2: File exists."_s.arg(q(file), q(folder)), EEXIST},
        {"copy onto existing file", [&] { fs::copyItem(file, file); },
         u"Couldn't copy %1 to %2: File exists."_s.arg(q(file), q(file)), EEXIST},
        {"copy into missing folder", [&] { fs::copyItem(file, missing + u"/new"_s); },
         u"Couldn't copy %1 to %2: No such file or directory."_s.arg(q(file), q(missing + u"/new"_s)), ENOENT},
        {"replace folder", [&] { fs::replaceItem(file, folder); },
         u"Couldn't copy %1 to %2: Is a directory."_s.arg(q(file), q(folder)), EISDIR},
        {"values of missing", [&] { (void)fs::resourceValues(missing); },
         u"Couldn't read the attributes of %1: No such file or directory."_s.arg(q(missing)), ENOENT},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.name);
        expectFailure(testCase.operation, testCase.sentence, testCase.errorCode);
        // Nothing was lost or left behind on the way.
        EXPECT_EQ(namesIn(), "file|folder|pipe");
        EXPECT_EQ(namesIn(u"folder"_s), "inner");
        EXPECT_EQ(contentOf(u"file"_s), "old");
    }
}

TEST_F(FileSystemTest, ItemExistsForEveryKindOfItem)
{
    write(u"file"_s, "x");
    makeFolder(u"folder"_s);
    link(path(u"nowhere"_s), u"dangling"_s);
    const std::pair<QString, bool> cases[] = {
        {path(u"file"_s), true},          {path(u"folder"_s), true},
        {path(u"dangling"_s), true},      {path(u"missing"_s), false},
        {path(u"file/below"_s), false},   {path(u"file"_s) + QChar(0) + u"x"_s, false},
    };
    for (const auto &[item, exists] : cases) {
        SCOPED_TRACE(item.toStdString());
        EXPECT_EQ(fs::itemExists(item), exists);
    }
}

TEST_F(FileSystemTest, CreateFolderMakesMissingParentsAndAcceptsExistingFolders)
{
    fs::createFolder(path(u"a/b/c/"_s));
    EXPECT_TRUE(S_ISDIR(statusOf(path(u"a/b/c"_s)).st_mode));
    makeFolder(u"real"_s);
    link(path(u"real"_s), u"linked"_s);
    for (const QString &existing : {path(u"a/b"_s), path(u"a/b/c"_s), path(u"linked"_s), path(u"linked/../a"_s)}) {
        SCOPED_TRACE(existing.toStdString());
        EXPECT_NO_THROW(fs::createFolder(existing));
    }
    fs::createFolder(path(u"linked/x/y"_s));
    EXPECT_TRUE(S_ISDIR(statusOf(path(u"real/x/y"_s)).st_mode));
}

TEST_F(FileSystemTest, RemoveItemRemovesLinksNotWhatTheyPointTo)
{
    write(u"file"_s, "x");
    makeFolder(u"folder"_s);
    link(path(u"file"_s), u"toFile"_s);
    link(path(u"folder"_s), u"toFolder"_s);
    fs::removeItem(path(u"toFile"_s));
    fs::removeItem(path(u"toFolder"_s));
    EXPECT_EQ(namesIn(), "file|folder");
    fs::removeItem(path(u"file"_s));
    EXPECT_EQ(namesIn(), "folder");
}

TEST_F(FileSystemTest, CopiesKeepContentModificationTimeAndPermissions)
{
    link(path(u"source"_s), u"link"_s);
    const struct
    {
        const char *name;
        void (*operation)(const QString &, const QString &);
        qsizetype size;
        mode_t mode;
        bool fromLink;
        bool targetExists;
    } cases[] = {
        {"copy empty file", fs::copyItem, 0, 0644, false, false},
        {"copy large file", fs::copyItem, 6 * 1024 * 1024 + 11, 0750, false, false},
        {"copy through a link", fs::copyItem, 7, 0644, true, false},
        {"replace nothing", fs::replaceItem, 6 * 1024 * 1024 + 11, 0640, false, false},
        {"replace a file", fs::replaceItem, 3, 0400, false, true},
        {"replace through a link", fs::replaceItem, 7, 0644, true, true},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const QByteArray bytes = patternedBytes(testCase.size);
        write(u"source"_s, bytes, testCase.mode);
        setModified(u"source"_s, 1'600'000'000, 123'456'789);
        if (testCase.targetExists)
            write(u"target"_s, "old target", 0600);
        testCase.operation(path(testCase.fromLink ? u"link"_s : u"source"_s), path(u"target"_s));

        const struct stat target = statusOf(path(u"target"_s));
        EXPECT_TRUE(S_ISREG(target.st_mode));
        EXPECT_EQ(contentOf(u"target"_s), bytes);
        EXPECT_EQ(target.st_mode & 07777, testCase.mode);
        EXPECT_EQ(modifiedAt(target).tv_sec, 1'600'000'000);
        EXPECT_EQ(modifiedAt(target).tv_nsec, 123'456'789);
        EXPECT_EQ(namesIn(), "link|source|target");
        ASSERT_EQ(::unlink(QFile::encodeName(path(u"target"_s)).constData()), 0);
    }
}

TEST_F(FileSystemTest, FailedCopiesKeepTheOldTargetAndLeaveNothingBehind)
{
    write(u"source"_s, patternedBytes(3 * 1024 * 1024));
    makeFolder(u"folder"_s);
    const QString target = path(u"target"_s);
    const struct
    {
        const char *name;
        void (*operation)(const QString &, const QString &);
        QString from;
        int errorCode;
        rlim_t sizeLimit;
    } cases[] = {
        {"copy fails half-way", fs::copyItem, path(u"source"_s), EFBIG, 1024 * 1024},
        {"replace from missing source", fs::replaceItem, path(u"missing"_s), ENOENT, RLIM_INFINITY},
        {"replace from folder", fs::replaceItem, path(u"folder"_s), EISDIR, RLIM_INFINITY},
        {"replace fails half-way", fs::replaceItem, path(u"source"_s), EFBIG, 1024 * 1024},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const bool replacing = testCase.operation == fs::replaceItem;
        if (replacing)
            write(u"target"_s, "old target");
        try {
            const FileSizeLimit limit(testCase.sizeLimit);
            testCase.operation(testCase.from, target);
            ADD_FAILURE() << "no error";
        } catch (const FileSystemError &error) {
            EXPECT_EQ(error.errorCode(), testCase.errorCode);
            EXPECT_TRUE(error.description().startsWith(u"Couldn't copy %1 to %2: "_s.arg(q(testCase.from), q(target))))
                << error.description().toStdString();
        }
        if (replacing) {
            EXPECT_EQ(contentOf(u"target"_s), "old target");
            EXPECT_EQ(namesIn(), "folder|source|target");
        } else {
            EXPECT_EQ(namesIn(), "folder|source");
        }
    }
}

TEST_F(FileSystemTest, ReplaceOfAFileWithItselfLeavesItIntact)
{
    write(u"file"_s, "precious");
    makeFolder(u"sub"_s);
    ASSERT_EQ(::link(QFile::encodeName(path(u"file"_s)).constData(), QFile::encodeName(path(u"hard"_s)).constData()), 0);
    const ino_t inode = statusOf(path(u"file"_s)).st_ino;
    for (const QString &same : {path(u"file"_s), path(u"sub/../file"_s), path(u"hard"_s)}) {
        SCOPED_TRACE(same.toStdString());
        fs::replaceItem(path(u"file"_s), same);
        EXPECT_EQ(contentOf(u"file"_s), "precious");
        EXPECT_EQ(statusOf(path(u"file"_s)).st_ino, inode);
        EXPECT_EQ(statusOf(path(u"hard"_s)).st_ino, inode);
        EXPECT_EQ(namesIn(), "file|hard|sub");
    }
}

TEST_F(FileSystemTest, ReplaceWorksForNamesAtTheLengthLimit)
{
    // 85 three-byte characters: 255 bytes, no room left for any decoration of the name.
    const QString longName = QString(85, QChar(0x266B));
    ASSERT_EQ(QFile::encodeName(longName).size(), 255);
    write(u"source"_s, "new");
    write(longName, "old");
    fs::replaceItem(path(u"source"_s), path(longName));
    EXPECT_EQ(contentOf(longName), "new");
    EXPECT_EQ(namesIn(), "source|" + longName.toStdString());
}

TEST_F(FileSystemTest, ResourceValuesGiveTheFolderFlagAndAMillisecondDate)
{
    write(u"file"_s, "x");
    setModified(u"file"_s, 1'700'000'000, 123'999'999);
    makeFolder(u"folder"_s);
    link(path(u"folder"_s), u"link"_s);

    const fs::ResourceValues file = fs::resourceValues(path(u"file"_s));
    EXPECT_EQ(file.isDirectory, false);
    ASSERT_TRUE(file.contentModificationDate);
    EXPECT_EQ(file.contentModificationDate->toMSecsSinceEpoch(), 1'700'000'000'123);
    EXPECT_EQ(file.contentModificationDate->timeSpec(), Qt::UTC);
    EXPECT_EQ(fs::resourceValues(path(u"folder"_s)).isDirectory, true);
    EXPECT_EQ(fs::resourceValues(path(u"link"_s)).isDirectory, false);
}

TEST_F(FileSystemTest, DeepWalkYieldsVisibleItemsDepthFirstWithoutFollowingFolderLinks)
{
    QTemporaryDir outside;
    ASSERT_TRUE(outside.isValid());
    ASSERT_TRUE(QFile(outside.filePath(u"elsewhere.jpg"_s)).open(QIODevice::WriteOnly));
    makeFolder(u"A/sub/deeper"_s);
    makeFolder(u"A/empty"_s);
    makeFolder(u"A/.hiddenFolder/visibleName"_s);
    write(u"A/a.jpg"_s, "a");
    setModified(u"A/a.jpg"_s, 1'650'000'000, 0);
    write(u"A/.hidden.jpg"_s, "h");
    write(u"A/sub/b.jpg"_s, "b");
    write(u"A/sub/.c.jpg"_s, "c");
    write(u"A/sub/deeper/d.jpg"_s, "d");
    write(u"A/.hiddenFolder/visibleName/e.jpg"_s, "e");
    link(outside.path(), u"A/linkedFolder"_s);
    link(path(u"A/a.jpg"_s), u"A/linkedFile"_s);
    link(path(u"A/nowhere"_s), u"A/dangling"_s);

    const QString root = path(u"A"_s);
    fs::DeepWalk walk(root + u'/');
    ASSERT_TRUE(walk.isValid());
    std::vector<std::string> items;
    while (const auto item = walk.next()) {
        const QString relative = item->path.mid(root.size());
        // Depth first: a folder's content comes after the folder itself.
        const QString parent = relative.section(u'/', 0, -2);
        if (!parent.isEmpty()) {
            EXPECT_NE(std::find(items.begin(), items.end(), parent.toStdString() + '/'), items.end())
                << relative.toStdString();
        }
        ASSERT_TRUE(item->values.isDirectory && item->values.contentModificationDate);
        if (relative == u"/linkedFile"_s) {
            // The link stands for the file it points to, date included.
            EXPECT_EQ(item->values.contentModificationDate->toSecsSinceEpoch(), 1'650'000'000);
        }
        items.push_back(relative.toStdString() + (*item->values.isDirectory ? "/" : ""));
    }
    std::sort(items.begin(), items.end());
    const std::vector<std::string> expected = {
        "/a.jpg", "/empty/", "/linkedFile", "/sub/", "/sub/b.jpg", "/sub/deeper/", "/sub/deeper/d.jpg",
    };
    EXPECT_EQ(items, expected);
}

TEST_F(FileSystemTest, DeepWalkThatCannotStartIsInvalid)
{
    write(u"file"_s, "x");
    for (const QString &root : {path(u"missing"_s), path(u"file"_s)}) {
        SCOPED_TRACE(root.toStdString());
        fs::DeepWalk walk(root);
        EXPECT_FALSE(walk.isValid());
        EXPECT_FALSE(walk.next());
    }
}

TEST_F(FileSystemTest, DeepWalkPassesOverUnreadableFolders)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the superuser";
    makeFolder(u"A/locked"_s);
    write(u"A/locked/x.jpg"_s, "x");
    write(u"A/z.jpg"_s, "z");
    ASSERT_EQ(::chmod(QFile::encodeName(path(u"A/locked"_s)).constData(), 0), 0);
    fs::DeepWalk walk(path(u"A"_s));
    std::vector<std::string> seen;
    while (const auto item = walk.next())
        seen.push_back(item->path.mid(path(u"A"_s).size()).toStdString());
    ::chmod(QFile::encodeName(path(u"A/locked"_s)).constData(), 0755);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::string>{"/locked", "/z.jpg"}));
}

#include "platform/FileSystem.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <functional>
#include <optional>
#include <thread>
#include <tuple>
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
    std::generate(bytes.begin(), bytes.end(), [random = QRandomGenerator(quint32(size))]() mutable {
        return char(random.generate());
    });
    return bytes;
}

QByteArray native(const QString &path) { return QFile::encodeName(path); }

struct stat statusOf(const QString &path)
{
    struct stat status {};
    EXPECT_EQ(::lstat(native(path).constData(), &status), 0) << path.toStdString();
    return status;
}

/// Runs `operation` with this process's files capped at 1 MB, so that a copy fails half-way.
void withFileSizeCap(const std::function<void()> &operation)
{
    rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto savedHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit capped {1024 * 1024, saved.rlim_max};
    EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &capped), 0);
    const auto restore = qScopeGuard([&] { ::setrlimit(RLIMIT_FSIZE, &saved), std::signal(SIGXFSZ, savedHandler); });
    operation();
}

QString q(const QString &path) { return u'"' + path + u'"'; }

class FileSystemTest : public test::TemporaryFolderTest
{
protected:
    void makeFolder(const QString &relative) { ASSERT_TRUE(QDir().mkpath(at(relative))); }
    void link(const QString &to, const QString &relative)
    {
        ASSERT_EQ(::symlink(native(to).constData(), native(at(relative)).constData()), 0);
    }

    void write(const QString &relative, const QByteArray &bytes, mode_t mode = 0644)
    {
        QFile file(at(relative));
        QFile::remove(file.fileName()); // a read-only file left by an earlier round cannot be opened for writing
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size()) << relative.toStdString();
        file.close();
        ASSERT_EQ(::chmod(native(at(relative)).constData(), mode), 0);
    }

    QByteArray contentOf(const QString &relative) const { return fs::readWholeFile(at(relative)); }

    std::string namesIn(const QString &relative = u"."_s) const { return test::namesIn(at(relative)); }
};

} // namespace

TEST_F(FileSystemTest, FailuresNameThePathAndNeverLoseOrLeaveAFile)
{
    write(u"large"_s, patternedBytes(3 * 1024 * 1024));
    write(u"file"_s, "old");
    makeFolder(u"folder/inner"_s);
    ASSERT_EQ(::mkfifo(native(at(u"pipe"_s)).constData(), 0644), 0);
    const QString file = at(u"file"_s), folder = at(u"folder"_s), missing = at(u"missing"_s);
    const QString pipe = at(u"pipe"_s), big = at(u"large"_s);
    const QString cut = file + QChar(0) + u"x"_s;
    const auto copying = [](const QString &from, const QString &to) { return u"copy %1 to %2"_s.arg(q(from), q(to)); };
    const QString isFolder = u"Is a directory"_s, tooLarge = u"File too large"_s;
    struct Case { std::function<void()> operation; QString action; QString reason; int errorCode; };
    const Case cases[] = {
        {[&] { (void)fs::readWholeFile(missing); }, u"read "_s + q(missing), u"No such file or directory"_s, ENOENT},
        {[&] { (void)fs::readWholeFile(folder); }, u"read "_s + q(folder), isFolder, EISDIR},
        {[&] { fs::checkReadable(pipe); }, u"read "_s + q(pipe), u"It is not a regular file"_s, EINVAL},
        {[&] { fs::createFolder(file); }, u"create the folder "_s + q(file), u"File exists"_s, EEXIST},
        {[&] { fs::removeItem(folder); }, u"remove "_s + q(folder), isFolder, EISDIR},
        {[&] { fs::removeItem(cut); }, u"remove "_s + q(cut), u"Invalid argument"_s, EINVAL},
        {[&] { fs::copyItem(file, file); }, copying(file, file), u"File exists"_s, EEXIST},
        // A failed replacement keeps the old target.
        {[&] { fs::replaceItem(file, folder); }, copying(file, folder), isFolder, EISDIR},
        {[&] { withFileSizeCap([&] { fs::replaceItem(big, file); }); }, copying(big, file), tooLarge, EFBIG},
    };
    for (const Case &testCase : cases) {
        const QString sentence = u"Couldn't %1: %2."_s.arg(testCase.action, testCase.reason);
        SCOPED_TRACE(sentence.toStdString());
        try {
            testCase.operation();
            ADD_FAILURE() << "no error";
        } catch (const FileSystemError &error) {
            EXPECT_EQ(error.description(), sentence);
            EXPECT_EQ(error.errorCode(), testCase.errorCode);
        }
        EXPECT_EQ(namesIn(), "file|folder|large|pipe");
        EXPECT_EQ(namesIn(u"folder"_s), "inner");
        EXPECT_EQ(contentOf(u"file"_s), "old");
    }
}

TEST_F(FileSystemTest, ASourceRewrittenWhileItIsCopiedIsNeverCopiedTorn)
{
    // Two versions of different sizes, so that every rewrite shows in the file's status.
    const QByteArray first(4 * 1024 * 1024, 'a');
    const QByteArray second(4 * 1024 * 1024 + 1, 'b');
    write(u"source"_s, first);
    write(u"target"_s, "old");
    std::atomic<bool> done = false;
    std::atomic<int> rewrites = 0;
    std::thread writer([&] {
        const int fd = ::open(native(at(u"source"_s)).constData(), O_WRONLY);
        for (int round = 0; !done && fd >= 0; ++round) {
            const QByteArray &version = round % 2 ? first : second;
            (void)::ftruncate(fd, version.size());
            (void)::pwrite(fd, version.constData(), size_t(version.size()), 0);
            ++rewrites;
        }
        ::close(fd);
    });
    while (rewrites < 2)
        std::this_thread::yield();

    const QString error = test::errorOf<FileSystemError>([&] { fs::replaceItem(at(u"source"_s), at(u"target"_s)); });
    EXPECT_TRUE(error.isEmpty() || error.endsWith(u": The file changed while it was copied."_s)) << error.toStdString();
    done = true;
    writer.join();

    const QByteArray target = contentOf(u"target"_s);
    EXPECT_TRUE(target == "old" || target == first || target == second) << "a torn copy of " << target.size();
    EXPECT_EQ(namesIn(), "source|target");
}

TEST_F(FileSystemTest, ExistenceValuesAndRemovalOfLinks)
{
    write(u"file"_s, "x");
    const timespec times[2] = {{1'700'000'000, 123'999'999}, {1'700'000'000, 123'999'999}};
    ASSERT_EQ(::utimensat(AT_FDCWD, native(at(u"file"_s)).constData(), times, 0), 0);
    makeFolder(u"folder"_s);
    link(at(u"folder"_s), u"toFolder"_s);
    link(at(u"nowhere"_s), u"dangling"_s);
    const std::tuple<QString, bool, std::optional<bool>> cases[] = {
        {u"toFolder"_s, true, false}, {u"dangling"_s, true, {}}, {u"file"_s + QChar(0) + u"x"_s, false, {}}};
    for (const auto &[item, exists, isDirectory] : cases) {
        SCOPED_TRACE(item.toStdString());
        EXPECT_EQ(fs::itemExists(at(item)), exists);
        EXPECT_TRUE(!isDirectory || fs::resourceValues(at(item)).isDirectory == isDirectory);
    }
    // Dates are cut, not rounded, to the millisecond.
    EXPECT_EQ(fs::resourceValues(at(u"file"_s)).contentModificationDate,
              QDateTime::fromMSecsSinceEpoch(1'700'000'000'123, Qt::UTC));
    // Removing a link removes the link, never what it points to.
    for (const QString &item : {u"toFolder"_s, u"dangling"_s})
        fs::removeItem(at(item));
    EXPECT_EQ(namesIn(), "file|folder");
}

TEST_F(FileSystemTest, CopiesKeepContentModificationTimeAndPermissions)
{
    link(at(u"source"_s), u"link"_s);
    struct Case { const char *name; void (*operation)(const QString &, const QString &); qsizetype size; mode_t mode;
                  bool targetExists; };
    const Case cases[] = {
        {"copy an empty file", fs::copyItem, 0, 0644, false},
        {"copy a large file", fs::copyItem, 6 * 1024 * 1024 + 11, 0750, false},
        {"replace a file", fs::replaceItem, 6 * 1024 * 1024 + 11, 0400, true},
        // Bits the umask takes from a new file are given back.
        {"replace with bits the umask refuses", fs::replaceItem, 7, 0666, false},
    };
    const mode_t mask = ::umask(022);
    for (const Case &testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const QByteArray bytes = patternedBytes(testCase.size);
        write(u"source"_s, bytes, testCase.mode);
        const timespec times[2] = {{1'600'000'000, 123'456'789}, {1'600'000'000, 123'456'789}};
        ASSERT_EQ(::utimensat(AT_FDCWD, native(at(u"source"_s)).constData(), times, 0), 0);
        if (testCase.targetExists)
            write(u"target"_s, "old target", 0600);
        // Through the link: what is copied is the file it names.
        testCase.operation(at(u"link"_s), at(u"target"_s));

        EXPECT_EQ(statusOf(at(u"target"_s)).st_mode, S_IFREG | testCase.mode);
        EXPECT_EQ(contentOf(u"target"_s), bytes);
        EXPECT_EQ(QFileInfo(at(u"target"_s)).lastModified().toMSecsSinceEpoch(), 1'600'000'000'123);
        EXPECT_EQ(namesIn(), "link|source|target");
        ASSERT_EQ(::unlink(native(at(u"target"_s)).constData()), 0);
    }
    ::umask(mask);
    // Files that announce no size still have content.
    const QString status = u"/proc/self/status"_s;
    EXPECT_TRUE(!QFile::exists(status) || fs::readWholeFile(status).startsWith("Name:"));
    // A read that fails ends in an error, never in a shorter file: this one fails at its start.
    const QString memory = u"/proc/self/mem"_s;
    if (QFile::exists(memory)) {
        EXPECT_THROW(fs::readFileInChunks(memory, 4096, [](QByteArrayView, qint64) {}), FileSystemError);
    }
}

TEST_F(FileSystemTest, ReplaceLeavesAFileIntactOnItselfAndWorksAtTheNameLengthLimit)
{
    write(u"file"_s, "precious");
    ASSERT_EQ(::link(native(at(u"file"_s)).constData(), native(at(u"hard"_s)).constData()), 0);
    const ino_t inode = statusOf(at(u"file"_s)).st_ino;
    fs::replaceItem(at(u"file"_s), at(u"hard"_s));
    EXPECT_EQ(contentOf(u"file"_s), "precious");
    EXPECT_TRUE(statusOf(at(u"file"_s)).st_ino == inode && statusOf(at(u"hard"_s)).st_ino == inode);
    // 85 three-byte characters: 255 bytes, no room left for any decoration of the name.
    const QString longName = QString(85, QChar(0x266B));
    ASSERT_EQ(native(longName).size(), 255);
    write(longName, "old");
    fs::replaceItem(at(u"file"_s), at(longName));
    EXPECT_EQ(contentOf(longName), "precious");
    EXPECT_EQ(namesIn(), "file|hard|" + longName.toStdString());
}

TEST_F(FileSystemTest, DeepWalkYieldsVisibleReadableItemsWithoutFollowingFolderLinks)
{
    const auto walk = [root = at(u"A/"_s)] {
        fs::DeepWalk deepWalk(root);
        std::vector<std::string> items; // folders end in "/"
        while (const auto item = deepWalk.next())
            items.push_back(item->path.mid(root.size()).toStdString() + (*item->values.isDirectory ? "/" : ""));
        return items;
    };
    for (const QString &folder : {u"sub/deeper"_s, u".hiddenFolder/visibleName"_s, u"locked"_s, u"../B"_s})
        makeFolder(u"A/"_s + folder);
    for (const QString &file : {u"a.jpg"_s, u".hidden.jpg"_s, u"sub/deeper/d.jpg"_s,
                                u".hiddenFolder/visibleName/e.jpg"_s, u"locked/x.jpg"_s, u"../B/elsewhere.jpg"_s})
        write(u"A/"_s + file, "x");
    link(at(u"B"_s), u"A/linkedFolder"_s);
    link(at(u"A/a.jpg"_s), u"A/linkedFile"_s);
    // An unreadable folder fails the walk naming it; permissions do not bind the superuser.
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(native(at(u"A/locked"_s)).constData(), 0), 0);
        EXPECT_TRUE(test::errorOf<FileSystemError>(walk).contains(q(at(u"A/locked"_s))));
        ASSERT_EQ(::chmod(native(at(u"A/locked"_s)).constData(), 0755), 0);
    }

    std::vector<std::string> items = walk();
    std::sort(items.begin(), items.end());
    EXPECT_EQ(items, (std::vector<std::string>{"a.jpg", "linkedFile", "locked/", "locked/x.jpg", "sub/",
                                               "sub/deeper/", "sub/deeper/d.jpg"}));
}

TEST_F(FileSystemTest, NoOperationLeavesADescriptorOpen)
{
    const auto openDescriptors = [] {
        int count = 0;
        for (int fd = 0; fd < 1024; ++fd)
            count += ::fcntl(fd, F_GETFD) != -1 ? 1 : 0;
        return count;
    };
    makeFolder(u"A/B"_s);
    write(u"A/B/file"_s, "x");
    const QString file = at(u"A/B/file"_s), folder = at(u"A"_s);
    const int before = openDescriptors();
    EXPECT_THROW((void)fs::readWholeFile(folder), FileSystemError);
    EXPECT_THROW(fs::copyItem(file, file), FileSystemError);
    EXPECT_THROW(fs::DeepWalk{file}, FileSystemError);
    fs::replaceItem(file, at(u"copy"_s));
    (void)fs::DeepWalk(folder).next();
    fs::removeTemporaries(folder);
    EXPECT_TRUE(fs::FileLock::tryAcquire(at(u"lock"_s)));
    EXPECT_EQ(openDescriptors(), before);
}

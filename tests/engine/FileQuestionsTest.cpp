#include "engine/internal/FileQuestions.h"
#include "support/TestFiles.h"

#include <QScopeGuard>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::test;

namespace {

using FileQuestionsTest = TemporaryFolderTest;

// Asked together, many at once and folded by folder, every path gets the answer it gets alone.
void expectAnswersAlike(const QList<QString> &paths)
{
    const std::vector<std::optional<FileSystem::FileStatus>> answers = internal::fileStatuses(paths);
    ASSERT_EQ(answers.size(), size_t(paths.size()));
    for (size_t i = 0; i < answers.size(); ++i) {
        const QString &path = paths.at(qsizetype(i));
        SCOPED_TRACE(path.toStdString());
        const std::optional<FileSystem::FileStatus> alone = path.isEmpty() ? std::nullopt : FileSystem::fileStatus(path);
        ASSERT_EQ(answers[i].has_value(), alone.has_value());
        if (alone) {
            EXPECT_EQ(answers[i]->size, alone->size);
            EXPECT_EQ(answers[i]->identity, alone->identity);
        }
    }
}

TEST_F(FileQuestionsTest, AskedTogetherEachPathGetsItsOwnAnswer)
{
    QList<QString> paths;
    // More files than one thread takes at a time, of sizes of their own, some missing.
    for (int i = 0; i < 100; ++i) {
        paths.append(at(u"Album %1/%2.m4a"_s.arg(i % 7).arg(i)));
        if (i % 3 != 0) {
            ASSERT_TRUE(writeFile(paths.constLast(), QByteArray(i, 'x')));
        }
    }
    paths << QString() << at(u"Gone/x.m4a"_s) << at(u"Album 1/1.m4a/below"_s) << at(u"Album 1"_s);
    expectAnswersAlike(paths);
}

// A folder that cannot be searched hides whether a file is in it, which must never read as no
// file at all: copying it says why.
TEST_F(FileQuestionsTest, AFileInAFolderThatCannotBeSearchedIsNotMissing)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "the superuser searches every folder";
    const QString file = at(u"Locked/Album/in.m4a"_s);
    ASSERT_TRUE(writeFile(file, "kept"));
    const QByteArray locked = QFile::encodeName(at(u"Locked"_s));
    ASSERT_EQ(::chmod(locked.constData(), 0), 0);
    const auto unlock = qScopeGuard([&locked] { ::chmod(locked.constData(), 0700); });
    expectAnswersAlike({file});
}

} // namespace

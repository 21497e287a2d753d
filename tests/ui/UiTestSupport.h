#pragma once

#include "fixtures/LibraryFixture.h"
#include "platform/Error.h"

#include <QDir>
#include <QDirIterator>
#include <QSet>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace quaverly::test {

/// The descendant of `parent` named `name`; throws Error, which fails the test, when there is none.
template<typename T = QWidget>
T &child(const QObject &parent, const char *name)
{
    if (T *found = parent.findChild<T *>(QString::fromLatin1(name)))
        return *found;
    throw Error(QStringLiteral("There is no child named \"%1\" of that type.").arg(QString::fromLatin1(name)));
}

/// Clicks the push button named `name`, as a user would.
inline void click(const QObject &parent, const char *name)
{
    QTest::mouseClick(&child<QPushButton>(parent, name), Qt::LeftButton);
}

/// How many files a sync from `pair.source` added to `pair.destination`, after checking that none
/// is a temporary left behind and each is a whole copy of the source file at its place.
inline qsizetype wholeCopies(const fixtures::LibraryPair &pair)
{
    const QDir source(pair.source.libraryFolder), destination(pair.destination.libraryFolder);
    const QStringList held = pair.destination.mediaPaths + pair.destination.artworkPaths;
    const QSet<QString> before(held.cbegin(), held.cend());
    qsizetype added = 0;
    QDirIterator files(destination.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        if (before.contains(path) || path == pair.destination.xmlPath)
            continue;
        const QFileInfo original(source.filePath(destination.relativeFilePath(path)));
        EXPECT_TRUE(original.exists() && original.size() == files.fileInfo().size()) << path.toStdString();
        ++added;
    }
    return added;
}

} // namespace quaverly::test

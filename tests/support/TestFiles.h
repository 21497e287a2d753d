#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace quaverly::test {

/// Writes `contents` at `path`, creating the missing folders; false when that fails.
[[nodiscard]] inline bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).absolutePath()) && file.open(QIODevice::WriteOnly)
        && file.write(contents) == contents.size();
}

/// The bytes of the file at `path`, or nothing when it cannot be read.
[[nodiscard]] inline std::optional<QByteArray> contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? std::optional(file.readAll()) : std::nullopt;
}

/// The names in `folder`, hidden ones included, sorted and joined by '|'.
[[nodiscard]] inline std::string namesIn(const QString &folder)
{
    const QDir::Filters all = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
    return QDir(folder).entryList(all, QDir::Name).join(u'|').toStdString();
}

/// The description of the E that `operation` throws; empty when it throws none.
template<typename E, typename Operation>
[[nodiscard]] QString errorOf(Operation &&operation)
{
    try {
        operation();
    } catch (const E &error) {
        return error.description();
    }
    return {};
}

/// A test given a temporary folder of its own; at() names a path inside it.
class TemporaryFolderTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_root.isValid()); }

    [[nodiscard]] QString at(const QString &relative) const { return m_root.filePath(relative); }

    QTemporaryDir m_root;
};

} // namespace quaverly::test

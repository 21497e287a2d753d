#include "engine/internal/FileQuestions.h"

#include <QHash>

namespace quaverly::internal {

std::vector<std::optional<FileSystem::FileStatus>> fileStatuses(const QList<QString> &paths)
{
    // The files of a folder that is not there are not there either. Asked about one by one, they
    // would even wait for each other: each question looks the missing folder up anew, and the
    // system lets one lookup of a name in a folder go out at a time.
    QHash<QStringView, qsizetype> folderIndex;
    std::vector<qsizetype> folderOf(size_t(paths.size()), -1);
    QList<QString> folders;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const qsizetype slash = paths.at(i).lastIndexOf(u'/');
        if (slash <= 0)
            continue;
        const QStringView folder = QStringView(paths.at(i)).left(slash);
        auto at = folderIndex.constFind(folder);
        if (at == folderIndex.cend()) {
            at = folderIndex.insert(folder, folders.size());
            folders.append(folder.toString());
        }
        folderOf[size_t(i)] = *at;
    }
    std::vector<char> absent(size_t(folders.size()));
    askAtOnce(folders.size(), [&](qsizetype i) { absent[size_t(i)] = FileSystem::isAbsent(folders.at(i)); });

    std::vector<std::optional<FileSystem::FileStatus>> answers(size_t(paths.size()));
    askAtOnce(paths.size(), [&](qsizetype i) {
        const qsizetype folder = folderOf[size_t(i)];
        if (!paths.at(i).isEmpty() && (folder < 0 || !absent[size_t(folder)]))
            answers[size_t(i)] = FileSystem::fileStatus(paths.at(i));
    });
    return answers;
}

} // namespace quaverly::internal

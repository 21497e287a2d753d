#include "engine/internal/FileQuestions.h"

#include <QHash>
#include <QThreadPool>

#include <algorithm>
#include <atomic>

namespace quaverly::internal {

namespace {

// As many questions at once as copies over a network; a local disk answers them as fast.
constexpr int questionsAtOnce = 16;
// Each thread takes this many questions at a time: few enough that the last ones do not leave
// the others waiting, enough that taking them costs nothing beside a round trip.
constexpr qsizetype batch = 32;

// Calls ask(i) for every i below `count`, several at once, and returns when all have returned.
template <typename Ask>
void askAtOnce(qsizetype count, const Ask &ask)
{
    std::atomic<qsizetype> next = 0;
    const auto work = [&] {
        for (qsizetype start; (start = next.fetch_add(batch)) < count;) {
            for (qsizetype i = start; i < std::min(start + batch, count); ++i)
                ask(i);
        }
    };
    const int helpers = int(std::min<qsizetype>(questionsAtOnce, (count + batch - 1) / batch)) - 1;
    QThreadPool pool;
    pool.setMaxThreadCount(std::max(helpers, 1));
    for (int i = 0; i < helpers; ++i)
        pool.start(work);
    work();
    pool.waitForDone();
}

} // namespace

std::vector<std::optional<FileSystem::FileStatus>> fileStatuses(const QList<QString> &paths)
{
    // The files of a folder that is not there are not there either. Asked about one by one, they
    // would even wait for each other: each question looks the missing folder up anew, and a
    // volume answers one lookup of a name at a time.
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

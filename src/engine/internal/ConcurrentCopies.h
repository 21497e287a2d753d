#pragma once

#include <QString>
#include <QThreadPool>

#include <condition_variable>
#include <exception>
#include <mutex>
#include <vector>

namespace quaverly::internal {

/// Replaces files (FileSystem::replaceItem) on up to `limit` threads of its own and hands their
/// ends back to the one thread that starts them. With a limit of one, each copy
/// runs at once on the calling thread, with nothing in between:
///
///     ConcurrentCopies copies(4);
///     copies.start(7, from, to, size);
///     for (const ConcurrentCopies::Ended &ended : copies.waitForEnds()) … // ended.index == 7
///
/// Only the thread that made it may call it. Its destruction waits for the copies under way.
class ConcurrentCopies
{
public:
    /// How one copy ended: `error` holds what it threw, nothing when it succeeded.
    struct Ended
    {
        qsizetype index = 0;
        qint64 size = 0;
        std::exception_ptr error{};
    };

    /// Beyond this many bytes under way, a link's bandwidth limits the copies, not its round
    /// trips: more large files at once only compete for it.
    static constexpr qint64 bytesAtOnce = 12 * 1024 * 1024;

    /// At least one at a time, whatever `limit` says.
    explicit ConcurrentCopies(int limit);
    ~ConcurrentCopies();
    ConcurrentCopies(const ConcurrentCopies &) = delete;
    ConcurrentCopies &operator=(const ConcurrentCopies &) = delete;

    [[nodiscard]] int limit() const { return m_limit; }
    /// True when a copy of `size` bytes may start: fewer than limit() are under way, and fewer
    /// large ones than that.
    [[nodiscard]] bool hasRoomFor(qint64 size) const
    {
        return m_unclaimed == 0 || (m_unclaimed < m_limit && m_bytesUnderWay + size <= bytesAtOnce);
    }
    /// True when every copy started has been handed back by waitForEnds().
    [[nodiscard]] bool idle() const { return m_unclaimed == 0; }

    /// Starts copying `from` (of `size` bytes) to `to`, known as `index`. Only when hasRoomFor(size).
    void start(qsizetype index, const QString &from, const QString &to, qint64 size);
    /// Waits for a copy to end and hands back every one that has, in the order they ended. Only
    /// when !idle().
    [[nodiscard]] std::vector<Ended> waitForEnds();

private:
    void ended(Ended end);

    const int m_limit;
    /// Copies started and not yet handed back, and their bytes.
    int m_unclaimed = 0;
    qint64 m_bytesUnderWay = 0;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Ended> m_ended;
    // Last, so that it is destroyed first: its destruction waits for the copies that use the rest.
    QThreadPool m_pool;
};

} // namespace quaverly::internal

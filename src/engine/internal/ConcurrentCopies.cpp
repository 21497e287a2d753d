#include "engine/internal/ConcurrentCopies.h"

#include "platform/FileSystem.h"

#include <algorithm>

namespace quaverly::internal {

namespace {

// More threads than this only queue up at the other end of the wire.
constexpr int mostAtOnce = 32;

} // namespace

ConcurrentCopies::ConcurrentCopies(int limit)
    : m_limit(std::clamp(limit, 1, mostAtOnce))
{
    m_pool.setMaxThreadCount(m_limit);
}

ConcurrentCopies::~ConcurrentCopies()
{
    m_pool.waitForDone();
}

void ConcurrentCopies::start(qsizetype index, const QString &from, const QString &to, qint64 size)
{
    ++m_unclaimed;
    m_bytesUnderWay += size;
    const auto copy = [this, index, from, to, size] {
        Ended end{index, size, {}};
        try {
            FileSystem::replaceItem(from, to);
        } catch (...) {
            end.error = std::current_exception();
        }
        ended(std::move(end));
    };
    // A thread would only add a hand-over to a copy that nothing overlaps with.
    if (m_limit == 1)
        copy();
    else
        m_pool.start(copy);
}

std::vector<ConcurrentCopies::Ended> ConcurrentCopies::waitForEnds()
{
    std::vector<Ended> ends;
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_ended.empty(); });
        ends.swap(m_ended);
    }
    m_unclaimed -= int(ends.size());
    for (const Ended &end : ends)
        m_bytesUnderWay -= end.size;
    return ends;
}

void ConcurrentCopies::ended(Ended end)
{
    {
        const std::lock_guard lock(m_mutex);
        m_ended.push_back(std::move(end));
    }
    m_changed.notify_one();
}

} // namespace quaverly::internal

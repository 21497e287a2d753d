#include "platform/internal/ReadAhead.h"

#include "platform/internal/FileDescriptor.h"

#include <cerrno>

#include <unistd.h>

namespace quaverly::internal {

namespace {

// Two chunks read ahead while one is worked on: enough to keep the reading going.
constexpr int buffers = 3;

} // namespace

ReadAhead::ReadAhead(int fd, qsizetype chunkSize)
    : m_fd(fd)
    , m_chunkSize(std::max<qsizetype>(chunkSize, 1))
{
    for (int i = 0; i < buffers - 1; ++i)
        m_free.push_back(Buffer{std::make_unique<char[]>(size_t(m_chunkSize))});
    m_thread = std::thread([this] { run(); });
}

ReadAhead::~ReadAhead()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

ReadAhead::Chunk ReadAhead::next()
{
    std::unique_lock lock(m_mutex);
    if (m_taken.data && !m_ended) {
        m_free.push_back(std::move(m_taken));
        m_changed.notify_all();
    }
    m_changed.wait(lock, [this] { return !m_ready.empty() || m_ended; });
    if (!m_ready.empty()) {
        m_taken = std::move(m_ready.front());
        m_ready.pop_front();
        m_ended = m_taken.used == 0;
    }
    return Chunk{QByteArrayView(m_taken.data.get(), m_taken.used), m_taken.error};
}

void ReadAhead::run()
{
    for (;;) {
        Buffer buffer;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_stopping || !m_free.empty(); });
            if (m_stopping)
                return;
            buffer = std::move(m_free.back());
            m_free.pop_back();
        }
        const ssize_t got = retryOnInterrupt([&] { return ::read(m_fd, buffer.data.get(), size_t(m_chunkSize)); });
        buffer.error = got < 0 ? errno : 0;
        buffer.used = got > 0 ? qsizetype(got) : 0;
        {
            const std::lock_guard lock(m_mutex);
            m_ready.push_back(std::move(buffer));
        }
        m_changed.notify_all();
        if (got <= 0)
            return;
    }
}

} // namespace quaverly::internal

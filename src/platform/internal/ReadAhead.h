#pragma once

#include <QByteArrayView>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace quaverly::internal {

/// Reads a file from where its descriptor stands to its end on a thread of its own, a few chunks
/// ahead of the one thread that takes them:
///
///     ReadAhead ahead(fd, 1 << 20);
///     while (const ReadAhead::Chunk chunk = ahead.next(); chunk.error == 0 && !chunk.bytes.empty())
///         … use chunk.bytes, valid until the next call of next() …
///
/// Over a network the reading is mostly waiting, and on any disk its copying need not hold up
/// whoever works on what was read. The descriptor must outlive it; its destruction stops the
/// reading and waits for the read under way.
class ReadAhead
{
public:
    /// One chunk: its bytes (none at the end of the file), or the errno of the read that failed.
    struct Chunk
    {
        QByteArrayView bytes;
        int error = 0;
    };

    ReadAhead(int fd, qsizetype chunkSize);
    ~ReadAhead();
    ReadAhead(const ReadAhead &) = delete;
    ReadAhead &operator=(const ReadAhead &) = delete;

    /// Waits for the next chunk and hands back the previous one's buffer. After the end or an
    /// error, returns the same again.
    [[nodiscard]] Chunk next();

private:
    struct Buffer
    {
        std::unique_ptr<char[]> data;
        qsizetype used = 0;
        int error = 0;
    };

    void run();

    const int m_fd;
    const qsizetype m_chunkSize;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    /// Read and waiting to be taken, in file order.
    std::deque<Buffer> m_ready;
    /// Free for the next read.
    std::vector<Buffer> m_free;
    /// The one the taker holds.
    Buffer m_taken;
    bool m_ended = false;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace quaverly::internal

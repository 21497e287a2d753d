#include "platform/internal/FileDescriptor.h"

#include <cerrno>

#include <unistd.h>

namespace quaverly::internal {

FileDescriptor::~FileDescriptor()
{
    if (m_fd < 0)
        return;
    // Destroyed on the way out of a failure, it must not change the reason about to be reported.
    const int error = errno;
    ::close(m_fd);
    errno = error;
}

int FileDescriptor::close() noexcept
{
    const int result = ::close(std::exchange(m_fd, -1));
    // After EINTR the descriptor is gone on Linux and macOS; retrying could close another's.
    return result == 0 || errno == EINTR ? 0 : errno;
}

} // namespace quaverly::internal

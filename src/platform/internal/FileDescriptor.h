#pragma once

#include <cerrno>
#include <utility>

namespace quaverly::internal {

/// Calls a system call until a signal no longer interrupts it, and returns what it returned.
template<typename Call>
auto retryOnInterrupt(Call call)
{
    decltype(call()) result;
    do {
        result = call();
    } while (result == -1 && errno == EINTR);
    return result;
}

/// Owns one open file descriptor of the operating system and closes it when destroyed, leaving
/// errno as it was. Movable, not copyable; like the descriptor itself, not for sharing between
/// threads.
class FileDescriptor
{
public:
    explicit FileDescriptor(int fd = -1) noexcept : m_fd(fd) {}
    ~FileDescriptor();
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    FileDescriptor(FileDescriptor &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    FileDescriptor &operator=(FileDescriptor &&) = delete;

    [[nodiscard]] int get() const noexcept { return m_fd; }
    [[nodiscard]] bool isOpen() const noexcept { return m_fd >= 0; }
    /// Hands the descriptor over to the caller, who closes it.
    [[nodiscard]] int release() noexcept { return std::exchange(m_fd, -1); }

    /// Closes now so that a late write error (as network volumes report them) is seen; returns 0
    /// or an errno value.
    int close() noexcept;

private:
    int m_fd;
};

} // namespace quaverly::internal

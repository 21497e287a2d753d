#pragma once

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace quaverly::internal {

/// Texts and data of a property list, back to back. Appending is the hottest path of the
/// reader, so this is a bare buffer: no zero-filling on growth and one capacity test per append.
class TextArena
{
public:
    void reserve(std::size_t capacity)
    {
        if (capacity > m_capacity)
            reallocate(capacity);
    }

    void append(const char *bytes, std::size_t length)
    {
        if (length > m_capacity - m_size)
            reallocate(std::max(m_size + length, 2 * m_capacity));
        std::memcpy(m_bytes.get() + m_size, bytes, length);
        m_size += length;
    }

    /// Drops everything from `size` on; a larger `size` changes nothing.
    void truncate(std::size_t size) { m_size = std::min(size, m_size); }
    [[nodiscard]] char *data() const { return m_bytes.get(); }
    [[nodiscard]] std::size_t size() const { return m_size; }

private:
    struct Free
    {
        void operator()(char *bytes) const { std::free(bytes); }
    };

    void reallocate(std::size_t capacity)
    {
        // Untouched capacity costs address space only, so reserving the input size is free.
        auto *bytes = static_cast<char *>(std::realloc(m_bytes.get(), std::max<std::size_t>(capacity, 1)));
        if (!bytes)
            throw std::bad_alloc();
        (void)m_bytes.release();
        m_bytes.reset(bytes);
        m_capacity = capacity;
    }

    std::unique_ptr<char, Free> m_bytes;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};

} // namespace quaverly::internal

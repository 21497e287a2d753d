#pragma once

#include "platform/PropertyList.h"
#include "platform/internal/KeyTable.h"
#include "platform/internal/TextArena.h"

#include <cstdint>
#include <vector>

namespace quaverly {

/// The storage behind a PropertyList: every value a 16-byte node, children of a container
/// contiguous, texts and data in one arena.
struct PropertyList::Document
{
    struct Node
    {
        Type type = Type::Boolean;
        // Children of a container, bytes of a text or data value.
        std::uint32_t size = 0;
        union {
            qint64 integer = 0;
            double real;
            qint64 milliseconds; // a date, since the epoch
            bool boolean;
            std::uint64_t offset; // into text, for texts and data
            std::uint32_t first; // index of the first child; children are contiguous
        };
    };
    static_assert(sizeof(Node) == 16);

    std::vector<Node> nodes;
    std::vector<KeyId> keys; // the key of each dictionary child, parallel to nodes
    internal::TextArena text; // UTF-8 texts and decoded data
    internal::KeyTable keyTable;
    std::uint32_t root = 0;
};

} // namespace quaverly

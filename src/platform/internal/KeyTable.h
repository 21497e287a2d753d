#pragma once

#include "platform/PropertyList.h"

#include <QHashFunctions>

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace quaverly::internal {

/// The interned dictionary keys of one document: each distinct key text once, numbered in the
/// order first seen, found by an open-addressing table.
class KeyTable
{
public:
    using KeyId = PropertyList::KeyId;

    [[nodiscard]] std::uint32_t count() const { return std::uint32_t(m_spans.size()); }

    /// The text of `id` (precondition: id < count()); valid until the next intern().
    [[nodiscard]] std::string_view text(KeyId id) const
    {
        const Span &span = m_spans[id];
        return {m_bytes.data() + span.offset, span.length};
    }

    [[nodiscard]] std::optional<KeyId> find(std::string_view key) const;

    /// The id of `key`, numbering it when it is new.
    KeyId intern(std::string_view key);

private:
    struct Span
    {
        std::size_t offset;
        std::uint32_t length;
    };
    struct Slot
    {
        std::uint32_t hash;
        std::uint32_t idPlusOne;
    };

    [[nodiscard]] std::uint32_t hash(std::string_view key) const;
    void insertSlot(Slot slot);
    void grow();

    std::vector<char> m_bytes;
    std::vector<Span> m_spans;
    std::vector<Slot> m_slots;
    std::size_t m_seed = QHashSeed::globalSeed();
};

} // namespace quaverly::internal

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

    /// The seeded hash every table uses, for callers that need it beside the table's own use.
    [[nodiscard]] static std::size_t hashOf(std::string_view key);

    [[nodiscard]] std::optional<KeyId> find(std::string_view key) const { return find(key, hashOf(key)); }
    /// The id of `key`, numbering it when it is new.
    KeyId intern(std::string_view key) { return intern(key, hashOf(key)); }
    /// As intern(), with hashOf(key) known already.
    KeyId intern(std::string_view key, std::size_t hash);

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

    [[nodiscard]] std::optional<KeyId> find(std::string_view key, std::size_t hash) const;
    void insertSlot(Slot slot);
    void grow();

    std::vector<char> m_bytes;
    std::vector<Span> m_spans;
    std::vector<Slot> m_slots;
};

} // namespace quaverly::internal

#include "platform/internal/KeyTable.h"

#include <algorithm>

namespace quaverly::internal {

// Keys come from the file: with a fixed hash function a file could make every key land in one
// probe chain and interning quadratic. Qt's hash is seeded at random per process.
std::size_t KeyTable::hashOf(std::string_view key)
{
    return qHashBits(key.data(), key.size(), QHashSeed::globalSeed());
}

namespace {

std::uint32_t folded(std::size_t hash)
{
    return std::uint32_t(hash ^ (hash >> 32));
}

} // namespace

std::optional<KeyTable::KeyId> KeyTable::find(std::string_view key, std::size_t hash) const
{
    if (m_slots.empty())
        return std::nullopt;
    const std::uint32_t keyHash = folded(hash);
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = keyHash & mask;; i = (i + 1) & mask) {
        const Slot &slot = m_slots[i];
        if (slot.idPlusOne == 0)
            return std::nullopt;
        if (slot.hash == keyHash && text(slot.idPlusOne - 1) == key)
            return slot.idPlusOne - 1;
    }
}

KeyTable::KeyId KeyTable::intern(std::string_view key, std::size_t hash)
{
    if (const auto id = find(key, hash))
        return *id;
    if ((count() + 1) * 2 > m_slots.size())
        grow();
    const auto id = KeyId(m_spans.size());
    m_spans.push_back({m_bytes.size(), std::uint32_t(key.size())});
    m_bytes.insert(m_bytes.end(), key.begin(), key.end());
    insertSlot({folded(hash), id + 1});
    return id;
}

void KeyTable::insertSlot(Slot slot)
{
    const std::size_t mask = m_slots.size() - 1;
    std::size_t i = slot.hash & mask;
    while (m_slots[i].idPlusOne != 0)
        i = (i + 1) & mask;
    m_slots[i] = slot;
}

void KeyTable::grow()
{
    std::vector<Slot> old = std::move(m_slots);
    m_slots.assign(std::max<std::size_t>(64, old.size() * 2), Slot{0, 0});
    for (const Slot &slot : old) {
        if (slot.idPlusOne != 0)
            insertSlot(slot);
    }
}

} // namespace quaverly::internal

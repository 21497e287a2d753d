#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>

#include <concepts>
#include <cstddef>
#include <optional>
#include <tuple>
#include <type_traits>
#include <utility>

/// Field-by-field equality and hashing of records: texts by Unicode canonical equivalence,
/// numbers by value (0 equals -0), dates as points in time, URLs as URLs. For every pair of
/// values, equal() implies equal hash().
namespace quaverly::Equivalence {

/// Canonically equivalent texts (same NFC form). Allocates only when a text is not ASCII
/// and not already in NFC.
[[nodiscard]] bool equal(const QString &a, const QString &b);
[[nodiscard]] size_t hash(const QString &text, size_t seed);

/// 0 equals -0; every NaN equals every other NaN, so equality stays reflexive.
[[nodiscard]] bool equal(double a, double b) noexcept;
[[nodiscard]] size_t hash(double value, size_t seed) noexcept;

/// The same instant, whatever the time zones.
[[nodiscard]] bool equal(const QDateTime &a, const QDateTime &b);
[[nodiscard]] size_t hash(const QDateTime &date, size_t seed);

[[nodiscard]] bool equal(const QUrl &a, const QUrl &b);
[[nodiscard]] size_t hash(const QUrl &url, size_t seed);

template<typename T>
concept Plain = std::integral<T> || std::is_enum_v<T>;

template<Plain T>
[[nodiscard]] constexpr bool equal(T a, T b) noexcept
{
    return a == b;
}

template<Plain T>
[[nodiscard]] size_t hash(T value, size_t seed) noexcept
{
    if constexpr (std::is_enum_v<T>)
        return ::qHash(static_cast<std::underlying_type_t<T>>(value), seed);
    else
        return ::qHash(value, seed);
}

template<typename T>
[[nodiscard]] bool equal(const std::optional<T> &a, const std::optional<T> &b);
template<typename T>
[[nodiscard]] size_t hash(const std::optional<T> &value, size_t seed);
template<typename T>
[[nodiscard]] bool equal(const QList<T> &a, const QList<T> &b);
template<typename T>
[[nodiscard]] size_t hash(const QList<T> &list, size_t seed);

/// Mixes `value` into `seed`; the order of the calls matters.
[[nodiscard]] constexpr size_t combine(size_t seed, size_t value) noexcept
{
    return seed ^ (value + 0x9e3779b9 + (seed << 6) + (seed >> 2));
}

template<typename T>
bool equal(const std::optional<T> &a, const std::optional<T> &b)
{
    if (a.has_value() != b.has_value())
        return false;
    return !a.has_value() || equal(*a, *b);
}

template<typename T>
size_t hash(const std::optional<T> &value, size_t seed)
{
    return value ? combine(seed, hash(*value, 1)) : combine(seed, 0);
}

template<typename T>
bool equal(const QList<T> &a, const QList<T> &b)
{
    if (a.size() != b.size())
        return false;
    if (a.constData() == b.constData())
        return true;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (!equal(a.at(i), b.at(i)))
            return false;
    }
    return true;
}

template<typename T>
size_t hash(const QList<T> &list, size_t seed)
{
    seed = combine(seed, size_t(list.size()));
    for (const T &element : list)
        seed = combine(seed, hash(element, 0));
    return seed;
}

/// Two records' fields given as `std::tie(...)` in field order; stops at the first difference.
template<typename... T>
[[nodiscard]] bool equalFields(const std::tuple<const T &...> &a, const std::tuple<const T &...> &b)
{
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
        return (equal(std::get<I>(a), std::get<I>(b)) && ...);
    }(std::index_sequence_for<T...>{});
}

template<typename... T>
[[nodiscard]] size_t hashFields(const std::tuple<const T &...> &fields, size_t seed)
{
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
        ((seed = combine(seed, hash(std::get<I>(fields), 0))), ...);
        return seed;
    }(std::index_sequence_for<T...>{});
}

} // namespace quaverly::Equivalence

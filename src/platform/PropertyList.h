#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace quaverly {

/// A file that is not a well-formed XML property list. The sentence says what is wrong
/// and where (line and column).
class PropertyListError : public Error
{
public:
    using Error::Error;
};

/// A parsed XML property list: an immutable, compact tree of dictionaries (text keys),
/// arrays, texts, 64-bit integers, reals, Booleans, dates and binary data.
/// Values are light handles into the tree and stay valid as long as any copy of the
/// PropertyList they came from. Read-only after parsing, so safe to read from any thread.
class PropertyList
{
public:
    enum class Type : std::uint8_t { Dictionary, Array, String, Integer, Real, Boolean, Date, Data };

    /// Interned dictionary key: equal keys of one document have equal ids.
    using KeyId = std::uint32_t;

    class Value;
    class Entry;

    /// Parses the XML form. Throws PropertyListError on anything that is not a valid
    /// property list; never fetches a DTD and rejects entity and attribute declarations.
    [[nodiscard]] static PropertyList parse(QByteArrayView bytes);

    [[nodiscard]] Value root() const;

    /// The id of `key` in this document, or nothing when no dictionary of it uses the key.
    [[nodiscard]] std::optional<KeyId> keyId(QStringView key) const;
    /// The text of an interned key.
    [[nodiscard]] QString keyText(KeyId id) const;
    /// How many distinct keys the document uses; every KeyId is below it.
    [[nodiscard]] std::uint32_t keyCount() const;

    struct Document;

private:
    friend class PropertyListParser;
    explicit PropertyList(std::shared_ptr<const Document> document);
    std::shared_ptr<const Document> m_document;
};

/// One value of the tree. Typed accessors answer nothing (or an empty handle) when the
/// value has another type, so lenient readers can treat a mistyped value as missing.
class PropertyList::Value
{
public:
    [[nodiscard]] Type type() const;
    [[nodiscard]] bool isDictionary() const { return type() == Type::Dictionary; }
    [[nodiscard]] bool isArray() const { return type() == Type::Array; }

    [[nodiscard]] std::optional<QString> toString() const;
    /// The UTF-8 bytes of a text value without converting them; nothing for other types.
    [[nodiscard]] std::optional<QByteArrayView> toUtf8() const;
    [[nodiscard]] std::optional<qint64> toInteger() const;
    [[nodiscard]] std::optional<double> toReal() const;
    [[nodiscard]] std::optional<bool> toBoolean() const;
    /// A date as a point in time (UTC).
    [[nodiscard]] std::optional<QDateTime> toDate() const;
    [[nodiscard]] std::optional<QByteArray> toData() const;

    /// Number of elements of an array or entries of a dictionary; 0 for scalars.
    [[nodiscard]] std::size_t size() const;
    /// Element `index` of an array (precondition: isArray() and index < size()).
    [[nodiscard]] Value at(std::size_t index) const;
    /// Entry `index` of a dictionary, in document order (precondition: isDictionary()).
    [[nodiscard]] Entry entryAt(std::size_t index) const;
    /// The value under `key` in a dictionary; nothing when absent or when this is no dictionary.
    [[nodiscard]] std::optional<Value> value(QStringView key) const;
    [[nodiscard]] std::optional<Value> value(KeyId key) const;

private:
    friend class PropertyList;
    friend class Entry;
    Value(const Document *document, std::uint32_t node)
        : m_document(document), m_node(node) {}

    const Document *m_document = nullptr;
    std::uint32_t m_node = 0;
};

/// One key/value pair of a dictionary. A key repeated in one dictionary keeps only its
/// last value, so every key appears once.
class PropertyList::Entry
{
public:
    [[nodiscard]] KeyId keyId() const;
    [[nodiscard]] QString key() const;
    [[nodiscard]] Value value() const { return m_value; }

private:
    friend class Value;
    explicit Entry(Value value) : m_value(value) {}
    Value m_value;
};

} // namespace quaverly

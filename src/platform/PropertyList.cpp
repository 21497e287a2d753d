#include "platform/PropertyList.h"

#include "platform/PropertyListParser.h"

#include "platform/internal/PropertyListDocument.h"

#include <QtGlobal>

#include <algorithm>
#include <string_view>
#include <utility>

namespace quaverly {

PropertyList::PropertyList(std::shared_ptr<const Document> document)
    : m_document(std::move(document))
{
}

PropertyList PropertyList::parse(QByteArrayView bytes)
{
    PropertyListParser parser(std::size_t(bytes.size()));
    parser.feed(bytes);
    return parser.finish();
}

PropertyList::Value PropertyList::root() const
{
    return Value(m_document.get(), m_document->root);
}

std::optional<PropertyList::KeyId> PropertyList::keyId(QStringView key) const
{
    const QByteArray utf8 = key.toUtf8();
    return m_document->keyTable.find(std::string_view(utf8.constData(), std::size_t(utf8.size())));
}

QString PropertyList::keyText(KeyId id) const
{
    Q_ASSERT(id < keyCount());
    const std::string_view text = m_document->keyTable.text(id);
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

std::uint32_t PropertyList::keyCount() const
{
    return m_document->keyTable.count();
}

PropertyList::Type PropertyList::Value::type() const
{
    return m_document->nodes[m_node].type;
}

std::optional<QString> PropertyList::Value::toString() const
{
    const auto utf8 = toUtf8();
    if (!utf8)
        return std::nullopt;
    return QString::fromUtf8(*utf8);
}

std::optional<QByteArrayView> PropertyList::Value::toUtf8() const
{
    const Document::Node &node = m_document->nodes[m_node];
    if (node.type != Type::String)
        return std::nullopt;
    return QByteArrayView(m_document->text.data() + node.offset, qsizetype(node.size));
}

std::optional<qint64> PropertyList::Value::toInteger() const
{
    const Document::Node &node = m_document->nodes[m_node];
    if (node.type != Type::Integer)
        return std::nullopt;
    return node.integer;
}

std::optional<double> PropertyList::Value::toReal() const
{
    const Document::Node &node = m_document->nodes[m_node];
    if (node.type != Type::Real)
        return std::nullopt;
    return node.real;
}

std::optional<bool> PropertyList::Value::toBoolean() const
{
    const Document::Node &node = m_document->nodes[m_node];
    if (node.type != Type::Boolean)
        return std::nullopt;
    return node.boolean;
}

std::optional<QDateTime> PropertyList::Value::toDate() const
{
    const Document::Node &node = m_document->nodes[m_node];
    if (node.type != Type::Date)
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(node.milliseconds, Qt::UTC);
}

std::optional<QByteArray> PropertyList::Value::toData() const
{
    const Document::Node &node = m_document->nodes[m_node];
    if (node.type != Type::Data)
        return std::nullopt;
    return QByteArray(m_document->text.data() + node.offset, qsizetype(node.size));
}

std::size_t PropertyList::Value::size() const
{
    const Document::Node &node = m_document->nodes[m_node];
    return node.type == Type::Dictionary || node.type == Type::Array ? node.size : 0;
}

PropertyList::Value PropertyList::Value::at(std::size_t index) const
{
    Q_ASSERT(isArray() && index < size());
    return Value(m_document, m_document->nodes[m_node].first + std::uint32_t(index));
}

PropertyList::Entry PropertyList::Value::entryAt(std::size_t index) const
{
    Q_ASSERT(isDictionary() && index < size());
    return Entry(Value(m_document, m_document->nodes[m_node].first + std::uint32_t(index)));
}

std::optional<PropertyList::Value> PropertyList::Value::value(QStringView key) const
{
    if (!isDictionary())
        return std::nullopt;
    const QByteArray utf8 = key.toUtf8();
    const auto id = m_document->keyTable.find(std::string_view(utf8.constData(), std::size_t(utf8.size())));
    if (!id)
        return std::nullopt;
    return value(*id);
}

std::optional<PropertyList::Value> PropertyList::Value::value(KeyId key) const
{
    const Document::Node &node = m_document->nodes[m_node];
    if (node.type != Type::Dictionary)
        return std::nullopt;
    const KeyId *keys = m_document->keys.data() + node.first;
    const KeyId *found = std::find(keys, keys + node.size, key);
    if (found == keys + node.size)
        return std::nullopt;
    return Value(m_document, node.first + std::uint32_t(found - keys));
}

PropertyList::KeyId PropertyList::Entry::keyId() const
{
    return m_value.m_document->keys[m_value.m_node];
}

QString PropertyList::Entry::key() const
{
    const std::string_view text = m_value.m_document->keyTable.text(keyId());
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace quaverly

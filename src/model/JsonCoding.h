#pragma once

#include "model/DecodingError.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <concepts>
#include <optional>

/// The keyed serialised form shared by the records and the job: one JSON member per field.
/// Texts, Booleans and numbers are JSON's own; integers are JSON numbers that keep all 64 bits
/// through QJsonDocument; dates are ISO 8601 UTC text ("2024-01-02T03:04:05Z", with ".123"
/// only when the milliseconds are not zero); URLs their fully encoded text; UUIDs text
/// without braces; lists JSON arrays. Every read failure is a DecodingError naming the key.
namespace quaverly::JsonCoding {

using Key = QLatin1StringView;

/// Where a value sits: the member `key`, or element `index` of the list under `key`.
struct KeyPath
{
    Key key;
    qsizetype index = -1;

    [[nodiscard]] QString toString() const;
};

/// A date as ISO 8601 UTC text; empty for an invalid date.
[[nodiscard]] QString dateText(const QDateTime &date);
/// The UTC date for non-empty text of the form dateText() writes; nothing for anything else.
[[nodiscard]] std::optional<QDateTime> dateFromText(QStringView text);

/// `text` in quotation marks for an error sentence, shortened when long.
[[nodiscard]] QString quoted(QStringView text);
/// The dataCorrupted error for a text that is not `what` (e.g. u"a playlist kind").
[[nodiscard]] DecodingError invalidText(const KeyPath &path, QStringView text, QStringView what);

/// How one type is written and read: encode(const T &) and decode(const QJsonValue &, const KeyPath &).
template<typename T>
struct Coder;

template<>
struct Coder<QString>
{
    [[nodiscard]] static QJsonValue encode(const QString &text);
    [[nodiscard]] static QString decode(const QJsonValue &value, const KeyPath &path);
};

template<>
struct Coder<bool>
{
    [[nodiscard]] static QJsonValue encode(bool value);
    [[nodiscard]] static bool decode(const QJsonValue &value, const KeyPath &path);
};

template<>
struct Coder<double>
{
    [[nodiscard]] static QJsonValue encode(double value);
    [[nodiscard]] static double decode(const QJsonValue &value, const KeyPath &path);
};

/// A fraction is a type mismatch; a whole number outside the 64-bit range is corrupted data.
template<>
struct Coder<qint64>
{
    [[nodiscard]] static QJsonValue encode(qint64 value);
    [[nodiscard]] static qint64 decode(const QJsonValue &value, const KeyPath &path);
};

/// The empty text stands for the invalid (null) date, as it does for the empty URL.
template<>
struct Coder<QDateTime>
{
    [[nodiscard]] static QJsonValue encode(const QDateTime &date);
    [[nodiscard]] static QDateTime decode(const QJsonValue &value, const KeyPath &path);
};

/// Reads the text in strict mode; the empty text is the empty URL.
template<>
struct Coder<QUrl>
{
    [[nodiscard]] static QJsonValue encode(const QUrl &url);
    [[nodiscard]] static QUrl decode(const QJsonValue &value, const KeyPath &path);
};

template<>
struct Coder<QUuid>
{
    [[nodiscard]] static QJsonValue encode(const QUuid &uuid);
    [[nodiscard]] static QUuid decode(const QJsonValue &value, const KeyPath &path);
};

/// Throws DecodingError (typeMismatch) when `value` is not an object.
[[nodiscard]] QJsonObject objectValue(const QJsonValue &value, const KeyPath &path);
/// Throws DecodingError (typeMismatch) when `value` is not a list.
[[nodiscard]] QJsonArray arrayValue(const QJsonValue &value, const KeyPath &path);

template<typename T>
concept Record = requires(const T &record, const QJsonObject &object) {
    { record.toJson() } -> std::same_as<QJsonObject>;
    { T::fromJson(object) } -> std::same_as<T>;
};

/// A record as its own object; a failure inside it names the key within the record.
template<Record T>
struct Coder<T>
{
    [[nodiscard]] static QJsonValue encode(const T &record) { return record.toJson(); }

    [[nodiscard]] static T decode(const QJsonValue &value, const KeyPath &path)
    {
        const QJsonObject object = objectValue(value, path);
        try {
            return T::fromJson(object);
        } catch (const DecodingError &error) {
            throw error.nestedIn(path.toString());
        }
    }
};

/// One level of list: its elements are scalars or records, never lists.
template<typename T>
struct Coder<QList<T>>
{
    [[nodiscard]] static QJsonValue encode(const QList<T> &list)
    {
        QJsonArray array;
        for (const T &element : list)
            array.append(Coder<T>::encode(element));
        return array;
    }

    [[nodiscard]] static QList<T> decode(const QJsonValue &value, const KeyPath &path)
    {
        const QJsonArray array = arrayValue(value, path);
        QList<T> list;
        list.reserve(array.size());
        for (qsizetype i = 0; i < array.size(); ++i)
            list.append(Coder<T>::decode(array.at(i), KeyPath{path.key, i}));
        return list;
    }
};

template<typename T>
void write(QJsonObject &object, Key key, const T &value)
{
    object.insert(key, Coder<T>::encode(value));
}

/// Writes nothing when `value` is absent.
template<typename T>
void write(QJsonObject &object, Key key, const std::optional<T> &value)
{
    if (value)
        write(object, key, *value);
}

/// Throws DecodingError: keyNotFound when `key` is missing, otherwise as Coder<T> reads it.
template<typename T>
[[nodiscard]] T read(const QJsonObject &object, Key key)
{
    const auto found = object.constFind(key);
    if (found == object.constEnd())
        throw DecodingError::keyNotFound(QString(key));
    return Coder<T>::decode(found.value(), KeyPath{key});
}

/// Absent when `key` is missing; a present value of the wrong type (null included) fails.
template<typename T>
[[nodiscard]] std::optional<T> readOptional(const QJsonObject &object, Key key)
{
    const auto found = object.constFind(key);
    if (found == object.constEnd())
        return std::nullopt;
    return Coder<T>::decode(found.value(), KeyPath{key});
}

/// An enumeration stored as its raw value text. Throws DecodingError (dataCorrupted) for any
/// other text, describing it as not being `what`.
template<typename Enum>
[[nodiscard]] Enum readRawValue(const QJsonObject &object, Key key,
                                std::optional<Enum> (*fromRawValue)(QStringView), QStringView what)
{
    const QString text = read<QString>(object, key);
    if (const std::optional<Enum> value = fromRawValue(text))
        return *value;
    throw invalidText(KeyPath{key}, text, what);
}

} // namespace quaverly::JsonCoding

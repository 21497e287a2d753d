#include "model/JsonCoding.h"

#include <QLocale>

#include <cmath>
#include <cstdlib>

using namespace Qt::StringLiterals;

namespace quaverly::JsonCoding {

namespace {

constexpr qsizetype quotedLimit = 48;

void appendDigits(QString &text, qint64 value, int width)
{
    const QString digits = QString::number(value);
    for (qsizetype i = digits.size(); i < width; ++i)
        text.append(u'0');
    text.append(digits);
}

// Reads exactly `count` ASCII digits at `*pos`.
std::optional<int> takeDigits(QStringView text, qsizetype *pos, qsizetype count)
{
    if (*pos + count > text.size())
        return std::nullopt;
    int value = 0;
    for (qsizetype i = 0; i < count; ++i) {
        const char16_t c = text.at(*pos + i).unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
    }
    *pos += count;
    return value;
}

bool take(QStringView text, qsizetype *pos, char16_t expected)
{
    if (*pos >= text.size() || text.at(*pos) != expected)
        return false;
    ++*pos;
    return true;
}

qsizetype digitRun(QStringView text, qsizetype pos)
{
    qsizetype end = pos;
    while (end < text.size() && text.at(end) >= u'0' && text.at(end) <= u'9')
        ++end;
    return end - pos;
}

// ISO 8601 numbers years astronomically (1 BC is year 0); QDate has no year 0.
int isoYear(int qtYear)
{
    return qtYear > 0 ? qtYear : qtYear + 1;
}

int qtYear(int isoYear)
{
    return isoYear > 0 ? isoYear : isoYear - 1;
}

[[noreturn]] void throwTypeMismatch(const KeyPath &path, const QString &expected)
{
    throw DecodingError::typeMismatch(path.toString(), expected);
}

QString textValue(const QJsonValue &value, const KeyPath &path)
{
    if (!value.isString())
        throwTypeMismatch(path, u"a text"_s);
    return value.toString();
}

} // namespace

QString KeyPath::toString() const
{
    if (index < 0)
        return QString(key);
    return u"%1[%2]"_s.arg(key).arg(index);
}

QString dateText(const QDateTime &date)
{
    if (!date.isValid())
        return {};
    const QDateTime utc = date.toUTC();
    const QDate day = utc.date();
    const QTime time = utc.time();
    const int year = isoYear(day.year());

    QString text;
    text.reserve(24);
    // Years beyond four digits carry a sign, as ISO 8601's expanded form asks.
    if (year < 0)
        text.append(u'-');
    else if (year > 9999)
        text.append(u'+');
    appendDigits(text, std::abs(year), 4);
    text.append(u'-');
    appendDigits(text, day.month(), 2);
    text.append(u'-');
    appendDigits(text, day.day(), 2);
    text.append(u'T');
    appendDigits(text, time.hour(), 2);
    text.append(u':');
    appendDigits(text, time.minute(), 2);
    text.append(u':');
    appendDigits(text, time.second(), 2);
    if (time.msec() != 0) {
        text.append(u'.');
        appendDigits(text, time.msec(), 3);
    }
    text.append(u'Z');
    return text;
}

std::optional<QDateTime> dateFromText(QStringView text)
{
    qsizetype pos = 0;
    int sign = 1;
    bool expanded = false;
    if (!text.isEmpty() && (text.front() == u'+' || text.front() == u'-')) {
        sign = text.front() == u'-' ? -1 : 1;
        expanded = true;
        ++pos;
    }
    // Nine digits keep the year inside int; QDate refuses what it cannot represent.
    const qsizetype yearDigits = digitRun(text, pos);
    if (expanded ? (yearDigits < 4 || yearDigits > 9) : yearDigits != 4)
        return std::nullopt;
    const auto year = takeDigits(text, &pos, yearDigits);
    if (!take(text, &pos, u'-'))
        return std::nullopt;
    const auto month = takeDigits(text, &pos, 2);
    if (!month || !take(text, &pos, u'-'))
        return std::nullopt;
    const auto day = takeDigits(text, &pos, 2);
    if (!day || !take(text, &pos, u'T'))
        return std::nullopt;
    const auto hour = takeDigits(text, &pos, 2);
    if (!hour || !take(text, &pos, u':'))
        return std::nullopt;
    const auto minute = takeDigits(text, &pos, 2);
    if (!minute || !take(text, &pos, u':'))
        return std::nullopt;
    const auto second = takeDigits(text, &pos, 2);
    if (!second)
        return std::nullopt;
    int msec = 0;
    if (take(text, &pos, u'.')) {
        const qsizetype fractionDigits = digitRun(text, pos);
        if (fractionDigits < 1 || fractionDigits > 3)
            return std::nullopt;
        msec = *takeDigits(text, &pos, fractionDigits);
        for (qsizetype i = fractionDigits; i < 3; ++i)
            msec *= 10;
    }
    if (!take(text, &pos, u'Z') || pos != text.size())
        return std::nullopt;

    const QDate date(qtYear(sign * *year), *month, *day);
    const QTime time(*hour, *minute, *second, msec);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    QDateTime result(date, time, Qt::UTC);
    if (!result.isValid())
        return std::nullopt;
    return result;
}

QString quoted(QStringView text)
{
    if (text.size() <= quotedLimit)
        return u"\"%1\""_s.arg(text);
    qsizetype cut = quotedLimit - 1;
    if (text.at(cut - 1).isHighSurrogate())
        --cut;
    return u"\"%1\u2026\""_s.arg(text.first(cut));
}

DecodingError invalidText(const KeyPath &path, QStringView text, QStringView what)
{
    return DecodingError::dataCorrupted(path.toString(), u"%1 is not %2"_s.arg(quoted(text), what));
}

QJsonValue Coder<QString>::encode(const QString &text)
{
    return text;
}

QString Coder<QString>::decode(const QJsonValue &value, const KeyPath &path)
{
    return textValue(value, path);
}

QJsonValue Coder<bool>::encode(bool value)
{
    return value;
}

bool Coder<bool>::decode(const QJsonValue &value, const KeyPath &path)
{
    if (!value.isBool())
        throwTypeMismatch(path, u"true or false"_s);
    return value.toBool();
}

QJsonValue Coder<double>::encode(double value)
{
    return value;
}

double Coder<double>::decode(const QJsonValue &value, const KeyPath &path)
{
    if (!value.isDouble())
        throwTypeMismatch(path, u"a number"_s);
    return value.toDouble();
}

QJsonValue Coder<qint64>::encode(qint64 value)
{
    return value;
}

qint64 Coder<qint64>::decode(const QJsonValue &value, const KeyPath &path)
{
    if (!value.isDouble())
        throwTypeMismatch(path, u"a whole number"_s);
    // toInteger() answers its default when the number is no qint64; asking with two
    // different defaults tells a stored 0 or -1 from a failed conversion.
    const qint64 integer = value.toInteger(0);
    if (integer == value.toInteger(-1))
        return integer;
    const double number = value.toDouble();
    if (std::isfinite(number) && std::trunc(number) == number)
        throw DecodingError::dataCorrupted(
            path.toString(), u"%1 is outside the 64-bit integer range"_s.arg(
                                  QString::number(number, 'g', QLocale::FloatingPointShortest)));
    throwTypeMismatch(path, u"a whole number"_s);
}

QJsonValue Coder<QDateTime>::encode(const QDateTime &date)
{
    return dateText(date);
}

QDateTime Coder<QDateTime>::decode(const QJsonValue &value, const KeyPath &path)
{
    const QString text = textValue(value, path);
    if (text.isEmpty())
        return QDateTime();
    if (std::optional<QDateTime> date = dateFromText(text))
        return *std::move(date);
    throw invalidText(path, text, u"an ISO 8601 UTC date");
}

QJsonValue Coder<QUrl>::encode(const QUrl &url)
{
    return url.toString(QUrl::FullyEncoded);
}

QUrl Coder<QUrl>::decode(const QJsonValue &value, const KeyPath &path)
{
    const QString text = textValue(value, path);
    if (text.isEmpty())
        return QUrl();
    QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        throw invalidText(path, text, u"a URL");
    return url;
}

QJsonValue Coder<QUuid>::encode(const QUuid &uuid)
{
    return uuid.toString(QUuid::WithoutBraces);
}

QUuid Coder<QUuid>::decode(const QJsonValue &value, const KeyPath &path)
{
    const QString text = textValue(value, path);
    // fromString() ignores trailing characters and answers the nil UUID for bad text, so
    // the length and the nil text are checked here.
    const QUuid uuid = QUuid::fromString(text);
    if (text.size() != 36 || (uuid.isNull() && text != u"00000000-0000-0000-0000-000000000000"))
        throw invalidText(path, text, u"a UUID");
    return uuid;
}

QJsonObject objectValue(const QJsonValue &value, const KeyPath &path)
{
    if (!value.isObject())
        throwTypeMismatch(path, u"an object"_s);
    return value.toObject();
}

QJsonArray arrayValue(const QJsonValue &value, const KeyPath &path)
{
    if (!value.isArray())
        throwTypeMismatch(path, u"a list"_s);
    return value.toArray();
}

} // namespace quaverly::JsonCoding

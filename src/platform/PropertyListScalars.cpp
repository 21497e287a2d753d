#include "platform/PropertyListScalars.h"

#include <QByteArrayView>

#include <algorithm>
#include <array>
#include <limits>

namespace quaverly::plist {

namespace {

bool equalsIgnoringCase(std::string_view text, std::string_view lowerCase)
{
    return text.size() == lowerCase.size()
        && std::equal(text.begin(), text.end(), lowerCase.begin(), [](char a, char b) {
               return (a >= 'A' && a <= 'Z' ? char(a - 'A' + 'a') : a) == b;
           });
}

// Days since 1970-01-01 of a proleptic Gregorian date.
qint64 daysFromCivil(qint64 year, unsigned month, unsigned day)
{
    year -= month <= 2 ? 1 : 0;
    const qint64 era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = unsigned(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + qint64(dayOfEra) - 719468;
}

template<typename T>
Parsed<T> failure(ScalarError error)
{
    return {T{}, error};
}

} // namespace

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isXmlSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isXmlSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

Parsed<qint64> parseInteger(std::string_view text)
{
    text = trimmed(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return failure<qint64>(ScalarError::notDecimal);
    const std::uint64_t limit = negative ? std::uint64_t(1) << 63 : (std::uint64_t(1) << 63) - 1;
    std::uint64_t magnitude = 0;
    bool overflow = false;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return failure<qint64>(ScalarError::notDecimal);
        // Keep scanning after an overflow so that trailing junk is reported as such.
        if (overflow)
            continue;
        const auto digit = std::uint64_t(c - '0');
        if (magnitude > (limit - digit) / 10)
            overflow = true;
        else
            magnitude = magnitude * 10 + digit;
    }
    if (overflow)
        return failure<qint64>(ScalarError::outOfRange);
    return {negative ? qint64(0 - magnitude) : qint64(magnitude)};
}

Parsed<double> parseReal(std::string_view text)
{
    text = trimmed(text);
    if (text.empty())
        return failure<double>(ScalarError::notANumber);
    if (equalsIgnoringCase(text, "nan"))
        return {std::numeric_limits<double>::quiet_NaN()};
    std::string_view magnitude = text;
    if (magnitude.front() == '+' || magnitude.front() == '-')
        magnitude.remove_prefix(1);
    if (equalsIgnoringCase(magnitude, "inf") || equalsIgnoringCase(magnitude, "infinity")) {
        const double infinity = std::numeric_limits<double>::infinity();
        return {text.front() == '-' ? -infinity : infinity};
    }
    // Qt's conversion is locale-independent, refuses hexadecimal and refuses values that would
    // overflow to infinity or underflow to zero, which a file never means.
    bool ok = false;
    const double value = QByteArrayView(text.data(), qsizetype(text.size())).toDouble(&ok);
    if (!ok)
        return failure<double>(ScalarError::notANumber);
    return {value};
}

Parsed<qint64> parseDate(std::string_view text)
{
    text = trimmed(text);
    static constexpr std::string_view pattern = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != pattern.size())
        return failure<qint64>(ScalarError::notADate);
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const bool ok = pattern[i] == 'd' ? text[i] >= '0' && text[i] <= '9' : text[i] == pattern[i];
        if (!ok)
            return failure<qint64>(ScalarError::notADate);
    }
    const auto number = [text](std::size_t at, std::size_t length) {
        unsigned value = 0;
        for (std::size_t i = at; i < at + length; ++i)
            value = value * 10 + unsigned(text[i] - '0');
        return value;
    };
    const unsigned year = number(0, 4), month = number(5, 2), day = number(8, 2);
    const unsigned hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59)
        return failure<qint64>(ScalarError::notADate);
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    static constexpr unsigned daysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (day > daysInMonth[month - 1] + (month == 2 && leap ? 1 : 0))
        return failure<qint64>(ScalarError::notADate);
    const qint64 days = daysFromCivil(year, month, day);
    return {((days * 24 + hour) * 60 + minute) * 60 * 1000 + qint64(second) * 1000};
}

Parsed<std::size_t> decodeBase64InPlace(char *text, std::size_t length)
{
    enum : std::uint8_t { Invalid = 0xff, Space = 0xfe, Pad = 0xfd };
    static const auto table = [] {
        std::array<std::uint8_t, 256> t{};
        t.fill(Invalid);
        const char *alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (std::uint8_t i = 0; i < 64; ++i)
            t[std::uint8_t(alphabet[i])] = i;
        for (const char c : {' ', '\t', '\n', '\r'})
            t[std::uint8_t(c)] = Space;
        t[std::uint8_t('=')] = Pad;
        return t;
    }();
    const auto invalid = failure<std::size_t>(ScalarError::notBase64);

    std::size_t out = 0;
    std::uint32_t group = 0;
    int groupLength = 0;
    int padding = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t code = table[std::uint8_t(text[i])];
        if (code == Space)
            continue;
        if (code == Invalid)
            return invalid;
        if (code == Pad) {
            // Padding only completes the last group of two or three symbols.
            if (groupLength + padding < 2)
                return invalid;
            ++padding;
            if (groupLength + padding > 4)
                return invalid;
            continue;
        }
        if (padding > 0)
            return invalid;
        group = (group << 6) | code;
        if (++groupLength == 4) {
            text[out++] = char(group >> 16);
            text[out++] = char(group >> 8);
            text[out++] = char(group);
            group = 0;
            groupLength = 0;
        }
    }
    if (groupLength == 0 && padding == 0)
        return {out};
    if (groupLength + padding != 4)
        return invalid;
    if (groupLength == 2) {
        text[out++] = char(group >> 4);
    } else {
        text[out++] = char(group >> 10);
        text[out++] = char(group >> 2);
    }
    return {out};
}

} // namespace quaverly::plist

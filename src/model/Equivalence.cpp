#include "model/Equivalence.h"

#include <QHashFunctions>

#include <cmath>

namespace quaverly::Equivalence {

namespace {

// ASCII text is its own NFC form. Branch-free so the loop vectorises.
bool isAscii(QStringView text) noexcept
{
    char16_t bits = 0;
    for (const QChar c : text)
        bits |= c.unicode();
    return bits < 0x80;
}

// Qt's normalisation returns a shared copy when its quick check finds the text already in
// NFC, so only texts that really change are copied.
QString nfc(const QString &text)
{
    return text.normalized(QString::NormalizationForm_C);
}

} // namespace

bool equal(const QString &a, const QString &b)
{
    if (a == b)
        return true;
    if (isAscii(a) && isAscii(b))
        return false;
    return nfc(a) == nfc(b);
}

size_t hash(const QString &text, size_t seed)
{
    if (isAscii(text))
        return ::qHash(text, seed);
    return ::qHash(nfc(text), seed);
}

bool equal(double a, double b) noexcept
{
    return a == b || (std::isnan(a) && std::isnan(b));
}

size_t hash(double value, size_t seed) noexcept
{
    if (std::isnan(value))
        return combine(seed, 0x7ff8);
    // -0 and 0 are equal, so they must hash alike.
    return ::qHash(value == 0 ? 0.0 : value, seed);
}

bool equal(const QDateTime &a, const QDateTime &b)
{
    return a == b;
}

size_t hash(const QDateTime &date, size_t seed)
{
    if (!date.isValid())
        return combine(seed, 0);
    return ::qHash(date.toMSecsSinceEpoch(), seed);
}

bool equal(const QUrl &a, const QUrl &b)
{
    return a == b;
}

size_t hash(const QUrl &url, size_t seed)
{
    // The encoded text is a function of the components that operator== compares; it also
    // folds "file:/x" and "file:///x", which compare equal.
    return ::qHash(url.toString(QUrl::FullyEncoded), seed);
}

} // namespace quaverly::Equivalence

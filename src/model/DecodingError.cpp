#include "model/DecodingError.h"

using namespace Qt::StringLiterals;

namespace quaverly {

namespace {

// Every sentence opens with the same words naming the key, so nestedIn() can rename it.
QString sentenceOpening(const QString &key)
{
    return u"The value for the key \"%1\""_s.arg(key);
}

} // namespace

DecodingError::DecodingError(Kind kind, QString key, QString description)
    : Error(std::move(description))
    , m_kind(kind)
    , m_key(std::move(key))
{
}

DecodingError DecodingError::keyNotFound(const QString &key)
{
    return DecodingError(Kind::keyNotFound, key, sentenceOpening(key) + u" is missing."_s);
}

DecodingError DecodingError::typeMismatch(const QString &key, const QString &expected)
{
    return DecodingError(Kind::typeMismatch, key,
                         sentenceOpening(key) + u" is not %1."_s.arg(expected));
}

DecodingError DecodingError::dataCorrupted(const QString &key, const QString &reason)
{
    return DecodingError(Kind::dataCorrupted, key,
                         sentenceOpening(key) + u" is not valid: %1."_s.arg(reason));
}

DecodingError DecodingError::nestedIn(const QString &path) const
{
    const QString nestedKey = path + u'.' + m_key;
    QString text = description();
    const QString opening = sentenceOpening(m_key);
    if (text.startsWith(opening))
        text.replace(0, opening.size(), sentenceOpening(nestedKey));
    return DecodingError(m_kind, nestedKey, text);
}

} // namespace quaverly

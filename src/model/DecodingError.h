#pragma once

#include "platform/Error.h"

namespace quaverly {

/// A keyed serialised form (JSON) that cannot be read back. The sentence names the key.
class DecodingError : public Error
{
public:
    enum class Kind { keyNotFound, typeMismatch, dataCorrupted };

    DecodingError(Kind kind, QString key, QString description);

    [[nodiscard]] Kind kind() const noexcept { return m_kind; }
    [[nodiscard]] const QString &key() const noexcept { return m_key; }

    [[nodiscard]] static DecodingError keyNotFound(const QString &key);
    /// `expected` names the type that was wanted, e.g. u"a text"_s.
    [[nodiscard]] static DecodingError typeMismatch(const QString &key, const QString &expected);
    [[nodiscard]] static DecodingError dataCorrupted(const QString &key, const QString &reason);

    /// The same failure for a key read inside the value at `path`, e.g. "tracksToAdd[3]":
    /// the key becomes "tracksToAdd[3].title" and the sentence names it so.
    [[nodiscard]] DecodingError nestedIn(const QString &path) const;

private:
    Kind m_kind;
    QString m_key;
};

} // namespace quaverly

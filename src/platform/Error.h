#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace quaverly {

/// Base of every error Quaverly throws: one human-readable sentence, the text the window shows.
class Error : public std::exception
{
public:
    explicit Error(QString description);

    [[nodiscard]] const QString &description() const noexcept { return m_description; }
    [[nodiscard]] const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_description;
    QByteArray m_utf8;
};

/// The sentence for any failure, ours or not: an Error's own, one for running out of memory, a
/// general one for anything else. The window and the cli show nothing else.
[[nodiscard]] QString failureSentence(const std::exception_ptr &failure);

} // namespace quaverly

#pragma once

#include <QByteArray>

namespace quaverly::test {

/// A whole XML property-list document around `body`, the root value's markup.
inline QByteArray plistDocument(const QByteArray &body)
{
    return QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                             "<plist version=\"1.0\">\n")
        + body + QByteArrayLiteral("\n</plist>\n");
}

} // namespace quaverly::test

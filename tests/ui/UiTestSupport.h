#pragma once

#include "platform/Error.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace quaverly::test {

/// The descendant of `parent` named `name`; throws Error, which fails the test, when there is none.
template<typename T = QWidget>
T &child(const QObject &parent, const char *name)
{
    if (T *found = parent.findChild<T *>(QString::fromLatin1(name)))
        return *found;
    throw Error(QStringLiteral("There is no child named \"%1\" of that type.").arg(QString::fromLatin1(name)));
}

/// Clicks the push button named `name`, as a user would.
inline void click(const QObject &parent, const char *name)
{
    QTest::mouseClick(&child<QPushButton>(parent, name), Qt::LeftButton);
}

} // namespace quaverly::test

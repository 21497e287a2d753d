#pragma once

#include <QString>

namespace quaverly::fuzz {

/// Prints `what` and aborts: a broken invariant must stop the fuzzer (and fail a replay) even
/// in builds without assertions.
[[noreturn]] void violated(const char *what, const QString &detail = {});

/// Aborts through violated() when `condition` is false.
inline void require(bool condition, const char *what, const QString &detail = {})
{
    if (!condition)
        violated(what, detail);
}

} // namespace quaverly::fuzz

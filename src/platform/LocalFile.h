#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace quaverly {

/// The decoded local path of a `file:` URL whose host is empty or "localhost" (the same
/// path either way); nothing for any other URL, a relative one, or a path holding a NUL or
/// percent-encoded bytes that are not UTF-8.
[[nodiscard]] std::optional<QString> localFilePath(const QUrl &url);

} // namespace quaverly

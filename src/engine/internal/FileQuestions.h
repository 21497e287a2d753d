#pragma once

#include "platform/FileSystem.h"

#include <QList>
#include <QString>

#include <optional>
#include <vector>

namespace quaverly::internal {

/// FileSystem::fileStatus() of each of `paths`, in their order; nothing for an empty path, which
/// is not asked about. Over a network every question is a round trip, and a plan asks one per
/// file: the questions go out several at a time, on threads of their own, so that a plan of
/// thousands of files does not wait for each answer in turn.
[[nodiscard]] std::vector<std::optional<FileSystem::FileStatus>> fileStatuses(const QList<QString> &paths);

} // namespace quaverly::internal

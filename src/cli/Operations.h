#pragma once

#include "engine/SyncPlan.h"

#include <QJsonArray>
#include <QStringList>

namespace quaverly::cli {

/// One line per file operation of `plan`: `copy SRC -> DST`, `remove PATH`, `keep PATH (reason)`,
/// `skip PATH (reason)`, `artwork SRC -> DST`. With `doneOnly`, only what its run has done.
[[nodiscard]] QStringList operationLines(const SyncPlan &plan, bool doneOnly);
/// The same operations as JSON objects: {"operation", "source"/"path", "target", "renamedFrom", "reason"}.
[[nodiscard]] QJsonArray operationsJson(const SyncPlan &plan, bool doneOnly);

} // namespace quaverly::cli

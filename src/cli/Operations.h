#pragma once

#include "engine/SyncPlan.h"

#include <QJsonArray>

namespace quaverly::cli {

/// The plan's operations as JSON objects: {"operation", "source" or "path", "target",
/// "renamedFrom", "reason"}. With `doneOnly`, only what its run has done.
[[nodiscard]] QJsonArray operationsJson(const SyncPlan &plan, bool doneOnly);

} // namespace quaverly::cli

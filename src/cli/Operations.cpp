#include "cli/Operations.h"

#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace quaverly::cli {

QJsonArray operationsJson(const SyncPlan &plan, bool doneOnly)
{
    QJsonArray array;
    for (const SyncPlan::Operation &op : plan.operations(doneOnly)) {
        QJsonObject object{{u"operation"_s, op.kind}};
        object.insert(op.target.isEmpty() ? u"path"_s : u"source"_s, op.path);
        if (!op.target.isEmpty())
            object.insert(u"target"_s, op.target);
        if (!op.renamedFrom.isEmpty())
            object.insert(u"renamedFrom"_s, op.renamedFrom);
        if (!op.reason.isEmpty())
            object.insert(u"reason"_s, op.reason);
        array.append(object);
    }
    return array;
}

} // namespace quaverly::cli

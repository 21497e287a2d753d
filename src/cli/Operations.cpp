#include "cli/Operations.h"

#include <QJsonObject>

#include <algorithm>
#include <functional>

using namespace Qt::StringLiterals;

namespace quaverly::cli {

namespace {

struct Operation
{
    QString operation;
    QString source;
    QString target;
    QString renamedFrom;
    QString reason;
};

// A location that names no file of this computer is shown as the library records it.
QString recorded(const Track &track)
{
    return track.location ? track.location->toString(QUrl::PreferLocalFile) : QString();
}

// Every operation in the order the run carries them out; the run deals with the first
// completedItemCount tracks and then, when it completed, every artwork file.
void forEachOperation(const SyncPlan &plan, bool doneOnly, const std::function<void(const Operation &)> &visit)
{
    using CopyKind = SyncPlan::Copy::Kind;
    using RemovalKind = SyncPlan::Removal::Kind;
    const qint64 done = doneOnly ? plan.job.completedItemCount : std::numeric_limits<qint64>::max();
    for (qsizetype i = 0; i < plan.copies.size() && i < done; ++i) {
        const SyncPlan::Copy &copy = plan.copies.at(i);
        if (copy.kind == CopyKind::copy)
            visit({u"copy"_s, copy.source, copy.target, copy.renamedFrom, {}});
        else if (copy.kind != CopyKind::noFile)
            visit({u"skip"_s, copy.source.isEmpty() ? recorded(plan.job.tracksToAdd.at(i)) : copy.source, {}, {},
                   SyncPlan::reason(copy.kind)});
    }
    for (qsizetype i = 0; i < plan.removals.size() && plan.copies.size() + i < done; ++i) {
        const SyncPlan::Removal &removal = plan.removals.at(i);
        if (removal.kind == RemovalKind::remove)
            visit({u"remove"_s, removal.path, {}, {}, {}});
        else if (removal.kind != RemovalKind::noFile)
            visit({u"keep"_s, removal.path.isEmpty() ? recorded(plan.job.tracksToRemove.at(i)) : removal.path, {}, {},
                   SyncPlan::reason(removal.kind)});
    }
    const qsizetype artworkDone = doneOnly ? plan.outcome.artworkCopied : plan.artwork.size();
    for (qsizetype i = 0; i < artworkDone; ++i)
        visit({u"artwork"_s, plan.artwork.at(i).source, plan.artwork.at(i).target, {}, {}});
}

} // namespace

QStringList operationLines(const SyncPlan &plan, bool doneOnly)
{
    QStringList lines;
    forEachOperation(plan, doneOnly, [&lines](const Operation &op) {
        QString line = op.operation + u' ' + op.source;
        if (!op.target.isEmpty())
            line += u" -> "_s + op.target;
        if (!op.renamedFrom.isEmpty())
            line += u" (renamed from %1)"_s.arg(op.renamedFrom);
        if (!op.reason.isEmpty())
            line += u" (%1)"_s.arg(op.reason);
        lines.append(line);
    });
    return lines;
}

QJsonArray operationsJson(const SyncPlan &plan, bool doneOnly)
{
    QJsonArray array;
    forEachOperation(plan, doneOnly, [&array](const Operation &op) {
        QJsonObject object{{u"operation"_s, op.operation}};
        object.insert(op.target.isEmpty() ? u"path"_s : u"source"_s, op.source);
        if (!op.target.isEmpty())
            object.insert(u"target"_s, op.target);
        if (!op.renamedFrom.isEmpty())
            object.insert(u"renamedFrom"_s, op.renamedFrom);
        if (!op.reason.isEmpty())
            object.insert(u"reason"_s, op.reason);
        array.append(object);
    });
    return array;
}

} // namespace quaverly::cli

#include "engine/SyncPlan.h"

#include <QMap>

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

namespace quaverly {

namespace {

QString counted(qsizetype count, const QString &one, const QString &many)
{
    return (count == 1 ? one : many).arg(count);
}

std::optional<QString> mediaFolderLine(const LocationResolver &resolver, const QString &side)
{
    const std::optional<LocationResolver::MediaFolder> &media = resolver.mediaFolder();
    if (!media)
        return std::nullopt;
    const QString where = u"%1 \u2192 %2"_s.arg(media->recorded, media->local);
    return media->given ? u"%1 media folder as you named it: %2"_s.arg(side, where)
                        : u"%1 library read from another computer: %2"_s.arg(side, where);
}

} // namespace

QStringList SyncPlan::missingFiles() const
{
    QStringList paths;
    paths.reserve(filesMissing);
    for (const Copy &copy : copies) {
        if (copy.kind == Copy::Kind::missing)
            paths.append(copy.source);
    }
    return paths;
}

QStringList SyncPlan::outcomeSummary() const
{
    const auto files = [](qsizetype count) { return count == 1 ? u"1 file"_s : u"%1 files"_s.arg(count); };
    QStringList lines;
    if (outcome.copied > 0)
        lines.append(u"Copied %1 (%2)"_s.arg(files(outcome.copied), formattedByteCount(outcome.bytesCopied)));
    if (outcome.trashed > 0)
        lines.append(u"Moved %1 to the Trash"_s.arg(files(outcome.trashed)));
    if (outcome.deleted > 0)
        lines.append(u"Deleted %1 for good"_s.arg(files(outcome.deleted)));

    // The run deals with the copies first, then the removals; a cancelled run kept only the
    // removals it reached. A track without a file keeps nothing.
    const qsizetype reached =
        std::clamp<qsizetype>(job.completedItemCount - copies.size(), 0, removals.size());
    QMap<QString, qsizetype> kept;
    qsizetype keptCount = 0;
    for (qsizetype i = 0; i < reached; ++i) {
        const Removal::Kind kind = removals.at(i).kind;
        if (kind != Removal::Kind::remove && kind != Removal::Kind::noFile) {
            ++kept[reason(kind)];
            ++keptCount;
        }
    }
    if (keptCount > 0) {
        QStringList reasons;
        for (auto it = kept.cbegin(); it != kept.cend(); ++it)
            reasons.append(kept.size() == 1 ? it.key() : u"%1 %2"_s.arg(it.value()).arg(it.key()));
        lines.append(u"Kept %1 (%2)"_s.arg(files(keptCount), reasons.join(u", "_s)));
    }
    if (outcome.artworkCopied > 0) {
        lines.append(outcome.artworkCopied == 1 ? u"Copied 1 artwork file"_s
                                                : u"Copied %1 artwork files"_s.arg(outcome.artworkCopied));
    }
    return lines;
}

QString SyncPlan::Operation::line() const
{
    QString text = kind + u' ' + path;
    if (!target.isEmpty())
        text += u" -> "_s + target;
    if (!renamedFrom.isEmpty())
        text += u" (renamed from %1)"_s.arg(renamedFrom);
    if (!reason.isEmpty())
        text += u" (%1)"_s.arg(reason);
    return text;
}

QList<SyncPlan::Operation> SyncPlan::operations(bool doneOnly) const
{
    // A location that names no file of this computer is shown as the library records it.
    const auto recorded = [](const Track &track) {
        return track.location ? track.location->toString(QUrl::PreferLocalFile) : QString();
    };
    // The run deals with the first completedItemCount tracks in list order, then, when it gets
    // there, the artwork files.
    const qint64 done = doneOnly ? job.completedItemCount : std::numeric_limits<qint64>::max();
    QList<Operation> list;
    for (qsizetype i = 0; i < copies.size() && i < done; ++i) {
        const Copy &copy = copies.at(i);
        if (copy.kind == Copy::Kind::copy)
            list.append({u"copy"_s, copy.source, copy.target, copy.renamedFrom, {}});
        else if (copy.kind != Copy::Kind::noFile)
            list.append({u"skip"_s, copy.source.isEmpty() ? recorded(job.tracksToAdd.at(i)) : copy.source, {}, {},
                         reason(copy.kind)});
    }
    for (qsizetype i = 0; i < removals.size() && copies.size() + i < done; ++i) {
        const Removal &removal = removals.at(i);
        if (removal.kind == Removal::Kind::remove)
            list.append({u"remove"_s, removal.path, {}, {}, {}});
        else if (removal.kind != Removal::Kind::noFile)
            list.append({u"keep"_s, removal.path.isEmpty() ? recorded(job.tracksToRemove.at(i)) : removal.path, {}, {},
                         reason(removal.kind)});
    }
    for (qsizetype i = 0; i < (doneOnly ? outcome.artworkCopied : artwork.size()); ++i)
        list.append({u"artwork"_s, artwork.at(i).source, artwork.at(i).target, {}, {}});
    return list;
}

QString SyncPlan::reason(Copy::Kind kind)
{
    switch (kind) {
    case Copy::Kind::copy:
        return {};
    case Copy::Kind::noFile:
        return u"no file"_s;
    case Copy::Kind::notOnThisComputer:
        return u"on the other computer"_s;
    case Copy::Kind::missing:
        return u"not found"_s;
    case Copy::Kind::libraryFile:
        return u"a library file"_s;
    }
    Q_UNREACHABLE();
    return {};
}

QString SyncPlan::reason(Removal::Kind kind)
{
    switch (kind) {
    case Removal::Kind::remove:
        return {};
    case Removal::Kind::noFile:
        return u"no file"_s;
    case Removal::Kind::notOnThisComputer:
        return u"on the other computer"_s;
    case Removal::Kind::outsideDestination:
        return u"outside the destination library folder"_s;
    case Removal::Kind::placedAgain:
        return u"a new track is copied there"_s;
    case Removal::Kind::stillListed:
        return u"still used by another track"_s;
    case Removal::Kind::libraryFile:
        return u"a library file"_s;
    }
    Q_UNREACHABLE();
    return {};
}

QStringList SyncPlan::copiedTargets() const
{
    // The run copies in list order and counts every entry it deals with, copied or not.
    const qsizetype done = std::min<qsizetype>(job.completedItemCount, copies.size());
    QStringList targets;
    targets.reserve(outcome.copied);
    for (qsizetype i = 0; i < done; ++i) {
        if (copies.at(i).kind == Copy::Kind::copy)
            targets.append(copies.at(i).target);
    }
    return targets;
}

QByteArray SyncPlan::importList() const
{
    QByteArray list = "#EXTM3U\n";
    for (const QString &target : copiedTargets()) {
        // A name with a line break cannot stand on a line of its own.
        if (!target.contains(u'\n') && !target.contains(u'\r'))
            list += target.toUtf8() + '\n';
    }
    return list;
}

std::optional<QString> SyncPlan::refusal() const
{
    if (filesToCopy == 0 && filesMissing > 0) {
        return (filesMissing == 1 ? u"The file to copy was not found on this computer."_s
                                  : u"None of the %1 files to copy was found on this computer."_s.arg(filesMissing))
            + u" If the source library comes from another computer, choose its library file in that "
              "computer's shared Music folder, mounted here, or name its media folder (Locate\u2026 in "
              "the window, --source-media in quaverly-cli)."_s;
    }
    if (deletionNeedsConsent() && !consent.permanentDeletion) {
        return counted(filesToRemove, u"The destination volume has no Trash, so the file to remove could not be restored."_s,
                       u"The destination volume has no Trash, so the %1 files to remove could not be restored."_s)
            + u" Nothing was changed; to delete them for good all the same, confirm it (--delete-permanently in "
              "quaverly-cli)."_s;
    }
    if (removalNeedsConsent && !consent.massRemoval) {
        return u"This sync would remove %1 of the %2 tracks of the destination library, so nothing was changed. "
               "Check that the source library is the one you meant; to remove them all the same, confirm the "
               "removal (--allow-mass-removal in quaverly-cli)."_s
            .arg(job.tracksToRemove.size())
            .arg(destinationTrackCount);
    }
    if (availableSpace && bytesToCopy > *availableSpace) {
        return u"There is not enough free space for this sync: it copies %1, and the destination volume "
               "has %2 free. Free some space there, then scan again."_s
            .arg(formattedByteCount(bytesToCopy), formattedByteCount(*availableSpace));
    }
    return std::nullopt;
}

QStringList SyncPlan::notice() const
{
    QStringList lines;
    for (const auto &[resolver, side] : {std::pair{&source, u"Source"_s}, std::pair{&destination, u"Destination"_s}}) {
        if (const std::optional<QString> line = mediaFolderLine(*resolver, side))
            lines.append(*line);
    }
    if (filesMissing > 0) {
        lines.append(counted(filesMissing, u"%1 file to copy was not found; it will be skipped."_s,
                             u"%1 files to copy were not found; they will be skipped."_s));
    }
    if (notOnThisComputer > 0) {
        lines.append(counted(notOnThisComputer,
                             u"%1 track is on the other computer, not on this one; it is neither copied nor removed."_s,
                             u"%1 tracks are on the other computer, not on this one; they are neither copied nor removed."_s));
    }
    if (keptOutsideDestination > 0) {
        lines.append(counted(keptOutsideDestination,
                             u"%1 file to remove lies outside the destination library folder; it is kept."_s,
                             u"%1 files to remove lie outside the destination library folder; they are kept."_s));
    }
    if (deletionNeedsConsent()) {
        lines.append(counted(filesToRemove,
                             u"The destination volume has no Trash: the file to remove would be deleted for good."_s,
                             u"The destination volume has no Trash: the %1 files to remove would be deleted for good."_s));
    }
    if (keptStillListed > 0) {
        lines.append(counted(keptStillListed, u"%1 file to remove is still used by another track; it is kept."_s,
                             u"%1 files to remove are still used by other tracks; they are kept."_s));
    }
    if (renamedCopies > 0) {
        lines.append(counted(renamedCopies, u"%1 file to copy gets a new name, as another file has its place."_s,
                             u"%1 files to copy get a new name, as other files have their places."_s));
    }
    if (filesToCopy > 0) {
        lines.append(availableSpace ? u"To copy: %1; free on the destination volume: %2."_s.arg(
                                          formattedByteCount(bytesToCopy), formattedByteCount(*availableSpace))
                                    : u"To copy: %1."_s.arg(formattedByteCount(bytesToCopy)));
    }
    return lines;
}

QString formattedByteCount(qint64 bytes)
{
    if (bytes < 1000)
        return counted(qsizetype(bytes), u"%1 byte"_s, u"%1 bytes"_s);
    static constexpr const char16_t *units[] = {u"KB", u"MB", u"GB", u"TB", u"PB", u"EB"};
    double value = double(bytes) / 1000.0;
    qsizetype unit = 0;
    // Rounding to one decimal may carry into the next unit: 999,960 bytes is "1.0 MB".
    while (value >= 999.95 && unit + 1 < qsizetype(std::size(units))) {
        value /= 1000.0;
        ++unit;
    }
    return QString::number(value, 'f', 1) + u' ' + QString::fromUtf16(units[unit]);
}

} // namespace quaverly

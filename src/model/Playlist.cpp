#include "model/Playlist.h"

#include "model/Equivalence.h"
#include "model/JsonCoding.h"

using namespace Qt::StringLiterals;

namespace quaverly {

namespace {

auto fields(const Playlist &p)
{
    return std::tie(p.persistentID, p.name, p.kind, p.trackIDs, p.parentID, p.dateModified);
}

} // namespace

std::optional<Playlist::PlaylistKind> Playlist::kindFromRawValue(QStringView raw)
{
    for (const PlaylistKind kind :
         {PlaylistKind::standard, PlaylistKind::smart, PlaylistKind::folder, PlaylistKind::genius}) {
        if (raw == rawValue(kind))
            return kind;
    }
    return std::nullopt;
}

QString Playlist::rawValue(PlaylistKind kind)
{
    switch (kind) {
    case PlaylistKind::standard:
        return u"standard"_s;
    case PlaylistKind::smart:
        return u"smart"_s;
    case PlaylistKind::folder:
        return u"folder"_s;
    case PlaylistKind::genius:
        return u"genius"_s;
    }
    Q_UNREACHABLE();
    return {};
}

QJsonObject Playlist::toJson() const
{
    using JsonCoding::write;
    QJsonObject object;
    write(object, "persistentID"_L1, persistentID);
    write(object, "name"_L1, name);
    write(object, "kind"_L1, rawValue(kind));
    write(object, "trackIDs"_L1, trackIDs);
    write(object, "parentID"_L1, parentID);
    write(object, "dateModified"_L1, dateModified);
    return object;
}

Playlist Playlist::fromJson(const QJsonObject &object)
{
    using JsonCoding::read;
    using JsonCoding::readOptional;
    return Playlist{
        .persistentID = read<QString>(object, "persistentID"_L1),
        .name = read<QString>(object, "name"_L1),
        .kind = JsonCoding::readRawValue(object, "kind"_L1, &kindFromRawValue, u"a playlist kind"),
        .trackIDs = read<QList<QString>>(object, "trackIDs"_L1),
        .parentID = readOptional<QString>(object, "parentID"_L1),
        .dateModified = readOptional<QDateTime>(object, "dateModified"_L1),
    };
}

bool operator==(const Playlist &a, const Playlist &b)
{
    return Equivalence::equalFields(fields(a), fields(b));
}

size_t qHash(const Playlist &playlist, size_t seed)
{
    return Equivalence::hashFields(fields(playlist), seed);
}

size_t qHash(Playlist::PlaylistKind kind, size_t seed) noexcept
{
    return Equivalence::hash(kind, seed);
}

} // namespace quaverly

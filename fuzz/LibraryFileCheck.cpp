#include "LibraryFileCheck.h"

#include "FuzzCheck.h"

#include "engine/Placement.h"
#include "platform/PropertyList.h"
#include "scanner/PlaylistExtraction.h"
#include "scanner/TrackExtraction.h"

#include <QSet>

#include <optional>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace quaverly::fuzz {

namespace {

using Value = PropertyList::Value;
using Type = PropertyList::Type;

// The reader refuses deeper files; the plist element itself is not a value.
constexpr int kMaxDepth = 512;
// Keyed lookups are linear in a dictionary's size; checking a prefix keeps each input linear.
constexpr std::size_t kCheckedLookups = 64;

void checkSentence(const QString &sentence)
{
    require(sentence.startsWith(u"The library file is not a valid property list: "_s),
            "a parse error names the problem", sentence);
    require(sentence.endsWith(u'.'), "a parse error is one sentence", sentence);
}

void checkText(const Value &value)
{
    const std::optional<QByteArrayView> utf8 = value.toUtf8();
    const std::optional<QString> text = value.toString();
    require(utf8.has_value() && text.has_value(), "a text value answers its text");
    // Valid UTF-8 of Unicode scalar values survives the round trip; a surrogate or a stray byte
    // would come back as a replacement character.
    require(text->toUtf8() == *utf8, "a text value is valid UTF-8", *text);
}

void checkDictionary(const PropertyList &document, const Value &dictionary)
{
    QSet<PropertyList::KeyId> seen;
    for (std::size_t i = 0; i < dictionary.size(); ++i) {
        const PropertyList::Entry entry = dictionary.entryAt(i);
        const PropertyList::KeyId id = entry.keyId();
        require(id < document.keyCount(), "a key id is below keyCount()");
        require(!seen.contains(id), "a dictionary holds each key once", entry.key());
        seen.insert(id);
        if (i >= kCheckedLookups)
            continue;
        const QString key = entry.key();
        require(document.keyId(key) == id, "a key's text finds its id", key);
        const std::optional<Value> byId = dictionary.value(id);
        const std::optional<Value> byText = dictionary.value(key);
        require(byId && byText, "a dictionary finds its own keys", key);
        require(byId->type() == entry.value().type() && byText->type() == entry.value().type()
                    && byId->size() == entry.value().size(),
                "a lookup answers the entry's own value", key);
    }
}

void checkScalar(const Value &value)
{
    switch (value.type()) {
    case Type::String:
        checkText(value);
        break;
    case Type::Integer:
        require(value.toInteger().has_value(), "an integer answers its value");
        break;
    case Type::Real:
        require(value.toReal().has_value(), "a real answers its value");
        break;
    case Type::Boolean:
        require(value.toBoolean().has_value(), "a Boolean answers its value");
        break;
    case Type::Date: {
        const std::optional<QDateTime> date = value.toDate();
        require(date && date->isValid() && date->timeSpec() == Qt::UTC, "a date is a valid UTC instant");
        break;
    }
    case Type::Data:
        require(value.toData().has_value(), "a data value answers its bytes");
        break;
    case Type::Dictionary:
    case Type::Array:
        break;
    }
    require(!value.toString() || value.type() == Type::String, "only a text answers toString()");
}

// Visits every value without recursion: the reader promises bounded nesting, the walk must not
// depend on it.
void checkTree(const PropertyList &document)
{
    std::vector<std::pair<Value, int>> pending{{document.root(), 1}};
    while (!pending.empty()) {
        const auto [value, depth] = pending.back();
        pending.pop_back();
        require(depth <= kMaxDepth, "nesting stays within the limit");
        checkScalar(value);
        if (value.isDictionary()) {
            checkDictionary(document, value);
            for (std::size_t i = 0; i < value.size(); ++i)
                pending.emplace_back(value.entryAt(i).value(), depth + 1);
        } else if (value.isArray()) {
            for (std::size_t i = 0; i < value.size(); ++i)
                pending.emplace_back(value.at(i), depth + 1);
        } else {
            require(value.size() == 0, "a scalar has no children");
        }
    }
}

void checkTrack(const QString &key, const Track &track)
{
    require(key == track.persistentID, "a track is keyed by its persistent ID", key);
    if (track.location) {
        require(track.location->isValid() && !track.location->isEmpty(), "a track's location is a valid URL");
        if (const std::optional<QString> path = Placement::localPath(*track.location)) {
            require(path->startsWith(u'/') && !path->contains(QChar(u'\0')), "a local path is absolute", *path);
            require(Placement::normalisedPath(*path) == *path, "a local path is normalised", *path);
        }
    }
    // A plan is handed on as JSON: whatever a file holds must decode and say the same again.
    const QJsonObject json = track.toJson();
    require(Track::fromJson(json).toJson() == json, "a track survives its JSON form", key);
}

void checkPlaylist(const Playlist &playlist, const QHash<QString, Track> &tracks)
{
    for (const QString &id : playlist.trackIDs)
        require(tracks.contains(id), "a playlist lists only tracks that were read", id);
    const QJsonObject json = playlist.toJson();
    require(Playlist::fromJson(json).toJson() == json, "a playlist survives its JSON form", playlist.persistentID);
}

} // namespace

QString checkLibraryFile(QByteArrayView bytes)
{
    std::optional<PropertyList> document;
    try {
        document = PropertyList::parse(bytes);
    } catch (const PropertyListError &error) {
        checkSentence(error.description());
        return u"rejected: "_s + error.description();
    }
    checkTree(*document);

    const Value root = document->root();
    if (!root.isDictionary())
        return u"rejected: the root is no dictionary"_s;
    const TrackExtraction::Result tracks = TrackExtraction(*document).parseTracks(root);
    const QList<Playlist> playlists = PlaylistExtraction(*document).parsePlaylists(root, tracks.trackIDMap);
    for (auto it = tracks.tracks.cbegin(); it != tracks.tracks.cend(); ++it)
        checkTrack(it.key(), it.value());
    for (const QString &persistentID : tracks.trackIDMap)
        require(tracks.tracks.contains(persistentID), "the track-ID map names tracks that were read", persistentID);
    for (const Playlist &playlist : playlists)
        checkPlaylist(playlist, tracks.tracks);
    return u"read: %1 tracks, %2 playlists"_s.arg(tracks.tracks.size()).arg(playlists.size());
}

} // namespace quaverly::fuzz

#pragma once

#include "model/Track.h"
#include "platform/PropertyList.h"

#include <QHash>
#include <QString>

#include <optional>
#include <vector>

namespace quaverly {

/// Maps a library file's integer "Track ID" to the track's persistent ID; lives for one scan.
using TrackIDMap = QHash<qint64, QString>;

/// Turns the track table of a parsed library file into Track records. Lenient: a value of
/// the wrong type counts as missing, and nothing here ever fails.
class TrackExtraction
{
public:
    struct Result
    {
        QHash<QString, Track> tracks;
        TrackIDMap trackIDMap;
    };

    /// Prepares the key lookups for `document`.
    explicit TrackExtraction(const PropertyList &document);
    /// Prepares nothing yet: call useDocument() before reading.
    TrackExtraction() = default;

    /// Points the key lookups at `document`, keeping the texts shared so far: for a file that
    /// arrives as several documents.
    void useDocument(const PropertyList &document);

    /// Every track of the root's "Tracks" dictionary, keyed by persistent ID, and the
    /// track-ID map. A later entry with the same persistent ID or "Track ID" replaces an
    /// earlier one.
    [[nodiscard]] Result parseTracks(PropertyList::Value root) const;

    /// Adds every track of the dictionary `table` to `result` under the same rules.
    void addTracks(PropertyList::Value table, Result &result) const;

    /// One track entry; nothing when it has no text "Persistent ID".
    [[nodiscard]] std::optional<Track> parseTrack(PropertyList::Value entry) const;

private:
    enum class Field : std::uint8_t;

    [[nodiscard]] std::optional<Track> readTrack(PropertyList::Value entry,
                                                std::optional<qint64> *trackID) const;
    [[nodiscard]] QString sharedText(QByteArrayView utf8) const;

    std::vector<Field> m_fieldOfKey;
    // Artists, albums and genres repeat across thousands of tracks: one copy each.
    mutable QHash<QByteArray, QString> m_sharedTexts;
};

} // namespace quaverly

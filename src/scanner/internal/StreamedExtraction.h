#pragma once

#include "model/Playlist.h"
#include "model/Track.h"
#include "platform/PropertyListParser.h"
#include "scanner/TrackExtraction.h"

#include <QByteArray>
#include <QHash>
#include <QList>

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace quaverly::internal {

/// Extracts the tracks and playlists of a library file from the slices of its "Tracks" and
/// "Playlists" on a thread of its own, while the parsing thread reads on. The results equal
/// those of TrackExtraction and PlaylistExtraction on the whole tree, as long as the parser
/// reports no repeated keys.
class StreamedExtraction
{
public:
    struct Result
    {
        QHash<QString, Track> tracks;
        QList<Playlist> playlists;
    };

    /// The keys to stream, in the order of Slice::container this class expects.
    [[nodiscard]] static std::vector<QByteArray> streamedKeys();

    StreamedExtraction();
    /// Stops the thread; slices still queued are dropped.
    ~StreamedExtraction();
    StreamedExtraction(const StreamedExtraction &) = delete;
    StreamedExtraction &operator=(const StreamedExtraction &) = delete;

    /// Queues a slice; waits while a few are queued already, which bounds the memory they hold.
    void add(PropertyListParser::Slice slice);
    /// Everything, once every slice is added. Rethrows what extraction threw (out of memory).
    [[nodiscard]] Result finish();

private:
    void run();
    void extract(const PropertyListParser::Slice &slice);
    void extractPlaylists(const PropertyList &slice);

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<PropertyListParser::Slice> m_queue;
    bool m_closed = false;
    std::exception_ptr m_error;

    // Only the extraction thread touches these until finish() has joined it.
    TrackExtraction m_trackExtraction;
    TrackExtraction::Result m_tracks;
    bool m_tracksComplete = false;
    std::vector<PropertyList> m_earlyPlaylists; // before the track table ended
    QList<Playlist> m_playlists;
    bool m_playlistsVoid = false;

    std::thread m_thread; // last: starts once everything above exists
};

} // namespace quaverly::internal

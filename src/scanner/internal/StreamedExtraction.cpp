#include "scanner/internal/StreamedExtraction.h"

#include "scanner/PlaylistExtraction.h"

namespace quaverly::internal {

namespace {

constexpr std::size_t kTracks = 0;
constexpr std::size_t kPlaylists = 1;
// Each slice holds about a megabyte; a few in the queue let the parser run ahead a little.
constexpr std::size_t kMaxQueued = 4;

} // namespace

std::vector<QByteArray> StreamedExtraction::streamedKeys()
{
    return {QByteArrayLiteral("Tracks"), QByteArrayLiteral("Playlists")};
}

StreamedExtraction::StreamedExtraction()
    : m_thread([this] { run(); })
{
}

StreamedExtraction::~StreamedExtraction()
{
    {
        const std::lock_guard lock(m_mutex);
        m_closed = true;
        m_queue.clear();
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void StreamedExtraction::add(PropertyListParser::Slice slice)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_queue.size() < kMaxQueued || m_error; });
    // After a failure nothing more is extracted; finish() reports it.
    if (m_error)
        return;
    m_queue.push_back(std::move(slice));
    lock.unlock();
    m_changed.notify_all();
}

StreamedExtraction::Result StreamedExtraction::finish()
{
    {
        const std::lock_guard lock(m_mutex);
        m_closed = true;
    }
    m_changed.notify_all();
    m_thread.join();
    if (m_error)
        std::rethrow_exception(m_error);

    // Without a complete track table (none at all, or not a container) the map stays as it is.
    for (const PropertyList &slice : m_earlyPlaylists)
        extractPlaylists(slice);
    if (m_playlistsVoid)
        m_playlists.clear();
    return {std::move(m_tracks.tracks), std::move(m_playlists)};
}

void StreamedExtraction::run()
{
    for (;;) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_queue.empty() || m_closed; });
        if (m_queue.empty())
            return;
        const PropertyListParser::Slice slice = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        m_changed.notify_all();
        try {
            extract(slice);
        } catch (...) {
            lock.lock();
            m_error = std::current_exception();
            m_queue.clear();
            lock.unlock();
            m_changed.notify_all();
            return;
        }
    }
}

void StreamedExtraction::extract(const PropertyListParser::Slice &slice)
{
    const PropertyList::Value root = slice.elements.root();
    if (slice.container == kTracks) {
        // A track table that is an array holds no tracks, as in the tree.
        if (root.isDictionary()) {
            m_trackExtraction.useDocument(slice.elements);
            m_trackExtraction.addTracks(root, m_tracks);
        }
        if (slice.last) {
            m_tracksComplete = true;
            for (const PropertyList &early : std::exchange(m_earlyPlaylists, {}))
                extractPlaylists(early);
        }
        return;
    }
    Q_ASSERT(slice.container == kPlaylists);
    // Members are found through the track IDs, so playlists wait for the whole track table.
    if (m_tracksComplete)
        extractPlaylists(slice.elements);
    else
        m_earlyPlaylists.push_back(slice.elements);
}

// The list is taken whole or not at all, as PlaylistExtraction takes it from the tree.
void StreamedExtraction::extractPlaylists(const PropertyList &slice)
{
    const PropertyList::Value list = slice.root();
    if (m_playlistsVoid || !list.isArray()) {
        m_playlistsVoid = true;
        return;
    }
    const PlaylistExtraction extraction(slice);
    for (std::size_t i = 0; i < list.size(); ++i) {
        const PropertyList::Value entry = list.at(i);
        if (!entry.isDictionary()) {
            m_playlistsVoid = true;
            return;
        }
        if (auto playlist = extraction.parsePlaylist(entry, m_tracks.trackIDMap))
            m_playlists.append(std::move(*playlist));
    }
}

} // namespace quaverly::internal

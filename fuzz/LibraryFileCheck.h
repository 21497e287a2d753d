#pragma once

#include <QByteArrayView>
#include <QString>

namespace quaverly::fuzz {

/// Reads `bytes` as a scan reads a library file (property-list reader, then track and playlist
/// extraction) and checks what comes out: only a PropertyListError may be thrown, the tree is
/// consistent, texts are valid Unicode, every track and playlist is well-formed. Answers
/// "rejected: <sentence>" or "read: N tracks, M playlists"; aborts when an invariant breaks.
[[nodiscard]] QString checkLibraryFile(QByteArrayView bytes);

} // namespace quaverly::fuzz

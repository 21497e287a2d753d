#pragma once

#include <QByteArrayView>
#include <QString>

namespace quaverly::fuzz {

/// Treats `bytes` as up to four lines (a track's Location text, the source library file, the
/// destination library file, the source's recorded "Music Folder"; a file is a URL when it has a
/// scheme, otherwise a path) and maps them as a sync run does, then checks: local paths are
/// absolute and normalised, a target lies inside the destination folder, isInside agrees with a
/// component-wise comparison, for the mapped paths and for the raw lines taken as paths, and a
/// library read with a named media folder reads its locations there. Answers a one-line summary
/// of the mapping; aborts when an invariant breaks.
[[nodiscard]] QString checkPlacement(QByteArrayView bytes);

} // namespace quaverly::fuzz

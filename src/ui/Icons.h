#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>

namespace quaverly {

/// Our symbol artwork, one SVG per symbol name ("checkmark.circle.fill") in the ":/symbols"
/// resource. The artwork is black with white marks; drawn, the black takes the tint and the
/// white marks become transparent, so a symbol sits on any background in any colour.
class Icons
{
public:
    /// The resource path of a symbol's artwork.
    [[nodiscard]] static QString resourcePath(const QString &symbolName);

    /// True when there is artwork for `symbolName`.
    [[nodiscard]] static bool exists(const QString &symbolName);

    /// The symbol in `color`, `logicalSize` points square at `devicePixelRatio`; a null
    /// pixmap when there is no such symbol. Cached.
    [[nodiscard]] static QPixmap tinted(const QString &symbolName, const QColor &color, int logicalSize,
                                        qreal devicePixelRatio);
};

} // namespace quaverly

#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

class QPushButton;
class QWidget;

namespace quaverly {

/// Every colour and text style of the window, so that all views agree and follow the palette
/// (light or dark). Colours are looked up at paint time from the palette they are drawn with.
class Theme
{
public:
    enum class TextStyle { title, title2, title2Bold, headline, subheadline, caption, monospacedCaption };

    /// A named colour; `secondary` is the dimmed text colour, `accent` the palette's highlight.
    enum class Tint { primary, secondary, accent, green, red, blue, orange };

    /// Corner radius of every rounded panel and banner, in points.
    static constexpr qreal cornerRadius = 8.0;

    /// The application font scaled and weighted for `style`.
    [[nodiscard]] static QFont font(TextStyle style);

    /// The colour of `tint` in `palette`; the four signal colours are brighter in a dark palette.
    [[nodiscard]] static QColor color(Tint tint, const QPalette &palette);

    /// The fill behind panels: the palette's Base.
    [[nodiscard]] static QColor controlBackground(const QPalette &palette);

    /// Outlines and dividers: the palette's Mid.
    [[nodiscard]] static QColor separator(const QPalette &palette);

    /// True when the palette's window colour is dark.
    [[nodiscard]] static bool isDark(const QPalette &palette);

    /// Gives `widget` the font of `style` and draws its text in the primary or the secondary
    /// colour; the colour follows later palette changes.
    static void styleText(QWidget *widget, TextStyle style, Tint tint = Tint::primary);

    /// The borderless button style: no frame, the label in the accent colour of `palette`.
    /// Call again with the new palette when the owner's palette changes.
    static void styleBorderless(QPushButton *button, const QPalette &palette);

    /// The prominent button style: the default button, filled with the accent colour of
    /// `palette` while enabled; disabled it looks like any other disabled button. Call again with
    /// the new palette when the owner's palette changes.
    static void styleProminent(QPushButton *button, const QPalette &palette);

    /// Fills `widget` with a faint band of `tint`, its corners rounded like the panels': the
    /// background of a notice or a banner. Call from the widget's paintEvent.
    static void paintBand(QWidget *widget, Tint tint);

    /// The palette role that `styleText` draws a text tint with (primary or secondary only).
    [[nodiscard]] static QPalette::ColorRole textRole(Tint tint);
};

} // namespace quaverly

#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

#include <initializer_list>

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

    /// The contrast every text keeps against what it is drawn on (WCAG AA for body text).
    static constexpr double minimumContrast = 4.5;

    /// The contrast ratio of two opaque colours, from 1 (equal) to 21 (black on white).
    [[nodiscard]] static double contrast(const QColor &a, const QColor &b);

    /// `color`, moved towards black or white as little as needed to keep minimumContrast against
    /// every one of `backgrounds`.
    [[nodiscard]] static QColor readable(const QColor &color, std::initializer_list<QColor> backgrounds);

    /// The accent as a text colour: the label of a borderless button.
    [[nodiscard]] static QColor accentText(const QPalette &palette);

    /// The fill of the prominent button, dark or light enough for HighlightedText on it.
    [[nodiscard]] static QColor accentFill(const QPalette &palette);

    /// What a faint band of `tint` (see paintBand) looks like over the window colour.
    [[nodiscard]] static QColor bandColor(Tint tint, const QPalette &palette);

    /// Gives `window` the palette it is drawn with: its own, with the secondary text readable on
    /// the window, the panels and the bands. Call again when the window's palette changes.
    static void applyWindowPalette(QWidget *window);

    /// Fills `widget` with a faint band of `tint`, its corners rounded like the panels': the
    /// background of a notice or a banner. Call from the widget's paintEvent.
    static void paintBand(QWidget *widget, Tint tint);

    /// The palette role that `styleText` draws a text tint with (primary or secondary only).
    [[nodiscard]] static QPalette::ColorRole textRole(Tint tint);
};

} // namespace quaverly

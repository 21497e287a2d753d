#include "ui/Theme.h"

#include <QApplication>
#include <QFontDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QWidget>

#include <cmath>

namespace quaverly {

namespace {

constexpr float bandOpacity = 0.1f;

struct StyleMetrics
{
    qreal scale;
    QFont::Weight weight;
};

// Sizes relative to the body text, close to the proportions of a desktop type ramp but kept
// readable where the body text is small.
StyleMetrics metrics(Theme::TextStyle style)
{
    switch (style) {
    case Theme::TextStyle::title:
        return {1.75, QFont::Normal};
    case Theme::TextStyle::title2:
        return {1.4, QFont::Normal};
    case Theme::TextStyle::title2Bold:
        return {1.4, QFont::Bold};
    case Theme::TextStyle::headline:
        return {1.0, QFont::DemiBold};
    case Theme::TextStyle::subheadline:
        return {0.95, QFont::Normal};
    case Theme::TextStyle::caption:
    case Theme::TextStyle::monospacedCaption:
        return {0.9, QFont::Normal};
    }
    return {1.0, QFont::Normal};
}

} // namespace

QFont Theme::font(TextStyle style)
{
    const QFont body = QApplication::font();
    QFont result = style == TextStyle::monospacedCaption ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : body;
    const StyleMetrics m = metrics(style);
    if (body.pointSizeF() > 0)
        result.setPointSizeF(body.pointSizeF() * m.scale);
    else
        result.setPixelSize(qRound(body.pixelSize() * m.scale));
    result.setWeight(m.weight);
    return result;
}

bool Theme::isDark(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightness() < 128;
}

QColor Theme::color(Tint tint, const QPalette &palette)
{
    const bool dark = isDark(palette);
    switch (tint) {
    case Tint::primary:
        return palette.color(QPalette::WindowText);
    case Tint::secondary:
        return palette.color(QPalette::PlaceholderText);
    case Tint::accent:
        return palette.color(QPalette::Highlight);
    case Tint::green:
        return dark ? QColor(50, 215, 75) : QColor(40, 180, 65);
    case Tint::red:
        return dark ? QColor(255, 69, 58) : QColor(235, 55, 45);
    case Tint::blue:
        return dark ? QColor(10, 132, 255) : QColor(0, 122, 255);
    case Tint::orange:
        return dark ? QColor(255, 159, 10) : QColor(245, 140, 0);
    }
    return palette.color(QPalette::WindowText);
}

QColor Theme::controlBackground(const QPalette &palette)
{
    return palette.color(QPalette::Base);
}

QColor Theme::separator(const QPalette &palette)
{
    return palette.color(QPalette::Mid);
}

QPalette::ColorRole Theme::textRole(Tint tint)
{
    return tint == Tint::secondary ? QPalette::PlaceholderText : QPalette::WindowText;
}

void Theme::styleText(QWidget *widget, TextStyle style, Tint tint)
{
    widget->setFont(font(style));
    widget->setForegroundRole(textRole(tint));
}

namespace {

double luminance(const QColor &color)
{
    const auto channel = [](float value) {
        return value <= 0.03928f ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    const QColor rgb = color.toRgb();
    return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) + 0.0722 * channel(rgb.blueF());
}

QColor mix(const QColor &from, const QColor &to, double amount)
{
    const QColor a = from.toRgb(), b = to.toRgb();
    const auto blend = [amount](float x, float y) { return x + (y - x) * float(amount); };
    return QColor::fromRgbF(blend(a.redF(), b.redF()), blend(a.greenF(), b.greenF()), blend(a.blueF(), b.blueF()));
}

} // namespace

double Theme::contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a), lb = luminance(b);
    return (qMax(la, lb) + 0.05) / (qMin(la, lb) + 0.05);
}

// The direction is the one the darkest or lightest background leaves room in: towards black over
// light backgrounds, towards white over dark ones. Small steps keep the hue as close as they can.
QColor Theme::readable(const QColor &color, std::initializer_list<QColor> backgrounds)
{
    double lightest = 0.0;
    for (const QColor &background : backgrounds)
        lightest = qMax(lightest, luminance(background));
    const QColor target = lightest > 0.18 ? QColor(Qt::black) : QColor(Qt::white);
    for (int step = 0; step <= 50; ++step) {
        const QColor candidate = mix(color, target, step / 50.0);
        bool enough = true;
        for (const QColor &background : backgrounds)
            enough = enough && contrast(candidate, background) >= minimumContrast;
        if (enough)
            return candidate;
    }
    return target;
}

QColor Theme::accentText(const QPalette &palette)
{
    return readable(palette.color(QPalette::Highlight),
                    {palette.color(QPalette::Window), palette.color(QPalette::Base), bandColor(Tint::red, palette)});
}

QColor Theme::accentFill(const QPalette &palette)
{
    return readable(palette.color(QPalette::Highlight), {palette.color(QPalette::HighlightedText)});
}

QColor Theme::bandColor(Tint tint, const QPalette &palette)
{
    return mix(palette.color(QPalette::Window), color(tint, palette), bandOpacity);
}

// Derived from the window and text colours alone, so that applying it again after a palette
// change gives the same colour and does not feed back on itself.
void Theme::applyWindowPalette(QWidget *window)
{
    QPalette own = window->palette();
    bool changed = false;
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        own.setCurrentColorGroup(group);
        const QColor secondary = readable(mix(own.color(QPalette::WindowText), own.color(QPalette::Window), 0.45),
                                          {own.color(QPalette::Window), own.color(QPalette::Base),
                                           bandColor(Tint::red, own), bandColor(Tint::blue, own)});
        if (own.color(group, QPalette::PlaceholderText) != secondary) {
            own.setColor(group, QPalette::PlaceholderText, secondary);
            changed = true;
        }
    }
    if (changed)
        window->setPalette(own);
}

void Theme::paintBand(QWidget *widget, Tint tint)
{
    QPainter painter(widget);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill = color(tint, widget->palette());
    fill.setAlphaF(bandOpacity);
    QPainterPath path;
    path.addRoundedRect(QRectF(widget->rect()), cornerRadius, cornerRadius);
    painter.fillPath(path, fill);
}

} // namespace quaverly

#include "ui/Theme.h"

#include <QApplication>
#include <QFontDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QWidget>

namespace quaverly {

namespace {

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

void Theme::styleBorderless(QPushButton *button, const QPalette &palette)
{
    button->setFlat(true);
    QPalette own = button->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive})
        own.setColor(group, QPalette::ButtonText, palette.color(group, QPalette::Highlight));
    button->setPalette(own);
}

void Theme::styleProminent(QPushButton *button, const QPalette &palette)
{
    button->setDefault(true);
    QPalette own = button->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        own.setColor(group, QPalette::Button, palette.color(group, QPalette::Highlight));
        own.setColor(group, QPalette::ButtonText, palette.color(group, QPalette::HighlightedText));
    }
    button->setPalette(own);
}

void Theme::paintBand(QWidget *widget, Tint tint)
{
    QPainter painter(widget);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill = color(tint, widget->palette());
    fill.setAlphaF(0.1);
    QPainterPath path;
    path.addRoundedRect(QRectF(widget->rect()), cornerRadius, cornerRadius);
    painter.fillPath(path, fill);
}

} // namespace quaverly

#include "ui/Icons.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>

using namespace Qt::StringLiterals;

// The resource lives in a static library, where nothing references its initialiser.
static void initSymbolResource()
{
    Q_INIT_RESOURCE(icons);
}

namespace quaverly {

namespace {

void ensureResource()
{
    static const bool initialised = (initSymbolResource(), true);
    Q_UNUSED(initialised);
}

// Ink is the black part of the artwork: full opacity times darkness. White marks carry no ink
// and so end up as holes once the tint is laid over the ink.
QImage inkToTint(QImage image, const QColor &color)
{
    image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int tintAlpha = color.alpha();
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = line[x];
            // Premultiplied: alpha minus the (premultiplied) grey level is the dark coverage.
            const int ink = qMax(0, qAlpha(pixel) - qGray(pixel));
            const int alpha = ink * tintAlpha / 255;
            line[x] = qRgba(color.red() * alpha / 255, color.green() * alpha / 255, color.blue() * alpha / 255, alpha);
        }
    }
    return image;
}

} // namespace

QString Icons::resourcePath(const QString &symbolName)
{
    return u":/symbols/"_s + symbolName + u".svg"_s;
}

bool Icons::exists(const QString &symbolName)
{
    ensureResource();
    return QFile::exists(resourcePath(symbolName));
}

QPixmap Icons::tinted(const QString &symbolName, const QColor &color, int logicalSize, qreal devicePixelRatio)
{
    ensureResource();
    const int pixels = qMax(1, qRound(logicalSize * devicePixelRatio));
    const QString key = u"quaverly-symbol/%1/%2/%3"_s.arg(symbolName, color.name(QColor::HexArgb)).arg(pixels);
    QPixmap pixmap;
    if (QPixmapCache::find(key, &pixmap)) {
        pixmap.setDevicePixelRatio(devicePixelRatio);
        return pixmap;
    }
    QSvgRenderer renderer(resourcePath(symbolName));
    if (!renderer.isValid())
        return {};
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, pixels, pixels));
    }
    pixmap = QPixmap::fromImage(inkToTint(std::move(image), color));
    QPixmapCache::insert(key, pixmap);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

} // namespace quaverly

// Renders the application's SVG icon as a square PNG of one size, for the hicolor theme:
//   quaverly-render-icon SOURCE.svg SIZE OUTPUT.png
#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

int fail(const QString &sentence)
{
    std::fprintf(stderr, "quaverly-render-icon: %s\n", qPrintable(sentence));
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 4)
        return fail(u"usage: quaverly-render-icon SOURCE.svg SIZE OUTPUT.png"_s);

    bool isNumber = false;
    const int size = arguments[2].toInt(&isNumber);
    if (!isNumber || size < 1 || size > 4096)
        return fail(u"\"%1\" is not an icon size from 1 to 4096 pixels."_s.arg(arguments[2]));

    QSvgRenderer renderer(arguments[1]);
    if (!renderer.isValid())
        return fail(u"Couldn't read \"%1\" as an SVG image."_s.arg(arguments[1]));

    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
    }
    if (!image.save(arguments[3], "PNG"))
        return fail(u"Couldn't write \"%1\"."_s.arg(arguments[3]));
    return 0;
}

#include "cli/CliSupport.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace quaverly::cli {

namespace {

void writeLine(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = (text + u'\n').toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

void printLine(const QString &text)
{
    writeLine(stdout, text);
}

void printErrorLine(const QString &text)
{
    writeLine(stderr, text);
}

QUrl libraryUrl(const QString &argument)
{
    return QUrl::fromLocalFile(QFileInfo(argument).absoluteFilePath());
}

} // namespace quaverly::cli

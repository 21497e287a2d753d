// Writes the generated half of the seed corpora into OUT/library and OUT/placement: small
// libraries from the fixture generator, and the locations they hold with their library files.
//
//   quaverly-fuzz-seeds OUT
#include "fixtures/LibraryFixture.h"
#include "platform/PropertyList.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <cstdio>
#include <exception>

using namespace Qt::StringLiterals;
using namespace quaverly;

namespace {

void write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        throw fixtures::FixtureError(u"Couldn't write \"%1\"."_s.arg(path));
}

// The Location texts of the first tracks, as the file spells them.
QStringList locations(const QByteArray &xml, qsizetype count)
{
    QStringList result;
    const PropertyList document = PropertyList::parse(xml);
    const auto tracks = document.root().value(u"Tracks");
    for (std::size_t i = 0; tracks && i < tracks->size() && result.size() < count; ++i) {
        if (const auto location = tracks->entryAt(i).value().value(u"Location"))
            result.append(location->toString().value_or(QString()));
    }
    return result;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: quaverly-fuzz-seeds OUT\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QStringList folders = {u"/Users/u/Music/Music"_s, u"/Volumes/Ext Drive/M\u00fcsik"_s,
                                 u"/home/u/Music Library"_s, u"/"_s};
    try {
        if (!QDir().mkpath(out + u"/library"_s) || !QDir().mkpath(out + u"/placement"_s))
            throw fixtures::FixtureError(u"Couldn't create \"%1\"."_s.arg(out));
        for (int i = 0; i < 12; ++i) {
            fixtures::LibraryOptions options;
            options.trackCount = 1 + i % 6;
            options.playlistCount = 1 + i % 4;
            options.seed = quint64(i + 1);
            options.remotePerMille = 200;
            options.localhostUrls = i % 2 == 1;
            options.libraryFolder = folders.at(i % folders.size());
            if (i >= 8)
                options.variation = fixtures::LibraryVariation{.removedTracks = 1, .addedTracks = 1, .seed = quint64(i)};
            QByteArray xml;
            const fixtures::GeneratedLibrary library = fixtures::describeLibrary(options, &xml);
            write(u"%1/library/generated-%2.xml"_s.arg(out).arg(i), xml);

            const QString destination = folders.at((i + 1) % folders.size());
            int n = 0;
            for (const QString &location : locations(xml, 2)) {
                const QString lines = location + u'\n' + library.xmlPath + u'\n' + destination
                    + u"/Music Library.xml"_s;
                write(u"%1/placement/generated-%2-%3.txt"_s.arg(out).arg(i).arg(n++), lines.toUtf8());
            }
        }
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}

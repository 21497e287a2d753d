// Scans hostile library files, each in a fresh process, and prints the time and peak memory of
// each beside its size: a file may be rejected or read, but never in more than linear time or
// more than a small multiple of its size in memory.
//
//   bench_hostile [--scale F] [--only TEXT] [--timeout SECONDS] [--dir FOLDER]
//
// --scale shrinks every input (0.1 writes a tenth); --only runs the inputs whose name holds TEXT.
// The files go to a temporary folder (under --dir when given) and are removed after each run.
#include "ProcessMeasures.h"
#include "platform/Error.h"
#include "scanner/MusicLibraryScanner.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>
#include <stdexcept>


using namespace Qt::StringLiterals;
using namespace quaverly;
using namespace quaverly::bench;

namespace {

// Buffers small pieces into large writes; a generator writes up to a gigabyte.
class Writer
{
public:
    explicit Writer(const QString &path)
        : m_file(path)
    {
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw std::runtime_error("cannot write " + path.toStdString());
    }
    ~Writer() { flush(); }

    Writer &operator<<(QByteArrayView bytes)
    {
        m_buffer.append(bytes);
        if (m_buffer.size() >= (qsizetype(1) << 22))
            flush();
        return *this;
    }

    void repeat(QByteArrayView piece, qint64 count)
    {
        for (qint64 i = 0; i < count; ++i)
            *this << piece;
    }

private:
    void flush()
    {
        if (m_file.write(m_buffer) != m_buffer.size())
            throw std::runtime_error("short write to " + m_file.fileName().toStdString());
        m_buffer.clear();
    }

    QFile m_file;
    QByteArray m_buffer;
};

struct Input
{
    QString name;
    std::function<void(Writer &, double scale)> write;
};

qint64 scaled(double count, double scale)
{
    return std::max<qint64>(1, qint64(std::llround(count * scale)));
}

constexpr double MB = 1024.0 * 1024.0;
const QByteArray head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n";
const QByteArray tail = "\n</plist>\n";

// A track table around one track's markup: how hostile values reach the extraction.
void oneTrack(Writer &w, QByteArrayView nameMarkup, const std::function<void()> &writeName)
{
    w << head << "<dict><key>Tracks</key><dict><key>1</key><dict>"
      << "<key>Track ID</key><integer>1</integer><key>Persistent ID</key><string>0123456789ABCDEF</string>"
      << nameMarkup;
    writeName();
    w << "</string></dict></dict></dict>" << tail;
}

QList<Input> inputs()
{
    return {
        {u"data block, 1 GB"_s, [](Writer &w, double s) {
             // 76 base64 symbols a line, as exporters wrap them.
             w << head << "<dict><key>Artwork</key><data>\n";
             w.repeat(QByteArray("QUJD").repeated(19) + '\n', scaled(1024 * MB / 77, s));
             w << "</data></dict>" << tail;
         }},
        {u"one string, 200 MB (root value)"_s, [](Writer &w, double s) {
             w << head << "<string>";
             w.repeat(QByteArray(1024, 'a'), scaled(200 * 1024, s));
             w << "</string>" << tail;
         }},
        {u"one string, 200 MB (track name)"_s, [](Writer &w, double s) {
             oneTrack(w, "<key>Name</key><string>", [&] { w.repeat(QByteArray(1024, 'a'), scaled(200 * 1024, s)); });
         }},
        {u"one string, 200 MB UTF-16 (track name)"_s, [](Writer &w, double s) {
             // U+4E00 is two bytes here and three in UTF-8: the decoded text outgrows the file.
             const QString text = u"\uFEFF"_s + QString::fromUtf8(head).replace(u"UTF-8"_s, u"UTF-16"_s)
                 + u"<dict><key>Tracks</key><dict><key>1</key><dict><key>Persistent ID</key>"
                   "<string>0123456789ABCDEF</string><key>Name</key><string>"_s;
             const auto utf16 = [](const QString &t) {
                 return QByteArray(reinterpret_cast<const char *>(t.utf16()), t.size() * 2);
             };
             w << utf16(text);
             w.repeat(utf16(QString(512, QChar(0x4E00))), scaled(200 * 1024, s));
             w << utf16(u"</string></dict></dict></dict>"_s + QString::fromUtf8(tail));
         }},
        {u"character references, 100 MB (track name)"_s, [](Writer &w, double s) {
             oneTrack(w, "<key>Name</key><string>", [&] { w.repeat("&#x1F3B5;", scaled(100 * MB / 9, s)); });
         }},
        {u"entity references &amp;, 100 MB (track name)"_s, [](Writer &w, double s) {
             oneTrack(w, "<key>Name</key><string>", [&] { w.repeat("&amp;", scaled(100 * MB / 5, s)); });
         }},
        {u"dictionary of 1M distinct keys"_s, [](Writer &w, double s) {
             w << head << "<dict>";
             for (qint64 i = 0, n = scaled(1e6, s); i < n; ++i)
                 w << "<key>k" << QByteArray::number(i) << "</key><true/>";
             w << "</dict>" << tail;
         }},
        {u"dictionary of 1M keys alike at both ends"_s, [](Writer &w, double s) {
             // Same length, same first and last eight bytes: a weak key hash puts them in one chain.
             w << head << "<dict>";
             for (qint64 i = 0, n = scaled(1e6, s); i < n; ++i)
                 w << "<key>AAAAAAAA" << QByteArray::number(i).rightJustified(7, '0') << "BBBBBBBB</key><true/>";
             w << "</dict>" << tail;
         }},
        {u"dictionary of one key 1M times"_s, [](Writer &w, double s) {
             w << head << "<dict>";
             w.repeat("<key>Name</key><true/>", scaled(1e6, s));
             w << "</dict>" << tail;
         }},
        {u"1M nested arrays"_s, [](Writer &w, double s) {
             const qint64 n = scaled(1e6, s);
             w << head;
             w.repeat("<array>", n);
             w.repeat("</array>", n);
             w << tail;
         }},
        {u"arrays nested to the limit, 1M in all"_s, [](Writer &w, double s) {
             w << head << "<array>";
             for (qint64 i = 0, n = scaled(1e6 / 511, s); i < n; ++i) {
                 w.repeat("<array>", 511);
                 w.repeat("</array>", 511);
             }
             w << "</array>" << tail;
         }},
        {u"30M smallest values (<true/>)"_s, [](Writer &w, double s) {
             w << head << "<array>";
             w.repeat("<true/>", scaled(30e6, s));
             w << "</array>" << tail;
         }},
        {u"1M tracks holding only an ID"_s, [](Writer &w, double s) {
             w << head << "<dict><key>Tracks</key><dict>";
             for (qint64 i = 0, n = scaled(1e6, s); i < n; ++i) {
                 const QByteArray id = QByteArray::number(i);
                 w << "<key>" << id << "</key><dict><key>Persistent ID</key><string>"
                   << id.rightJustified(16, '0') << "</string></dict>";
             }
             w << "</dict></dict>" << tail;
         }},
        {u"one comment, 200 MB"_s, [](Writer &w, double s) {
             w << head << "<!--";
             w.repeat(QByteArray(1024, 'a'), scaled(200 * 1024, s));
             w << "--><true/>" << tail;
         }},
        {u"one attribute, 200 MB"_s, [](Writer &w, double s) {
             w << "<plist version=\"";
             w.repeat(QByteArray(1024, 'a'), scaled(200 * 1024, s));
             w << "\"><true/>" << tail;
         }},
        {u"billion laughs"_s, [](Writer &w, double) {
             w << "<?xml version=\"1.0\"?>\n<!DOCTYPE plist [\n<!ENTITY lol0 \"lol\">\n";
             for (int i = 1; i < 10; ++i) {
                 w << "<!ENTITY lol" << QByteArray::number(i) << " \"";
                 w.repeat("&lol" + QByteArray::number(i - 1) + ';', 10);
                 w << "\">\n";
             }
             w << "]>\n<plist><string>&lol9;</string></plist>\n";
         }},
        {u"10k default attributes, 1M elements"_s, [](Writer &w, double s) {
             w << "<!DOCTYPE plist [<!ATTLIST true";
             for (int i = 0; i < 10000; ++i)
                 w << " a" << QByteArray::number(i) << " CDATA \"x\"";
             w << ">]>\n<plist><array>";
             w.repeat("<true/>", scaled(1e6, s));
             w << "</array>" << tail;
         }},
    };
}

// One scan in this fresh process; prints "wallSeconds cpuSeconds peakBytes baselineBytes outcome".
int runChild(const QString &path)
{
    const qint64 baseline = peakResidentBytes();
    const double cpuAtStart = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    QString outcome;
    try {
        const MusicLibrary library = MusicLibraryScanner::scanLibrarySync(QUrl::fromLocalFile(path));
        outcome = u"read %1 tracks"_s.arg(library.tracks.size());
    } catch (const Error &error) {
        outcome = u"rejected: "_s + error.description();
    }
    const double wall = double(timer.nsecsElapsed()) / 1e9;
    out() << wall << ' ' << cpuSeconds() - cpuAtStart << ' ' << peakResidentBytes() << ' ' << baseline << ' '
          << outcome << Qt::endl;
    return 0;
}

QString fixed(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

QString shortened(const QString &text, qsizetype length)
{
    return text.size() <= length ? text : text.left(length - 1) + u'\u2026';
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    if (arguments.size() == 2 && arguments.at(0) == u"--child")
        return runChild(arguments.at(1));

    double scale = 1.0;
    QString only;
    int timeoutSeconds = 300;
    QString folder;
    for (qsizetype i = 0; i + 1 < arguments.size(); i += 2) {
        const QString &name = arguments.at(i);
        const QString &value = arguments.at(i + 1);
        if (name == u"--scale")
            scale = value.toDouble();
        else if (name == u"--only")
            only = value;
        else if (name == u"--timeout")
            timeoutSeconds = value.toInt();
        else if (name == u"--dir")
            folder = value;
    }
    if (arguments.size() % 2 != 0 || !(scale > 0 && scale <= 1) || timeoutSeconds <= 0) {
        QTextStream(stderr) << "usage: bench_hostile [--scale F (0 < F <= 1)] [--only TEXT] [--timeout SECONDS] [--dir FOLDER]"
                            << Qt::endl;
        return 2;
    }
    QTemporaryDir temporary(folder.isEmpty() ? QString() : folder + u"/bench_hostile-XXXXXX"_s);
    if (!temporary.isValid()) {
        QTextStream(stderr) << "cannot create a temporary folder" << Qt::endl;
        return 1;
    }

    out() << "Each input is scanned (read, parse, extract) in a fresh process. CPU s/MB is CPU time per MB of file;\n"
             "peak ÷ file is the child's peak resident memory over the file size, net ÷ file the same without the\n"
             "process's memory before the scan. Ratios are left out for files under 1 MB.\n\n";
    out() << "input                                        file MB   wall s   CPU s  CPU s/MB  peak MB  peak÷file  net÷file  outcome\n";
    out().flush();
    int failures = 0;
    for (const Input &input : inputs()) {
        if (!only.isEmpty() && !input.name.contains(only))
            continue;
        const QString path = temporary.filePath(u"input.xml"_s);
        {
            Writer writer(path);
            input.write(writer, scale);
        }
        const double megabytes = double(QFile(path).size()) / MB;

        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {u"--child"_s, path});
        const bool finished = child.waitForFinished(timeoutSeconds * 1000);
        if (!finished) {
            child.kill();
            child.waitForFinished();
        }
        QFile::remove(path);
        const QString line = QString::fromUtf8(child.readAllStandardOutput()).trimmed();
        const QStringList fields = line.split(u' ');
        QString row = input.name.leftJustified(44) + u' ' + fixed(megabytes, 1).rightJustified(8);
        if (!finished || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0 || fields.size() < 5) {
            ++failures;
            row += finished ? u"   child failed: "_s + shortened(line, 60) : u"   timeout after %1 s"_s.arg(timeoutSeconds);
            out() << row << Qt::endl;
            continue;
        }
        const double wall = fields.at(0).toDouble();
        const double cpu = fields.at(1).toDouble();
        const double peak = fields.at(2).toDouble() / MB;
        const double baseline = fields.at(3).toDouble() / MB;
        QString outcome = fields.mid(4).join(u' ');
        const bool large = megabytes >= 1;
        row += u' ' + fixed(wall, 2).rightJustified(8) + u' ' + fixed(cpu, 2).rightJustified(7) + u' '
            + (large ? fixed(cpu / megabytes, 4) : u"-"_s).rightJustified(9) + u' ' + fixed(peak, 0).rightJustified(8)
            + u' ' + (large ? fixed(peak / megabytes, 2) : u"-"_s).rightJustified(10) + u' '
            + (large ? fixed((peak - baseline) / megabytes, 2) : u"-"_s).rightJustified(9) + u"  "_s
            + shortened(outcome.remove(u"The library file is not a valid property list: "_s), 70);
        out() << row << Qt::endl;
    }
    return failures == 0 ? 0 : 1;
}

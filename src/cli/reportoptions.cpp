#include "cli/reportoptions.h"

#include "platform/main.h"
#include "platform/safefiles.h"
#include "preview/outputformat.h"
#include "preview/previewfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <sys/stat.h>

namespace ReportOptions {

namespace {

const QCommandLineOption WaveformFormat(QStringLiteral("waveform"),
                                        QStringLiteral("Write a waveform file beside each preview, <name>_Preview.json "
                                                       "or .dat, in the format of BBC's audiowaveform (version 2) that "
                                                       "waveform-data.js and peaks.js read: 256 samples per pixel."),
                                        QStringLiteral("json|dat"));
const QCommandLineOption WaveformBits(QStringLiteral("waveform-bits"),
                                      QStringLiteral("Resolution of the waveform files: 8 or 16 bits. Default: 8, the "
                                                     "only one peaks.js 4 reads; waveform-data.js reads both."),
                                      QStringLiteral("8|16"), QStringLiteral("8"));
const QCommandLineOption WaveformChannels(QStringLiteral("waveform-channels"),
                                          QStringLiteral("1: one waveform of both channels mixed; 2: one per channel. "
                                                         "Default: 1."),
                                          QStringLiteral("1|2"), QStringLiteral("1"));
const QCommandLineOption Review(QStringLiteral("review"),
                                QStringLiteral("Write one HTML page of every choice, to check and correct before "
                                               "the previews go live: each song's waveform with its chorus, the "
                                               "preview's window and the candidates the search would give next, "
                                               "the start and where it came from, loudness, tags, failures, and a "
                                               "player. A click or a key moves a start, and Save starts downloads "
                                               "the starts chosen as a CSV for the next run. It links songs and "
                                               "previews by relative paths. With --dry-run: the page of the plan."),
                                QStringLiteral("FILE.html"));

QString named(const QCommandLineOption &option, const QString &value)
{
    return QStringLiteral("--%1 '%2'").arg(option.names().constLast(), value);
}

QString readWaveform(const QCommandLineParser &parser, Chosen &chosen)
{
    if (!parser.isSet(WaveformFormat)) {
        for (const QCommandLineOption *option : {&WaveformBits, &WaveformChannels}) {
            if (parser.isSet(*option))
                return QStringLiteral("--%1 needs --waveform").arg(option->names().constLast());
        }
        return QString();
    }
    Waveform::FileSettings settings;
    const QString format = parser.value(WaveformFormat);
    if (format != QLatin1String("json") && format != QLatin1String("dat"))
        return named(WaveformFormat, format) + QStringLiteral(": give json or dat");
    settings.format = format == QLatin1String("json") ? Waveform::Format::Json : Waveform::Format::Binary;
    const QString bits = parser.value(WaveformBits);
    if (bits != QLatin1String("8") && bits != QLatin1String("16"))
        return named(WaveformBits, bits) + QStringLiteral(": give 8 or 16");
    settings.bits = bits.toInt();
    const QString channels = parser.value(WaveformChannels);
    if (channels != QLatin1String("1") && channels != QLatin1String("2"))
        return named(WaveformChannels, channels) + QStringLiteral(": give 1 or 2");
    settings.channels = channels.toInt();
    chosen.waveform = settings;
    return QString();
}

// The page must be able to go where it is asked to: into a folder that is there, or one the run
// makes for its output.
QString readReview(const QCommandLineParser &parser, const QString &outputFolder, Chosen &chosen)
{
    if (!parser.isSet(Review))
        return QString();
    const QString page = parser.value(Review);
    const QFileInfo info(page);
    if (page.isEmpty() || page.endsWith(QLatin1Char('/')) || info.isDir())
        return named(Review, page) + QStringLiteral(": give the name of an HTML file");
    // Writing the page would replace a pipe or device with a file, or make the file a
    // dangling link names.
    if (const QString kind = SafeFiles::OtherThanRegularFile(page); !kind.isEmpty())
        return named(Review, page) + QStringLiteral(": it is %1, not a regular file").arg(kind);
    // The output folder is made with all the folders above it that are missing.
    const QString folder = QDir::cleanPath(info.absolutePath()) + QLatin1Char('/');
    const bool madeByTheRun = !outputFolder.isEmpty() && (QDir::cleanPath(outputFolder) + QLatin1Char('/')).startsWith(folder);
    if (!madeByTheRun && !Main::FolderExists(info.absolutePath()))
        return named(Review, page) + QStringLiteral(": its folder %1 is not there").arg(info.absolutePath());
    chosen.review = info.absoluteFilePath();
    return QString();
}

// The file the path names when it is there (through links), else the path itself.
QString resolved(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(Main::AbsolutePath(path)) : canonical;
}

bool sameFile(const struct stat &one, const QString &path)
{
    struct stat other {};
    return ::stat(QFile::encodeName(path).constData(), &other) == 0 && other.st_dev == one.st_dev
           && other.st_ino == one.st_ino;
}

// "Song" for a name the run gives a preview or a waveform file: "Song_Preview.mp3",
// "Song_Preview (2).json"; "Joined" for a joined file; else "".
QString songOfOutputName(const QString &name)
{
    static const QRegularExpression output([] {
        QStringList extensions{QStringLiteral("json"), QStringLiteral("dat")};
        for (const OutputFormat *format : OutputFormat::All())
            extensions.append(format->extension());
        const QString names = extensions.join(QLatin1Char('|'));
        return QStringLiteral("^(.+)_Preview(?: \\(\\d+\\))?\\.(?:%1)$").arg(names);
    }());
    return output.match(name).captured(1);
}

// True when the run writes a preview, joined file or waveform file of that name: the page's
// folder is a source's output folder, and its name is one the run gives that source's files.
bool writtenByTheRun(const QString &page, const RunFiles &run)
{
    const QString song = songOfOutputName(Main::FileNameOf(page));
    if (song.isEmpty() || (run.settings.join && song != QLatin1String("Joined")))
        return false;
    const QString pageFolder = PreviewFiles::FileKey(Main::FolderOf(page));
    QHash<QString, bool> isPageFolder; // by output folder, each resolved once
    for (qsizetype index = 0; index < run.sources.size(); ++index) {
        const QString &source = run.sources.at(index);
        if (!run.settings.join && Main::FileNameOf(Main::StripExtension(source)) != song)
            continue;
        const QString folder = run.settings.outputFolder.isEmpty()
                                   ? Main::FolderOf(source)
                                   : run.settings.outputFolder + QLatin1Char('/') + run.subfolders.value(index);
        auto known = isPageFolder.find(folder);
        if (known == isPageFolder.end())
            known = isPageFolder.insert(folder, PreviewFiles::FileKey(folder) == pageFolder);
        if (*known)
            return true;
    }
    return false;
}

} // namespace

QString PageProblem(const QString &page, const RunFiles &run)
{
    const QString target = resolved(page);
    struct stat status {};
    if (::stat(QFile::encodeName(target).constData(), &status) == 0) {
        for (const QString &source : run.sources) {
            if (sameFile(status, source))
                return named(Review, page) + QStringLiteral(": it would replace a song of the run, %1").arg(source);
        }
    }
    if (writtenByTheRun(target, run))
        return named(Review, page) + QStringLiteral(": it would replace a preview or waveform file the run writes");
    return QString();
}

QList<QCommandLineOption> All()
{
    return {WaveformFormat, WaveformBits, WaveformChannels, Review};
}

QString Read(const QCommandLineParser &parser, const QString &outputFolder, Chosen &chosen)
{
    const QString problem = readWaveform(parser, chosen);
    return problem.isEmpty() ? readReview(parser, outputFolder, chosen) : problem;
}

} // namespace ReportOptions

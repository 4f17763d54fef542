#include "cli/reportoptions.h"

#include "platform/main.h"

#include <QDir>
#include <QFileInfo>

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
    // The output folder is made with all the folders above it that are missing.
    const QString folder = QDir::cleanPath(info.absolutePath()) + QLatin1Char('/');
    const bool madeByTheRun = !outputFolder.isEmpty() && (QDir::cleanPath(outputFolder) + QLatin1Char('/')).startsWith(folder);
    if (!madeByTheRun && !Main::FolderExists(info.absolutePath()))
        return named(Review, page) + QStringLiteral(": its folder %1 is not there").arg(info.absolutePath());
    chosen.review = info.absoluteFilePath();
    return QString();
}

} // namespace

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

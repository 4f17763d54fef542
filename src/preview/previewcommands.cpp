#include "preview/previewcommands.h"

#include "platform/main.h"
#include "platform/numbers.h"
#include "preview/outputformat.h"

#include <QLocale>

#include <cmath>

namespace PreviewCommands {

namespace {

QString formatOptions(int rate)
{
    return QStringLiteral(" -c %1 -r %2 ").arg(Channels).arg(rate);
}


QString trim(const QString &start, const QString &duration)
{
    return QStringLiteral(" trim ") + start + QLatin1Char(' ') + duration;
}

// --no-glob "<absolute path>": a name SoX takes as it stands, never as an option or a pipe
// (it is absolute) nor as a pattern ("[ab].mp3" would read "a.mp3" instead).
CommandLine &literalName(CommandLine &command, const QString &path)
{
    return command.plain(QStringLiteral("--no-glob ")).quoted(Main::AbsolutePath(path));
}

// The encoding of the output, as its name's format has it, and its name; or, for a format
// FFmpeg encodes, SoX's raw floats on its standard output, which Encode reads.
CommandLine &output(CommandLine &command, const QString &bitrate, const QString &outputPath)
{
    const OutputFormat &format = OutputFormat::OfPreview(outputPath);
    command.plain(formatOptions(format.sampleRateFor(bitrate)) + format.encoderOptions(bitrate));
    return format.ffmpegEncoder().isEmpty() ? literalName(command, outputPath) : command.plain(QStringLiteral("-"));
}

// "sox" --no-glob "<source>"
CommandLine soxReading(const QString &sox, const QString &sourcePath)
{
    CommandLine command(sox);
    command.plain(QStringLiteral(" "));
    return literalName(command, sourcePath);
}

// The input, then: <output options> "<output>" trim <start> <duration>
CommandLine cutFrom(CommandLine input, const QString &bitrate, const QString &outputPath, const QString &start,
                    const QString &duration)
{
    return output(input.plain(QStringLiteral(" ")), bitrate, outputPath).plain(trim(start, duration));
}

// The input, then:  -t f32 -c 2 -r <rate> - trim <start> <duration>
CommandLine decodeFrom(CommandLine input, int rate, const QString &start, const QString &duration)
{
    return input.plain(QStringLiteral("  -t f32") + formatOptions(rate) + QLatin1Char('-') + trim(start, duration));
}

// The input, then:  -t f32 -c 1 -r <rate> -
CommandLine monoFrom(CommandLine input, int rate)
{
    return input.plain(QStringLiteral("  -t f32 -c 1 -r %1 -").arg(rate));
}

} // namespace

QString SecondsText(const QString &typed)
{
    const std::optional<double> value = Numbers::Read(typed);
    if (!value || Numbers::ToInteger16(*value) <= 0)
        return QStringLiteral("3");
    return SoxNumber(*value);
}

QString SecondsText(double seconds)
{
    return SoxNumber(std::round(seconds * 1000) / 1000);
}

QString SoxNumber(double value)
{
    return QLocale::c().toString(value, 'f', QLocale::FloatingPointShortest);
}

QString ClockText(double seconds)
{
    const qint64 milliseconds = qRound64(seconds * 1000);
    const qint64 whole = milliseconds / 1000;
    const QLatin1Char zero('0');
    QString text = whole >= 3600 ? QStringLiteral("%1:%2:%3").arg(whole / 3600).arg(whole / 60 % 60, 2, 10, zero)
                                 : QStringLiteral("%1:%2").arg(whole / 60);
    text = text.arg(whole % 60, 2, 10, zero);
    if (milliseconds % 1000 != 0)
        text += SoxNumber(double(milliseconds % 1000) / 1000).mid(1);
    return text;
}

QString MinutesText(double seconds)
{
    const qint64 whole = qint64(std::floor(std::max(seconds, 0.0)));
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

QString OutputPath(const QString &folder, const QString &sourcePath, const OutputFormat &format)
{
    const QString baseName = Main::FileNameOf(Main::StripExtension(sourcePath));
    const QString name = baseName + QStringLiteral("_Preview.") + format.extension();
    return Main::CollapseBackslashes(folder + QLatin1Char('/') + name);
}

QString JoinedPath(const QString &folder, const OutputFormat &format)
{
    return Main::CollapseBackslashes(folder + QStringLiteral("/Joined_Preview.") + format.extension());
}

QString FreePath(const QString &path, const std::function<bool(const QString &)> &taken, int *number)
{
    const QString stem = Main::StripExtension(path);
    const QString extension = path.mid(stem.size());
    const auto numbered = [&](int n) {
        return n < 2 ? path : stem + QStringLiteral(" (%1)").arg(n) + extension;
    };
    int found = number ? qMax(1, *number) : 1;
    while (taken(numbered(found)))
        ++found;
    if (number)
        *number = found;
    return numbered(found);
}

CommandLine Cut(const QString &sox, const QString &sourcePath, const QString &bitrate,
                const QString &outputPath, const QString &start, const QString &duration)
{
    return cutFrom(soxReading(sox, sourcePath), bitrate, outputPath, start, duration);
}

CommandLine CutDecoded(const QString &sox, const QString &bitrate, const QString &outputPath, const QString &start,
                       const QString &duration)
{
    return cutFrom(CommandLine(sox).plain(QStringLiteral(" -t sox -")), bitrate, outputPath, start, duration);
}

CommandLine CutStretch(const QString &sox, const QString &bitrate, const QString &outputPath, const QString &duration)
{
    return cutFrom(CommandLine(sox).plain(QStringLiteral(" -t wav -")), bitrate, outputPath, QStringLiteral("0"), duration);
}

CommandLine DecodedStretch(const QString &program, const QString &sourcePath, const QString &start,
                           const QString &seconds, const char *option)
{
    return CommandLine(program)
        .plain(QStringLiteral(" %1 %2 %3 ").arg(QLatin1String(option), start, seconds))
        .quoted(Main::AbsolutePath(sourcePath));
}

CommandLine LimitedStretch(const QString &program, int rate, double ceiling, const QString &fadeIn,
                           const QString &fadeOut, double subsonicCutoff)
{
    QString words = QStringLiteral(" %1 %2 %3 %4 %5")
                        .arg(QLatin1String(LimitedStretchOption), QString::number(rate), SoxNumber(ceiling), fadeIn, fadeOut);
    if (subsonicCutoff > 0)
        words += QLatin1Char(' ') + SoxNumber(subsonicCutoff);
    return CommandLine(program).plain(words);
}

CommandLine FfmpegInput(const QString &ffmpeg, const QString &options, const QString &sourcePath)
{
    // FFmpeg's demuxers of audio files, and of the video files audio often comes in.
    static const QString audioFormats = QStringLiteral("aac,ac3,aiff,amr,ape,asf,au,avi,caf,dsf,dts,eac3,flac,matroska,"
                                                       "mlp,mov,mp3,mpc,mpc8,mpeg,ogg,shn,sox,tak,truehd,tta,voc,w64,wav,wv,xwma");
    return CommandLine(ffmpeg)
        .plain(options + QStringLiteral(" -protocol_whitelist file,pipe -format_whitelist ") + audioFormats
               + QStringLiteral(" -i "))
        .quoted(Main::AbsolutePath(sourcePath));
}

CommandLine FfmpegDecode(const QString &ffmpeg, const QString &sourcePath)
{
    return FfmpegInput(ffmpeg, QStringLiteral(" -nostdin -v error"), sourcePath).plain(QStringLiteral(" -vn -f sox -"));
}

std::optional<CommandLine> Encode(const QString &ffmpeg, const QString &bitrate, const QString &outputPath)
{
    const OutputFormat &format = OutputFormat::OfPreview(outputPath);
    if (format.ffmpegEncoder().isEmpty())
        return std::nullopt;
    const int rate = format.sampleRateFor(bitrate);
    return CommandLine(ffmpeg)
        .plain(QStringLiteral(" -nostdin -v error -f f32le -ar %1 -ac %2 -i - -abort_on empty_output").arg(rate).arg(Channels)
               + format.ffmpegOptions(bitrate) + QStringLiteral(" -y "))
        .quoted(Main::AbsolutePath(outputPath));
}

CommandLine Decode(const QString &sox, const QString &sourcePath, int rate, const QString &start,
                   const QString &duration)
{
    return decodeFrom(soxReading(sox, sourcePath), rate, start, duration);
}

CommandLine DecodeDecoded(const QString &sox, int rate, const QString &start, const QString &duration)
{
    return decodeFrom(CommandLine(sox).plain(QStringLiteral(" -t sox -")), rate, start, duration);
}

CommandLine DecodeMono(const QString &sox, const QString &sourcePath, int rate)
{
    return monoFrom(soxReading(sox, sourcePath), rate);
}

CommandLine DecodeMonoDecoded(const QString &sox, int rate)
{
    return monoFrom(CommandLine(sox).plain(QStringLiteral(" -t sox -")), rate);
}

namespace {

// "sox"  --combine sequence, then each entry with its gain
CommandLine joining(const QString &sox, const QStringList &entries, const QList<double> &gains)
{
    CommandLine join(sox);
    join.plain(QStringLiteral("  --combine sequence "));
    for (qsizetype entry = 0; entry < entries.size(); ++entry) {
        if (const double gain = gains.value(entry); gain != 0)
            join.plain(QStringLiteral("-v ") + SoxNumber(std::round(std::pow(10, gain / 20) * 1e6) / 1e6) + QLatin1Char(' '));
        literalName(join, entries.at(entry)).plain(QStringLiteral(" "));
    }
    return join;
}

} // namespace

CommandLine Join(const QString &sox, const QStringList &entries, const QString &bitrate,
                 const QString &joinedPath, const QList<double> &gains)
{
    CommandLine join = joining(sox, entries, gains);
    return output(join, bitrate, joinedPath);
}

CommandLine JoinFloats(const QString &sox, const QStringList &entries, int rate, const QList<double> &gains)
{
    return joining(sox, entries, gains).plain(QStringLiteral("-t f32") + formatOptions(rate) + QLatin1Char('-'));
}

QString CrossfadeSplices(const QList<double> &pieceSeconds, double overlap)
{
    QString splices = QStringLiteral(" splice -q");
    const QString excess = SoxNumber(overlap / 2);
    double end = 0;
    for (qsizetype piece = 0; piece + 1 < pieceSeconds.size(); ++piece) {
        end += pieceSeconds.at(piece);
        splices += QLatin1Char(' ') + SoxNumber(std::round(end * 1e6) / 1e6) + QLatin1Char(',') + excess + QStringLiteral(",0");
    }
    return splices;
}

} // namespace PreviewCommands

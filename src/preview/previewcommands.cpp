#include "preview/previewcommands.h"

#include "platform/main.h"
#include "platform/numbers.h"

namespace PreviewCommands {

namespace {
const QString OutputOptions = QStringLiteral(" -c 2 -r 48000 -C ");
}

QString SecondsText(const QString &typed)
{
    const std::optional<double> value = Numbers::Read(typed);
    if (!value || Numbers::ToInteger16(*value) <= 0)
        return QStringLiteral("3");
    return typed;
}

const QList<int> &BitrateChoices()
{
    static const QList<int> kbps{320, 256, 224, 192, 160, 144, 128, 112, 96, 80, 64, 56, 48, 40, 32, 24, 16, 8};
    return kbps;
}

QString OutputPath(const QString &folder, const QString &sourcePath)
{
    const QString baseName = Main::FileNameOf(Main::StripExtension(sourcePath));
    return Main::CollapseBackslashes(folder + QLatin1Char('/') + baseName + QStringLiteral("_Preview.mp3"));
}

QString JoinedPath(const QString &folder)
{
    return Main::CollapseBackslashes(folder + QStringLiteral("/Joined_Preview.mp3"));
}

CommandLine Cut(const QString &sox, const QString &sourcePath, const QString &bitrate,
                const QString &outputPath, const QString &start, const QString &duration)
{
    return CommandLine(sox)
        .plain(QStringLiteral(" "))
        .quoted(sourcePath)
        .plain(QStringLiteral(" ") + OutputOptions + bitrate + QLatin1Char(' '))
        .quoted(outputPath)
        .plain(QStringLiteral(" trim ") + start + QLatin1Char(' ') + duration);
}

CommandLine Join(const QString &sox, const QStringList &entries, const QString &bitrate,
                 const QString &joinedPath)
{
    CommandLine join(sox);
    join.plain(QStringLiteral("  --combine sequence "));
    for (const QString &entry : entries)
        join.quoted(entry).plain(QStringLiteral(" "));
    return join.plain(OutputOptions + bitrate + QLatin1Char(' ')).quoted(joinedPath);
}

} // namespace PreviewCommands
